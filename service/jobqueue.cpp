#include "jobqueue.h"

#include "allocator.h"
#include "mattingprotocol.h"
#include "servicelog.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

namespace {

bool writeFile(const std::string& path, const char* data, std::size_t size)
{
    // Written under a temporary name and renamed, so a reader never sees half a file.
    const std::string temp = path + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out.write(data, std::streamsize(size)) || !out.flush())
            return false;
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    return !ec;
}

bool readFile(const std::string& path, std::string& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

void removeFile(const std::string& path)
{
    if (!path.empty()) {
        std::error_code ec;
        fs::remove(path, ec);
    }
}

} // namespace

std::string JobQueue::newSerial()
{
    std::random_device source;
    static const char* const hex = "0123456789abcdef";
    std::string serial;
    for (int i = 0; i < 4; ++i) {
        const std::uint32_t word = source();
        for (int shift = 28; shift >= 0; shift -= 4)
            serial += hex[(word >> shift) & 0xF];
    }
    return serial;
}

JobQueue::JobQueue(std::vector<std::unique_ptr<MattingPipeline>> pipelines, const std::string& folder,
                   int capacity, int perMac, long long ttlMs, int delayMs)
    : m_pipelines(std::move(pipelines)), m_capacity(capacity), m_perMac(perMac), m_ttl(ttlMs),
      m_delayMs(delayMs), m_dir(folder)
{
    for (auto& p : m_pipelines)
        m_threads.emplace_back(&JobQueue::workerLoop, this, p.get());
    m_threads.emplace_back(&JobQueue::sweeperLoop, this);
}

JobQueue::~JobQueue()
{
    beginShutdown();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (auto& t : m_threads)
        t.join();
}

JobQueue::Submit JobQueue::submit(const std::string& mac, const mattingprotocol::Options& options,
                                  const std::string& photo, std::string& serial)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_accepting)
            return Submit::ShuttingDown;
        if (int(m_waiting.size()) + m_running >= m_capacity)
            return Submit::Full;
        if (m_perMac > 0 && std::count_if(m_jobs.begin(), m_jobs.end(), [&mac](const auto& entry) {
                                return entry.second.mac == mac && entry.second.status == Status::Running;
                            }) >= m_perMac)
            return Submit::TooManyForMac;
        do
            serial = newSerial();
        while (m_jobs.count(serial));
        // Reserve the place now so concurrent uploads cannot overshoot the capacity
        // while this one is being written to disk.
        Job& job = m_jobs[serial];
        job.mac = mac;
        job.options = options;
        job.started = true;
        ++m_running;
    }
    const std::string upload = m_dir + "/" + serial + ".upload";
    const bool stored = writeFile(upload, photo.data(), photo.size());
    std::lock_guard<std::mutex> lock(m_mutex);
    --m_running;
    m_lastBusy = std::chrono::steady_clock::now();
    Job& job = m_jobs[serial];
    if (!stored || !m_accepting) {
        removeFile(upload);
        m_jobs.erase(serial);
        m_idle.notify_all();
        return stored ? Submit::ShuttingDown : Submit::StorageError;
    }
    job.started = false;
    job.uploadPath = upload;
    m_waiting.push_back(serial);
    m_wake.notify_all();
    return Submit::Accepted;
}

JobQueue::Snapshot JobQueue::find(const std::string& serial, const std::string& mac) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Snapshot s;
    const auto it = m_jobs.find(serial);
    if (it == m_jobs.end() || it->second.mac != mac)
        return s;
    s.found = true;
    s.status = it->second.status;
    s.message = it->second.message;
    return s;
}

bool JobQueue::fetchResult(const std::string& serial, std::string& png)
{
    std::string path;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_jobs.find(serial);
        if (it == m_jobs.end() || it->second.status != Status::Done)
            return false;
        it->second.fetched = true;
        m_idle.notify_all();
        path = it->second.resultPath;
    }
    // The file may expire between the look-up and here; then it is gone.
    return readFile(path, png) && !png.empty();
}

bool JobQueue::cancel(const std::string& serial, const std::string& mac)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_jobs.find(serial);
    if (it == m_jobs.end() || it->second.mac != mac)
        return false;
    Job& job = it->second;
    if (job.status == Status::Failed)
        return true; // nothing left to delete, and its reason stays
    const auto waiting = std::find(m_waiting.begin(), m_waiting.end(), serial);
    if (waiting != m_waiting.end()) {
        m_waiting.erase(waiting);
        removeFile(job.uploadPath);
        job.uploadPath.clear();
        m_idle.notify_all();
    }
    // A running job's files are its worker's until the engine returns (runJob).
    removeFile(job.resultPath);
    job.resultPath.clear();
    finishLocked(job, Status::Failed, mattingprotocol::kMessageCancelled);
    servicelog::info("job " + serial + " cancelled");
    return true;
}

JobQueue::Stats JobQueue::stats() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Stats s;
    s.waiting = int(m_waiting.size());
    s.running = m_running;
    s.finished = int(m_jobs.size()) - s.waiting - s.running;
    s.capacity = m_capacity;
    s.workers = int(m_pipelines.size());
    s.done = m_done;
    s.failed = m_failed;
    return s;
}

int JobQueue::retryAfterSeconds() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto now = std::chrono::steady_clock::now();
    double remainingMs = 0;
    for (const auto& [serial, job] : m_jobs)
        if (job.started && job.status == Status::Running) {
            const double elapsed = std::chrono::duration<double, std::milli>(now - job.startedAt).count();
            remainingMs = std::max(remainingMs, m_averageJobMs - elapsed);
        }
    return std::max(1, int(std::ceil(remainingMs / 1000)));
}

std::optional<std::chrono::steady_clock::time_point> JobQueue::idleSince() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_running > 0 || !m_waiting.empty())
        return std::nullopt;
    return m_lastBusy;
}

void JobQueue::beginShutdown()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_accepting)
        return;
    m_accepting = false;
    m_shutdownAt = std::chrono::steady_clock::now();
    for (const std::string& serial : m_waiting) {
        Job& job = m_jobs[serial];
        removeFile(job.uploadPath);
        finishLocked(job, Status::Failed,
                     "The service stopped before the photo was processed. Please try again.");
    }
    m_waiting.clear();
    m_idle.notify_all();
}

void JobQueue::waitIdle()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return m_running == 0 && m_waiting.empty(); });
}

void JobQueue::waitFetched(std::chrono::milliseconds grace)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait_for(lock, grace, [this] { return !unfetchedLocked(); });
}

bool JobQueue::unfetchedLocked() const
{
    return std::any_of(m_jobs.begin(), m_jobs.end(), [this](const auto& entry) {
        const Job& job = entry.second;
        return job.status == Status::Done && !job.fetched && job.finishedAt >= m_shutdownAt;
    });
}

void JobQueue::finishLocked(Job& job, Status status, const std::string& message)
{
    job.status = status;
    job.message = message;
    ++(status == Status::Done ? m_done : m_failed);
    job.finishedAt = std::chrono::steady_clock::now();
}

void JobQueue::workerLoop(MattingPipeline* pipeline)
{
    // A burst of jobs runs with the engine's caches warm; after a quiet spell
    // their memory goes back to the desktop.
    constexpr std::chrono::seconds kIdleRelease(30);
    bool cachesWarm = false;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (!m_wake.wait_for(lock, kIdleRelease, [this] { return m_stopping || !m_waiting.empty(); })) {
            if (cachesWarm) {
                lock.unlock();
                pipeline->releaseCaches();
                allocator::releaseFreed();
                lock.lock();
                cachesWarm = false;
            }
            continue;
        }
        if (m_waiting.empty())
            return; // stopping with nothing left
        const std::string serial = m_waiting.front();
        m_waiting.pop_front();
        Job& job = m_jobs[serial];
        job.started = true;
        job.startedAt = std::chrono::steady_clock::now();
        ++m_running;
        const Job copy = job;
        lock.unlock();
        runJob(pipeline, serial, copy);
        cachesWarm = true;
        lock.lock();
        --m_running;
        m_lastBusy = std::chrono::steady_clock::now();
        m_idle.notify_all();
    }
}

void JobQueue::runJob(MattingPipeline* pipeline, const std::string& serial, Job job)
{
    const auto started = std::chrono::steady_clock::now();
    if (m_delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs));
    Status status = Status::Failed;
    std::string message;
    const std::string result = m_dir + "/" + serial + ".png";
    try {
        std::string photo;
        if (!readFile(job.uploadPath, photo))
            throw std::runtime_error("The uploaded photo was lost. Please try again.");
        const std::vector<uchar> png = pipeline->run(photo, job.options);
        if (!writeFile(result, reinterpret_cast<const char*>(png.data()), png.size()))
            throw std::runtime_error("The result could not be stored. Please try again.");
        status = Status::Done;
    } catch (const std::exception& e) {
        message = e.what();
    }
    removeFile(job.uploadPath);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_averageJobMs =
        m_averageJobMs == 0 ? double(ms.count()) : 0.7 * m_averageJobMs + 0.3 * double(ms.count());
    // Only a cancel finishes a running job early; it may even have expired since.
    const auto live = m_jobs.find(serial);
    if (live == m_jobs.end() || live->second.status != Status::Running) {
        removeFile(result);
        servicelog::info("job " + serial + " abandoned after " + std::to_string(ms.count()) + " ms");
        return;
    }
    servicelog::info("job " + serial + (status == Status::Done ? " done" : " failed: " + message) + " in " +
                     std::to_string(ms.count()) + " ms");
    live->second.uploadPath.clear();
    if (status == Status::Done)
        live->second.resultPath = result;
    finishLocked(live->second, status, message);
}

void JobQueue::sweeperLoop()
{
    const auto period = std::min<std::chrono::milliseconds>(
        std::chrono::milliseconds(1000),
        std::max<std::chrono::milliseconds>(m_ttl / 4, std::chrono::milliseconds(20)));
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        m_wake.wait_for(lock, period);
        const auto now = std::chrono::steady_clock::now();
        for (auto it = m_jobs.begin(); it != m_jobs.end();) {
            const Job& job = it->second;
            const bool finished = job.status != Status::Running;
            if (finished && now - job.finishedAt >= m_ttl) {
                removeFile(job.resultPath);
                servicelog::debug("job " + it->first + " expired");
                it = m_jobs.erase(it);
            } else {
                ++it;
            }
        }
    }
}
