#include "qworkpool.h"

#include "logger.h"

#include <exception>

QWorkPool* QWorkPool::instance()
{
    // A function-local static: created thread-safely on first use, stopped and
    // destroyed at process exit after main() returns.
    static QWorkPool pool;
    return &pool;
}

QWorkPool::~QWorkPool()
{
    stop();
}

void QWorkPool::start(int count)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running = true;
    }
    for (int i = 0; i < count; ++i)
        m_workers.emplace_back(&QWorkPool::workerLoop, this);
}

void QWorkPool::stop()
{
    {
        // Cleared under the lock so that no worker can test the wait condition
        // between the store and the notification and then sleep for ever.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running = false;
    }
    m_wakeup.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
    m_workers.clear();

    // Destroyed outside the lock: a job's captures may own objects whose
    // destructors post new jobs.
    std::list<std::function<void()>> discarded;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        discarded.swap(m_jobs);
    }
}

int QWorkPool::workerCount() const
{
    return static_cast<int>(m_workers.size());
}

int QWorkPool::queuedCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_jobs.size());
}

void QWorkPool::enqueue(std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wakeup.notify_one();
}

void QWorkPool::workerLoop()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wakeup.wait(lock, [this] { return !m_running || !m_jobs.empty(); });
            if (!m_running)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        // An exception leaving a std::thread's function ends the process, so a job
        // that breaks its contract costs only itself.
        try {
            job();
        } catch (const std::exception& e) {
            BRISEL_LOG(1, QStringLiteral("a pool job threw: %1").arg(QString::fromLocal8Bit(e.what())));
        } catch (...) {
            BRISEL_LOG(1, QStringLiteral("a pool job threw an unknown exception"));
        }
        job = nullptr;
    }
}
