#pragma once
// A QProcess whose child cannot outlive the test: the destructor stops it, and the
// kernel kills it when the test dies any other way (crash, CTest's time-out), so it
// never keeps CTest waiting on the output it inherited. Start it from the main
// thread: the kernel watches the thread that forked, not the process.

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
    void setupChildProcess() override;

private:
    qint64 m_parentPid = 0;
};

} // namespace testutils
