#pragma once
// Shared by the matting suites: photos of a disc on a flat background, throw-away
// TLS certificates, the real service program on a free port.

#include "childprocess.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

#include <memory>

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

} // namespace mattingtest
