#pragma once
// Pieces shared by the matting suites: photos with a subject on a flat background,
// throw-away TLS certificates and the real service program started on a free port.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

#include <memory>

class QImageTask;
namespace testutils {
class ChildProcess;
}

namespace mattingtest {

// A photo (w x h, JPEG or PNG by the extension) of a red disc on a flat light-grey
// background in <sandbox>/photos/<name>; returns its path, empty on failure.
QString makePhoto(const QString& name, int w = 160, int h = 120);

// A CA with a server certificate for 127.0.0.1/localhost signed by it, and a
// self-signed server certificate nobody trusts; made once per process with the
// openssl program.
struct Certificates
{
    QString caPem;
    QString serverCert;
    QString serverKey;
    QString untrustedCert;
    QString untrustedKey;
};
// Null (with the reason in *error) when openssl fails.
const Certificates* certificates(QString* error);
// The same, and every request of this process trusts the test CA from now on.
const Certificates* trustTestCa(QString* error);

// Points the tasks created from now on at this service.
void useService(const QString& url);

// Runs a task on the calling thread: empty when it reported success with its own
// identifier, else the error it reported (or a note when not exactly one signal
// came).
QString runTask(QImageTask& task);

// brisel-matting-service with the key engine on a free loopback port.
class RealService
{
public:
    ~RealService();
    // False with the reason in *error when the program is missing or does not say
    // where it listens within a few seconds.
    bool start(bool tls, QString* error);
    void stop();
    QString url() const { return m_url; }

private:
    std::unique_ptr<testutils::ChildProcess> m_process;
    QString m_url;
};

} // namespace mattingtest
