#include "mattingfixtures.h"

#include "csetting.h"
#include "hrequest.h"
#include "qimagetask.h"
#include "testutils.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <vector>

namespace mattingtest {
namespace {

bool makeCertificates(const QString& dir, Certificates* out, QString* error)
{
    if (!testutils::makeCertificate(dir, "ca", QString(), QString(), error) ||
        !testutils::makeCertificate(dir, "server", "ca", "127.0.0.1", error) ||
        !testutils::makeCertificate(dir, "self", QString(), "127.0.0.1", error))
        return false;
    *out = {dir + "/ca.pem", dir + "/server.pem", dir + "/server.key", dir + "/self.pem", dir + "/self.key"};
    return true;
}

} // namespace

QString makePhoto(const QString& name, int w, int h)
{
    cv::Mat photo(h, w, CV_8UC3, cv::Scalar(225, 225, 225));
    cv::circle(photo, cv::Point(w / 2, h / 2), std::min(w, h) / 3, cv::Scalar(40, 40, 200), cv::FILLED);
    std::vector<uchar> bytes;
    if (!cv::imencode(QFileInfo(name).suffix().prepend('.').toStdString(), photo, bytes))
        return QString();
    const QString path = testutils::sandboxPath() + "/photos/" + name;
    return testutils::writeFile(path,
                                QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size())))
               ? path
               : QString();
}

const Certificates* certificates(QString* error)
{
    static Certificates made;
    static QString failure;
    static const bool ok = makeCertificates(testutils::sandboxPath() + "/tls", &made, &failure);
    if (!ok)
        *error = failure;
    return ok ? &made : nullptr;
}

const Certificates* trustTestCa(QString* error)
{
    const Certificates* certs = certificates(error);
    if (certs)
        HRequest::setCaBundlePath(certs->caPem);
    return certs;
}

void useService(const QString& url)
{
    CSetting::setValue(QStringLiteral("service"), QStringLiteral("url"), url);
}

QString runTask(QImageTask& task)
{
    QSignalSpy success(&task, &QImageTask::signal_success);
    QSignalSpy error(&task, &QImageTask::signal_error);
    task.run();
    if (success.size() + error.size() != 1)
        return QStringLiteral("%1 signals instead of one").arg(success.size() + error.size());
    if (!error.isEmpty())
        return error.first().first().toString();
    return success.first().first().toString() == task.id() ? QString()
                                                           : QStringLiteral("success for another id");
}

RealService::~RealService()
{
    stop();
}

bool RealService::start(bool tls, QString* error)
{
    const QString program = testutils::binPath("brisel-matting-service");
    if (!QFileInfo::exists(program)) {
        *error = program + " is not built";
        return false;
    }
    QStringList args{"--engine", "key", "--listen", "127.0.0.1", "--port", "0", "--log-level", "warning"};
    if (tls) {
        const Certificates* certs = certificates(error);
        if (!certs)
            return false;
        args << "--tls-cert" << certs->serverCert << "--tls-key" << certs->serverKey;
    }
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start(program, args);
    QElapsedTimer timer;
    timer.start();
    QByteArray output;
    while (timer.elapsed() < 20000 && m_process->state() != QProcess::NotRunning) {
        m_process->waitForReadyRead(200);
        output += m_process->readAllStandardOutput();
        const int at = output.indexOf("listening on ");
        const int end = output.indexOf('\n', at);
        if (at >= 0 && end > at) {
            m_url = QString::fromUtf8(output.mid(at + 13, end - at - 13)).trimmed();
            while (m_url.endsWith('/'))
                m_url.chop(1);
            return true;
        }
    }
    *error = "the service did not say where it listens: " + QString::fromUtf8(output);
    stop();
    return false;
}

void RealService::stop()
{
    if (!m_process)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(15000))
        m_process->kill();
    m_process->waitForFinished();
    m_process.reset();
}

} // namespace mattingtest
