#include "servicelog.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace servicelog {
namespace {
std::atomic<int> g_level{Info};
std::mutex g_mutex;
const char* const kNames[] = {"error", "warning", "info", "debug"};
} // namespace

void setLevel(int level)
{
    g_level = level;
}

bool enabled(Level level)
{
    return level <= g_level.load();
}

void write(Level level, const std::string& message)
{
    if (!enabled(level))
        return;
    const auto now = std::chrono::system_clock::now();
    const std::time_t secs = std::chrono::system_clock::to_time_t(now);
    const int ms = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm tm{};
    gmtime_r(&secs, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &tm);
    std::lock_guard<std::mutex> lock(g_mutex);
    std::fprintf(stderr, "%s.%03dZ %s: %s\n", stamp, ms, kNames[level], message.c_str());
    std::fflush(stderr);
}

} // namespace servicelog
