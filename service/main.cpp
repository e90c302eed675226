// brisel-matting-service: cuts the subject out of uploaded photos for Brisel.

#include "allocator.h"
#include "jobqueue.h"
#ifdef BRISEL_HAVE_TORCH
#include "isnetengine.h"
#endif
#include "mattingengine.h"
#include "mattingserver.h"
#include "redisworkers.h"
#include "scratchfolder.h"
#include "servicelog.h"
#include "serviceoptions.h"

#include <opencv2/core.hpp>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <pthread.h>
#include <thread>

namespace {

// Where jobs live, and who runs them. Embedded: this process, its scratch folder
// and `pipelines`. Shared: Redis, with this process's pipelines (if any) as
// workers and its keeper reaping for every process. False with a reason.
struct Backend
{
    std::unique_ptr<ScratchFolder> scratch;
    std::unique_ptr<JobStore> store;
    std::unique_ptr<RedisWorkers> workers; // after store: stops before it goes

    bool open(const ServiceOptions& options, std::vector<std::unique_ptr<MattingPipeline>> pipelines,
              std::string& error)
    {
        if (options.sharedStore()) {
            auto redis = std::make_unique<RedisStore>(options.store, options.queue, options.perMac,
                                                      options.resultTtlMs, options.visibilityMs);
            try {
                redis->stats();
            } catch (const std::exception& e) {
                servicelog::warning(std::string(e.what()) + "; trying again as requests come");
            }
            workers = std::make_unique<RedisWorkers>(*redis, std::move(pipelines), options.visibilityMs,
                                                     options.testDelayMs);
            store = std::move(redis);
            return true;
        }
        scratch = std::make_unique<ScratchFolder>(options.scratchRoot.empty() ? ScratchFolder::defaultRoot()
                                                                              : options.scratchRoot);
        if (!scratch->valid()) {
            error = scratch->error();
            return false;
        }
        if (scratch->swept() > 0)
            servicelog::info("deleted the files of " + std::to_string(scratch->swept()) +
                             " stopped instance(s)");
        store = std::make_unique<JobQueue>(std::move(pipelines), scratch->path(), options.queue,
                                           options.perMac, options.resultTtlMs, options.testDelayMs);
        return true;
    }
};

} // namespace

int main(int argc, char** argv)
{
    ServiceOptions options;
    std::string error;
    if (!ServiceOptions::parse(argc, argv, options, error)) {
        std::cerr << (error.empty() ? "" : "brisel-matting-service: " + error + "\n")
                  << ServiceOptions::usage();
        return error.empty() ? 0 : 2;
    }
    allocator::configure();
    servicelog::setLevel(options.logLevel);
    cv::setNumThreads(options.cvThreads);

    // An API-only process loads no engine at all.
    const bool inference = options.role != "api";
    MattingEngine::Choice engine;
    if (inference && !MattingEngine::choose(options, engine, error)) {
        servicelog::error(error);
        return 1;
    }
#ifdef BRISEL_HAVE_TORCH
    if (engine.name != "key")
        IsnetEngine::preferPassiveWaiting(argv);
#endif
    if (!engine.warning.empty())
        servicelog::warning(engine.warning);

    // Termination signals are taken by one thread with sigwait(), so every other
    // thread (started below, inheriting this mask) runs undisturbed.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::vector<std::unique_ptr<MattingPipeline>> pipelines;
    const int threadsPerWorker = std::max(1, int(std::thread::hardware_concurrency()) / options.workers);
    try {
        MattingEngine::Choice fast;
        MattingPipeline::EngineMaker makeFast;
        if (inference && MattingEngine::chooseFast(options, engine, fast))
            makeFast = [fast, threadsPerWorker] { return MattingEngine::create(fast, threadsPerWorker); };
        for (int i = 0; inference && i < options.workers; ++i)
            pipelines.push_back(
                std::make_unique<MattingPipeline>(MattingEngine::create(engine, threadsPerWorker), makeFast));
    } catch (const std::exception& e) {
        servicelog::error("cannot load the " + engine.name + " engine: " + e.what());
        return 1;
    }

    Backend backend;
    if (!backend.open(options, std::move(pipelines), error)) {
        servicelog::error(error);
        return 1;
    }
    MattingServer server(options, *backend.store, engine);
    if (!server.bind(error)) {
        servicelog::error(error);
        return 1;
    }

    std::thread signalThread([&server, &backend, &stopSignals] {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        if (server.finished())
            return; // woken by main: the server stopped by itself
        servicelog::info(std::string("stopping on ") + (sig == SIGINT ? "SIGINT" : "SIGTERM") +
                         "; finishing running jobs");
        if (backend.workers)
            backend.workers->stop();
        server.shutdown();
    });

    servicelog::info(
        "role " + options.role + ", store " + (options.sharedStore() ? options.store : "embedded") +
        (inference ? ", engine " + engine.name + (engine.model.empty() ? "" : " (" + engine.model + ")") +
                         ", " + std::to_string(options.workers) + " worker(s)"
                   : "") +
        ", queue " + std::to_string(options.queue));
    std::printf("listening on %s\n", server.baseUrl().c_str());
    std::fflush(stdout);

    const bool ok = server.run();
    if (!ok)
        servicelog::error("the server stopped unexpectedly");
    // Wakes the signal thread so it can be joined, unless a signal already did.
    pthread_kill(signalThread.native_handle(), SIGTERM);
    signalThread.join();
    servicelog::info("stopped");
    return ok ? 0 : 1;
}
