#include "serviceprocess.h"

#include "testutils.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QThread>
#include <QUrl>

#include <httplib.h>

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
