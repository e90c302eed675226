#include "redisstore.h"

#include "jobqueue.h"
#include "mattingprotocol.h"
#include "servicelog.h"

#include <chrono>
#include <cmath>

namespace {

const std::string kPrefix = "brisel:";

// A job's request options as one hash field: the mode, then "+shadow" when kept
// and "+fast" for the fast engine.
std::string encodeOptions(const mattingprotocol::Options& options)
{
    return std::string(mattingprotocol::modeValue(options.mode)) + (options.keepShadow ? "+shadow" : "") +
           (options.fast ? "+fast" : "");
}

mattingprotocol::Options decodeOptions(const std::string& field)
{
    mattingprotocol::Options options;
    mattingprotocol::modeFromValue(field.substr(0, field.find('+')), options.mode);
    options.keepShadow = field.find("+shadow") != std::string::npos;
    options.fast = field.find("+fast") != std::string::npos;
    return options;
}
// A photo that took down this many workers is failed rather than handed out again.
constexpr int kMaxAttempts = 3;
// Connecting and plain commands; a Redis slower than this counts as down.
constexpr int kTimeoutMs = 2000;

const char* const kLostUpload = "The uploaded photo was lost. Please try again.";
const char* const kTooManyAttempts =
    "The photo stopped the matting service's workers several times. Please try another photo.";

long long nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// ARGV: prefix, random serial, capacity, per-mac, mac, options, now, photo, hold.
// The serial's first eight digits are the epoch's, made here when Redis has none.
const char* const kSubmit = R"lua(
local p = ARGV[1]
redis.call('SET', p..'epoch', string.sub(ARGV[2], 1, 8), 'NX')
local serial = redis.call('GET', p..'epoch') .. string.sub(ARGV[2], 9)
redis.call('ZREMRANGEBYSCORE', p..'active', '-inf', tonumber(ARGV[7]) - tonumber(ARGV[9]))
if redis.call('ZCARD', p..'active') >= tonumber(ARGV[3]) then return {1} end
local mac = p..'mac:'..ARGV[5]
if tonumber(ARGV[4]) > 0 and redis.call('SCARD', mac) >= tonumber(ARGV[4]) then return {2} end
local job = p..'job:'..serial
if redis.call('EXISTS', job) == 1 then return {3} end
redis.call('HSET', job, 'mac', ARGV[5], 'options', ARGV[6], 'status', '0', 'attempts', '0')
redis.call('PEXPIRE', job, ARGV[9])
redis.call('SET', p..'upload:'..serial, ARGV[8], 'PX', ARGV[9])
redis.call('ZADD', p..'active', ARGV[7], serial)
redis.call('SADD', mac, serial)
redis.call('PEXPIRE', mac, ARGV[9])
redis.call('LPUSH', p..'queue', serial)
return {0, serial}
)lua";

// ARGV: prefix, serial.
const char* const kFind = R"lua(
local j = redis.call('HMGET', ARGV[1]..'job:'..ARGV[2], 'mac', 'status', 'message')
return {j[1] or '', j[2] or '', j[3] or '', redis.call('GET', ARGV[1]..'epoch') or ''}
)lua";

// ARGV: prefix, serial, mac, message, ttl.
const char* const kCancel = R"lua(
local p, s = ARGV[1], ARGV[2]
local job = p..'job:'..s
local j = redis.call('HMGET', job, 'mac', 'status')
if j[1] ~= ARGV[3] then return 0 end
if j[2] == '2' then return 1 end
redis.call('LREM', p..'queue', 1, s)
redis.call('ZREM', p..'active', s)
redis.call('SREM', p..'mac:'..ARGV[3], s)
redis.call('DEL', p..'upload:'..s, p..'result:'..s)
redis.call('HSET', job, 'status', '2', 'message', ARGV[4])
redis.call('PEXPIRE', job, ARGV[5])
redis.call('INCR', p..'failed')
return 1
)lua";

// ARGV: prefix, serial, worker, visibility. Returns {} when the job ended
// meanwhile, else {options, photo} (an empty photo when the upload expired).
const char* const kClaim = R"lua(
local p, s, w = ARGV[1], ARGV[2], ARGV[3]
local j = redis.call('HMGET', p..'job:'..s, 'status', 'options')
if j[1] ~= '0' then
  redis.call('LREM', p..'processing:'..w, 1, s)
  return {}
end
redis.call('SET', p..'lease:'..s, w, 'PX', ARGV[4])
return {j[2], redis.call('GET', p..'upload:'..s) or ''}
)lua";

// ARGV: prefix, serial, worker, status, message, png, ttl, ms. The status check
// first: whoever finishes a job second changes nothing.
const char* const kFinish = R"lua(
local p, s, w = ARGV[1], ARGV[2], ARGV[3]
redis.call('LREM', p..'processing:'..w, 1, s)
if redis.call('GET', p..'lease:'..s) == w then redis.call('DEL', p..'lease:'..s) end
local job = p..'job:'..s
if redis.call('HGET', job, 'status') ~= '0' then return 0 end
if ARGV[4] == '1' then redis.call('SET', p..'result:'..s, ARGV[6], 'PX', ARGV[7]) end
redis.call('HSET', job, 'status', ARGV[4], 'message', ARGV[5])
redis.call('PEXPIRE', job, ARGV[7])
redis.call('DEL', p..'upload:'..s)
redis.call('ZREM', p..'active', s)
redis.call('SREM', p..'mac:'..redis.call('HGET', job, 'mac'), s)
redis.call('INCR', p..(ARGV[4] == '1' and 'done' or 'failed'))
local ms = tonumber(ARGV[8])
if ms > 0 then
  local avg = tonumber(redis.call('GET', p..'avgms') or ms)
  redis.call('SET', p..'avgms', math.floor(0.7 * avg + 0.3 * ms))
end
return 1
)lua";

// ARGV: prefix, worker, serial, most attempts. 1: back in the queue; 2: handed
// out too often, to be failed; 0: nothing to do (leased again, or ended).
const char* const kRequeue = R"lua(
local p, w, s = ARGV[1], ARGV[2], ARGV[3]
if redis.call('EXISTS', p..'lease:'..s) == 1 then return 0 end
if redis.call('LREM', p..'processing:'..w, 1, s) == 0 then return 0 end
local job = p..'job:'..s
if redis.call('HGET', job, 'status') ~= '0' then return 0 end
if redis.call('HINCRBY', job, 'attempts', 1) >= tonumber(ARGV[4]) then return 2 end
redis.call('RPUSH', p..'queue', s)
return 1
)lua";

// ARGV: prefix. {waiting, unfinished, live workers, done, failed, average ms}.
const char* const kStats = R"lua(
local p = ARGV[1]
local w = 0
for _, id in ipairs(redis.call('SMEMBERS', p..'workers')) do
  w = w + redis.call('EXISTS', p..'alive:'..id)
end
local function n(k) return tonumber(redis.call('GET', p..k) or '0') end
return {redis.call('LLEN', p..'queue'), redis.call('ZCARD', p..'active'), w, n('done'), n('failed'), n('avgms')}
)lua";

} // namespace

RedisStore::RedisStore(const std::string& url, int capacity, int perMac, long long ttlMs,
                       long long visibilityMs)
    : m_pool(url, kTimeoutMs), m_capacity(capacity), m_perMac(perMac), m_ttlMs(ttlMs),
      m_visibilityMs(visibilityMs), m_holdMs(std::max<long long>(ttlMs, 60 * 60 * 1000))
{
}

JobStore::Submit RedisStore::submit(const std::string& mac, const mattingprotocol::Options& options,
                                    const std::string& photo, std::string& serial)
{
    if (!m_accepting)
        return Submit::ShuttingDown;
    const RedisReply r = connection()->script(
        kSubmit, {kPrefix, JobQueue::newSerial(), std::to_string(m_capacity), std::to_string(m_perMac), mac,
                  encodeOptions(options), std::to_string(nowMs()), photo, std::to_string(m_holdMs)});
    switch (r.elements.at(0).integer) {
    case 0:
        serial = r.elements.at(1).str;
        return Submit::Accepted;
    case 1:
        return Submit::Full;
    case 2:
        return Submit::TooManyForMac;
    default:
        return Submit::StorageError; // 96 random bits met an earlier serial
    }
}

JobStore::Snapshot RedisStore::find(const std::string& serial, const std::string& mac) const
{
    const RedisReply r = connection()->script(kFind, {kPrefix, serial});
    const std::string &owner = r.elements.at(0).str, &status = r.elements.at(1).str,
                      &epoch = r.elements.at(3).str;
    Snapshot s;
    if (owner.empty() && serial.size() == 32 && serial.compare(0, 8, epoch) != 0) {
        s.found = true;
        s.status = Status::Failed;
        s.message = mattingprotocol::kMessageStoreLost;
        return s;
    }
    if (owner != mac || status.empty())
        return s;
    s.found = true;
    s.status = Status(std::stoi(status));
    s.message = r.elements.at(2).str;
    return s;
}

bool RedisStore::fetchResult(const std::string& serial, std::string& png)
{
    const RedisReply r = connection()->command({"GET", kPrefix + "result:" + serial});
    png = r.str;
    return !r.nil && !png.empty();
}

bool RedisStore::cancel(const std::string& serial, const std::string& mac)
{
    const bool ok = connection()
                        ->script(kCancel, {kPrefix, serial, mac, mattingprotocol::kMessageCancelled,
                                           std::to_string(m_ttlMs)})
                        .integer == 1;
    if (ok)
        servicelog::info("job " + serial + " cancelled");
    return ok;
}

JobStore::Stats RedisStore::stats() const
{
    const RedisReply r = connection()->script(kStats, {kPrefix});
    Stats s;
    s.waiting = int(r.elements.at(0).integer);
    s.running = std::max(0, int(r.elements.at(1).integer) - s.waiting);
    s.finished = -1;
    s.capacity = m_capacity;
    s.workers = int(r.elements.at(2).integer);
    s.done = r.elements.at(3).integer;
    s.failed = r.elements.at(4).integer;
    return s;
}

int RedisStore::retryAfterSeconds() const
{
    const RedisReply r = connection()->script(kStats, {kPrefix});
    const double averageMs = double(r.elements.at(5).integer);
    const double waiting = double(r.elements.at(0).integer);
    const double workers = std::max<double>(1, double(r.elements.at(2).integer));
    return std::max(1, int(std::ceil(averageMs * (1 + waiting / workers) / 1000)));
}

std::optional<RedisStore::Task> RedisStore::take(const std::string& worker, int waitMs)
{
    auto c = connection();
    const RedisReply moved = c->command({"BLMOVE", kPrefix + "queue", kPrefix + "processing:" + worker,
                                         "RIGHT", "LEFT", std::to_string(waitMs / 1000.0)},
                                        waitMs);
    if (moved.nil)
        return std::nullopt;
    Task task;
    task.serial = moved.str;
    const RedisReply claim =
        c->script(kClaim, {kPrefix, task.serial, worker, std::to_string(m_visibilityMs)});
    if (claim.elements.empty())
        return std::nullopt;
    task.options = decodeOptions(claim.elements.at(0).str);
    task.photo = claim.elements.at(1).str;
    if (task.photo.empty()) {
        finish(worker, task.serial, Status::Failed, kLostUpload, std::string(), 0);
        return std::nullopt;
    }
    return task;
}

void RedisStore::renew(const std::string& worker, const std::string& serial)
{
    connection()->command({"SET", kPrefix + "lease:" + serial, worker, "PX", std::to_string(m_visibilityMs)});
}

void RedisStore::finish(const std::string& worker, const std::string& serial, Status status,
                        const std::string& message, const std::string& png, long long ms)
{
    const bool ended = connection()
                           ->script(kFinish, {kPrefix, serial, worker, std::to_string(int(status)), message,
                                              png, std::to_string(m_ttlMs), std::to_string(ms)})
                           .integer == 1;
    if (!ended)
        servicelog::info("job " + serial + " had already ended; result of " + worker + " dropped");
}

void RedisStore::heartbeat(const std::string& worker, long long forMs)
{
    auto c = connection();
    c->command({"SADD", kPrefix + "workers", worker});
    c->command({"SET", kPrefix + "alive:" + worker, "1", "PX", std::to_string(forMs)});
}

void RedisStore::leave(const std::string& worker)
{
    auto c = connection();
    c->command({"SREM", kPrefix + "workers", worker});
    c->command({"DEL", kPrefix + "alive:" + worker});
}

int RedisStore::reap()
{
    // A job is taken in two steps (moved, then leased), so a lease found missing
    // once may just not be set yet: only a job seen without one on two passes in
    // a row goes back.
    std::set<std::string> seen;
    int requeued = 0;
    auto c = connection();
    for (const RedisReply& w : c->command({"SMEMBERS", kPrefix + "workers"}).elements) {
        const RedisReply taken = c->command({"LRANGE", kPrefix + "processing:" + w.str, "0", "-1"});
        if (taken.elements.empty() && c->command({"EXISTS", kPrefix + "alive:" + w.str}).integer == 0)
            c->command({"SREM", kPrefix + "workers", w.str});
        for (const RedisReply& s : taken.elements) {
            if (c->command({"EXISTS", kPrefix + "lease:" + s.str}).integer == 1)
                continue;
            const std::string id = w.str + " " + s.str;
            if (!m_suspects.count(id)) {
                seen.insert(id);
                continue;
            }
            const long long outcome =
                c->script(kRequeue, {kPrefix, w.str, s.str, std::to_string(kMaxAttempts)}).integer;
            if (outcome == 1) {
                servicelog::warning("job " + s.str + " of " + w.str + " lost its lease; queued again");
                ++requeued;
            } else if (outcome == 2) {
                finish(w.str, s.str, Status::Failed, kTooManyAttempts, std::string(), 0);
            }
        }
    }
    m_suspects = std::move(seen);
    return requeued;
}
