// A child program for the crash tests: only a real crash shows whether the dying
// process writes its report.
//
//   shellprobe <overflow|abort|fpe> <main|worker> <reportFolder> [fallbackFolder]
//
// Before crashing it prints "thread <id>" for the thread about to fault.

#include "cglobal.h"
#include "qcrashhandler.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kUsage = 2;

// Endless recursion into the stack's guard page; the frame is used after the call
// so the compiler cannot turn it into a loop.
int recurse(int depth)
{
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    if (depth < 0)
        return 0;
    return recurse(depth + 1) + frame[0];
}

// Faults for real rather than raising the signal, as a genuine bug would.
void fault(const char* mode)
{
    std::printf("thread %ld\n", static_cast<long>(::syscall(SYS_gettid)));
    std::fflush(stdout);
    if (std::strcmp(mode, "overflow") == 0) {
        std::printf("%d\n", recurse(0));
    } else if (std::strcmp(mode, "fpe") == 0) {
        // Both operands unknown to the compiler, so a real divide instruction runs.
        volatile int dividend = 7;
        volatile int zero = 0;
        volatile int result = dividend / zero;
        (void)result;
    } else if (std::strcmp(mode, "abort") == 0) {
        std::abort();
    }
    std::_Exit(kUsage); // the fault did not happen
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4)
        return kUsage;
    QCrashHandler::install(QString::fromLocal8Bit(argv[3]), BRISEL_VERSION, CGlobal::getBuildDate());
    if (argc > 4)
        QCrashHandler::setFallbackFolder(QString::fromLocal8Bit(argv[4]));
    const char* mode = argv[1];
    if (std::strcmp(argv[2], "main") == 0)
        fault(mode);
    std::thread worker([mode] { fault(mode); });
    worker.join();
    return kUsage;
}
