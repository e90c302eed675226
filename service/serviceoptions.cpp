#include "serviceoptions.h"

#include "redisconnection.h"

#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>

namespace {

const char* const kModelFileName = "isnet-general.pt";

bool parseInt(const std::string& text, int minValue, int maxValue, int& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < minValue || v > maxValue)
        return false;
    out = static_cast<int>(v);
    return true;
}

bool parseLogLevel(const std::string& text, int& out)
{
    static const std::map<std::string, int> names = {
        {"error", 0}, {"warning", 1}, {"warn", 1}, {"info", 2}, {"debug", 3}};
    const auto it = names.find(text);
    if (it != names.end()) {
        out = it->second;
        return true;
    }
    return parseInt(text, 0, 3, out);
}

std::string bracketIfIpv6(const std::string& host)
{
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

} // namespace

long long ServiceOptions::parseDurationMs(const std::string& text)
{
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
        ++digits;
    if (digits == 0 || digits > 12)
        return -1;
    const long long value = std::stoll(text.substr(0, digits));
    const std::string unit = text.substr(digits);
    if (unit.empty() || unit == "s")
        return value * 1000;
    if (unit == "ms")
        return value;
    if (unit == "m")
        return value * 60 * 1000;
    return -1;
}

std::string ServiceOptions::defaultModelPath()
{
    std::string dir;
    if (const char* env = std::getenv("BRISEL_MODEL_DIR"); env && *env)
        dir = env;
    else if (const char* home = std::getenv("HOME"); home && *home)
        dir = std::string(home) + "/.cache/brisel/models";
    else
        dir = ".";
    return dir + "/" + kModelFileName;
}

std::string ServiceOptions::fastModelPath(const std::string& modelPath)
{
    const std::size_t dot = modelPath.rfind('.');
    const std::size_t slash = modelPath.rfind('/');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return hasExtension ? modelPath.substr(0, dot) + "-int8" + modelPath.substr(dot) : modelPath + "-int8";
}

std::string ServiceOptions::baseUrl(int boundPort) const
{
    if (!publicUrl.empty()) {
        std::string url = publicUrl;
        while (!url.empty() && url.back() == '/')
            url.pop_back();
        return url;
    }
    // A wildcard address is not somewhere a client can connect to; loopback is.
    std::string host = listen;
    if (host == "0.0.0.0" || host.empty())
        host = "127.0.0.1";
    else if (host == "::")
        host = "::1";
    return std::string(useTls() ? "https" : "http") + "://" + bracketIfIpv6(host) + ":" +
           std::to_string(boundPort);
}

std::string ServiceOptions::usage()
{
    return "Usage: brisel-matting-service [options]\n"
           "  --listen ADDR        address to listen on (default 127.0.0.1)\n"
           "  --port N             port, 0 for any free one (default 47650)\n"
           "  --public-url URL     base URL put in result links (default from listen/port)\n"
           "  --tls-cert FILE      serve HTTPS with this certificate (PEM)\n"
           "  --tls-key FILE       private key of that certificate (PEM)\n"
           "  --engine NAME        auto, isnet, isnet-fast (int8, quicker, slightly coarser) or key\n"
           "                       (default auto)\n"
           "  --model FILE         TorchScript model for isnet (default " +
           defaultModelPath() +
           "); isnet-fast loads its -int8 sibling\n"
           "  --workers N          inference workers, each with its own network (default 1)\n"
           "  --cv-threads N       OpenCV threads (default 2)\n"
           "  --max-upload-mb N    largest accepted upload in MB (default 50)\n"
           "  --max-megapixels N   largest accepted photo in megapixels (default 64)\n"
           "  --queue N            jobs accepted at once before answering 503 (default 32)\n"
           "  --per-mac N          jobs one computer may have at once before answering 429, 0 for\n"
           "                       no limit (default 0)\n"
           "  --result-ttl T       how long results are kept: 600, 90s, 500ms, 10m (default 10m)\n"
           "  --idle-exit T        exit after T without jobs or connections, 0 for never (default 0)\n"
           "  --scratch DIR        folder for uploads and results (default $TMPDIR/brisel-service-<uid>)\n"
           "  --log-level L        error, warning, info or debug (default info)\n"
           "  --store URL          keep jobs in a shared Redis, redis://host:port[/db] (default: in\n"
           "                       this process and its scratch folder)\n"
           "  --role R             api, worker or both (default both); api and worker need --store\n"
           "  --visibility T       with --store: how long a worker may hold a job without renewing\n"
           "                       its lease before the job goes back to the queue (default 60s)\n";
}

bool ServiceOptions::parse(int argc, const char* const* argv, ServiceOptions& out, std::string& error)
{
    using Setter = std::function<bool(const std::string&)>;
    auto text = [](std::string& field) {
        return [&field](const std::string& v) {
            field = v;
            return !v.empty();
        };
    };
    auto number = [](int& field, int lo, int hi) {
        return [&field, lo, hi](const std::string& v) { return parseInt(v, lo, hi, field); };
    };
    const std::map<std::string, Setter> setters = {
        {"--listen", text(out.listen)},
        {"--port", number(out.port, 0, 65535)},
        {"--public-url", text(out.publicUrl)},
        {"--tls-cert", text(out.tlsCert)},
        {"--tls-key", text(out.tlsKey)},
        {"--engine",
         [&out](const std::string& v) {
             out.engine = v;
             return v == "auto" || v == "isnet" || v == "isnet-fast" || v == "key";
         }},
        {"--model", text(out.modelPath)},
        {"--workers", number(out.workers, 1, 64)},
        {"--cv-threads", number(out.cvThreads, 0, 256)},
        {"--max-upload-mb", number(out.maxUploadMb, 1, 4096)},
        {"--max-megapixels", number(out.maxMegapixels, 1, 1024)},
        {"--queue", number(out.queue, 1, 100000)},
        {"--per-mac", number(out.perMac, 0, 100000)},
        {"--result-ttl",
         [&out](const std::string& v) {
             out.resultTtlMs = parseDurationMs(v);
             return out.resultTtlMs > 0;
         }},
        {"--idle-exit",
         [&out](const std::string& v) {
             out.idleExitMs = parseDurationMs(v);
             return out.idleExitMs >= 0;
         }},
        {"--scratch", text(out.scratchRoot)},
        {"--log-level", [&out](const std::string& v) { return parseLogLevel(v, out.logLevel); }},
        {"--test-delay-ms", number(out.testDelayMs, 0, 600000)},
        {"--store",
         [&out](const std::string& v) {
             out.store = v;
             std::string host;
             int port = 0, db = 0;
             return RedisConnection::parseUrl(v, host, port, db);
         }},
        {"--role",
         [&out](const std::string& v) {
             out.role = v;
             return v == "api" || v == "worker" || v == "both";
         }},
        {"--visibility",
         [&out](const std::string& v) {
             out.visibilityMs = parseDurationMs(v);
             return out.visibilityMs >= 100;
         }},
    };

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            error.clear();
            return false;
        }
        std::string value;
        const auto eq = arg.find('=');
        bool inlineValue = false;
        if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            inlineValue = true;
        }
        const auto it = setters.find(arg);
        if (it == setters.end()) {
            error = "unknown option " + arg;
            return false;
        }
        if (!inlineValue) {
            if (i + 1 >= argc) {
                error = "option " + arg + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (!it->second(value)) {
            error = "bad value for " + arg + ": \"" + value + "\"";
            return false;
        }
    }
    if (out.tlsCert.empty() != out.tlsKey.empty()) {
        error = "--tls-cert and --tls-key go together";
        return false;
    }
    if (out.role != "both" && !out.sharedStore()) {
        error = "--role " + out.role + " needs a shared --store";
        return false;
    }
    if (out.modelPath.empty())
        out.modelPath = defaultModelPath();
    return true;
}
