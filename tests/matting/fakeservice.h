#pragma once
// A matting service on a free loopback port whose handlers a test swaps before the
// client talks to it; the defaults answer like a healthy service done at the first
// poll. Handlers run on the server's thread; what the client sent is kept under a lock.

#include <QByteArray>
#include <QString>

#include <httplib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace mattingtest {

class FakeService
{
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    // Plain http, or https with the given certificate and key files.
    FakeService(const QString& certFile = QString(), const QString& keyFile = QString());
    ~FakeService();
    QString url() const { return m_url; }
    // For routes of a test's own; add them before the first request.
    httplib::Server& server() { return *m_server; }

    Handler onCreate;
    Handler onPoll;
    Handler onCancel; // DELETE of a job; 200 unless swapped
    // Body of GET /result.png: a 20 x 10 cut-out whose alpha is 12 times the column.
    QByteArray resultBytes;
    std::atomic<int> creates{0};
    std::atomic<int> polls{0};
    std::atomic<int> downloads{0};
    std::atomic<int> cancels{0};

    struct Seen // what the last creation, poll and cancel carried
    {
        QString createTarget, pollTarget, cancelTarget; // path and query as sent
        QString fileName;                               // of the multipart part named as the protocol says
        QByteArray fileContent;
    };
    Seen seen() const;

    static void replyJson(httplib::Response& res, const QByteArray& json, int httpStatus = 200);
    static QByteArray refusal(int code, const QString& message);
    // A successful poll's answer: the job in this status, its result at `convertPath`.
    static QByteArray pollReply(int status, const QString& convertPath, const QString& message = "ok");

private:
    // Keeps what a request carried and counts it, before its handler answers.
    void note(QString Seen::*target, const httplib::Request& req, std::atomic<int>& count,
              const std::function<void(Seen&)>& more = nullptr);

    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    QString m_url;
    mutable std::mutex m_mutex;
    Seen m_seen;
};

} // namespace mattingtest
