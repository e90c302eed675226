// Starting the local service only when it is the configured one and silent, and
// the brisel-cutout tool against the real service.

#include "fakeservice.h"
#include "mattingfixtures.h"
#include "qimagefiles.h"
#include "qservicelauncher.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QtTest>

#include <opencv2/imgproc.hpp>

using namespace mattingtest;

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

    void ensureRunning_data()
    {
        QTest::addColumn<bool>("local");
        QTest::addColumn<bool>("program"); // else the folder lacks the service program
        QTest::addColumn<QString>("error");
        QTest::newRow("local and silent: started") << true << true << "";
        QTest::newRow("another service is not ours to start") << false << true << "";
        QTest::newRow("program missing") << true << false << "brisel-matting-service is missing";
    }
    void ensureRunning()
    {
        QFETCH(bool, local);
        QFETCH(bool, program);
        QFETCH(QString, error);
        // A folder laid out like the program's, with the test certificate and key.
        QString why;
        const Certificates* certs = trustTestCa(&why);
        QVERIFY2(certs, qPrintable(why));
        const QString folder = testutils::sandboxPath() + "/" + QTest::currentDataTag() + "/";
        QVERIFY(QDir().mkpath(folder) && QFile::copy(certs->serverCert, folder + "service-cert.pem") &&
                QFile::copy(certs->serverKey, folder + "service-key.pem"));
        QVERIFY(!program ||
                QFile::link(testutils::binPath("brisel-matting-service"), folder + "brisel-matting-service"));
        QServiceLauncher::setServiceFolder(folder);
        QServiceLauncher::setDefaultPort(QUrl(FakeService().url()).port()); // bound, then released
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
            QCOMPARE(launcher.ownsService(), local && program);
            QCOMPARE(QServiceLauncher::isAnswering(url), local && program);
            // A second launcher finds it answering and neither starts nor owns it.
            QServiceLauncher second;
            QCOMPARE(second.ensureRunning(), error.isEmpty());
            QVERIFY(!second.ownsService());
        }
        QVERIFY(!QServiceLauncher::isAnswering(url)); // stopped with the launcher that started it
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
        // The disc of makePhoto() kept, the flat background around it removed.
        const cv::Mat cut = QImageFiles::decode(testutils::readFile(out + "p1.png"));
        QCOMPARE(cut.type(), CV_8UC4);
        QCOMPARE(cut.size(), cv::Size(120, 90));
        QVERIFY(cut.at<cv::Vec4b>(45, 60)[3] > 200 && cut.at<cv::Vec4b>(1, 1)[3] < 30);
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
