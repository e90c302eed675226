#pragma once
// Runs the real brisel-matting-service for a test and talks to it over HTTP(S), and
// makes the photos it is fed on the fly, so every case states exactly what goes in.

#include "childprocess.h"
#include "mattingprotocol.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <opencv2/core.hpp>

#include <memory>
#include <string>

namespace httplib {
class Client;
}

class ServiceProcess
{
public:
    // Starts the service on a free port with the key engine, plus `args` (which
    // may override the engine), and waits for its "listening on" line; false with
    // the reason and the service's log in *error.
    bool start(const QStringList& args, QString* error);
    QString url() const { return m_url; }
    testutils::ChildProcess& process() { return m_process; }

    // Local CA and server certificate made by tools/make-certs.sh in the test's
    // private home.
    static bool makeCertificates(QString* caFile, QString* certFile, QString* keyFile);

private:
    testutils::ChildProcess m_process;
    QString m_url;
};

struct ServiceReply
{
    int status = -1; // HTTP status, -1 when the request failed
    QJsonObject json;
    std::string body;
    QString retryAfter; // the header, when there was one
    int code() const { return json.value(mattingprotocol::kCode).toInt(-1); }
    QString message() const { return json.value(mattingprotocol::kMessage).toString(); }
    QJsonObject data() const { return json.value(mattingprotocol::kData).toObject(); }
    QString serial() const { return data().value(mattingprotocol::kSerial).toString(); }
    // A poll's job status (-1 without one) and result address.
    int jobStatus() const { return data().value(mattingprotocol::kStatus).toInt(-1); }
    QString convertPath() const { return data().value(mattingprotocol::kConvertPath).toString(); }
};

class ServiceClient
{
public:
    explicit ServiceClient(const QString& baseUrl, const QString& caFile = QString());
    ~ServiceClient();

    // Creates a task; a null mac leaves that key out.
    ServiceReply upload(const QString& mac, const QString& isBody, const std::string& photo,
                        const std::string& field = mattingprotocol::kFileField);
    // GET of a path, or of a full URL on this service.
    ServiceReply get(const QString& pathOrUrl);
    ServiceReply cancel(const QString& mac, const QString& serial);
    // Polls until the job leaves the running state or the time is up; returns the last poll.
    ServiceReply waitFinished(const QString& mac, const QString& serial, int timeoutMs = 30000);

private:
    QString m_base;
    std::unique_ptr<httplib::Client> m_client;
};

namespace photofixtures {

// A flat green sheet with a soft-edged red disc in the middle: the key engine's
// home ground, and a fringe test (green must not show in the disc's edge).
cv::Mat discOnGreen(int w, int h);
std::string encode(const cv::Mat& img, const std::string& ext);
// A PNG header that claims w x h pixels, followed by a tiny valid body.
std::string pngClaiming(unsigned w, unsigned h);

} // namespace photofixtures
