#pragma once
// Accepted jobs, the inference workers that run them and the expiry of results.
//
// Threads: the public calls come from the HTTP threads, the signal thread and the
// idle watch; one worker thread per pipeline runs jobs; one sweeper thread deletes
// expired results. Everything shared is guarded by m_mutex.
// Uploads and results are files in a folder the caller owns (the instance's
// scratch folder): an upload is deleted when its job ends, a result when it
// expires or its job is cancelled.

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

class JobQueue
{
public:
    enum class Status
    {
        Running = 0,
        Done = 1,
        Failed = 2
    };
    enum class Submit
    {
        Accepted,
        Full,
        ShuttingDown,
        StorageError
    };

    struct Snapshot
    {
        bool found = false;
        Status status = Status::Running;
        std::string message;    // why a job failed
        std::string resultPath; // the PNG, when done
    };
    struct Stats
    {
        int waiting = 0;
        int running = 0;
        int finished = 0;
        int capacity = 0;
    };

    // One worker thread per pipeline; files go to `folder`, which must exist.
    // `capacity` is how many jobs may be accepted and unfinished at once; finished
    // results are deleted `ttlMs` after they finish. `delayMs` makes every job that
    // much slower (tests only).
    JobQueue(std::vector<std::unique_ptr<MattingPipeline>> pipelines, const std::string& folder, int capacity,
             long long ttlMs, int delayMs = 0);
    ~JobQueue();
    JobQueue(const JobQueue&) = delete;
    JobQueue& operator=(const JobQueue&) = delete;

    Submit submit(const std::string& mac, const mattingprotocol::Options& options, const std::string& photo,
                  std::string& serial);
    // A job as its owner sees it; another mac's serial is not found.
    Snapshot find(const std::string& serial, const std::string& mac) const;
    // A finished result by serial alone (the serial is the secret in result URLs);
    // counts as fetched.
    Snapshot fetchResult(const std::string& serial);
    // Fails the job with the protocol's cancelled message and deletes its files: a waiting job is
    // dropped, a running one's result is discarded when its engine returns.
    // False when the owner has no such job.
    bool cancel(const std::string& serial, const std::string& mac);
    Stats stats() const;
    // Seconds until a place in a full queue should free up: the oldest running
    // job's expected remainder from the average job time, at least 1.
    int retryAfterSeconds() const;
    // Since when no job has been waiting or running; nothing while one is.
    std::optional<std::chrono::steady_clock::time_point> idleSince() const;

    // New jobs are refused from now on and jobs not yet started are failed;
    // running ones go on. waitIdle() returns when none is running.
    void beginShutdown();
    void waitIdle();
    // Returns once every result finished since beginShutdown() has been fetched
    // at least once, or after `grace` at most. Older results had their chance.
    void waitFetched(std::chrono::milliseconds grace);

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
    std::chrono::steady_clock::time_point m_lastBusy = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point m_shutdownAt; // set by beginShutdown()
    bool m_accepting = true;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};
