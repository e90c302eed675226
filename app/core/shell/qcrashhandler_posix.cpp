// The POSIX fault handler: signal handlers on an alternate stack that write a
// text report with a backtrace.

#include "qcrashhandler.h"
#include "qcrashhandler_p.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace crashhandler;

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
// Deep enough for the report writer and backtrace(); the kernel's minimum is far
// too small for unwinding.
constexpr std::size_t kAltStackSize = 256 * 1024;
constexpr int kMaxFrames = 128;

const char* signalName(int sig)
{
    switch (sig) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    case SIGABRT:
        return "SIGABRT";
    default:
        return "signal";
    }
}

long currentThreadId()
{
#ifdef SYS_gettid
    return static_cast<long>(::syscall(SYS_gettid));
#else
    return static_cast<long>(::getpid());
#endif
}

void writeAll(int fd, const char* data, std::size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written <= 0)
            return;
        data += written;
        length -= static_cast<std::size_t>(written);
    }
}

void writeText(int fd, const Text& text)
{
    writeAll(fd, text.data(), text.length());
}

// "TracerPid:\t<pid>" in /proc/self/status is non-zero while a debugger (or any
// ptrace user) is attached to the process.
bool debuggerAttached()
{
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char status[4096];
    std::size_t length = 0;
    for (;;) {
        const ssize_t n = ::read(fd, status + length, sizeof(status) - 1 - length);
        if (n <= 0)
            break;
        length += static_cast<std::size_t>(n);
    }
    ::close(fd);
    status[length] = '\0';

    static const char key[] = "TracerPid:";
    for (std::size_t i = 0; i + sizeof(key) - 1 <= length; ++i) {
        if ((i == 0 || status[i - 1] == '\n') && std::memcmp(status + i, key, sizeof(key) - 1) == 0) {
            const char* p = status + i + sizeof(key) - 1;
            while (*p == ' ' || *p == '\t')
                ++p;
            for (; *p >= '0' && *p <= '9'; ++p) {
                if (*p != '0')
                    return true;
            }
            return false;
        }
    }
    return false;
}

int openReport(const char* folder, const char* name, Text& path)
{
    path.add(folder).add(name);
    return ::open(path.data(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

void writeReport(int sig, const siginfo_t* info)
{
    const long pid = static_cast<long>(::getpid());
    const long tid = currentThreadId();
    const long long localNow = static_cast<long long>(::time(nullptr)) + g_settings.utcOffset;

    char name[kNameSize];
    QCrashHandler::formatReportName(name, sizeof(name), g_settings.version, g_settings.buildDate, localNow,
                                    pid, tid);

    char pathBuffer[kPathSize + kNameSize];
    Text path(pathBuffer, sizeof(pathBuffer));
    int fd = openReport(g_settings.reportFolder, name, path);
    const char* fallback = g_fallbackFolder.load(std::memory_order_acquire);
    if (fd < 0 && fallback) {
        ::mkdir(fallback, 0700);
        path = Text(pathBuffer, sizeof(pathBuffer));
        fd = openReport(fallback, name, path);
    }
    if (fd < 0)
        return;

    char lineBuffer[512];
    Text line(lineBuffer, sizeof(lineBuffer));
    line.add("Brisel crash report\nversion: ").add(g_settings.version);
    line.add("\nbuild: ").number(g_settings.buildDate);
    line.add("\nsignal: ").number(sig).add(" (").add(signalName(sig)).add(")");
    if (info) {
        line.add("\ncode: ").number(info->si_code);
        line.add("\naddress: ").hex(reinterpret_cast<unsigned long long>(info->si_addr));
    }
    line.add("\nprocess: ").number(pid).add("\nthread: ").number(tid).add("\nbacktrace:\n");
    writeText(fd, line);

    void* frames[kMaxFrames];
    const int count = ::backtrace(frames, kMaxFrames);
    ::backtrace_symbols_fd(frames, count, fd);
    ::close(fd);

    Text notice(lineBuffer, sizeof(lineBuffer));
    notice.add("crash report written to ").add(pathBuffer).add("\n");
    writeText(STDERR_FILENO, notice);
}

void onCrashSignal(int sig, siginfo_t* info, void*)
{
    const int savedErrno = errno;
    if (!debuggerAttached())
        writeReport(sig, info);

    // Die of the same signal as without us: back to the default action, and raise
    // it again. It stays blocked until this handler returns, then ends the process
    // (a hardware fault would also recur on the faulting instruction).
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(sig, &fallback, nullptr);
    ::raise(sig);
    errno = savedErrno;
}

void installHandlers()
{
    // backtrace() loads the unwinder on its first call, which allocates: do that
    // now rather than inside a crashed process.
    void* warmUp[2];
    ::backtrace(warmUp, 2);

    static char* altStack = nullptr;
    if (!altStack) {
        altStack = new char[kAltStackSize];
        stack_t stack = {};
        stack.ss_sp = altStack;
        stack.ss_size = kAltStackSize;
        ::sigaltstack(&stack, nullptr);
    }

    struct sigaction action = {};
    action.sa_sigaction = onCrashSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int sig : kSignals)
        ::sigaction(sig, &action, nullptr);
}

long currentUtcOffset()
{
    const time_t now = ::time(nullptr);
    struct tm local = {};
    ::localtime_r(&now, &local);
    return local.tm_gmtoff;
}

} // namespace

void crashhandler::installFaultHandlers()
{
    g_settings.utcOffset = currentUtcOffset();
    installHandlers();
}
