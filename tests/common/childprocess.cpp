#include "childprocess.h"

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace testutils {

ChildProcess::ChildProcess(QObject* parent) : QProcess(parent), m_parentPid(::getpid()) {}

ChildProcess::~ChildProcess()
{
    stop();
}

bool ChildProcess::stop(int graceMs)
{
    if (state() == QProcess::NotRunning)
        return true;
    terminate();
    if (waitForFinished(graceMs))
        return true;
    kill();
    waitForFinished(5000);
    return false;
}

void ChildProcess::setupChildProcess()
{
    // Only async-signal-safe calls here: this runs between fork and exec.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The test may have died between fork and prctl; then nobody would send it.
    if (::getppid() != m_parentPid)
        ::_exit(127);
}

} // namespace testutils
