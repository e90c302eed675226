#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <utility>

// The process-wide set of worker threads that runs every long job of the program
// (matting tasks, canvas loading, filters) from one FIFO queue.
//
// Threads: instance(), start() and stop() belong to the thread that owns the
// program's lifetime (the GUI thread, or main() of the command-line tool); post()
// may be called from any thread. Jobs report back through queued Qt signals and keep
// what they touch alive through the shared pointers they captured.
class QWorkPool
{
public:
    // The singleton, created on first use (not started) and stopped at process exit.
    static QWorkPool* instance();

    // Starts `count` workers. Jobs posted before start() run once workers exist.
    void start(int count);

    // Queues a job; returns at once. The job must not let an exception escape.
    template <typename Job> void post(Job&& job) { enqueue(std::function<void()>(std::forward<Job>(job))); }

    // Ends every worker after its current job and discards the jobs still queued.
    // Waits for running jobs, so a task that is polling delays it. Never call it
    // from a job.
    void stop();

    bool isRunning() const { return m_running; }
    int workerCount() const;
    int queuedCount() const;

    QWorkPool(const QWorkPool&) = delete;
    QWorkPool& operator=(const QWorkPool&) = delete;

private:
    QWorkPool() = default;
    ~QWorkPool();

    void enqueue(std::function<void()> job);
    void workerLoop();

    std::list<std::function<void()>> m_jobs;
    std::atomic<bool> m_running{false};
    std::condition_variable m_wakeup;
    mutable std::mutex m_mutex;
    std::list<std::thread> m_workers;
};
