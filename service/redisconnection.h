#pragma once
// Connections to the shared Redis of --store redis://host:port[/db].
//
// A RedisConnection is one socket, used by one thread at a time; it reconnects on
// the next command after Redis went away. RedisPool hands connections out to
// whichever thread needs one and takes them back when the lease ends, so the
// many HTTP threads share a few sockets. Redis's own types stay in the .cpp.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct RedisReply
{
    bool nil = true;
    long long integer = 0;
    std::string str; // a bulk or status string
    std::vector<RedisReply> elements;
};

class RedisConnection
{
public:
    // `url` must have passed parseUrl(); `timeoutMs` bounds connecting and every command.
    RedisConnection(const std::string& url, int timeoutMs);
    ~RedisConnection();
    RedisConnection(const RedisConnection&) = delete;
    RedisConnection& operator=(const RedisConnection&) = delete;

    // Runs one command, allowing `blockMs` more than the time-out for a command
    // that blocks on the server. Throws StoreUnavailable when Redis cannot be
    // reached, std::runtime_error when it answers with an error.
    RedisReply command(const std::vector<std::string>& args, int blockMs = 0);
    // EVAL of a Lua script with no declared keys: the scripts name their keys from
    // the prefix they are given, which a single Redis (not a cluster) allows.
    RedisReply script(const std::string& source, std::vector<std::string> args);

    // Splits redis://host:port[/db]; false when it is not that shape.
    static bool parseUrl(const std::string& url, std::string& host, int& port, int& db);

private:
    void connect();
    void drop();

    std::string m_host;
    int m_port = 6379;
    int m_db = 0;
    int m_timeoutMs = 0;
    struct Context;
    std::unique_ptr<Context> m_context;
};

class RedisPool
{
public:
    RedisPool(std::string url, int timeoutMs) : m_url(std::move(url)), m_timeoutMs(timeoutMs) {}

    // A connection of the pool's for as long as the lease lives.
    class Lease
    {
    public:
        Lease(RedisPool& pool, std::unique_ptr<RedisConnection> c) : m_pool(pool), m_connection(std::move(c))
        {
        }
        Lease(Lease&&) = default;
        ~Lease();
        RedisConnection* operator->() const { return m_connection.get(); }

    private:
        RedisPool& m_pool;
        std::unique_ptr<RedisConnection> m_connection;
    };
    Lease acquire();

private:
    const std::string m_url;
    const int m_timeoutMs;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<RedisConnection>> m_idle;
};
