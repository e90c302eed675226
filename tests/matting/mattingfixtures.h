#pragma once
// Shared by the suites that talk to a matting service: photos of a disc on a flat
// background, throw-away TLS certificates, the real service program on a free port
// and a fake one.

#include "childprocess.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

#include <httplib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace mattingtest {

// A photo (w x h, JPEG or PNG by the extension) of a red disc on a flat light-grey
// background in <sandbox>/photos/<name>; returns its path, empty on failure.
QString makePhoto(const QString& name, int w = 160, int h = 120);

// A CA with a server certificate for 127.0.0.1/localhost signed by it, made once
// per process with the openssl program.
struct Certificates
{
    QString caPem;
    QString serverCert;
    QString serverKey;
};
// Null (with the reason in *error) when openssl fails. Every request of this
// process trusts the test CA from the first call on.
const Certificates* trustTestCa(QString* error);

// Points the tasks created from now on at this service.
void useService(const QString& url);

// brisel-matting-service with the key engine on a free loopback port.
class RealService
{
public:
    // False with the reason in *error when the program is missing or does not say
    // where it listens within a few seconds.
    bool start(bool tls, QString* error);
    QString url() const { return m_url; }

private:
    std::unique_ptr<testutils::ChildProcess> m_process;
    QString m_url;
};

// A matting service on a free loopback port whose handlers a test swaps before the
// client talks to it; the defaults answer like a healthy service done at the first
// poll. Handlers run on the server's thread; what the client sent is kept under a lock.
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
