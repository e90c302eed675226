#include "qcrashhandler.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <dbghelp.h>
#include <windows.h>
#else
#include <csignal>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

// Everything the crash path needs is copied here at install time, because the crash
// path may not allocate, lock or call anything that is not async-signal-safe.
constexpr std::size_t kPathSize = 1024;
constexpr std::size_t kNameSize = 260;

struct Settings
{
    char version[32] = {};
    int buildDate = 0;
    char reportFolder[kPathSize] = {}; // empty or ending in '/'
    long utcOffset = 0;                // seconds east of UTC, sampled at install
};
Settings g_settings;

// The fallback folder may be set after the handlers are live, so it is published by
// an atomic pointer to a buffer that is filled before the pointer is stored.
char g_fallbackBuffer[kPathSize] = {};
std::atomic<const char*> g_fallbackFolder{nullptr};

// Appends texts and numbers to a fixed buffer, silently truncating; keeps the
// buffer terminated so a partial text is still usable.
class Text
{
public:
    Text(char* buffer, std::size_t size) : m_buffer(buffer), m_size(size) { m_buffer[0] = '\0'; }

    Text& add(const char* text)
    {
        while (text && *text && m_length + 1 < m_size)
            m_buffer[m_length++] = *text++;
        m_buffer[m_length] = '\0';
        return *this;
    }

    // Decimal, left-padded with zeros to at least width digits.
    Text& number(long long value, int width = 0)
    {
        char digits[24];
        int count = 0;
        unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                                 : static_cast<unsigned long long>(value);
        do {
            digits[count++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude && count < 20);
        while (count < width && count < 20)
            digits[count++] = '0';
        if (value < 0)
            add("-");
        return addReversed(digits, count);
    }

    Text& hex(unsigned long long value)
    {
        char digits[20];
        int count = 0;
        do {
            digits[count++] = "0123456789abcdef"[value & 0xf];
            value >>= 4;
        } while (value);
        add("0x");
        return addReversed(digits, count);
    }

    const char* data() const { return m_buffer; }
    std::size_t length() const { return m_length; }

private:
    // Digits come out least significant first.
    Text& addReversed(const char* digits, int count)
    {
        char ordered[24];
        for (int i = 0; i < count; ++i)
            ordered[i] = digits[count - 1 - i];
        ordered[count] = '\0';
        return add(ordered);
    }

    char* m_buffer;
    std::size_t m_size;
    std::size_t m_length = 0;
};

void copyText(char* out, std::size_t size, const QByteArray& text)
{
    Text(out, size).add(text.constData());
}

QByteArray folderBytes(const QString& folder)
{
    if (folder.isEmpty())
        return {};
    const QString clean = QDir::fromNativeSeparators(folder);
    return QFile::encodeName(clean.endsWith('/') ? clean : clean + '/');
}

struct CivilTime
{
    long long year;
    int month, day, hour, minute, second;
};

// Days since 1970-01-01 to a proleptic Gregorian date (era arithmetic, valid for
// negative days too), so the crash path needs no localtime().
CivilTime civilFromSeconds(long long seconds)
{
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153;
    CivilTime t{};
    t.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    t.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    t.year = yearOfEra + era * 400 + (t.month <= 2 ? 1 : 0);
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

void formatName(Text& text, const char* version, int buildDate, const CivilTime& t, long pid, long tid)
{
    text.add("v").add(version).add("-").number(buildDate).add("-");
    text.number(t.year, 4).number(t.month, 2).number(t.day, 2).add("-");
    text.number(t.hour, 2).number(t.minute, 2).number(t.second, 2).add("-");
    text.number(pid).add("-").number(tid).add(".dmp");
}

#ifndef Q_OS_WIN

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

#else // Q_OS_WIN

using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                          PMINIDUMP_EXCEPTION_INFORMATION, PMINIDUMP_USER_STREAM_INFORMATION,
                                          PMINIDUMP_CALLBACK_INFORMATION);

// A null or invalid handle makes the writer create the file itself. Always 1, so
// the process ends after the dump.
LONG writeDump(HANDLE file, EXCEPTION_POINTERS* exception)
{
    HMODULE module = LoadLibraryW(L"DbgHelp.dll");
    auto writer =
        module ? reinterpret_cast<MiniDumpWriteDumpFn>(GetProcAddress(module, "MiniDumpWriteDump")) : nullptr;
    if (!writer) {
        if (module)
            FreeLibrary(module);
        return EXCEPTION_EXECUTE_HANDLER;
    }
    bool ownsFile = false;
    if (file == nullptr || file == INVALID_HANDLE_VALUE) {
        SYSTEMTIME now = {};
        GetLocalTime(&now);
        const CivilTime local{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
        char name[kNameSize];
        Text text(name, sizeof(name));
        formatName(text, g_settings.version, g_settings.buildDate, local,
                   static_cast<long>(GetCurrentProcessId()), static_cast<long>(GetCurrentThreadId()));
        char pathBuffer[kPathSize + kNameSize];
        Text path(pathBuffer, sizeof(pathBuffer));
        path.add(g_settings.reportFolder).add(name);
        file = CreateFileA(pathBuffer, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, CREATE_ALWAYS, 0, nullptr);
        ownsFile = true;
        OutputDebugStringA(pathBuffer);
    }
    if (file != INVALID_HANDLE_VALUE) {
        MINIDUMP_EXCEPTION_INFORMATION info = {};
        info.ThreadId = GetCurrentThreadId();
        info.ExceptionPointers = exception;
        info.ClientPointers = FALSE;
        writer(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpWithDataSegs,
               exception ? &info : nullptr, nullptr, nullptr);
        if (ownsFile)
            CloseHandle(file);
    }
    FreeLibrary(module);
    return EXCEPTION_EXECUTE_HANDLER;
}

LONG WINAPI crashFilter(EXCEPTION_POINTERS* exception)
{
    if (IsDebuggerPresent())
        return EXCEPTION_CONTINUE_SEARCH;
    return writeDump(nullptr, exception);
}

#endif

} // namespace

void QCrashHandler::install(const QString& reportFolder, const char* version, int buildDate)
{
    copyText(g_settings.version, sizeof(g_settings.version), QByteArray(version));
    g_settings.buildDate = buildDate;
    copyText(g_settings.reportFolder, sizeof(g_settings.reportFolder), folderBytes(reportFolder));
#ifdef Q_OS_WIN
    SetUnhandledExceptionFilter(crashFilter);
#else
    g_settings.utcOffset = currentUtcOffset();
    installHandlers();
#endif
}

void QCrashHandler::setFallbackFolder(const QString& folder)
{
    // Unpublish first so a crash meanwhile never reads a half-written folder.
    g_fallbackFolder.store(nullptr, std::memory_order_release);
    copyText(g_fallbackBuffer, sizeof(g_fallbackBuffer), folderBytes(folder));
    if (g_fallbackBuffer[0])
        g_fallbackFolder.store(g_fallbackBuffer, std::memory_order_release);
}

QString QCrashHandler::programFolder(const char* argv0)
{
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    if (self.exists())
        return QFileInfo(self.symLinkTarget()).absolutePath() + '/';
    if (argv0 && *argv0)
        return QFileInfo(QFile::decodeName(argv0)).absolutePath() + '/';
    return QString();
}

std::size_t QCrashHandler::formatReportName(char* out, std::size_t size, const char* version, int buildDate,
                                            long long localSeconds, long pid, long tid)
{
    if (!out || size == 0)
        return 0;
    Text text(out, size);
    formatName(text, version, buildDate, civilFromSeconds(localSeconds), pid, tid);
    return text.length();
}
