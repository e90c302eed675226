#include "qservicelauncher.h"

#include "cglobal.h"
#include "csetting.h"
#include "guihandover.h"
#include "hrequest.h"
#include "logger.h"
#include "qservicesetup.h"
#include "qworkpool.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <atomic>

#include <signal.h>

namespace {

std::atomic<int> g_defaultPort{0}; // 0: from the settings
QString g_serviceFolder;           // set by tests before any launcher runs; else the program's folder

constexpr int kProbePauseMs = 200;
constexpr int kRestartTimeoutMs = 60000;
// A waiter gives the client holding the lock its whole start time and a little more.
constexpr int kLockSlackMs = 5000;
// An older log is kept once, so a crash report survives the next start.
constexpr qint64 kMaxLogBytes = 4 << 20;

QString beside(const QString& name)
{
    return (g_serviceFolder.isEmpty() ? CGlobal::getAppPath() : g_serviceFolder) + name;
}

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// Per port, so that tests on their own ports never wait on the user's service.
QString runtimeFile(const QString& suffix)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/brisel";
    QDir().mkpath(folder);
    return folder + QStringLiteral("/brisel-matting-%1.%2").arg(QServiceLauncher::defaultPort()).arg(suffix);
}

// "pid (name) state ...": a zombie has ended too, whoever fails to reap it.
bool isAlive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const int nameEnd = line.lastIndexOf(')');
    return nameEnd > 0 && line.mid(nameEnd + 2, 1) != "Z";
}

// Appends a line naming who starts the service, so that the log tells its runs apart.
void openLog(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    if (QFileInfo(path).size() > kMaxLogBytes) {
        QFile::remove(path + QStringLiteral(".1"));
        QFile::rename(path, path + QStringLiteral(".1"));
    }
    QFile log(path);
    if (log.open(QIODevice::Append))
        log.write(QStringLiteral("=== started by %1 (pid %2) at %3\n")
                      .arg(QCoreApplication::applicationName())
                      .arg(QCoreApplication::applicationPid())
                      .arg(QDateTime::currentDateTime().toString(Qt::ISODate))
                      .toUtf8());
}

} // namespace

// Shared by the launcher and its job on the pool. `owner` is read and cleared only
// on the launcher's thread, so a job's answer arriving after the launcher is gone
// (or after a newer request) is dropped there.
struct QServiceLauncher::Probe
{
    QServiceLauncher* owner = nullptr;

    // Runs then(owner) on the owner's thread, unless the owner has let go by then.
    static void deliver(const std::shared_ptr<Probe>& probe, std::function<void(QServiceLauncher*)> then)
    {
        runOnGui([probe, then] {
            if (probe->owner)
                then(probe->owner);
        });
    }
};

QString QServiceLauncher::defaultUrl()
{
    return QStringLiteral("https://127.0.0.1:%1").arg(defaultPort());
}

QString QServiceLauncher::serviceUrl()
{
    QString url =
        CSetting::getString(QStringLiteral("service"), QStringLiteral("url"), defaultUrl()).trimmed();
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url.isEmpty() ? defaultUrl() : url;
}

void QServiceLauncher::setDefaultPort(int port)
{
    g_defaultPort = port;
}

int QServiceLauncher::defaultPort()
{
    const int port = g_defaultPort;
    return port > 0 ? port
                    : CSetting::getInt(QStringLiteral("service"), QStringLiteral("port"), kDefaultPort);
}

void QServiceLauncher::setServiceFolder(const QString& folder)
{
    g_serviceFolder =
        folder.isEmpty() || folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

bool QServiceLauncher::isAnswering(const QString& url)
{
    HRequest request;
    request.setUrl(url + QStringLiteral("/healthz"));
    request.setHttpType(0);
    request.setResultType(1);
    QByteArray body;
    return request.exec(body) == 0;
}

int QServiceLauncher::idleExitSeconds()
{
    return qMax(
        0, CSetting::getInt(QStringLiteral("service"), QStringLiteral("idleExit"), kDefaultIdleExitSeconds));
}

QString QServiceLauncher::serviceProgramPath()
{
    return beside(QStringLiteral("brisel-matting-service"));
}

QString QServiceLauncher::serviceLogPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/brisel/matting-service.log");
}

qint64 QServiceLauncher::localServicePid()
{
    QFile file(runtimeFile(QStringLiteral("pid")));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
}

void QServiceLauncher::retireKeyEngineService()
{
    const qint64 pid = localServicePid();
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (pid <= 0 || !cmdline.open(QIODevice::ReadOnly))
        return;
    const QList<QByteArray> args = cmdline.readAll().split('\0');
    // The last engine option wins, as in the service's own parsing.
    const int engine = args.lastIndexOf("--engine");
    if (args.value(0).endsWith("brisel-matting-service") && engine >= 0 && args.value(engine + 1) == "key") {
        BRISEL_LOG(1, QStringLiteral("ending the key-engine service (pid %1): the model is there").arg(pid));
        ::kill(pid_t(pid), SIGTERM);
    }
}

QServiceLauncher::QServiceLauncher(QObject* parent) : QObject(parent), m_url(serviceUrl()) {}

QServiceLauncher::~QServiceLauncher()
{
    if (m_probe)
        m_probe->owner = nullptr;
}

bool QServiceLauncher::needsLocalService() const
{
    return m_url == defaultUrl();
}

bool QServiceLauncher::ensureRunning()
{
    m_error.clear();
    if (!needsLocalService() || isAnswering(m_url))
        return true;
    return startLocal(
        m_startTimeoutMs, [this] { emit signal_starting(); }, &m_error);
}

void QServiceLauncher::ensureRunningAsync()
{
    m_error.clear();
    if (m_probe)
        m_probe->owner = nullptr; // a newer request makes the older answer moot
    m_probe = std::make_shared<Probe>();
    m_probe->owner = this;
    const std::shared_ptr<Probe> probe = m_probe;
    if (!needsLocalService()) {
        Probe::deliver(probe, [](QServiceLauncher* self) { self->finishAsync(true, QString()); });
        return;
    }

    const QString url = m_url;
    const int timeoutMs = m_startTimeoutMs;
    QWorkPool::instance()->post([probe, url, timeoutMs] {
        QString error;
        const auto starting = [probe] {
            Probe::deliver(probe, [](QServiceLauncher* self) { emit self->signal_starting(); });
        };
        const bool ok = isAnswering(url) || startLocal(timeoutMs, starting, &error);
        Probe::deliver(probe, [ok, error](QServiceLauncher* self) { self->finishAsync(ok, error); });
    });
}

void QServiceLauncher::finishAsync(bool ok, const QString& error)
{
    m_error = error;
    if (ok)
        emit signal_ready();
    else
        emit signal_failed(error);
}

bool QServiceLauncher::startLocal(int timeoutMs, const std::function<void()>& starting, QString* error)
{
    const QString program = serviceProgramPath();
    const QServiceSetup::TlsFiles tls = QServiceSetup::tlsFiles(beside(QString()));
    for (const QString& file : {program, tls.cert, tls.key}) {
        if (!QFileInfo::exists(file)) {
            *error = tr("The local matting service cannot start: %1 is missing. Run the set-up again.")
                         .arg(native(file));
            return false;
        }
    }

    // Stale only when its holder has died: a live holder may take the whole start
    // time to bring the service up.
    QLockFile lock(runtimeFile(QStringLiteral("lock")));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(timeoutMs + kLockSlackMs)) {
        *error = tr("The local matting service cannot start: another program holds %1.")
                     .arg(native(runtimeFile(QStringLiteral("lock"))));
        return false;
    }
    const QString url = defaultUrl();
    if (isAnswering(url))
        return true; // the client that held the lock before started it

    if (starting)
        starting();
    const QString log = serviceLogPath();
    openLog(log);
    QStringList args{QStringLiteral("--listen"),   QStringLiteral("127.0.0.1"),
                     QStringLiteral("--port"),     QString::number(defaultPort()),
                     QStringLiteral("--tls-cert"), tls.cert,
                     QStringLiteral("--tls-key"),  tls.key};
    args << QServiceSetup::engineArguments();
    if (idleExitSeconds() > 0)
        args << QStringLiteral("--idle-exit") << QString::number(idleExitSeconds());
    // Extra options for the local service ("--workers 2"); the later option wins.
    args << QProcess::splitCommand(CSetting::getString(QStringLiteral("service"), QStringLiteral("options")));

    // Detached (its own session, not our child): it must survive this client and
    // must not die with a terminal or a killed process group.
    QProcess process;
    process.setProgram(program);
    process.setArguments(args);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(log, QIODevice::Append);
    process.setStandardErrorFile(log, QIODevice::Append);
    qint64 pid = 0;
    if (!process.startDetached(&pid)) {
        *error = tr("The local matting service cannot start: %1").arg(process.errorString());
        return false;
    }
    QFile pidFile(runtimeFile(QStringLiteral("pid")));
    if (pidFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
        pidFile.write(QByteArray::number(pid) + '\n');
    BRISEL_LOG(1,
               QStringLiteral("started the matting service (pid %1) on port %2").arg(pid).arg(defaultPort()));
    return waitUntilAnswering(
        url, timeoutMs, [pid] { return !isAlive(pid); }, error);
}

bool QServiceLauncher::waitUntilAnswering(const QString& url, int timeoutMs,
                                          const std::function<bool()>& gone, QString* error)
{
    QElapsedTimer timer;
    timer.start();
    while (!isAnswering(url)) {
        if (gone()) {
            *error = tr("The local matting service stopped while starting. Its log is %1.")
                         .arg(native(serviceLogPath()));
            return false;
        }
        if (timer.elapsed() > timeoutMs) {
            *error = tr("The local matting service did not answer within %1 seconds. Its log is %2.")
                         .arg(timeoutMs / 1000)
                         .arg(native(serviceLogPath()));
            return false;
        }
        QThread::msleep(kProbePauseMs);
    }
    return true;
}

bool QServiceLauncher::runWithRestart(const QString& url, const std::function<bool(QString*)>& attempt,
                                      QString* error)
{
    const qint64 pidBefore = localServicePid();
    if (attempt(error))
        return true;
    if (url != defaultUrl())
        return false;
    const bool answering = isAnswering(url);
    if (answering && localServicePid() == pidBefore)
        return false; // the service is fine: the failure is the photo's own
    BRISEL_LOG(1, QStringLiteral("the local matting service went away under a job: %1").arg(*error));
    QString why;
    if ((answering || startLocal(kRestartTimeoutMs, {}, &why)) && attempt(error))
        return true;
    if (!why.isEmpty())
        BRISEL_LOG(1, why);
    if (!isAnswering(url))
        *error = tr("The local matting service stopped unexpectedly — see %1").arg(native(serviceLogPath()));
    return false;
}
