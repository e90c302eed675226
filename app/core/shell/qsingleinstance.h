#pragma once

#include <QString>

// Tells whether another copy of the program is already running, by a system-wide
// named object that this process then holds until it ends or this object dies.
// On POSIX (qsingleinstance_posix.cpp) that is an flock() on "<name>.lock" in the
// user's runtime folder; the kernel drops an flock with its process, so a copy that
// was killed never leaves a lock behind that blocks the next start.
//
// When the lock cannot be created at all (no writable folder), this copy counts as
// the only one: refusing to start would be worse than running twice.
class QSingleInstance
{
public:
    explicit QSingleInstance(const QString& name);
    ~QSingleInstance();
    QSingleInstance(const QSingleInstance&) = delete;
    QSingleInstance& operator=(const QSingleInstance&) = delete;

    bool isAnotherRunning() const { return m_anotherRunning; }
    // Where the lock file lives.
    QString lockPath() const { return m_lockPath; }
    // The private per-user folder of the lock, and of whatever else belongs to the
    // running copy (its hand-over socket).
    static QString runtimeFolder();

private:
    bool m_anotherRunning = false;
    QString m_lockPath;
    int m_fd = -1; // the locked descriptor while this copy holds the lock
};
