#include "fakeservice.h"

#include <chrono>

namespace mattingtest {

FakeService::FakeService()
{
    serve(std::make_unique<httplib::Server>(), QStringLiteral("http"));
}

FakeService::FakeService(const QString& certFile, const QString& keyFile)
{
    serve(std::make_unique<httplib::SSLServer>(certFile.toLocal8Bit().constData(),
                                               keyFile.toLocal8Bit().constData()),
          QStringLiteral("https"));
}

FakeService::~FakeService()
{
    m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
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

QByteArray FakeService::pollReply(int status, const QString& convertPath)
{
    return QStringLiteral(R"({"code":200,"message":"ok","data":{"status":%1,"convert_path":"%2"}})")
        .arg(status)
        .arg(convertPath)
        .toUtf8();
}

void FakeService::serve(std::unique_ptr<httplib::Server> server, const QString& scheme)
{
    m_server = std::move(server);
    onCreate = [](const httplib::Request&, httplib::Response& res) {
        replyJson(res, R"({"code":200,"message":"ok","data":{"serial":"0123abcd"}})");
    };
    onPoll = [this](const httplib::Request&, httplib::Response& res) {
        replyJson(res, pollReply(1, m_url + "/result.png"));
    };
    onResult = [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(resultBytes.toStdString(), "image/png");
    };

    m_server->Post("/api/v2/task", [this](const httplib::Request& req, httplib::Response& res) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_seen.createTarget = QString::fromStdString(req.target);
            m_seen.fileField.clear();
            for (const auto& file : req.files)
                m_seen.fileField = QString::fromStdString(file.first);
            const httplib::MultipartFormData file = req.get_file_value("file");
            m_seen.fileName = QString::fromStdString(file.filename);
            m_seen.fileContent = QByteArray::fromStdString(file.content);
        }
        ++creates;
        onCreate(req, res);
    });
    m_server->Get("/api/v2/task", [this](const httplib::Request& req, httplib::Response& res) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_seen.pollTarget = QString::fromStdString(req.target);
        }
        ++polls;
        onPoll(req, res);
    });
    m_server->Get("/result.png", [this](const httplib::Request& req, httplib::Response& res) {
        ++downloads;
        onResult(req, res);
    });

    const int port = m_server->bind_to_any_port("127.0.0.1");
    m_url = QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(port);
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // stop() is a no-op until the accept loop runs, so a server destroyed at once
    // would otherwise never end its thread.
    for (int i = 0; i < 5000 && port > 0 && !m_server->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

} // namespace mattingtest
