#include "mattingfixtures.h"

#include "csetting.h"
#include "hrequest.h"
#include "mattingprotocol.h"
#include "qimagefiles.h"
#include "testutils.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <chrono>
#include <vector>

namespace mattingtest {

namespace proto = mattingprotocol;

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

FakeService::FakeService(const QString& certFile, const QString& keyFile)
{
    m_server = certFile.isEmpty() ? std::make_unique<httplib::Server>()
                                  : std::make_unique<httplib::SSLServer>(certFile.toLocal8Bit().constData(),
                                                                         keyFile.toLocal8Bit().constData());
    cv::Mat cutout(10, 20, CV_8UC4);
    for (int x = 0; x < cutout.cols; ++x)
        cutout.col(x).setTo(cv::Scalar(10, 200, 30, x * 12));
    QImageFiles::encode(cutout, ".png", {}, &resultBytes);
    onCreate = [](const httplib::Request&, httplib::Response& res) {
        replyJson(res, QByteArray(R"({"code":200,"message":"ok","data":{"serial":"0123abcd"}})"));
    };
    onPoll = [this](const httplib::Request&, httplib::Response& res) {
        replyJson(res, pollReply(proto::kStatusDone, m_url + "/result.png"));
    };

    onCancel = [](const httplib::Request&, httplib::Response& res) { res.status = 200; };
    m_server->Post(proto::kTaskPath, [this](const httplib::Request& req, httplib::Response& res) {
        const httplib::MultipartFormData file = req.get_file_value(proto::kFileField);
        note(&Seen::createTarget, req, creates, [&](Seen& seen) {
            seen.fileName = QString::fromStdString(file.filename);
            seen.fileContent = QByteArray::fromStdString(file.content);
        });
        onCreate(req, res);
    });
    m_server->Get(proto::kTaskPath, [this](const httplib::Request& req, httplib::Response& res) {
        note(&Seen::pollTarget, req, polls);
        onPoll(req, res);
    });
    m_server->Delete(proto::kTaskPath, [this](const httplib::Request& req, httplib::Response& res) {
        note(&Seen::cancelTarget, req, cancels);
        onCancel(req, res);
    });
    m_server->Get("/result.png", [this](const httplib::Request&, httplib::Response& res) {
        ++downloads;
        res.set_content(resultBytes.toStdString(), "image/png");
    });

    const int port = m_server->bind_to_any_port("127.0.0.1");
    m_url = QStringLiteral("%1://127.0.0.1:%2").arg(certFile.isEmpty() ? "http" : "https").arg(port);
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // stop() is a no-op until the accept loop runs, so a server destroyed at once
    // would otherwise never end its thread.
    for (int i = 0; i < 5000 && port > 0 && !m_server->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FakeService::~FakeService()
{
    m_server->stop();
    m_thread.join();
}

void FakeService::note(QString Seen::*target, const httplib::Request& req, std::atomic<int>& count,
                       const std::function<void(Seen&)>& more)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_seen.*target = QString::fromStdString(req.target);
        if (more)
            more(m_seen);
    }
    ++count;
}

FakeService::Seen FakeService::seen() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_seen;
}

void FakeService::replyJson(httplib::Response& res, const QByteArray& json, int httpStatus)
{
    res.status = httpStatus;
    res.set_content(json.toStdString(), "application/json");
}

QByteArray FakeService::refusal(int code, const QString& message)
{
    return QJsonDocument(QJsonObject{{proto::kCode, code}, {proto::kMessage, message}})
        .toJson(QJsonDocument::Compact);
}

QByteArray FakeService::pollReply(int status, const QString& convertPath, const QString& message)
{
    const QJsonObject data{{proto::kStatus, status}, {proto::kConvertPath, convertPath}};
    return QJsonDocument(
               QJsonObject{{proto::kCode, proto::kCodeOk}, {proto::kMessage, message}, {proto::kData, data}})
        .toJson(QJsonDocument::Compact);
}

} // namespace mattingtest
