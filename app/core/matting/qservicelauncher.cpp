#include "qservicelauncher.h"

#include "cglobal.h"
#include "csetting.h"
#include "guihandover.h"
#include "hrequest.h"
#include "logger.h"
#include "qworkpool.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

namespace {

std::atomic<int> g_defaultPort{QServiceLauncher::kDefaultPort};
QString g_serviceFolder; // set by tests before any launcher runs; else the program's folder

constexpr int kProbePauseMs = 200;
constexpr int kStopGraceMs = 20000;

QString beside(const QString& name)
{
    return (g_serviceFolder.isEmpty() ? CGlobal::getAppPath() : g_serviceFolder) + name;
}

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

// Shared by the launcher and its jobs on the pool. `owner` is read and cleared only
// on the launcher's thread, so a job's answer arriving after the launcher is gone
// (or after a newer request) is dropped there; `processGone` crosses threads.
struct QServiceLauncher::Probe
{
    QServiceLauncher* owner = nullptr;
    std::atomic<bool> processGone{false};

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
    return g_defaultPort;
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

QString QServiceLauncher::serviceProgramPath()
{
    return beside(QStringLiteral("brisel-matting-service"));
}

QString QServiceLauncher::serviceLogPath()
{
    return CGlobal::getAppDataPath() + QStringLiteral("matting-service.log");
}

QServiceLauncher::QServiceLauncher(QObject* parent) : QObject(parent), m_url(serviceUrl()) {}

QServiceLauncher::~QServiceLauncher()
{
    if (m_probe)
        m_probe->owner = nullptr;
    stop();
}

bool QServiceLauncher::needsLocalService() const
{
    return m_url == defaultUrl();
}

bool QServiceLauncher::ownsService() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

bool QServiceLauncher::ensureRunning()
{
    m_error.clear();
    if (!needsLocalService() || isAnswering(m_url))
        return true;
    if (!startProcess())
        return false;
    // Without an event loop the process's state only moves inside a waitFor call.
    QProcess* process = m_process;
    return waitUntilAnswering(
        m_url, m_startTimeoutMs,
        [process] { return process->state() == QProcess::NotRunning || process->waitForFinished(0); },
        &m_error);
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
        const bool answering = isAnswering(url);
        Probe::deliver(probe, [probe, url, timeoutMs, answering](QServiceLauncher* self) {
            if (answering) {
                self->finishAsync(true, QString());
                return;
            }
            if (!self->startProcess()) {
                self->finishAsync(false, self->m_error);
                return;
            }
            connect(self->m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), self,
                    [probe] { probe->processGone = true; });
            QWorkPool::instance()->post([probe, url, timeoutMs] {
                QString error;
                const bool ok = waitUntilAnswering(
                    url, timeoutMs, [probe] { return probe->processGone.load(); }, &error);
                Probe::deliver(probe,
                               [ok, error](QServiceLauncher* owner) { owner->finishAsync(ok, error); });
            });
        });
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

bool QServiceLauncher::startProcess()
{
    const QString program = serviceProgramPath();
    const QString cert = beside(QStringLiteral("service-cert.pem"));
    const QString key = beside(QStringLiteral("service-key.pem"));
    for (const QString& file : {program, cert, key}) {
        if (!QFileInfo::exists(file)) {
            m_error = tr("The local matting service cannot start: %1 is missing. Run the set-up again.")
                          .arg(native(file));
            return false;
        }
    }

    stop();
    emit signal_starting();
    m_process = new QProcess(this);
    m_process->setProgram(program);
    m_process->setArguments({QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                             QStringLiteral("--port"), QString::number(defaultPort()),
                             QStringLiteral("--tls-cert"), cert, QStringLiteral("--tls-key"), key});
    // Its output goes to a file: a pipe nobody reads would fill up and stall it.
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setStandardOutputFile(serviceLogPath(), QIODevice::Truncate);
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->start();
    if (!m_process->waitForStarted()) {
        m_error = tr("The local matting service cannot start: %1").arg(m_process->errorString());
        delete m_process;
        m_process = nullptr;
        return false;
    }
    BRISEL_LOG(1, QStringLiteral("started the matting service (pid %1) on port %2")
                      .arg(m_process->processId())
                      .arg(defaultPort()));
    return true;
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

void QServiceLauncher::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        // The service finishes the jobs it is running when asked to stop.
        m_process->terminate();
        if (!m_process->waitForFinished(kStopGraceMs)) {
            m_process->kill();
            m_process->waitForFinished();
        }
        BRISEL_LOG(1, QStringLiteral("stopped the matting service"));
    }
    delete m_process;
    m_process = nullptr;
}
