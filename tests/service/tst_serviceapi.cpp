// The real brisel-matting-service, started on a free port with the key engine and
// driven the way the desktop program drives it. The refusals go over plain HTTP
// only: the transport does not change them, and the full runs cover HTTPS.

#include "photofixtures.h"
#include "serviceprocess.h"
#include "testutils.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>

#include <atomic>
#include <thread>
#include <vector>

namespace {

const QString kMac = "0123456789ab";

cv::Mat decodePng(const std::string& body)
{
    return cv::imdecode(cv::Mat(1, int(body.size()), CV_8U, const_cast<char*>(body.data())),
                        cv::IMREAD_UNCHANGED);
}

QString serialOf(const ServiceReply& r)
{
    return r.data().value("serial").toString();
}

} // namespace

class TestServiceApi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(ServiceProcess::makeCertificates(&m_ca, &m_cert, &m_key), "tools/make-certs.sh failed");
        QString error;
        QVERIFY2(m_plain.start(m_limits, &error), qPrintable(error));
        QVERIFY2(m_secure.start(m_limits + QStringList{"--tls-cert", m_cert, "--tls-key", m_key}, &error),
                 qPrintable(error));
        QVERIFY(m_plain.url().startsWith("http://127.0.0.1:"));
        QVERIFY(m_secure.url().startsWith("https://127.0.0.1:"));
        m_http = std::make_unique<ServiceClient>(m_plain.url());
        m_https = std::make_unique<ServiceClient>(m_secure.url(), m_ca);

        const ServiceReply r =
            m_http->upload(kMac, "1", photofixtures::encode(photofixtures::discOnGreen(64, 48), ".png"));
        QCOMPARE(r.code(), 200);
        m_doneSerial = serialOf(r);
        QCOMPARE(m_http->waitFinished(kMac, m_doneSerial).data().value("status").toInt(), 1);
    }

    void badUpload_data()
    {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QString>("isBody");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QByteArray>("photo");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");

        const QByteArray jpeg =
            QByteArray::fromStdString(photofixtures::encode(photofixtures::discOnGreen(120, 90), ".jpg"));
        const QByteArray big = QByteArray::fromStdString(
            photofixtures::encode(cv::Mat(1200, 1800, CV_8UC3, cv::Scalar::all(90)), ".jpg"));
        const QString noMac = "The request does not identify this computer (\"mac\" is missing).";
        const QString badBody = "The request does not say what the photo shows (\"is_body\" must be 0 or 1).";
        const QString notImage =
            "The file is not a supported image. Please use a PNG, JPEG, BMP or WEBP photo.";
        const QString tooManyPixels =
            "The photo has too many pixels (%1 megapixels; the limit is 2). Please use a smaller photo.";

        QTest::newRow("mac missing") << QString() << "1"
                                     << "file" << jpeg << 400 << noMac;
        QTest::newRow("mac empty") << ""
                                   << "1"
                                   << "file" << jpeg << 400 << noMac;
        QTest::newRow("is_body missing") << kMac << QString() << "file" << jpeg << 400 << badBody;
        QTest::newRow("is_body 2") << kMac << "2"
                                   << "file" << jpeg << 400 << badBody;
        QTest::newRow("file field missing")
            << kMac << "0"
            << "image" << jpeg << 400 << "No photo was received. Please choose a photo and try again.";
        QTest::newRow("empty file") << kMac << "0"
                                    << "file" << QByteArray() << 415 << notImage;
        QTest::newRow("text file") << kMac << "0"
                                   << "file" << QByteArray("hello, world\n") << 415 << notImage;
        QTest::newRow("jpeg cut mid-scan")
            << kMac << "0"
            << "file" << jpeg.left(jpeg.size() * 2 / 3) << 415
            << "The image file is incomplete or damaged. Please use another copy of the photo.";
        QTest::newRow("header claims 400 MP")
            << kMac << "0"
            << "file" << QByteArray::fromStdString(photofixtures::pngClaiming(20000, 20000)) << 422
            << tooManyPixels.arg("400.0");
        QTest::newRow("2.2 MP over a 2 MP limit") << kMac << "1"
                                                  << "file" << big << 422 << tooManyPixels.arg("2.2");
        QTest::newRow("just over 1 MB") << kMac << "0"
                                        << "file" << QByteArray(1024 * 1024 + 4096, 'x') << 413
                                        << "The photo is too large to upload. The limit is 1 MB.";
    }
    void badUpload()
    {
        QFETCH(QString, mac);
        QFETCH(QString, isBody);
        QFETCH(QString, field);
        QFETCH(QByteArray, photo);
        QFETCH(int, code);
        QFETCH(QString, message);

        const ServiceReply r = m_http->upload(mac, isBody, photo.toStdString(), field.toStdString());
        QCOMPARE(r.status, code);
        QCOMPARE(r.code(), code);
        QCOMPARE(r.message(), message);
        QVERIFY(r.data().isEmpty());
        // Still serving, and nothing was queued.
        const ServiceReply health = m_http->get("/healthz");
        QCOMPARE(health.code(), 200);
        QCOMPARE(health.data().value("queue").toObject().value("waiting").toInt(), 0);
    }

    void badPoll_data()
    {
        QTest::addColumn<QString>("path"); // %1 = the serial of a finished job
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");

        const QString unknown = "The task was not found. It may have expired; please try again.";
        QTest::newRow("mac missing") << "/api/v2/task?serial=%1" << 400
                                     << "The request does not identify this computer (\"mac\" is missing).";
        QTest::newRow("serial missing") << "/api/v2/task?mac=" + kMac << 400
                                        << "The request does not name a task (\"serial\" is missing).";
        QTest::newRow("unknown serial")
            << "/api/v2/task?mac=" + kMac + "&serial=00000000000000000000000000000000" << 404 << unknown;
        QTest::newRow("another mac's serial") << "/api/v2/task?mac=someoneelse&serial=%1" << 404 << unknown;
        QTest::newRow("unknown result")
            << "/api/v2/result/0123456789abcdef0123456789abcdef.png" << 404 << unknown;
        QTest::newRow("unknown path") << "/api/v3/task" << 404 << "Not found.";
    }
    void badPoll()
    {
        QFETCH(QString, path);
        QFETCH(int, code);
        QFETCH(QString, message);
        const ServiceReply r = m_http->get(path.contains("%1") ? path.arg(m_doneSerial) : path);
        QCOMPARE(r.status, code);
        QCOMPARE(r.code(), code);
        QCOMPARE(r.message(), message);
    }

    void fullRun_data()
    {
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QByteArray>("photo");
        QTest::addColumn<QString>("isBody");
        QTest::addColumn<QSize>("expectedSize");

        const cv::Mat disc = photofixtures::discOnGreen(240, 160);
        const std::string jpeg = photofixtures::encode(disc, ".jpg");
        QTest::newRow("jpeg, goods, http")
            << false << QByteArray::fromStdString(jpeg) << "0" << QSize(240, 160);
        QTest::newRow("png, person, https")
            << true << QByteArray::fromStdString(photofixtures::encode(disc, ".png")) << "1"
            << QSize(240, 160);
    }
    void fullRun()
    {
        QFETCH(bool, tls);
        QFETCH(QByteArray, photo);
        QFETCH(QString, isBody);
        QFETCH(QSize, expectedSize);
        ServiceClient& c = tls ? *m_https : *m_http;

        const ServiceReply created = c.upload(kMac, isBody, photo.toStdString());
        QCOMPARE(created.code(), 200);
        QCOMPARE(created.message(), QString("ok"));
        const QString serial = serialOf(created);
        QVERIFY2(QRegularExpression("^[0-9a-f]{32}$").match(serial).hasMatch(), qPrintable(serial));

        const ServiceReply done = c.waitFinished(kMac, serial);
        QCOMPARE(done.code(), 200);
        QCOMPARE(done.data().value("status").toInt(), 1);
        const QString url = done.data().value("convert_path").toString();
        QVERIFY2(url.startsWith((tls ? m_secure : m_plain).url() + "/") && url.endsWith(".png"),
                 qPrintable(url));

        const ServiceReply png = c.get(url);
        QCOMPARE(png.status, 200);
        QCOMPARE(QString::fromStdString(png.contentType), QString("image/png"));
        const cv::Mat cut = decodePng(png.body);
        QCOMPARE(cut.type(), CV_8UC4);
        QCOMPARE(QSize(cut.cols, cut.rows), expectedSize);
        // Background gone, subject kept.
        QCOMPARE(int(cut.at<cv::Vec4b>(2, 2)[3]), 0);
        QCOMPARE(int(cut.at<cv::Vec4b>(cut.rows - 3, cut.cols - 3)[3]), 0);
        QCOMPARE(int(cut.at<cv::Vec4b>(cut.rows / 2, cut.cols / 2)[3]), 255);
        const cv::Vec4b centre = cut.at<cv::Vec4b>(cut.rows / 2, cut.cols / 2);
        QVERIFY(centre[2] > 180 && centre[1] < 80); // red subject
    }

    void largeUploadRefusedBeforeSending()
    {
        // libcurl, like the desktop program, announces bodies over 1 MB with
        // "Expect: 100-continue"; the refusal must come before the body is sent.
        const QString curl = QStandardPaths::findExecutable("curl");
        if (curl.isEmpty())
            QSKIP("curl is not installed");
        const QString file = testutils::sandboxPath() + "/big.bin";
        QVERIFY(testutils::writeFile(file, QByteArray(8 * 1024 * 1024, 'x')));
        testutils::ChildProcess p;
        p.start(curl, {"-s", "-o", "-", "-w", "\n%{http_code} %{size_upload}", "-F", "file=@" + file,
                       m_plain.url() + "/api/v2/task?mac=" + kMac + "&is_body=0"});
        QVERIFY(p.waitForFinished(60000));
        const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].contains("\"code\":413"), qPrintable(lines[0]));
        const QStringList tail = lines[1].split(' ');
        QCOMPARE(tail.value(0), QString("413"));
        QVERIFY2(tail.value(1).toDouble() < 1024 * 1024, qPrintable(lines[1]));
    }

    void concurrentUploadsAllAnswered()
    {
        ServiceProcess service;
        QString error;
        // A place frees up only when a job finishes; with every accepted job running
        // for 5 s at once, the burst of uploads is long over before that, even on a
        // busy machine, and the whole test still takes only a few seconds.
        QVERIFY2(service.start({"--queue", "32", "--workers", "32", "--test-delay-ms", "5000"}, &error),
                 qPrintable(error));
        const std::string photo = photofixtures::encode(photofixtures::discOnGreen(80, 60), ".jpg");

        constexpr int kUploads = 40;
        std::vector<ServiceReply> replies(kUploads);
        std::vector<std::thread> threads;
        for (int i = 0; i < kUploads; ++i)
            threads.emplace_back(
                [&, i] { replies[size_t(i)] = ServiceClient(service.url()).upload(kMac, "1", photo); });
        for (auto& t : threads)
            t.join();

        QStringList accepted;
        int busy = 0;
        for (const ServiceReply& r : replies) {
            if (r.code() == 200) {
                accepted << serialOf(r);
            } else {
                QVERIFY2(r.status == 503, qPrintable(QString::fromStdString(r.error) + "\n" + service.log()));
                QCOMPARE(r.code(), 503);
                QCOMPARE(r.message(), QString("The matting service is busy. Please try again in a moment."));
                ++busy;
            }
        }
        QCOMPARE(accepted.size() + busy, kUploads);
        // Places free up only as jobs finish, so at least the queue's length got in.
        QVERIFY2(accepted.size() >= 32, qPrintable(QString::number(accepted.size())));
        QVERIFY(busy >= 1);
        QCOMPARE(QSet<QString>(accepted.begin(), accepted.end()).size(), accepted.size());

        ServiceClient c(service.url());
        for (const QString& serial : accepted)
            QCOMPARE(c.waitFinished(kMac, serial, 60000).data().value("status").toInt(), 1);
        QCOMPARE(service.process().state(), QProcess::Running);
        QCOMPARE(c.get("/healthz").data().value("queue").toObject().value("finished").toInt(),
                 accepted.size());
    }

    void resultsExpireAndFilesGo()
    {
        QTemporaryDir temp(testutils::sandboxPath() + "/svc-XXXXXX");
        ServiceProcess service;
        QString error;
        QVERIFY2(service.start({"--result-ttl", "1s"}, &error, temp.path()), qPrintable(error));
        ServiceClient c(service.url());
        auto filesIn = [&](const QStringList& patterns) {
            QStringList found;
            for (const QFileInfo& d : QDir(temp.path()).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot))
                found += QDir(d.filePath()).entryList(patterns, QDir::Files);
            return found;
        };

        const QString serial =
            serialOf(c.upload(kMac, "0", photofixtures::encode(photofixtures::discOnGreen(60, 40), ".png")));
        const ServiceReply done = c.waitFinished(kMac, serial);
        QCOMPARE(done.data().value("status").toInt(), 1);
        const QString url = done.data().value("convert_path").toString();
        QCOMPARE(c.get(url).status, 200);
        QCOMPARE(filesIn({"*.png"}).size(), 1);
        QVERIFY(filesIn({"*.upload"}).isEmpty()); // the upload goes once the job is done

        QTRY_COMPARE_WITH_TIMEOUT(c.poll(kMac, serial).code(), 404, 5000);
        QCOMPARE(c.get(url).status, 404);
        QVERIFY(filesIn({"*.png"}).isEmpty());

        // A result still fresh at exit is deleted with the service's folder.
        QCOMPARE(c.waitFinished(kMac, serialOf(c.upload(
                                          kMac, "0",
                                          photofixtures::encode(photofixtures::discOnGreen(60, 40), ".png"))))
                     .data()
                     .value("status")
                     .toInt(),
                 1);
        QVERIFY(service.stop());
        QVERIFY(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    }

    void sigtermFinishesRunningJob()
    {
        ServiceProcess service;
        QString error;
        QVERIFY2(service.start({"--workers", "1", "--test-delay-ms", "4000"}, &error), qPrintable(error));
        ServiceClient c(service.url());
        const std::string photo = photofixtures::encode(photofixtures::discOnGreen(60, 40), ".jpg");
        const QString running = serialOf(c.upload(kMac, "1", photo));
        const QString waiting = serialOf(c.upload(kMac, "1", photo));
        QVERIFY(!running.isEmpty() && !waiting.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(c.get("/healthz").data().value("queue").toObject().value("running").toInt(),
                                  1, 5000);

        QElapsedTimer timer;
        timer.start();
        service.process().terminate();
        // Still answering while the running job finishes, but taking no new work.
        QTRY_COMPARE_WITH_TIMEOUT(c.upload(kMac, "1", photo).code(), 503, 1000);
        QCOMPARE(c.poll(kMac, waiting).data().value("status").toInt(), 2);
        QVERIFY(service.process().waitForFinished(20000));
        QCOMPARE(service.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(service.process().exitCode(), 0);
        const QString log = service.log();
        QVERIFY2(log.contains("job " + running + " done"), qPrintable(log));
        QVERIFY2(!log.contains("job " + waiting + " done"), qPrintable(log));
        QVERIFY(timer.elapsed() >= 300);
    }

    void health_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("warning");

        QTest::newRow("key") << QStringList{} << "key" << QString();
        QTest::newRow("auto without a model")
            << QStringList{"--engine", "auto", "--model", "/nonexistent/model.pt"} << "key"
            << "model not found at /nonexistent/model.pt";
    }
    void health()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, engine);
        QFETCH(QString, warning);
        ServiceProcess service;
        QString error;
        QVERIFY2(service.start(args + QStringList{"--queue", "7", "--workers", "3"}, &error),
                 qPrintable(error));
        const ServiceReply r = ServiceClient(service.url()).get("/healthz");
        QCOMPARE(r.code(), 200);
        QCOMPARE(r.data().value("engine").toString(), engine);
        QCOMPARE(r.data().value("workers").toInt(), 3);
        QCOMPARE(r.data().value("queue").toObject().value("capacity").toInt(), 7);
        const QString got = r.data().value("warning").toString();
        QCOMPARE(got.isEmpty(), warning.isEmpty());
        QVERIFY2(got.startsWith(warning), qPrintable(got));
        if (!warning.isEmpty())
            QVERIFY2(service.log().contains(warning), qPrintable(service.log()));
    }

    void badArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("logged");

        QTest::newRow("unknown option") << QStringList{"--colour", "red"} << 2 << "unknown option --colour";
        QTest::newRow("missing certificate")
            << QStringList{"--tls-cert", "/nonexistent/c.pem", "--tls-key", "/nonexistent/k.pem"} << 1
            << "cannot load the TLS certificate";
        QTest::newRow("isnet without a model")
            << QStringList{"--engine", "isnet", "--model", "/nonexistent/m.pt"} << 1
            << "model file not found: /nonexistent/m.pt";
    }
    void badArguments()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, logged);
        testutils::ChildProcess p;
        p.start(testutils::binPath("brisel-matting-service"), QStringList{"--port", "0"} + args);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), exitCode);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(err.contains(logged), qPrintable(err));
        QVERIFY(!p.readAllStandardOutput().contains("listening on"));
    }

private:
    // A finished job on the shared service, for the poll cases.
    QString m_doneSerial;
    QString m_ca, m_cert, m_key;
    ServiceProcess m_plain, m_secure;
    std::unique_ptr<ServiceClient> m_http, m_https;
    // Small limits keep the limit cases cheap.
    const QStringList m_limits{"--max-upload-mb", "1", "--max-megapixels", "2"};
};

BRISEL_TEST_GUILESS_MAIN(TestServiceApi)
#include "tst_serviceapi.moc"
