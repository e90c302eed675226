#pragma once

#include <QString>

#include <cstddef>

// Writes a crash report when the process dies of a fault, then lets it die as it
// would have. The fault handler is the OS's own file beside this one: on POSIX a
// set of signal handlers (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT) running on an
// alternate stack, so that a stack overflow of the main thread is reported too,
// writing a text report (signal, faulting thread, backtrace).
//
// The report is named "v<version>-<build>-<yyyymmdd>-<hhmmss>-<pid>-<tid>.dmp" in
// local time, with the id of the thread that faulted. It goes into the report
// folder, or into the fallback folder when the report folder cannot be written.
// Nothing is written while a debugger is attached: the debugger gets the fault.
class QCrashHandler
{
public:
    QCrashHandler() = delete;

    // Call first thing in main(), on the main thread. reportFolder is normally the
    // program's folder; an empty text means the current working folder. Calling it
    // again replaces the folder, version and build date.
    static void install(const QString& reportFolder, const char* version, int buildDate);
    // Used when the report folder cannot be written; created at crash time if it is
    // missing (its parent must exist). Can be set once the data folder is known.
    static void setFallbackFolder(const QString& folder);

    // The folder of the running executable, usable before a QCoreApplication exists.
    static QString programFolder(const char* argv0);

    // Formats the report file name into out (always terminated, truncated to size).
    // localSeconds counts seconds since 1970-01-01 00:00 in local time. Uses no
    // library calls, so it is safe inside a signal handler. Returns the length.
    static std::size_t formatReportName(char* out, std::size_t size, const char* version, int buildDate,
                                        long long localSeconds, long pid, long tid);
};
