#include "redisconnection.h"

#include "jobstore.h"

#include <hiredis/hiredis.h>

#include <cstdlib>
#include <sys/time.h>

namespace {

timeval toTimeval(int ms)
{
    return timeval{ms / 1000, (ms % 1000) * 1000};
}

RedisReply convert(const redisReply* r)
{
    RedisReply out;
    switch (r->type) {
    case REDIS_REPLY_INTEGER:
        out.nil = false;
        out.integer = r->integer;
        break;
    case REDIS_REPLY_STRING:
    case REDIS_REPLY_STATUS:
        out.nil = false;
        out.str.assign(r->str, r->len);
        break;
    case REDIS_REPLY_ARRAY:
        out.nil = false;
        for (std::size_t i = 0; i < r->elements; ++i)
            out.elements.push_back(convert(r->element[i]));
        break;
    default:
        break;
    }
    return out;
}

} // namespace

struct RedisConnection::Context
{
    redisContext* c = nullptr;
    ~Context()
    {
        if (c)
            redisFree(c);
    }
};

RedisConnection::RedisConnection(const std::string& url, int timeoutMs) : m_timeoutMs(timeoutMs)
{
    parseUrl(url, m_host, m_port, m_db);
}

RedisConnection::~RedisConnection() = default;

bool RedisConnection::parseUrl(const std::string& url, std::string& host, int& port, int& db)
{
    const std::string scheme = "redis://";
    if (url.rfind(scheme, 0) != 0)
        return false;
    std::string rest = url.substr(scheme.size());
    db = 0;
    if (const auto slash = rest.find('/'); slash != std::string::npos) {
        char* end = nullptr;
        db = int(std::strtol(rest.c_str() + slash + 1, &end, 10));
        if (slash + 1 == rest.size() || *end || db < 0)
            return false;
        rest.resize(slash);
    }
    port = 6379;
    if (const auto colon = rest.rfind(':'); colon != std::string::npos) {
        char* end = nullptr;
        port = int(std::strtol(rest.c_str() + colon + 1, &end, 10));
        if (*end || port <= 0 || port > 65535)
            return false;
        rest.resize(colon);
    }
    host = rest;
    return !host.empty();
}

void RedisConnection::connect()
{
    m_context = std::make_unique<Context>();
    m_context->c = redisConnectWithTimeout(m_host.c_str(), m_port, toTimeval(m_timeoutMs));
    if (!m_context->c || m_context->c->err) {
        const std::string why = m_context->c ? m_context->c->errstr : "out of memory";
        m_context.reset();
        throw StoreUnavailable("redis " + m_host + ":" + std::to_string(m_port) + ": " + why);
    }
    if (m_db != 0)
        command({"SELECT", std::to_string(m_db)});
}

void RedisConnection::drop()
{
    m_context.reset();
}

RedisReply RedisConnection::command(const std::vector<std::string>& args, int blockMs)
{
    // A socket kept from before a Redis restart fails at its first use; one
    // fresh connection is tried before calling Redis unreachable.
    const bool fresh = !m_context;
    if (fresh)
        connect();
    std::vector<const char*> argv;
    std::vector<std::size_t> lengths;
    for (const std::string& a : args) {
        argv.push_back(a.data());
        lengths.push_back(a.size());
    }
    redisSetTimeout(m_context->c, toTimeval(m_timeoutMs + blockMs));
    auto* r = static_cast<redisReply*>(
        redisCommandArgv(m_context->c, int(argv.size()), argv.data(), lengths.data()));
    if (!r) {
        const std::string why = m_context->c->errstr;
        drop();
        if (!fresh && blockMs == 0)
            return command(args, blockMs);
        throw StoreUnavailable("redis " + m_host + ":" + std::to_string(m_port) + ": " + why);
    }
    std::unique_ptr<redisReply, void (*)(void*)> owned(r, freeReplyObject);
    if (r->type == REDIS_REPLY_ERROR) {
        const std::string why(r->str, r->len);
        // A Redis that is loading its data, was just restarted or is full
        // answers with errors for a while; that is an outage, not a bug.
        if (why.rfind("LOADING", 0) == 0 || why.rfind("READONLY", 0) == 0 || why.rfind("OOM", 0) == 0)
            throw StoreUnavailable("redis: " + why);
        throw std::runtime_error("redis: " + why);
    }
    return convert(r);
}

RedisReply RedisConnection::script(const std::string& source, std::vector<std::string> args)
{
    args.insert(args.begin(), {"EVAL", source, "0"});
    return command(args);
}

RedisPool::Lease RedisPool::acquire()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_idle.empty())
        return Lease(*this, std::make_unique<RedisConnection>(m_url, m_timeoutMs));
    Lease lease(*this, std::move(m_idle.back()));
    m_idle.pop_back();
    return lease;
}

RedisPool::Lease::~Lease()
{
    if (!m_connection)
        return;
    std::lock_guard<std::mutex> lock(m_pool.m_mutex);
    m_pool.m_idle.push_back(std::move(m_connection));
}
