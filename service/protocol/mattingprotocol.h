#pragma once
// The matting service's HTTP protocol, as both ends speak it:
//
//   POST <task>?mac=M&is_body=0|1[&shadow=keep|remove]   multipart part "file":
//        the photo; shadow=keep leaves a product's cast shadow in the cut-out
//        -> {"code":200,"message":..,"data":{"serial":S}}
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
constexpr const char* kShadow = "shadow";
constexpr const char* kSerial = "serial"; // also the key of the creation answer's data
constexpr const char* kFileField = "file";

// JSON keys of the answers.
constexpr const char* kCode = "code";
constexpr const char* kMessage = "message";
constexpr const char* kData = "data";
constexpr const char* kStatus = "status";
constexpr const char* kConvertPath = "convert_path";

// Values of kShadow; without the key the shadow is removed.
constexpr const char* kShadowKeep = "keep";
constexpr const char* kShadowRemove = "remove";

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

// Target (path and query) of the creation request.
inline std::string createTarget(const std::string& mac, bool isBody, bool keepShadow = false)
{
    return std::string(kTaskPath) + "?" + kMac + "=" + mac + "&" + kIsBody + "=" + (isBody ? "1" : "0") +
           (keepShadow ? std::string("&") + kShadow + "=" + kShadowKeep : std::string());
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
