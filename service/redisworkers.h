#pragma once
// The inference side of a shared store: one thread per pipeline takes jobs from
// Redis, runs them and writes their results back; one keeper thread sends the
// workers' heartbeats, renews the leases of the jobs they are running and reaps
// jobs whose worker died. An API-only process runs just the reaper (no
// pipelines), so jobs come back even when every worker of a machine is gone.
//
// Threads: built and stopped on the main thread; everything else is internal.

#include "mattingpipeline.h"
#include "redisstore.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class RedisWorkers
{
public:
    // `store` outlives this. `delayMs` makes every job that much slower (tests only).
    RedisWorkers(RedisStore& store, std::vector<std::unique_ptr<MattingPipeline>> pipelines,
                 long long visibilityMs, int delayMs = 0);
    // stop(), then the keeper ends too.
    ~RedisWorkers();
    RedisWorkers(const RedisWorkers&) = delete;
    RedisWorkers& operator=(const RedisWorkers&) = delete;

    // Takes no new job; returns when the running ones have finished.
    void stop();

private:
    void workerLoop(MattingPipeline* pipeline, const std::string& id);
    void keeperLoop();
    void runJob(MattingPipeline* pipeline, const std::string& id, const RedisStore::Task& task);

    RedisStore& m_store;
    std::vector<std::unique_ptr<MattingPipeline>> m_pipelines;
    const long long m_visibilityMs;
    const int m_delayMs;
    std::vector<std::string> m_ids; // one worker id per pipeline: host:pid:n

    std::mutex m_mutex;
    std::condition_variable m_wake;               // keeper
    std::map<std::string, std::string> m_running; // worker id -> serial it works on
    std::atomic<bool> m_taking{true};
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
    std::thread m_keeper;
};
