#pragma once
// Where accepted jobs, their uploads and their results live, as the HTTP front
// sees it. Two backends: JobQueue keeps everything in this process and its
// scratch folder and runs the jobs itself; RedisStore keeps everything in a
// shared Redis, where worker processes (RedisWorkers) take the jobs, so any API
// process can answer any request.
//
// Threads: every call may come from any HTTP thread at once; implementations lock
// what they share.

#include "mattingprotocol.h"

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>

// Thrown by any call when a shared backend cannot be reached; the HTTP front
// answers 503 and the caller may try again.
struct StoreUnavailable : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

class JobStore
{
public:
    enum class Status
    {
        Running = 0, // waiting or being worked on
        Done = 1,
        Failed = 2
    };
    enum class Submit
    {
        Accepted,
        Full,          // the queue bound is reached
        TooManyForMac, // the mac has as many jobs in flight as it may
        ShuttingDown,
        StorageError
    };
    struct Snapshot
    {
        bool found = false;
        Status status = Status::Running;
        std::string message; // why a job failed
    };
    struct Stats
    {
        int waiting = 0;
        int running = 0;
        int finished = 0; // results kept; -1 when the backend does not count them
        int capacity = 0;
        int workers = 0;      // live inference workers
        long long done = 0;   // jobs finished since the store began
        long long failed = 0; // jobs failed, cancels included
    };

    virtual ~JobStore() = default;

    // Stores the photo and queues the job; `serial` names it on Accepted.
    virtual Submit submit(const std::string& mac, const mattingprotocol::Options& options,
                          const std::string& photo, std::string& serial) = 0;
    // A job as its owner sees it; another mac's serial is not found.
    virtual Snapshot find(const std::string& serial, const std::string& mac) const = 0;
    // A finished job's PNG by serial alone (the serial is the secret in result
    // URLs); false when there is none (any more). Counts as fetched.
    virtual bool fetchResult(const std::string& serial, std::string& png) = 0;
    // Fails the job with the protocol's cancelled message and deletes its upload
    // and result; a running job's result is discarded when its engine returns.
    // False when the owner has no such job.
    virtual bool cancel(const std::string& serial, const std::string& mac) = 0;
    virtual Stats stats() const = 0;
    // Seconds until a place in a full queue should free up, at least 1.
    virtual int retryAfterSeconds() const = 0;
    // Since when this process has had nothing to do; nothing while it has work.
    virtual std::optional<std::chrono::steady_clock::time_point> idleSince() const = 0;

    // New jobs are refused from now on. waitIdle() returns when this process runs
    // no job; waitFetched() when results finished since beginShutdown() have been
    // fetched, or after `grace`. A shared backend keeps its jobs for the others.
    virtual void beginShutdown() = 0;
    virtual void waitIdle() = 0;
    virtual void waitFetched(std::chrono::milliseconds grace) = 0;
};
