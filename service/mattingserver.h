#pragma once
// The HTTP(S) front of the service: task creation, polling and cancelling, result
// download, /healthz and /metrics. A worker-only process (--role worker) serves
// just the last two. Each connection runs on a thread of a ConnectionPool; the
// handlers only check input and talk to the JobStore, never segment anything.

#include "connectionpool.h"
#include "jobstore.h"
#include "mattingengine.h"
#include "serviceoptions.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

namespace httplib {
class Server;
}

class MattingServer
{
public:
    // `jobs` and `options` outlive the server; `engine` is empty in an API-only process.
    MattingServer(const ServiceOptions& options, JobStore& jobs, MattingEngine::Choice engine);
    ~MattingServer();

    // Binds the listening socket; false with a reason when it cannot.
    bool bind(std::string& error);
    int port() const { return m_port; }
    std::string baseUrl() const { return m_options.baseUrl(m_port); }
    // Serves until shutdown() has finished or, with --idle-exit, until the service
    // has had no job and no connection for that long. Call after bind().
    bool run();
    // run() has returned.
    bool finished() const { return m_returned; }
    // From any thread: refuse new uploads, let running jobs finish and their
    // results be fetched (polls and downloads keep being answered meanwhile), then
    // stop listening so run() returns.
    void shutdown();

private:
    void installRoutes();
    void installTaskRoutes();
    void watchIdle();

    const ServiceOptions& m_options;
    JobStore& m_jobs;
    const MattingEngine::Choice m_engine;
    ConnectionPool m_pool;
    std::unique_ptr<httplib::Server> m_http;
    int m_port = 0;
    std::atomic<bool> m_returned{false};
    std::mutex m_watchMutex; // with m_watchWake: lets run() end the idle watch at once
    std::condition_variable m_watchWake;
};
