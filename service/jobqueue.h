#pragma once
// The embedded job store: accepted jobs, the inference workers that run them and
// the expiry of results, all in this process.
//
// Threads: the public calls come from the HTTP threads, the signal thread and the
// idle watch; one worker thread per pipeline runs jobs; one sweeper thread deletes
// expired results. Everything shared is guarded by m_mutex.
// Uploads and results are files in a folder the caller owns (the instance's
// scratch folder): an upload is deleted when its job ends, a result when it
// expires or its job is cancelled.

#include "jobstore.h"
#include "mattingpipeline.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class JobQueue : public JobStore
{
public:
    // One worker thread per pipeline; files go to `folder`, which must exist.
    // `capacity` is how many jobs may be accepted and unfinished at once, `perMac`
    // how many of them one mac may have (0: no limit); finished results are
    // deleted `ttlMs` after they finish. `delayMs` makes every job that much
    // slower (tests only).
    JobQueue(std::vector<std::unique_ptr<MattingPipeline>> pipelines, const std::string& folder, int capacity,
             int perMac, long long ttlMs, int delayMs = 0);
    ~JobQueue();
    JobQueue(const JobQueue&) = delete;
    JobQueue& operator=(const JobQueue&) = delete;

    Submit submit(const std::string& mac, const mattingprotocol::Options& options, const std::string& photo,
                  std::string& serial) override;
    Snapshot find(const std::string& serial, const std::string& mac) const override;
    bool fetchResult(const std::string& serial, std::string& png) override;
    bool cancel(const std::string& serial, const std::string& mac) override;
    Stats stats() const override;
    // The oldest running job's expected remainder from the average job time.
    int retryAfterSeconds() const override;
    std::optional<std::chrono::steady_clock::time_point> idleSince() const override;
    // Jobs not yet started are failed; running ones go on.
    void beginShutdown() override;
    void waitIdle() override;
    // Older results than those finished since beginShutdown() had their chance.
    void waitFetched(std::chrono::milliseconds grace) override;

    // 32 lowercase hex digits from the system's random source (128 bits).
    static std::string newSerial();

private:
    struct Job
    {
        std::string mac;
        mattingprotocol::Options options;
        Status status = Status::Running;
        bool started = false;
        bool fetched = false;
        std::chrono::steady_clock::time_point startedAt;
        std::string uploadPath;
        std::string resultPath;
        std::string message;
        std::chrono::steady_clock::time_point finishedAt;
    };

    void workerLoop(MattingPipeline* pipeline);
    void sweeperLoop();
    void runJob(MattingPipeline* pipeline, const std::string& serial, Job job);
    void finishLocked(Job& job, Status status, const std::string& message);
    bool unfetchedLocked() const;

    std::vector<std::unique_ptr<MattingPipeline>> m_pipelines;
    const int m_capacity;
    const int m_perMac;
    const std::chrono::milliseconds m_ttl;
    const int m_delayMs;
    const std::string m_dir;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;    // workers and sweeper
    std::condition_variable m_idle;    // waitIdle
    std::map<std::string, Job> m_jobs; // by serial
    std::deque<std::string> m_waiting; // serials not started yet, oldest first
    int m_running = 0;
    double m_averageJobMs = 0; // 0 until a job has run
    long long m_done = 0;
    long long m_failed = 0;
    std::chrono::steady_clock::time_point m_lastBusy = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point m_shutdownAt; // set by beginShutdown()
    bool m_accepting = true;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};
