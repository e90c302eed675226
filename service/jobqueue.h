#pragma once
// Accepted jobs, the inference workers that run them and the expiry of results.
//
// Threads: submit/find/stats/beginShutdown/waitIdle are called from the HTTP
// threads and the signal thread; one worker thread per pipeline runs jobs; one
// sweeper thread deletes expired results. Everything shared is guarded by m_mutex.
// Uploads and results are files in a private folder made by the constructor and
// removed with everything in it by the destructor.

#include "mattingpipeline.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
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

    // One worker thread per pipeline. `capacity` is how many jobs may be accepted
    // and unfinished at once; finished results are deleted `ttlMs` after they
    // finish. `delayMs` makes every job that much slower (tests only).
    JobQueue(std::vector<std::unique_ptr<MattingPipeline>> pipelines, int capacity, long long ttlMs,
             int delayMs = 0);
    ~JobQueue();
    JobQueue(const JobQueue&) = delete;
    JobQueue& operator=(const JobQueue&) = delete;

    bool valid() const { return !m_dir.empty(); }
    const std::string& folder() const { return m_dir; }

    Submit submit(const std::string& mac, bool isBody, const std::string& photo, std::string& serial);
    // A job as its owner sees it; another mac's serial is not found.
    Snapshot find(const std::string& serial, const std::string& mac) const;
    // A finished result by serial alone (the serial is the secret in result URLs).
    Snapshot findResult(const std::string& serial) const;
    Stats stats() const;

    // New jobs are refused from now on and jobs not yet started are failed;
    // running ones go on. waitIdle() returns when none is running.
    void beginShutdown();
    void waitIdle();

    // 32 lowercase hex digits from the system's random source (128 bits).
    static std::string newSerial();

private:
    struct Job
    {
        std::string mac;
        bool isBody = false;
        Status status = Status::Running;
        bool started = false;
        std::string uploadPath;
        std::string resultPath;
        std::string message;
        std::chrono::steady_clock::time_point finishedAt;
    };

    void workerLoop(MattingPipeline* pipeline);
    void sweeperLoop();
    void runJob(MattingPipeline* pipeline, const std::string& serial, Job job);
    void finishLocked(Job& job, Status status, const std::string& message);

    std::vector<std::unique_ptr<MattingPipeline>> m_pipelines;
    const int m_capacity;
    const std::chrono::milliseconds m_ttl;
    const int m_delayMs;
    std::string m_dir;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;    // workers and sweeper
    std::condition_variable m_idle;    // waitIdle
    std::map<std::string, Job> m_jobs; // by serial
    std::deque<std::string> m_waiting; // serials not started yet, oldest first
    int m_running = 0;
    bool m_accepting = true;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};
