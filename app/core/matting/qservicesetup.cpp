#include "qservicesetup.h"

#include "cglobal.h"
#include "logger.h"
#include "qservicelauncher.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <signal.h>

namespace {

QString g_toolsFolder; // set by tests before any preparation runs

const QString kModelName = QStringLiteral("isnet-general.pt");

// fetch-model.sh's exit codes.
constexpr int kOffline = 3;
constexpr int kModuleMissing = 4;

QStringList modelFolders()
{
    const QString env = qEnvironmentVariable("BRISEL_MODEL_DIR");
    if (!env.isEmpty())
        return {env};
    return {CGlobal::getAppDataPath() + QStringLiteral("models"),
            QDir::homePath() + QStringLiteral("/.cache/brisel/models")};
}

bool userTlsReady()
{
    const QString tls = CGlobal::getTlsPath();
    for (const char* name : {"server-cert.pem", "server-key.pem", "cacert.pem"}) {
        if (!QFileInfo::exists(tls + QLatin1String(name)))
            return false;
    }
    return true;
}

bool installed()
{
    return CGlobal::getDataPath() != CGlobal::getAppPath();
}

} // namespace

QServiceSetup::TlsFiles QServiceSetup::tlsFiles(const QString& programFolder)
{
    const TlsFiles build{programFolder + QStringLiteral("service-cert.pem"),
                         programFolder + QStringLiteral("service-key.pem")};
    if (QFileInfo::exists(build.cert))
        return build;
    const QString tls = CGlobal::getTlsPath();
    return {tls + QStringLiteral("server-cert.pem"), tls + QStringLiteral("server-key.pem")};
}

QString QServiceSetup::modelPath()
{
    const QStringList folders = modelFolders();
    for (const QString& folder : folders) {
        if (QFileInfo(folder + '/' + kModelName).size() > 0)
            return folder + '/' + kModelName;
    }
    return folders.first() + '/' + kModelName;
}

QStringList QServiceSetup::engineArguments()
{
    const QString model = modelPath();
    if (QFileInfo(model).size() > 0)
        return {QStringLiteral("--model"), model};
    return {QStringLiteral("--engine"), QStringLiteral("key")};
}

bool QServiceSetup::needsPreparation()
{
    return installed() && (!userTlsReady() || QFileInfo(modelPath()).size() == 0);
}

void QServiceSetup::setToolsFolder(const QString& folder)
{
    g_toolsFolder = folder;
}

QServiceSetup::QServiceSetup(QObject* parent) : QObject(parent)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &QServiceSetup::onOutput);
    connect(&m_process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            &QServiceSetup::onFinished);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        m_lastError = m_process.errorString();
        onFinished(-1, QProcess::CrashExit);
    });
}

QServiceSetup::~QServiceSetup()
{
    // The script, curl and the conversion share the session setsid gave them; left
    // running they would outlive the window for minutes. The next start does it again.
    m_process.disconnect(this);
    if (m_process.processId() > 0)
        ::kill(-pid_t(m_process.processId()), SIGTERM);
    m_process.waitForFinished(3000);
}

void QServiceSetup::prepare()
{
    runStep(userTlsReady() ? Step::Model : Step::Certificates);
}

void QServiceSetup::runStep(Step step)
{
    m_step = step;
    m_downloading = false;
    m_lastError.clear();
    const bool certificates = step == Step::Certificates;
    const QString tools = g_toolsFolder.isEmpty() ? CGlobal::getDataPath() + QStringLiteral("tools/")
                                                  : QDir(g_toolsFolder).absolutePath() + '/';
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("BRISEL_TLS_DIR"), CGlobal::getTlsPath());
    env.insert(QStringLiteral("BRISEL_MODEL_DIR"), QFileInfo(modelPath()).path());
    m_process.setProcessEnvironment(env);
    m_process.start(QStringLiteral("setsid"),
                    {QStringLiteral("bash"), tools + (certificates ? QStringLiteral("make-certs.sh")
                                                                   : QStringLiteral("fetch-model.sh"))});
    emit signal_progress(certificates ? tr("Preparing the secure connection to the matting service…")
                                      : tr("Preparing the photo model…"),
                         -1);
}

void QServiceSetup::onOutput()
{
    // One stream in the order written: the scripts' lines, their complaints and
    // curl's bar ("###   42.5%", redrawn after a carriage return).
    static const QRegularExpression lineEnd(QStringLiteral("[\r\n]"));
    static const QRegularExpression percent(QStringLiteral("(\\d+)(?:[.,]\\d)?%"));
    const QString text = QString::fromLocal8Bit(m_process.readAllStandardOutput());
    for (const QString& line : text.split(lineEnd, Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch bar = percent.match(line);
        if (line.startsWith(QLatin1String("fetch-model: downloading"))) {
            m_downloading = true;
            emit signal_progress(tr("Downloading the photo model (about 136 MB)…"), 0);
        } else if (line.startsWith(QLatin1String("fetch-model: converting"))) {
            m_downloading = false;
            emit signal_progress(tr("Converting the photo model (a few minutes)…"), -1);
        } else if (m_downloading && bar.hasMatch()) {
            emit signal_progress(tr("Downloading the photo model (about 136 MB)…"),
                                 qMin(bar.captured(1).toInt(), 100));
        } else {
            m_lastError = line.trimmed();
        }
    }
}

void QServiceSetup::onFinished(int exitCode, QProcess::ExitStatus status)
{
    onOutput();
    const int code = status == QProcess::NormalExit ? exitCode : -1;
    if (code == 0 && m_step == Step::Certificates && QFileInfo(modelPath()).size() == 0) {
        runStep(Step::Model);
        return;
    }
    if (code == 0 && m_step == Step::Model)
        QServiceLauncher::retireKeyEngineService();
    const QString message = code == 0 ? tr("The photo model is ready.") : failureText(code);
    BRISEL_LOG(1, QStringLiteral("first-start preparation: %1 (%2)").arg(message, m_lastError));
    emit signal_finished(code == 0, message);
}

QString QServiceSetup::failureText(int exitCode) const
{
    if (m_step == Step::Certificates)
        return tr("The secure connection to the matting service could not be prepared: %1").arg(m_lastError);
    const QString meanwhile = tr("Until then only photos on a plain background are cut out well.");
    if (exitCode == kOffline)
        return tr("The photo model could not be downloaded: this computer seems to be offline. "
                  "It is tried again at the next start. %1")
            .arg(meanwhile);
    if (exitCode == kModuleMissing)
        return tr("Preparing the photo model needs the python3-torch package "
                  "(sudo apt install python3-torch python3-onnx python3-opencv). %1")
            .arg(meanwhile);
    return tr("The photo model could not be prepared: %1. %2").arg(m_lastError, meanwhile);
}
