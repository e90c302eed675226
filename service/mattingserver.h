#pragma once
// The HTTP(S) front of the service: task creation and polling, result download
// and /healthz. cpp-httplib runs each connection on a thread of its pool; the
// handlers only check input and talk to the JobQueue, never segment anything.

#include "jobqueue.h"
#include "mattingengine.h"
#include "serviceoptions.h"

#include <atomic>
#include <memory>
#include <string>

namespace httplib {
class Server;
}

class MattingServer
{
public:
    MattingServer(const ServiceOptions& options, JobQueue& jobs, MattingEngine::Choice engine);
    ~MattingServer();

    // Binds the listening socket; false with a reason when it cannot.
    bool bind(std::string& error);
    int port() const { return m_port; }
    std::string baseUrl() const { return m_options.baseUrl(m_port); }
    // Serves until shutdown() has finished. Call after bind().
    bool run();
    // From any thread: refuse new uploads, let running jobs finish (polls keep
    // being answered meanwhile), then stop listening so run() returns.
    void shutdown();

private:
    void installRoutes();

    const ServiceOptions& m_options;
    JobQueue& m_jobs;
    const MattingEngine::Choice m_engine;
    std::unique_ptr<httplib::Server> m_http;
    int m_port = 0;
    std::atomic<bool> m_returned{false}; // run() has returned
};
