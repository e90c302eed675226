#include "mattingserver.h"

#include "imageprobe.h"
#include "mattingprotocol.h"
#include "servicelog.h"

#include <httplib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

#include <sys/socket.h>

namespace {

namespace proto = mattingprotocol;

// A connection that has not finished its TLS handshake or sent the next piece of
// its request within this long is closed, so silent clients give their thread up
// quickly.
constexpr int kReadTimeoutSeconds = 5;
// Connections served at once; past this they wait for a thread. The read
// deadline is per read, so this, not the deadline, bounds clients that trickle.
constexpr int kMaxConnectionThreads = 256;
// How long a stop waits for results finished during the drain to be fetched:
// a few of the desktop program's poll intervals.
constexpr std::chrono::seconds kFetchGrace(5);

static_assert(int(JobStore::Status::Running) == proto::kStatusRunning &&
                  int(JobStore::Status::Done) == proto::kStatusDone &&
                  int(JobStore::Status::Failed) == proto::kStatusFailed,
              "a job's status is sent as its number");

// Messages reach the user unchanged through the desktop program: plain English,
// saying what happened and what to do.
const char* const kNoFile = "No photo was received. Please choose a photo and try again.";
const std::string kNoMac =
    std::string("The request does not identify this computer (\"") + proto::kMac + "\" is missing).";
const std::string kNoSerial =
    std::string("The request does not name a task (\"") + proto::kSerial + "\" is missing).";
const char* const kNotImage = "The file is not a supported image. Please use a PNG, JPEG, BMP or WEBP photo.";
const char* const kTruncated =
    "The image file is incomplete or damaged. Please use another copy of the photo.";
const char* const kUnknownTask = "The task was not found. It may have expired; please try again.";
const char* const kBusy = "The matting service is busy. Please try again in a moment.";
const char* const kStopping = "The matting service is shutting down. Please try again in a moment.";
const char* const kStoreDown =
    "The matting service cannot reach its job store. Please try again in a moment.";
const char* const kStorage = "The matting service could not store the photo. Please try again later.";
const char* const kNotFound = "Not found.";
const char* const kInternal = "The matting service had an internal error. Please try again.";

std::string jsonString(const std::string& s)
{
    std::string out = "\"";
    for (const unsigned char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += char(c);
            }
        }
    }
    return out + "\"";
}

// The HTTP status mirrors the code in the body, and the body is always JSON.
void reply(httplib::Response& res, int code, const std::string& message,
           const std::string& data = std::string())
{
    res.status = code;
    std::string body = "{" + jsonString(proto::kCode) + ":" + std::to_string(code) + "," +
                       jsonString(proto::kMessage) + ":" + jsonString(message);
    if (!data.empty())
        body += "," + jsonString(proto::kData) + ":" + data;
    res.set_content(body + "}", "application/json");
}

std::string uploadLimitMessage(int mb)
{
    return "The photo is too large to upload. The limit is " + std::to_string(mb) + " MB.";
}

std::string macLimitMessage(int limit)
{
    return "This computer already has " + std::to_string(limit) +
           " photos being processed. Please wait for one of them to finish.";
}

std::string pixelLimitMessage(double mp, int limit)
{
    char buf[160];
    std::snprintf(
        buf, sizeof buf,
        "The photo has too many pixels (%.1f megapixels; the limit is %d). Please use a smaller photo.", mp,
        limit);
    return buf;
}

// A poll or cancel names its owner and its task; false after answering 400.
bool checkTaskQuery(httplib::Response& res, const std::string& mac, const std::string& serial)
{
    if (mac.empty())
        reply(res, 400, kNoMac);
    else if (serial.empty())
        reply(res, 400, kNoSerial);
    return !mac.empty() && !serial.empty();
}

const char* defaultMessage(int status)
{
    switch (status) {
    case 404:
        return kNotFound;
    case 413:
        return nullptr; // filled in with the limit by the caller
    case 500:
        return kInternal;
    default:
        return "The request could not be understood.";
    }
}

} // namespace

MattingServer::MattingServer(const ServiceOptions& options, JobStore& jobs, MattingEngine::Choice engine)
    : m_options(options), m_jobs(jobs), m_engine(std::move(engine)), m_pool(kMaxConnectionThreads)
{
    if (options.useTls())
        m_http = std::make_unique<httplib::SSLServer>(options.tlsCert.c_str(), options.tlsKey.c_str());
    else
        m_http = std::make_unique<httplib::Server>();
    installRoutes();
}

MattingServer::~MattingServer() = default;

bool MattingServer::bind(std::string& error)
{
    if (!m_http->is_valid()) {
        error = "cannot load the TLS certificate " + m_options.tlsCert + " or key " + m_options.tlsKey;
        return false;
    }
    // The library listens with a backlog of 5, which drops connections when a
    // burst of clients arrives at once; calling listen() again on the bound
    // socket raises it.
    int listenFd = -1;
    m_http->set_socket_options([&listenFd](int fd) {
        const int yes = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        listenFd = fd;
    });
    if (m_options.port == 0) {
        m_port = m_http->bind_to_any_port(m_options.listen);
    } else if (m_http->bind_to_port(m_options.listen, m_options.port)) {
        m_port = m_options.port;
    }
    if (m_port <= 0) {
        error = "cannot listen on " + m_options.listen + " port " + std::to_string(m_options.port);
        return false;
    }
    if (listenFd >= 0)
        ::listen(listenFd, SOMAXCONN);
    return true;
}

bool MattingServer::run()
{
    std::thread idleWatch;
    if (m_options.idleExitMs > 0)
        idleWatch = std::thread(&MattingServer::watchIdle, this);
    const bool ok = m_http->listen_after_bind();
    {
        std::lock_guard<std::mutex> lock(m_watchMutex);
        m_returned = true;
    }
    m_watchWake.notify_all();
    if (idleWatch.joinable())
        idleWatch.join();
    return ok;
}

void MattingServer::watchIdle()
{
    using namespace std::chrono;
    const milliseconds limit(m_options.idleExitMs);
    const milliseconds period = std::clamp<milliseconds>(limit / 4, milliseconds(50), milliseconds(1000));
    std::unique_lock<std::mutex> lock(m_watchMutex);
    while (!m_watchWake.wait_for(lock, period, [this] { return bool(m_returned); })) {
        const auto jobsIdle = m_jobs.idleSince();
        const auto connectionsIdle = m_pool.idleSince();
        if (!jobsIdle || !connectionsIdle || !m_http->is_running())
            continue;
        if (steady_clock::now() - std::max(*jobsIdle, *connectionsIdle) >= limit) {
            servicelog::info("no jobs or connections for " + std::to_string(limit.count() / 1000) +
                             " s; exiting");
            m_http->stop();
            return;
        }
    }
}

void MattingServer::shutdown()
{
    m_jobs.beginShutdown();
    m_jobs.waitIdle();
    m_jobs.waitFetched(kFetchGrace);
    // stop() is a no-op until the accept loop runs, so a signal that arrives
    // right at start-up waits for it rather than being lost.
    while (!m_http->is_running() && !m_returned)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    m_http->stop();
}

void MattingServer::installRoutes()
{
    httplib::Server& http = *m_http;
    const std::size_t limit = m_options.maxUploadBytes();
    const int limitMb = m_options.maxUploadMb;
    // Room for the multipart framing around the file itself.
    http.set_payload_max_length(limit + 64 * 1024);
    http.set_read_timeout(kReadTimeoutSeconds, 0);
    http.set_write_timeout(30, 0);
    http.set_keep_alive_timeout(5);
    http.set_keep_alive_max_count(100);
    http.new_task_queue = [this] { return m_pool.newHandle(); };

    // Clients that announce a large body wait for this answer before sending it,
    // so an oversized photo is refused without being transferred.
    http.set_expect_100_continue_handler([limit, limitMb](const httplib::Request& req,
                                                          httplib::Response& res) {
        if (std::strtoull(req.get_header_value("Content-Length").c_str(), nullptr, 10) > limit + 64 * 1024) {
            reply(res, 413, uploadLimitMessage(limitMb));
            return 413;
        }
        return 100;
    });
    http.set_error_handler([limitMb](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty())
            return;
        if (res.status == 413)
            reply(res, 413, uploadLimitMessage(limitMb));
        else
            reply(res, res.status, defaultMessage(res.status));
    });
    http.set_exception_handler(
        [](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
            try {
                std::rethrow_exception(ep);
            } catch (const StoreUnavailable& e) {
                servicelog::warning(req.path + ": " + e.what());
                res.set_header("Retry-After", "1");
                return reply(res, 503, kStoreDown);
            } catch (const std::exception& e) {
                servicelog::error(req.path + ": " + e.what());
            } catch (...) {
                servicelog::error(req.path + ": unknown exception");
            }
            reply(res, 500, kInternal);
        });
    http.set_logger([](const httplib::Request& req, const httplib::Response& res) {
        servicelog::debug(req.method + " " + req.path + " -> " + std::to_string(res.status));
    });

    http.Get("/healthz", [this](const httplib::Request&, httplib::Response& res) {
        const JobStore::Stats s = m_jobs.stats();
        std::ostringstream data;
        data << "{\"role\":" << jsonString(m_options.role) << ",\"engine\":" << jsonString(m_engine.name)
             << ",\"model\":" << jsonString(m_engine.model) << ",\"warning\":" << jsonString(m_engine.warning)
             << ",\"workers\":" << s.workers << ",\"queue\":{\"waiting\":" << s.waiting
             << ",\"running\":" << s.running << ",\"finished\":" << s.finished
             << ",\"capacity\":" << s.capacity << "}}";
        reply(res, 200, m_engine.warning.empty() ? "ok" : m_engine.warning, data.str());
    });

    http.Get("/metrics", [this](const httplib::Request&, httplib::Response& res) {
        const JobStore::Stats s = m_jobs.stats();
        std::ostringstream out;
        const auto metric = [&out](const char* name, const char* type, const char* help, long long value) {
            out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n'
                << name << ' ' << value << '\n';
        };
        metric("brisel_queue_depth", "gauge", "Jobs waiting for a worker.", s.waiting);
        metric("brisel_jobs_in_flight", "gauge", "Jobs being worked on.", s.running);
        metric("brisel_queue_capacity", "gauge", "Jobs accepted at once before refusing.", s.capacity);
        metric("brisel_workers", "gauge", "Live inference workers.", s.workers);
        metric("brisel_jobs_done_total", "counter", "Jobs finished with a result.", s.done);
        metric("brisel_jobs_failed_total", "counter", "Jobs failed or cancelled.", s.failed);
        res.set_content(out.str(), "text/plain; version=0.0.4");
    });

    if (m_options.role != "worker")
        installTaskRoutes();
}

void MattingServer::installTaskRoutes()
{
    httplib::Server& http = *m_http;
    http.Post(proto::kTaskPath, [this](const httplib::Request& req, httplib::Response& res) {
        const std::string mac = req.get_param_value(proto::kMac);
        if (mac.empty())
            return reply(res, 400, kNoMac);
        proto::Options options;
        std::string badOption;
        if (!proto::readOptions([&](const char* key) { return req.get_param_value(key); }, options,
                                badOption))
            return reply(res, 400, badOption);
        if (!req.has_file(proto::kFileField))
            return reply(res, 400, kNoFile);
        const std::string& photo = req.get_file_value(proto::kFileField).content;
        if (photo.size() > m_options.maxUploadBytes())
            return reply(res, 413, uploadLimitMessage(m_options.maxUploadMb));
        const ImageProbe::Info info = ImageProbe::probe(photo);
        if (info.format == ImageProbe::Format::Unknown)
            return reply(res, 415, kNotImage);
        if (!info.complete)
            return reply(res, 415, kTruncated);
        if (info.megapixels() > m_options.maxMegapixels)
            return reply(res, 422, pixelLimitMessage(info.megapixels(), m_options.maxMegapixels));
        std::string serial;
        switch (m_jobs.submit(mac, options, photo, serial)) {
        case JobStore::Submit::Accepted:
            servicelog::debug("job " + serial + " accepted: " + std::to_string(info.width) + "x" +
                              std::to_string(info.height));
            return reply(res, 200, "ok", "{" + jsonString(proto::kSerial) + ":" + jsonString(serial) + "}");
        case JobStore::Submit::Full:
            res.set_header("Retry-After", std::to_string(m_jobs.retryAfterSeconds()));
            return reply(res, 503, kBusy);
        case JobStore::Submit::TooManyForMac:
            res.set_header("Retry-After", std::to_string(m_jobs.retryAfterSeconds()));
            return reply(res, proto::kCodeTooMany, macLimitMessage(m_options.perMac));
        case JobStore::Submit::ShuttingDown:
            return reply(res, 503, kStopping);
        case JobStore::Submit::StorageError:
            return reply(res, 500, kStorage);
        }
    });

    http.Get(proto::kTaskPath, [this](const httplib::Request& req, httplib::Response& res) {
        const std::string mac = req.get_param_value(proto::kMac);
        const std::string serial = req.get_param_value(proto::kSerial);
        if (!checkTaskQuery(res, mac, serial))
            return;
        const JobStore::Snapshot job = m_jobs.find(serial, mac);
        if (!job.found)
            return reply(res, 404, kUnknownTask);
        const int status = int(job.status);
        const std::string url =
            job.status == JobStore::Status::Done ? baseUrl() + proto::resultPath(serial) : std::string();
        const std::string message = job.status == JobStore::Status::Running ? "processing"
                                    : job.status == JobStore::Status::Done  ? "ok"
                                                                            : job.message;
        reply(res, 200, message,
              "{" + jsonString(proto::kStatus) + ":" + std::to_string(status) + "," +
                  jsonString(proto::kConvertPath) + ":" + jsonString(url) + "}");
    });

    http.Delete(proto::kTaskPath, [this](const httplib::Request& req, httplib::Response& res) {
        const std::string mac = req.get_param_value(proto::kMac);
        const std::string serial = req.get_param_value(proto::kSerial);
        if (!checkTaskQuery(res, mac, serial))
            return;
        if (!m_jobs.cancel(serial, mac))
            return reply(res, 404, kUnknownTask);
        reply(res, 200, "ok");
    });

    http.Get(proto::resultRoute(), [this](const httplib::Request& req, httplib::Response& res) {
        std::string png;
        if (!m_jobs.fetchResult(req.matches[1], png))
            return reply(res, 404, kUnknownTask);
        res.set_content(std::move(png), "image/png");
    });
}
