#include "connectionpool.h"

#include <algorithm>

namespace {
// Long enough that a burst reuses threads, short enough that a past crowd's
// threads do not linger.
constexpr std::chrono::seconds kThreadIdle(10);
class Handle : public httplib::TaskQueue
{
public:
    explicit Handle(ConnectionPool& pool) : m_pool(pool) {}
    void enqueue(std::function<void()> fn) override { m_pool.enqueue(std::move(fn)); }
    void shutdown() override { m_pool.shutdown(); }

private:
    ConnectionPool& m_pool;
};

} // namespace

httplib::TaskQueue* ConnectionPool::newHandle()
{
    return new Handle(*this);
}

ConnectionPool::ConnectionPool(int maxThreads) : m_maxThreads(maxThreads) {}

ConnectionPool::~ConnectionPool()
{
    shutdown();
}

void ConnectionPool::enqueue(std::function<void()> fn)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_waiting.push_back(std::move(fn));
    reapLocked();
    // A free thread that was woken but has not yet taken its connection still
    // counts as free, so compare with everything waiting, not just this one.
    if (int(m_waiting.size()) > m_threadsFree && int(m_threads.size()) < m_maxThreads)
        m_threads.emplace_back(&ConnectionPool::workerLoop, this);
    else
        m_wake.notify_one();
}

void ConnectionPool::shutdown()
{
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        threads.swap(m_threads);
        m_finished.clear(); // joined below with the others
    }
    m_wake.notify_all();
    for (std::thread& t : threads)
        t.join();
}

int ConnectionPool::open() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_serving + int(m_waiting.size());
}

std::optional<std::chrono::steady_clock::time_point> ConnectionPool::idleSince() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_serving > 0 || !m_waiting.empty())
        return std::nullopt;
    return m_lastClosed;
}

void ConnectionPool::reapLocked()
{
    // Those threads have left workerLoop() and released the lock for good, so
    // joining them here is immediate.
    for (const std::thread::id id : m_finished) {
        const auto it = std::find_if(m_threads.begin(), m_threads.end(),
                                     [id](const std::thread& t) { return t.get_id() == id; });
        it->join();
        m_threads.erase(it);
    }
    m_finished.clear();
}

void ConnectionPool::workerLoop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        ++m_threadsFree;
        const bool work =
            m_wake.wait_for(lock, kThreadIdle, [this] { return m_stopping || !m_waiting.empty(); });
        --m_threadsFree;
        if (m_waiting.empty() && (m_stopping || !work)) {
            if (!m_stopping)
                m_finished.push_back(std::this_thread::get_id());
            return;
        }
        std::function<void()> fn = std::move(m_waiting.front());
        m_waiting.pop_front();
        ++m_serving;
        lock.unlock();
        fn();
        lock.lock();
        --m_serving;
        m_lastClosed = std::chrono::steady_clock::now();
    }
}
