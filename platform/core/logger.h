#pragma once
// The program's logger. Level 1 (errors and important events) is always recorded;
// levels 2 and up only while kzl::logger::m_bDebug is set. Every record goes to the
// log file "brisel.log" in the data folder's "logs/" (size-capped and rotated) and,
// when set, to the hook m_callback. Safe to call from any thread; the hook is
// called on the logging thread, one record at a time.

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace kzl {

struct LogRecord
{
    int level = 1;
    int line = 0;
    qint64 time = 0; // seconds since 1970 (UTC)
    std::string file;
    std::wstring message;
};

class logger
{
public:
    using Callback = std::function<void(const std::shared_ptr<LogRecord>&)>;

    static std::atomic<bool> m_bDebug;
    // Assign before worker threads log, or use setCallback() which is race-free.
    static Callback m_callback;
    static void setCallback(Callback callback);

    // printf-style formatting into a wide string (%ls for wide texts).
    static std::wstring _format(const wchar_t* format, ...);

    static void log(int level, const char* file, int line, const QString& message);

    // The log file and its limits: when a write would pass maxBytes the file is
    // renamed to brisel.log.1 (older ones shift up) and at most keep old files stay.
    static QString logFolder();
    static QString logFilePath();
    static void setFileLimits(qint64 maxBytes, int keep);
    // Closes the log file (it reopens on the next record).
    static void flush();
};

void write(int level, const char* file, int line, const QString& message);

} // namespace kzl

#define BRISEL_LOG(level, message) ::kzl::write((level), __FILE__, __LINE__, (message))
