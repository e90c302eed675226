#pragma once
// The threads that serve HTTP connections, one connection per thread as
// cpp-httplib expects. Threads are started as connections arrive, up to a cap,
// and end after a quiet spell, so a crowd of silent or trickling clients (each
// holding a thread until its read deadline) does not keep a real client waiting
// the way a small fixed pool would. Past the cap, connections wait in order.
//
// Owned by the server object, which outlives the listening loop: cpp-httplib
// deletes the queue it is handed when it stops listening, so it gets a handle
// (newHandle()) instead. enqueue() and shutdown() run on the accept thread;
// open() and idleSince() on any thread.

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class ConnectionPool
{
public:
    explicit ConnectionPool(int maxThreads);
    ~ConnectionPool();
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    // For httplib::Server::new_task_queue; the caller owns it.
    httplib::TaskQueue* newHandle();
    void enqueue(std::function<void()> fn);
    // Waits for the connections being served; new ones are not taken any more.
    void shutdown();

    // Connections being served or waiting for a thread.
    int open() const;
    // When the last connection closed, or nothing while one is open.
    std::optional<std::chrono::steady_clock::time_point> idleSince() const;

private:
    void workerLoop();
    void reapLocked();

    const int m_maxThreads;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_waiting;
    std::vector<std::thread> m_threads;
    std::vector<std::thread::id> m_finished; // threads that ended after a quiet spell
    int m_threadsFree = 0;
    int m_serving = 0;
    bool m_stopping = false;
    std::chrono::steady_clock::time_point m_lastClosed = std::chrono::steady_clock::now();
};
