#pragma once
// The shared job store: every job, upload and result lives in Redis with an
// expiry time, so any API process can answer any request and any worker process
// can run any job.
//
// Keys, all under "brisel:": queue (list of serials, newest first), job:<s>
// (hash: mac, body, status, message, attempts), upload:<s> and result:<s> (the
// bytes), active (sorted set of unfinished serials: the queue bound), mac:<m>
// (set of that mac's unfinished serials: the per-mac bound), processing:<w>
// (list of what worker w took), lease:<s> (who holds a job, expiring after the
// visibility time-out), workers + alive:<w> (registry and heartbeats), epoch
// (eight hex digits every serial starts with; a Redis that lost its data makes a
// new one, which tells lost jobs from expired ones), done/failed/avgms (figures).
//
// Hand-over: a worker moves a serial from queue to its processing list in one
// step (BLMOVE) and holds a lease it renews while it works. reap() puts the jobs
// of leases that expired back to the queue. Every status change is one Lua
// script that first checks the job is still running, so a result is written
// once even when a slow worker and its replacement both finish.
//
// Threads: every call may come from any thread; each takes a pooled connection.

#include "jobstore.h"
#include "redisconnection.h"

#include <atomic>
#include <optional>
#include <set>

class RedisStore : public JobStore
{
public:
    // `capacity`, `perMac` as for JobQueue; `ttlMs` keeps results and finished
    // jobs; `visibilityMs` is a lease's length.
    RedisStore(const std::string& url, int capacity, int perMac, long long ttlMs, long long visibilityMs);

    Submit submit(const std::string& mac, const mattingprotocol::Options& options, const std::string& photo,
                  std::string& serial) override;
    // A job of an earlier epoch that is gone polls as failed with the protocol's
    // lost-in-a-reset message.
    Snapshot find(const std::string& serial, const std::string& mac) const override;
    bool fetchResult(const std::string& serial, std::string& png) override;
    bool cancel(const std::string& serial, const std::string& mac) override;
    Stats stats() const override;
    int retryAfterSeconds() const override;
    // A shared store never makes the process idle: others may send it work.
    std::optional<std::chrono::steady_clock::time_point> idleSince() const override { return std::nullopt; }
    void beginShutdown() override { m_accepting = false; }
    void waitIdle() override {}
    void waitFetched(std::chrono::milliseconds) override {}

    // The worker side. A taken job, its lease held by `worker`.
    struct Task
    {
        std::string serial;
        mattingprotocol::Options options;
        std::string photo;
    };
    // Waits up to `waitMs` for a job; nothing when none came or it was cancelled meanwhile.
    std::optional<Task> take(const std::string& worker, int waitMs);
    // Extends the lease of a job `worker` is still working on.
    void renew(const std::string& worker, const std::string& serial);
    // Ends the job unless it already ended (cancelled, or finished by another
    // worker after a lease ran out); `png` is the result when `status` is Done.
    void finish(const std::string& worker, const std::string& serial, Status status,
                const std::string& message, const std::string& png, long long ms);
    // Registers `worker` as alive for `forMs`; leave() says it is gone.
    void heartbeat(const std::string& worker, long long forMs);
    void leave(const std::string& worker);
    // Gives jobs whose lease expired back to the queue (failing those that were
    // handed out too often); returns how many went back. One thread calls it.
    int reap();

private:
    RedisPool::Lease connection() const { return m_pool.acquire(); }

    mutable RedisPool m_pool;
    const int m_capacity;
    const int m_perMac;
    const long long m_ttlMs;
    const long long m_visibilityMs;
    // Unfinished jobs and uploads expire after this, whatever happens to them.
    const long long m_holdMs;
    std::atomic<bool> m_accepting{true};
    std::set<std::string> m_suspects; // reap()'s: "worker serial" without a lease last time
};
