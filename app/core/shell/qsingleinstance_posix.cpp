#include "qsingleinstance.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString QSingleInstance::runtimeFolder()
{
    // Qt checks XDG_RUNTIME_DIR's owner and mode and falls back to a private folder
    // under /tmp; either way only this user can see the lock.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

QSingleInstance::QSingleInstance(const QString& name) : m_lockPath(runtimeFolder() + '/' + name + ".lock")
{
    // O_CLOEXEC: a child the program starts (the local matting service) must not
    // inherit the descriptor, or the lock would outlive us inside the child.
    const int fd = ::open(QFile::encodeName(m_lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        m_anotherRunning = (errno == EWOULDBLOCK);
        ::close(fd);
        return;
    }
    m_fd = fd;
    // The holder's pid, for whoever wonders which process has the lock.
    const QByteArray pid = QByteArray::number(static_cast<qint64>(::getpid())) + '\n';
    const bool noted = ::ftruncate(fd, 0) == 0 &&
                       ::write(fd, pid.constData(), static_cast<size_t>(pid.size())) == pid.size();
    Q_UNUSED(noted) // a courtesy only: the lock is what counts
}

QSingleInstance::~QSingleInstance()
{
    if (m_fd >= 0)
        ::close(m_fd);
}
