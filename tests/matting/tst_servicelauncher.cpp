// Starting the local service when the configured one is the local default and
// nothing answers; leaving any other service alone; clear messages when the
// program is missing, dies or never answers.

#include "csetting.h"
#include "fakeservice.h"
#include "hrequest.h"
#include "mattingfixtures.h"
#include "qservicelauncher.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QtTest>

using namespace mattingtest;

namespace {

// A folder laid out like the program's: the service program (a link to the real
// one, or a stand-in script) with the test certificate and key beside it.
QString serviceFolder(const QString& name, const QString& program)
{
    QString error;
    const Certificates* certs = certificates(&error);
    const QString folder = testutils::sandboxPath() + "/" + name + "/";
    QDir().mkpath(folder);
    if (!certs || !QFile::copy(certs->serverCert, folder + "service-cert.pem") ||
        !QFile::copy(certs->serverKey, folder + "service-key.pem"))
        return QString();
    const QString target = folder + "brisel-matting-service";
    if (program == "real")
        return QFile::link(testutils::binPath("brisel-matting-service"), target) ? folder : QString();
    if (program == "missing")
        return folder;
    // The stand-ins leave a mark when started.
    const QByteArray script = "#!/bin/sh\ntouch \"$(dirname \"$0\")/started\"\n" +
                              QByteArray(program == "exits" ? "exit 3\n" : "exec sleep 30\n");
    if (!testutils::writeFile(target, script))
        return QString();
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return folder;
}

int freePort()
{
    return QUrl(FakeService().url()).port(); // bound, then released
}

// Asks the launcher for a running service, blocking or on the pool; the error it
// reported, or empty when it succeeded.
QString ensure(QServiceLauncher& launcher, bool async, bool* ok)
{
    if (!async) {
        *ok = launcher.ensureRunning();
        return *ok ? QString() : launcher.errorString();
    }
    QSignalSpy ready(&launcher, &QServiceLauncher::signal_ready);
    QSignalSpy failed(&launcher, &QServiceLauncher::signal_failed);
    launcher.ensureRunningAsync();
    const bool early = ready.size() + failed.size() > 0; // the answer never comes before the call returns
    *ok = false;
    if (!QTest::qWaitFor([&] { return ready.size() + failed.size() > 0; }, 90000) || early)
        return QStringLiteral("no single answer from the pool");
    *ok = !ready.isEmpty() && failed.isEmpty();
    return failed.isEmpty() ? QString() : failed.first().first().toString();
}

} // namespace

class TestServiceLauncher : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(trustTestCa(&error), qPrintable(error));
        QWorkPool::instance()->start(2);
    }
    void cleanupTestCase() { QWorkPool::instance()->stop(); }

    void init()
    {
        useService(QString());
        QServiceLauncher::setDefaultPort(freePort());
    }

    void defaultAddressComesFromTheSettings()
    {
        QServiceLauncher::setDefaultPort(QServiceLauncher::kDefaultPort);
        QCOMPARE(QServiceLauncher::serviceUrl(), QStringLiteral("https://127.0.0.1:47650"));
        CSetting::setValue("service", "url", "https://matting.example.com/base/ ");
        QCOMPARE(QServiceLauncher::serviceUrl(), QStringLiteral("https://matting.example.com/base"));
    }

    void startsOnlyTheLocalService_data()
    {
        QTest::addColumn<bool>("async");
        QTest::addColumn<bool>("local");
        QTest::newRow("local, blocking") << false << true;
        QTest::newRow("local, on the pool") << true << true;
        QTest::newRow("another service is not ours to start") << false << false;
    }
    void startsOnlyTheLocalService()
    {
        QFETCH(bool, async);
        QFETCH(bool, local);
        const QString folder = serviceFolder(QTest::currentDataTag(), "real");
        QVERIFY(!folder.isEmpty());
        QServiceLauncher::setServiceFolder(folder);
        const QString url = QServiceLauncher::defaultUrl();
        if (!local)
            useService(FakeService().url()); // nothing listens there
        QVERIFY(!QServiceLauncher::isAnswering(url));
        {
            QServiceLauncher launcher;
            QSignalSpy starting(&launcher, &QServiceLauncher::signal_starting);
            bool ok = false;
            const QString error = ensure(launcher, async, &ok);
            QVERIFY2(ok, qPrintable(error));
            QCOMPARE(starting.size(), local ? 1 : 0);
            QCOMPARE(launcher.ownsService(), local);
            QCOMPARE(QServiceLauncher::isAnswering(url), local);
            if (local) {
                // A second launcher finds it answering and neither starts nor owns it.
                QServiceLauncher second;
                QVERIFY(second.ensureRunning());
                QVERIFY(!second.ownsService());
            }
        }
        QVERIFY(!QServiceLauncher::isAnswering(url)); // stopped with the launcher that started it
    }

    void failuresAreExplained_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("async");
        QTest::addColumn<QString>("message");
        for (bool async : {false, true}) {
            const char* mode = async ? "on the pool" : "blocking";
            QTest::addRow("program missing, %s", mode)
                << "missing" << async << "brisel-matting-service is missing";
            QTest::addRow("program exits at once, %s", mode) << "exits" << async << "stopped while starting";
            QTest::addRow("program never answers, %s", mode)
                << "silent" << async << "did not answer within 1 seconds";
        }
    }
    void failuresAreExplained()
    {
#ifndef Q_OS_UNIX
        QSKIP("the stand-in service programs are shell scripts");
#endif
        QFETCH(QString, program);
        QFETCH(bool, async);
        QFETCH(QString, message);
        const QString folder = serviceFolder(QStringLiteral("%1-%2").arg(program).arg(async), program);
        QVERIFY(!folder.isEmpty());
        QServiceLauncher::setServiceFolder(folder);

        QServiceLauncher launcher;
        launcher.setStartTimeout(1500);
        bool ok = true;
        const QString error = ensure(launcher, async, &ok);
        QVERIFY(!ok);
        QVERIFY2(error.contains(message), qPrintable(error));
        QCOMPARE(QFile::exists(folder + "started"), program != "missing");
        QCOMPARE(launcher.errorString(), error);
        launcher.stop();
        QVERIFY(!launcher.ownsService());
    }

    void destroyedWhileProbingStaysQuiet()
    {
        // The pool's answer arrives after the launcher is gone and must be dropped,
        // not start a service nobody will stop.
        const QString folder = serviceFolder("gone", "silent");
        QServiceLauncher::setServiceFolder(folder);
        auto launcher = std::make_unique<QServiceLauncher>();
        launcher->setStartTimeout(500);
        launcher->ensureRunningAsync();
        launcher.reset();
        QTest::qWait(1000);
        QVERIFY(!QFile::exists(folder + "started"));
    }
};

BRISEL_TEST_GUILESS_MAIN(TestServiceLauncher)
#include "tst_servicelauncher.moc"
