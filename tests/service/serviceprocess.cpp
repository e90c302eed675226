#include "serviceprocess.h"

#include "testutils.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QThread>
#include <QUrl>

#include <httplib.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <stdexcept>
#include <vector>

namespace proto = mattingprotocol;

bool ServiceProcess::start(const QStringList& args, QString* error)
{
    m_url = testutils::startService(m_process, QStringList{"--log-level", "debug"} + args, 60000, error);
    if (m_url.isEmpty())
        *error += " " + QString::fromUtf8(m_process.readAllStandardError());
    return !m_url.isEmpty();
}

bool ServiceProcess::makeCertificates(QString* caFile, QString* certFile, QString* keyFile)
{
    const QString dir = testutils::sandboxPath() + "/tls";
    testutils::ChildProcess script;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("BRISEL_TLS_DIR", dir);
    script.setProcessEnvironment(env);
    script.start("bash", {QStringLiteral(BRISEL_SOURCE_DIR) + "/tools/make-certs.sh"});
    *caFile = dir + "/ca.pem";
    *certFile = dir + "/server-cert.pem";
    *keyFile = dir + "/server-key.pem";
    return script.waitForFinished(60000) && script.exitCode() == 0 && QFile::exists(*keyFile);
}

namespace {

ServiceReply toReply(const httplib::Result& result)
{
    ServiceReply reply;
    if (!result)
        return reply;
    reply.status = result->status;
    reply.body = result->body;
    reply.retryAfter = QString::fromStdString(result->get_header_value("Retry-After"));
    reply.json = QJsonDocument::fromJson(QByteArray::fromStdString(reply.body)).object();
    return reply;
}

// The task path with these keys and values, leaving out null values.
std::string taskTarget(const QList<QPair<const char*, QString>>& items)
{
    QStringList parts;
    for (const auto& item : items)
        if (!item.second.isNull())
            parts << item.first + QStringLiteral("=") +
                         QString::fromUtf8(QUrl::toPercentEncoding(item.second));
    return proto::kTaskPath + ("?" + parts.join('&').toStdString());
}

} // namespace

ServiceClient::ServiceClient(const QString& baseUrl, const QString& caFile)
    : m_base(baseUrl), m_client(std::make_unique<httplib::Client>(baseUrl.toStdString()))
{
    m_client->set_connection_timeout(5, 0);
    m_client->set_read_timeout(60, 0);
    if (!caFile.isEmpty()) {
        m_client->set_ca_cert_path(caFile.toStdString().c_str());
        m_client->enable_server_certificate_verification(true);
    }
}

ServiceClient::~ServiceClient() = default;

ServiceReply ServiceClient::upload(const QString& mac, const QString& isBody, const std::string& photo,
                                   const std::string& field)
{
    const httplib::MultipartFormDataItems items = {{field, photo, "photo.jpg", "application/octet-stream"}};
    return toReply(m_client->Post(taskTarget({{proto::kMac, mac}, {proto::kIsBody, isBody}}), items));
}

ServiceReply ServiceClient::get(const QString& pathOrUrl)
{
    const QString path = pathOrUrl.startsWith(m_base) ? pathOrUrl.mid(m_base.size()) : pathOrUrl;
    return toReply(m_client->Get(path.toStdString()));
}

ServiceReply ServiceClient::cancel(const QString& mac, const QString& serial)
{
    return toReply(m_client->Delete(taskTarget({{proto::kMac, mac}, {proto::kSerial, serial}})));
}

ServiceReply ServiceClient::waitFinished(const QString& mac, const QString& serial, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    ServiceReply reply;
    do {
        reply = toReply(m_client->Get(taskTarget({{proto::kMac, mac}, {proto::kSerial, serial}})));
        if (reply.code() != proto::kCodeOk || reply.jobStatus() != proto::kStatusRunning)
            break;
        QThread::msleep(20);
    } while (timer.elapsed() < timeoutMs);
    return reply;
}

namespace photofixtures {

cv::Mat discOnGreen(int w, int h)
{
    cv::Mat img(h, w, CV_8UC3, cv::Scalar(40, 190, 40));
    cv::circle(img, cv::Point(w / 2, h / 2), std::min(w, h) / 4, cv::Scalar(30, 30, 220), cv::FILLED,
               cv::LINE_AA);
    cv::GaussianBlur(img, img, cv::Size(0, 0), 2.0);
    return img;
}

std::string encode(const cv::Mat& img, const std::string& ext)
{
    std::vector<uchar> buf;
    if (!cv::imencode(ext, img, buf))
        throw std::runtime_error("cannot encode " + ext);
    return std::string(buf.begin(), buf.end());
}

std::string pngClaiming(unsigned w, unsigned h)
{
    std::string png = encode(cv::Mat(4, 4, CV_8UC3, cv::Scalar::all(128)), ".png");
    // IHDR width and height sit at bytes 16..23, big-endian. The CRC no longer
    // matches, which a header-only check must not care about.
    for (int i = 0; i < 4; ++i) {
        png[size_t(16 + i)] = char((w >> (24 - 8 * i)) & 0xFF);
        png[size_t(20 + i)] = char((h >> (24 - 8 * i)) & 0xFF);
    }
    return png;
}

} // namespace photofixtures
