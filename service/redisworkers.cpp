#include "redisworkers.h"

#include "servicelog.h"

#include <algorithm>
#include <chrono>

#include <unistd.h>

namespace {

// How long a take waits on Redis before looking at the stop flag again.
constexpr int kTakeWaitMs = 1000;
// Pause after Redis failed to answer, so an outage is not a busy loop.
constexpr std::chrono::milliseconds kOutagePause(500);

std::string hostName()
{
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? name : "host";
}

// Logs the first failure of an outage and the recovery, not every retry.
void noteOutage(bool& down, const std::exception* e, const std::string& who)
{
    if (e && !down)
        servicelog::warning(who + ": " + e->what());
    else if (!e && down)
        servicelog::info(who + ": the job store answers again");
    down = e != nullptr;
}

} // namespace

RedisWorkers::RedisWorkers(RedisStore& store, std::vector<std::unique_ptr<MattingPipeline>> pipelines,
                           long long visibilityMs, int delayMs)
    : m_store(store), m_pipelines(std::move(pipelines)), m_visibilityMs(visibilityMs), m_delayMs(delayMs)
{
    const std::string base = hostName() + ":" + std::to_string(::getpid()) + ":";
    for (std::size_t i = 0; i < m_pipelines.size(); ++i)
        m_ids.push_back(base + std::to_string(i));
    m_keeper = std::thread(&RedisWorkers::keeperLoop, this);
    for (std::size_t i = 0; i < m_pipelines.size(); ++i)
        m_workers.emplace_back(&RedisWorkers::workerLoop, this, m_pipelines[i].get(), m_ids[i]);
}

RedisWorkers::~RedisWorkers()
{
    stop();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_keeper.join();
}

void RedisWorkers::stop()
{
    m_taking = false;
    for (auto& t : m_workers)
        if (t.joinable())
            t.join();
    for (const std::string& id : m_ids) {
        try {
            m_store.leave(id);
        } catch (const std::exception& e) {
            servicelog::warning(id + " could not sign off: " + e.what());
        }
    }
}

void RedisWorkers::workerLoop(MattingPipeline* pipeline, const std::string& id)
{
    bool down = false;
    while (m_taking) {
        try {
            const auto task = m_store.take(id, kTakeWaitMs);
            noteOutage(down, nullptr, id);
            if (!task)
                continue;
            servicelog::debug("job " + task->serial + " taken by " + id);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_running[id] = task->serial;
            }
            runJob(pipeline, id, *task);
            std::lock_guard<std::mutex> lock(m_mutex);
            m_running.erase(id);
        } catch (const StoreUnavailable& e) {
            noteOutage(down, &e, id);
            std::this_thread::sleep_for(kOutagePause);
        }
    }
}

void RedisWorkers::runJob(MattingPipeline* pipeline, const std::string& id, const RedisStore::Task& task)
{
    const auto started = std::chrono::steady_clock::now();
    if (m_delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs));
    auto status = JobStore::Status::Failed;
    std::string message, png;
    try {
        const std::vector<uchar> out = pipeline->run(task.photo, task.options);
        png.assign(out.begin(), out.end());
        status = JobStore::Status::Done;
    } catch (const std::exception& e) {
        message = e.what();
    }
    const long long ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
            .count();
    // Through a short outage the result is kept and offered again; after the
    // visibility time-out another worker has the job anyway.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_visibilityMs);
    for (;;) {
        try {
            m_store.finish(id, task.serial, status, message, png, ms);
            servicelog::info("job " + task.serial +
                             (status == JobStore::Status::Done ? " done" : " failed: " + message) + " in " +
                             std::to_string(ms) + " ms");
            return;
        } catch (const StoreUnavailable& e) {
            if (std::chrono::steady_clock::now() > giveUp) {
                servicelog::warning("job " + task.serial + ": result not stored: " + e.what());
                return;
            }
            std::this_thread::sleep_for(kOutagePause);
        }
    }
}

void RedisWorkers::keeperLoop()
{
    const auto period = std::chrono::milliseconds(std::max<long long>(50, m_visibilityMs / 3));
    bool down = false;
    std::unique_lock<std::mutex> lock(m_mutex);
    do {
        const std::map<std::string, std::string> running = m_running;
        lock.unlock();
        try {
            if (m_taking)
                for (const std::string& id : m_ids)
                    m_store.heartbeat(id, m_visibilityMs);
            for (const auto& [id, serial] : running)
                m_store.renew(id, serial);
            m_store.reap();
            noteOutage(down, nullptr, "keeper");
        } catch (const StoreUnavailable& e) {
            noteOutage(down, &e, "keeper");
        }
        lock.lock();
    } while (!m_wake.wait_for(lock, period, [this] { return m_stopping; }));
}
