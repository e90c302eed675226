#pragma once
// Owns libcurl's process-wide state. start() is called once at start-up before any
// worker thread exists and close() once at exit after they have stopped; requests
// made outside that bracket (command-line tools, tests) still work because
// HRequest starts the client on demand.

#include <mutex>

class QHttpClient
{
public:
    static QHttpClient* Instance();

    // threads: how many requests may run at once; kept for callers' bookkeeping,
    // since every HRequest runs on its caller's thread.
    bool start(int threads);
    void close();

    bool isStarted() const;
    int threadCount() const;

private:
    QHttpClient() = default;

    mutable std::mutex m_mutex;
    bool m_started = false;
    int m_threads = 0;
};
