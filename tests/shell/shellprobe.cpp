// A small program the crash tests run as a child process, because what they check
// only shows across processes: a real crash (the report is written by the dying
// process) and a crash under a tracer.
//
//   shellprobe crash <segv|bus|fpe|ill|abort|overflow> <main|worker> <reportFolder> [fallbackFolder]
//   shellprobe traced <reportFolder>
//
// Before crashing it prints "thread <id>" for the thread about to fault.

#include "cglobal.h"
#include "qcrashhandler.h"

#include <QTemporaryFile>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kUsage = 2;
constexpr int kNoPtrace = 77;

// Endless recursion until the stack's guard page is hit; the frame is kept big
// and used after the call so the compiler cannot turn it into a loop.
int recurse(int depth)
{
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    if (depth < 0)
        return 0;
    return recurse(depth + 1) + frame[0];
}

// Each mode faults for real rather than raising the signal, so the handler sees
// what a genuine bug would give it.
void fault(const char* mode)
{
    std::printf("thread %ld\n", static_cast<long>(::syscall(SYS_gettid)));
    std::fflush(stdout);
    if (std::strcmp(mode, "segv") == 0) {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
    } else if (std::strcmp(mode, "fpe") == 0) {
        // Both operands unknown to the compiler, so a real divide instruction runs
        // (1 / x alone compiles to a compare).
        volatile int dividend = 7;
        volatile int zero = 0;
        volatile int result = dividend / zero;
        (void)result;
    } else if (std::strcmp(mode, "ill") == 0) {
        __builtin_trap();
    } else if (std::strcmp(mode, "abort") == 0) {
        std::abort();
    } else if (std::strcmp(mode, "overflow") == 0) {
        std::printf("%d\n", recurse(0));
    } else if (std::strcmp(mode, "bus") == 0) {
        // Touching a mapped page past the end of its (shrunk) file.
        QTemporaryFile file;
        if (!file.open() || !file.resize(4096))
            std::_Exit(kUsage);
        auto* page = static_cast<volatile char*>(
            ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, file.handle(), 0));
        if (page == MAP_FAILED || !file.resize(0))
            std::_Exit(kUsage);
        page[0] = 1;
    }
    std::_Exit(kUsage); // the fault did not happen
}

int crash(int argc, char** argv)
{
    if (argc < 5)
        return kUsage;
    QCrashHandler::install(QString::fromLocal8Bit(argv[4]), BRISEL_VERSION, CGlobal::getBuildDate());
    if (argc > 5)
        QCrashHandler::setFallbackFolder(QString::fromLocal8Bit(argv[5]));
    const char* mode = argv[2];
    if (std::strcmp(argv[3], "main") == 0)
        fault(mode);
    std::thread worker([mode] { fault(mode); });
    worker.join();
    return kUsage;
}

// The child asks to be traced by this process, so the handler in the child sees a
// tracer and must stay quiet. The parent passes every signal on, as a debugger
// told to continue would, and reports how the child ended.
int traced(char** argv)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
            std::_Exit(kNoPtrace);
        ::raise(SIGSTOP);
        QCrashHandler::install(QString::fromLocal8Bit(argv[2]), BRISEL_VERSION, CGlobal::getBuildDate());
        std::thread worker([] { fault("segv"); });
        worker.join();
        std::_Exit(kUsage);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) == child) {
        if (WIFEXITED(status))
            return WEXITSTATUS(status);
        if (WIFSIGNALED(status)) {
            std::printf("child signal %d\n", WTERMSIG(status));
            return 0;
        }
        const int sig = WSTOPSIG(status);
        ::ptrace(PTRACE_CONT, child, nullptr,
                 reinterpret_cast<void*>(static_cast<long>(sig == SIGSTOP ? 0 : sig)));
    }
    return kUsage;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return kUsage;
    const char* mode = argv[1];
    if (std::strcmp(mode, "crash") == 0)
        return crash(argc, argv);
    if (std::strcmp(mode, "traced") == 0 && argc >= 3)
        return traced(argv);
    return kUsage;
}
