#pragma once
// The matting service's HTTP protocol, as both ends speak it:
//
//   POST <task>?mac=M&is_body=0|1[&mode=person|product|id][&shadow=keep|remove][&engine=fast]
//        multipart part "file": the photo
//        -> {"code":200,"message":..,"data":{"serial":S}}
//        mode: what the photo shows. person keeps the subject attached to the
//        largest figure and drops detached blobs; product keeps every salient
//        object and, on a flat studio background, its crisp keyed edge; id is
//        person plus filled holes in the figure and a clean edge on a flat
//        background. Without mode, is_body=1 means person and 0 product, as
//        older clients send it; with mode, is_body is ignored.
//        shadow (product): keep returns the contact shadow under the object as
//        a black semi-transparent layer (alpha = shadow strength) that darkens
//        any new background; remove (the default) cuts it away.
//        engine=fast asks for the int8 copy of the network: quicker, slightly
//        less exact edges. It applies to the isnet engine only; a service without
//        the fast model (or on the key engine) runs the normal engine instead.
//   GET  <task>?mac=M&serial=S
//        -> {"code":200,"message":..,"data":{"status":0|1|2,"convert_path":URL}}
//   GET  URL (the service's <result>/S.png) -> the cut-out as PNG
//   DELETE <task>?mac=M&serial=S   -> {"code":200,...}: a queued job is dropped, a
//        running one is abandoned and its result not kept, a finished one's result
//        is deleted; 404 (with a message) when the mac has no such task. Polls
//        after that answer status 2 (failed) with the message kMessageCancelled
//        until the task expires like any finished one, then 404.
//
// A 503 because the queue is full carries "Retry-After: <seconds>", the service's
// estimate of when a place frees up. A 429 (kCodeTooMany) says this mac already
// has as many tasks in flight as the service allows one computer; it carries
// "Retry-After" too, and a client may ask again once one of its tasks finished.
// A task lost because the service's shared job store was reset polls as failed
// with kMessageStoreLost rather than vanishing.
//
// Every JSON answer carries "code" (200 on success, otherwise the HTTP status)
// and "message" (shown to the user as is). Values are not percent-encoded by the
// helpers below: callers pass the identifiers the service hands out or the
// program's own machine code, which are plain ASCII.

#include <string>

namespace mattingprotocol {

constexpr const char* kTaskPath = "/api/v2/task";
constexpr const char* kResultPrefix = "/api/v2/result/";
constexpr const char* kResultSuffix = ".png";

// Query keys, and the multipart part that carries the photo.
constexpr const char* kMac = "mac";
constexpr const char* kIsBody = "is_body";
constexpr const char* kMode = "mode";
constexpr const char* kShadow = "shadow";
constexpr const char* kEngine = "engine";
constexpr const char* kSerial = "serial"; // also the key of the creation answer's data
constexpr const char* kFileField = "file";

// JSON keys of the answers.
constexpr const char* kCode = "code";
constexpr const char* kMessage = "message";
constexpr const char* kData = "data";
constexpr const char* kStatus = "status";
constexpr const char* kConvertPath = "convert_path";

constexpr int kCodeOk = 200;
constexpr int kCodeTooMany = 429;
// The message of a cancelled task's poll answer.
constexpr const char* kMessageCancelled = "cancelled";
// The message of a task the service lost when its job store was reset.
constexpr const char* kMessageStoreLost =
    "The matting service was restarted and lost this photo. Please try again.";

// The job's "status" in a poll answer.
constexpr int kStatusRunning = 0;
constexpr int kStatusDone = 1;
constexpr int kStatusFailed = 2;

// Values of kMode and kShadow; without shadow the shadow is removed.
constexpr const char* kModePerson = "person";
constexpr const char* kModeProduct = "product";
constexpr const char* kModeId = "id";
constexpr const char* kShadowKeep = "keep";
constexpr const char* kShadowRemove = "remove";
// The one value of kEngine; without it the normal engine runs.
constexpr const char* kEngineFast = "fast";

// A creation request's options, as the service reads them.
struct Options
{
    enum class Mode
    {
        Person,
        Product,
        Id
    };
    Mode mode = Mode::Product;
    bool keepShadow = false;
    bool fast = false;
};

// A mode's kMode value, and back; false for a value that names no mode.
inline const char* modeValue(Options::Mode mode)
{
    return mode == Options::Mode::Person ? kModePerson : mode == Options::Mode::Id ? kModeId : kModeProduct;
}

inline bool modeFromValue(const std::string& value, Options::Mode& mode)
{
    for (Options::Mode m : {Options::Mode::Person, Options::Mode::Product, Options::Mode::Id})
        if (value == modeValue(m)) {
            mode = m;
            return true;
        }
    return false;
}

// Reads the options from a creation request; `param(key)` gives a query value,
// empty when absent. False with a message for the user when a value is wrong.
template <class Param> bool readOptions(const Param& param, Options& out, std::string& error)
{
    out = Options();
    const std::string isBody = param(kIsBody), mode = param(kMode), shadow = param(kShadow);
    if (mode.empty() && isBody != "0" && isBody != "1") {
        error = std::string("The request does not say what the photo shows (\"") + kIsBody +
                "\" must be 0 or 1, or \"" + kMode + "\" given).";
        return false;
    }
    if (mode.empty())
        out.mode = isBody == "1" ? Options::Mode::Person : Options::Mode::Product;
    else if (!modeFromValue(mode, out.mode)) {
        error = std::string("Unknown photo type (\"") + kMode + "\" must be person, product or id).";
        return false;
    }
    if (!shadow.empty() && shadow != kShadowKeep && shadow != kShadowRemove) {
        error = std::string("Unknown shadow choice (\"") + kShadow + "\" must be keep or remove).";
        return false;
    }
    out.keepShadow = shadow == kShadowKeep;
    const std::string engine = param(kEngine);
    if (!engine.empty() && engine != kEngineFast) {
        error = std::string("Unknown engine choice (\"") + kEngine + "\" must be fast or absent).";
        return false;
    }
    out.fast = engine == kEngineFast;
    return true;
}

// Target (path and query) of the creation request; `mode` is one of the kMode
// values. is_body goes along for services that predate mode.
inline std::string createTarget(const std::string& mac, const std::string& mode, bool keepShadow = false,
                                bool fast = false)
{
    return std::string(kTaskPath) + "?" + kMac + "=" + mac + "&" + kIsBody + "=" +
           (mode == kModeProduct ? "0" : "1") + "&" + kMode + "=" + mode +
           (keepShadow ? std::string("&") + kShadow + "=" + kShadowKeep : std::string()) +
           (fast ? std::string("&") + kEngine + "=" + kEngineFast : std::string());
}

// Target of a poll.
inline std::string pollTarget(const std::string& mac, const std::string& serial)
{
    return std::string(kTaskPath) + "?" + kMac + "=" + mac + "&" + kSerial + "=" + serial;
}

// Target of a cancel (sent with DELETE): the same as a poll's.
inline std::string cancelTarget(const std::string& mac, const std::string& serial)
{
    return pollTarget(mac, serial);
}

// Path of a finished job's cut-out; the service puts its own address in front.
inline std::string resultPath(const std::string& serial)
{
    return kResultPrefix + serial + kResultSuffix;
}

// The route matching resultPath() of a service serial (32 hex digits, captured).
inline std::string resultRoute()
{
    return std::string(kResultPrefix) + "([0-9a-f]{32})\\" + kResultSuffix;
}

} // namespace mattingprotocol
