// The local service is one per user and nobody's child: started once under a lock,
// shared by every client, left running when a client ends, and started again when
// it dies under a batch. Real brisel-cutout runs against the real service.

#include "cglobal.h"
#include "csetting.h"
#include "mattingfixtures.h"
#include "qimagefiles.h"
#include "qservicelauncher.h"
#include "qservicesetup.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QtTest>

#include <opencv2/imgproc.hpp>
#include <signal.h>
#include <unistd.h>

using namespace mattingtest;

namespace {

// For this process and the tools it runs. The idle exit stays off: every test
// kills the service it caused, so none outlives the suite.
void setLocalService(int idleExit, const QString& options)
{
    const int port = QUrl(FakeService().url()).port(); // bound, then released
    QServiceLauncher::setDefaultPort(port);
    CSetting::setValue("service", "port", port);
    CSetting::setValue("service", "idleExit", idleExit);
    CSetting::setValue("service", "options", options);
    useService(QString());
}

bool isRunning(qint64 pid)
{
    const QByteArray stat = testutils::readFile(QString("/proc/%1/stat").arg(pid));
    return !stat.isEmpty() && stat.mid(stat.lastIndexOf(')') + 2, 1) != "Z";
}

// Kills the recorded local service, if that pid is still the service program.
void killLocalService()
{
    const qint64 pid = QServiceLauncher::localServicePid();
    if (testutils::readFile(QString("/proc/%1/cmdline").arg(pid)).contains("brisel-matting-service")) {
        ::kill(pid_t(pid), SIGKILL);
        QTRY_VERIFY(!isRunning(pid));
    }
}

int serviceStarts()
{
    return testutils::readFile(QServiceLauncher::serviceLogPath()).count("=== started by");
}

// brisel-cutout on `count` new photos named <prefix>N.jpg into <sandbox>/<prefix>/.
struct ToolRun
{
    testutils::ChildProcess tool;
    QString out;
    QStringList photos;

    void start(const QString& prefix, int count)
    {
        out = testutils::sandboxPath() + "/" + prefix + "/";
        for (int i = 1; i <= count; ++i)
            photos << makePhoto(QString("%1%2.jpg").arg(prefix).arg(i));
        tool.start(testutils::binPath("brisel-cutout"), QStringList{"-o", out} + photos);
    }
    // Empty when the tool succeeded and every cut-out is a picture.
    QString finish()
    {
        if (!tool.waitForFinished(120000) || tool.exitCode() != 0)
            return QString("exit %1: %2").arg(tool.exitCode()).arg(QString(tool.readAllStandardError()));
        for (const QString& photo : photos)
            if (QImageFiles::decode(testutils::readFile(out + QFileInfo(photo).baseName() + ".png")).empty())
                return "no cut-out of " + photo;
        return QString();
    }
};

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
    void cleanup() { killLocalService(); }
    void cleanupTestCase() { QWorkPool::instance()->stop(); }

    void ensureRunning_data()
    {
        QTest::addColumn<QString>("program"); // service, stand-in (records how it ran) or missing
        QTest::addColumn<bool>("local");
        QTest::addColumn<QString>("error");
        QTest::newRow("local and silent: started") << "service" << true << "";
        QTest::newRow("another service is not ours to start") << "service" << false << "";
        QTest::newRow("program missing") << "missing" << true << "brisel-matting-service is missing";
        QTest::newRow("detached, idle exit and options passed")
            << "stand-in" << true << "stopped while starting";
    }
    void ensureRunning()
    {
        QFETCH(QString, program);
        QFETCH(bool, local);
        QFETCH(QString, error);
        // A folder laid out like the program's, with the test certificate and key.
        QString why;
        const Certificates* certs = trustTestCa(&why);
        QVERIFY2(certs, qPrintable(why));
        const QString folder = testutils::sandboxPath() + "/" + QTest::currentDataTag() + "/";
        const QString service = folder + "brisel-matting-service";
        QVERIFY(QDir().mkpath(folder) && QFile::copy(certs->serverCert, folder + "service-cert.pem") &&
                QFile::copy(certs->serverKey, folder + "service-key.pem"));
        if (program == "service")
            QVERIFY(QFile::link(testutils::binPath("brisel-matting-service"), service));
        if (program == "stand-in") // the session comes from /proc: field 6 of its stat
            QVERIFY(testutils::writeFile(
                        service, "#!/bin/sh\necho \"$* $$ $(cut -d' ' -f6 /proc/$$/stat)\" >\"$0.run\"\n") &&
                    QFile::setPermissions(service, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        QServiceLauncher::setServiceFolder(folder);
        setLocalService(program == "stand-in" ? 7 : 0, "--engine key --workers 2");
        useService(local ? QString() : FakeService().url());
        const QString url = QServiceLauncher::serviceUrl();
        {
            QServiceLauncher launcher;
            QSignalSpy ready(&launcher, &QServiceLauncher::signal_ready);
            QSignalSpy failed(&launcher, &QServiceLauncher::signal_failed);
            launcher.ensureRunningAsync();
            QCOMPARE(ready.size() + failed.size(), 0); // the answer never comes before the call returns
            QTRY_COMPARE_WITH_TIMEOUT(ready.size() + failed.size(), 1, 90000);
            const QString got = failed.isEmpty() ? QString() : failed.first().first().toString();
            QVERIFY2(error.isEmpty() ? got.isEmpty() : got.contains(error), qPrintable(got));
        }
        // Nobody owns the service: it outlives the launcher that started it.
        QCOMPARE(QServiceLauncher::isAnswering(url), local && program == "service");
        if (program == "stand-in") {
            const QStringList run = QString(testutils::readFile(service + ".run")).split(' ');
            QVERIFY2(run.join(' ').contains("--idle-exit 7 --engine key --workers 2"),
                     qPrintable(run.join(' ')));
            QCOMPARE(run.value(run.size() - 2).toLongLong(), QServiceLauncher::localServicePid());
            QVERIFY(run.last().toLongLong() != getsid(0)); // its own session, not the test's
        }
    }

    // First start of an installed program, with stand-ins for the set-up scripts.
    void preparation_data()
    {
        QTest::addColumn<bool>("certsMade");
        QTest::addColumn<int>("fetchExit");
        QTest::addColumn<QString>("message"); // "" when all is ready
        QTest::newRow("ready") << true << 0 << "";
        QTest::newRow("no openssl") << false << 0 << "openssl: not found";
        QTest::newRow("offline") << true << 3 << "offline";
        QTest::newRow("no torch") << true << 4 << "python3-torch";
        QTest::newRow("conversion") << true << 1 << "conversion failed";
    }
    void preparation()
    {
        QFETCH(bool, certsMade);
        QFETCH(int, fetchExit);
        QFETCH(QString, message);
        const QString tools = testutils::sandboxPath() + "/tools/", models = testutils::sandboxPath() + "/m";
        const QString certs = certsMade ? "mkdir -p $BRISEL_TLS_DIR && cd $BRISEL_TLS_DIR && echo x | tee "
                                          "server-cert.pem server-key.pem cacert.pem"
                                        : "echo 'openssl: not found' >&2; exit 1";
        const QString fetch =
            QString("echo fetch-model: downloading; echo ' 42.0%' >&2; [ %1 = 0 ] && echo m "
                    ">$BRISEL_MODEL_DIR/isnet-general.pt; echo conversion failed >&2; exit %1")
                .arg(fetchExit);
        QVERIFY(QDir(CGlobal::getTlsPath()).removeRecursively() && QDir(models).removeRecursively() &&
                QDir().mkpath(models) && testutils::writeFile(tools + "make-certs.sh", certs.toUtf8()) &&
                testutils::writeFile(tools + "fetch-model.sh", fetch.toUtf8()));
        const QByteArray modelDir = qgetenv("BRISEL_MODEL_DIR");
        qputenv("BRISEL_MODEL_DIR", models.toUtf8());
        QServiceSetup::setToolsFolder(tools);
        QServiceSetup setup;
        QSignalSpy progress(&setup, &QServiceSetup::signal_progress),
            finished(&setup, &QServiceSetup::signal_finished);
        setup.prepare();
        QVERIFY(finished.wait(20000));
        const QStringList engine =
            QServiceSetup::engineArguments(); // the key engine until the model is there
        qputenv("BRISEL_MODEL_DIR", modelDir);
        QCOMPARE(finished.first().first().toBool(), message.isEmpty());
        QVERIFY2(finished.first().last().toString().contains(message),
                 qPrintable(finished.first().last().toString()));
        QCOMPARE(engine.first(), message.isEmpty() ? "--model" : "--engine");
        QCOMPARE(std::any_of(progress.begin(), progress.end(),
                             [](const QVariantList& p) { return p.last() == 42; }),
                 certsMade); // no model step after the certificates failed
    }

    // Two tools at once start one service and share it: the one that ends first
    // leaves it running for the other. Killed mid-batch, it is started again once
    // and every photo is still written.
    void toolsShareOneServiceThatRestarts()
    {
        QVERIFY2(QFile::exists(testutils::binPath("service-cert.pem")),
                 "the set-up's certificates are missing");
        setLocalService(0, "--engine key --test-delay-ms 300");
        const int startsBefore = serviceStarts();
        ToolRun one, batch;
        one.start("one", 1);
        batch.start("batch", 6);
        QCOMPARE(one.finish(), QString());
        QCOMPARE(serviceStarts(), startsBefore + 1);
        const qint64 first = QServiceLauncher::localServicePid();
        QVERIFY(batch.tool.state() != QProcess::NotRunning && isRunning(first));
        QVERIFY(::kill(pid_t(first), SIGKILL) == 0);
        QCOMPARE(batch.finish(), QString());
        QCOMPARE(serviceStarts(), startsBefore + 2);
        QVERIFY(QServiceLauncher::localServicePid() != first);
    }

    // Photos are never touched; a bad one does not stop the others.
    void tool()
    {
        RealService real;
        QString error;
        QVERIFY2(real.start(false, &error), qPrintable(error));
        useService(real.url());
        const QString photo = makePhoto("p1.jpg", 120, 90),
                      bad = testutils::sandboxPath() + "/photos/bad.jpg";
        QVERIFY(testutils::writeFile(bad, "this is a shopping list"));
        const QByteArray before = testutils::readFile(photo);
        const QString out = testutils::sandboxPath() + "/out/";
        const auto run = [](const QStringList& args, int exitCode, const QString& complaint,
                            const QString& folder = QString()) {
            testutils::ChildProcess tool;
            tool.setWorkingDirectory(folder);
            tool.start(testutils::binPath("brisel-cutout"), args);
            const bool ok = tool.waitForFinished(120000) && tool.exitCode() == exitCode;
            const QString err = tool.readAllStandardError();
            return ok && err.contains(complaint) ? QString() : err;
        };
        QCOMPARE(run({photo, bad, "gone.jpg", "--type", "goods", "-o", out}, 1,
                     "bad.jpg: The file is not a supported image"),
                 QString());
        QCOMPARE(QImageFiles::decode(testutils::readFile(out + "p1.png")).size(), cv::Size(120, 90));
        // The key engine has no fast variant: the request still succeeds, on the normal one.
        QCOMPARE(run({photo, "--fast", "-o", out + "fast.png"}, 0, ""), QString());
        QCOMPARE(QImageFiles::decode(testutils::readFile(out + "fast.png")).size(), cv::Size(120, 90));
        // The output named as the photo, spelt another way.
        QCOMPARE(run({photo, "-o", out + "../photos/p1.jpg"}, 2, "would overwrite the photo"), QString());
        QCOMPARE(testutils::readFile(photo), before);

        // Two different p.bmp alike in size and time, each named from its own folder.
        const QString a = QFileInfo(makePhoto("a/p.bmp", 120, 90)).path(),
                      b = testutils::sandboxPath() + "/b";
        cv::Mat other(90, 120, CV_8UC3, cv::Scalar::all(225));
        cv::circle(other, {25, 25}, 15, cv::Scalar(40, 40, 200), cv::FILLED);
        QByteArray bmp;
        QVERIFY(QImageFiles::encode(other, ".bmp", {}, &bmp) && testutils::writeFile(b + "/p.bmp", bmp));
        for (const QString& folder : {a, b}) {
            QFile file(folder + "/p.bmp");
            QVERIFY(file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(QDateTime::fromSecsSinceEpoch(1700000000),
                                     QFileDevice::FileModificationTime));
        }
        QCOMPARE(run({"p.bmp"}, 0, "", a), QString());
        QCOMPARE(run({"p.bmp"}, 0, "", b), QString());
        const cv::Mat cutB = QImageFiles::decode(testutils::readFile(b + "/p-cutout.png"));
        QVERIFY(!cutB.empty() && cutB.at<cv::Vec4b>(25, 25)[3] > 200 && cutB.at<cv::Vec4b>(45, 60)[3] < 30);

        // Its own earlier cut-out is replaced; a file of the user's only when asked.
        QVERIFY(testutils::writeFile(a + "/mine.png", "mine"));
        QCOMPARE(run({"p.bmp"}, 0, "", a), QString());
        QCOMPARE(run({"p.bmp", "-o", "mine.png"}, 4, "mine.png already exists; add --overwrite", a),
                 QString());
        QCOMPARE(testutils::readFile(a + "/mine.png"), QByteArray("mine"));
        QCOMPARE(run({"p.bmp", "-o", "mine.png", "--overwrite"}, 0, "", a), QString());
        QCOMPARE(QImageFiles::decode(testutils::readFile(a + "/mine.png")).size(), cv::Size(120, 90));
    }
};

BRISEL_TEST_GUILESS_MAIN(TestServiceLauncher)
#include "tst_servicelauncher.moc"
