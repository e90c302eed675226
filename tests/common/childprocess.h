#pragma once
// A QProcess for tests whose child cannot outlive the test. The guard (the
// destructor) stops it when the test returns or fails; the kernel kills it when
// the test process dies any other way (crash, CTest's time-out), so a child that
// inherited the test's output can never keep CTest waiting on a closed suite.
//
// Start it from the thread that lives as long as the test (the main thread): the
// kernel watches the thread that forked, not the whole process.

#include <QProcess>

namespace testutils {

class ChildProcess : public QProcess
{
public:
    explicit ChildProcess(QObject* parent = nullptr);
    // Sends SIGTERM, then SIGKILL when the child is still there after graceMs.
    ~ChildProcess() override;

    // Ends the child as the destructor does; true when it was gone within graceMs.
    bool stop(int graceMs = 10000);

protected:
    // Runs in the forked child, before exec.
    void setupChildProcess() override;

private:
    qint64 m_parentPid = 0;
};

} // namespace testutils
