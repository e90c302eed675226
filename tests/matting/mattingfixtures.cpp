#include "mattingfixtures.h"

#include "csetting.h"
#include "hrequest.h"
#include "testutils.h"

#include <QDir>
#include <QFileInfo>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <vector>

namespace mattingtest {
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

const Certificates* trustTestCa(QString* error)
{
    static const QString dir = testutils::sandboxPath() + "/tls";
    static const Certificates made{dir + "/ca.pem", dir + "/server.pem", dir + "/server.key"};
    static QString failure;
    static const bool ok = testutils::makeCertificate(dir, "ca", QString(), QString(), &failure) &&
                           testutils::makeCertificate(dir, "server", "ca", "127.0.0.1", &failure) &&
                           (HRequest::setCaBundlePath(made.caPem), true);
    if (!ok)
        *error = failure;
    return ok ? &made : nullptr;
}

void useService(const QString& url)
{
    CSetting::setValue(QStringLiteral("service"), QStringLiteral("url"), url);
}

bool RealService::start(bool tls, QString* error)
{
    QStringList args{"--listen", "127.0.0.1", "--log-level", "warning"};
    if (tls) {
        const Certificates* certs = trustTestCa(error);
        if (!certs)
            return false;
        args << "--tls-cert" << certs->serverCert << "--tls-key" << certs->serverKey;
    }
    m_process = std::make_unique<testutils::ChildProcess>();
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_url = testutils::startService(*m_process, args, 20000, error);
    if (m_url.isEmpty())
        m_process.reset();
    return !m_url.isEmpty();
}

} // namespace mattingtest
