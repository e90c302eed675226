// The real brisel-matting-service, driven the way the desktop program drives it:
// every refusal carries a message for the user, a photo comes back cut out, a job
// can be cancelled in each state, the service stops by itself or on SIGTERM
// without losing a finished result, and a killed instance's files are swept. The
// isnet engine needs the converted model (tools/fetch-model.sh).

#include "serviceprocess.h"
#include "testutils.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace proto = mattingprotocol;

namespace {

const QString kMac = "0123456789ab";

std::string photo()
{
    return photofixtures::encode(photofixtures::discOnGreen(80, 60), ".png");
}

// The scratch folders of running or dead instances under `root`, by process id
// (all of them for 0).
QStringList instanceFolders(const QString& root, qint64 pid = 0)
{
    const QString pattern = pid ? QString("instance-%1-*").arg(pid) : QString("instance-*");
    return QDir(root).entryList({pattern}, QDir::Dirs);
}

} // namespace

class TestServiceApi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString ca, cert, key, error;
        QVERIFY2(ServiceProcess::makeCertificates(&ca, &cert, &key), "tools/make-certs.sh failed");
        QVERIFY2(m_service.start(
                     {"--max-upload-mb", "1", "--max-megapixels", "2", "--tls-cert", cert, "--tls-key", key},
                     &error),
                 qPrintable(error));
        // One place, held for seconds by its first job.
        QVERIFY2(m_busy.start({"--queue", "1", "--workers", "1", "--test-delay-ms", "3000"}, &error),
                 qPrintable(error));
        m_client = std::make_unique<ServiceClient>(m_service.url(), ca);
        QVERIFY(m_root.isValid());
        QVERIFY2(m_lifeService.start({"--workers", "1", "--queue", "4", "--test-delay-ms", "1000",
                                      "--scratch", m_root.path()},
                                     &error),
                 qPrintable(error));
        m_life = std::make_unique<ServiceClient>(m_lifeService.url());
    }

    // Over HTTPS; its finished job serves the poll refusals below.
    void fullRun()
    {
        const ServiceReply created = m_client->upload(kMac, "1", photo());
        QCOMPARE(created.code(), 200);
        m_doneSerial = created.serial();
        const ServiceReply done = m_client->waitFinished(kMac, m_doneSerial);
        QCOMPARE(done.jobStatus(), proto::kStatusDone);
        QVERIFY2(done.convertPath().startsWith(m_service.url() + "/"), qPrintable(done.convertPath()));
        QCOMPARE(m_client->get(done.convertPath()).status, 200);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>(
            "request"); // "upload <mac> <is_body> <field>", or a GET path (%1: done serial)
        QTest::addColumn<QByteArray>("photo");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");

        const QByteArray jpeg =
            QByteArray::fromStdString(photofixtures::encode(photofixtures::discOnGreen(120, 90), ".jpg"));
        const QString upload = QString("upload %1 0 ").arg(kMac) + proto::kFileField;
        const QString notFound = "The task was not found. It may have expired; please try again.";
        const QString tooManyPixels =
            "The photo has too many pixels (%1 megapixels; the limit is 2). Please use a smaller photo.";
        QTest::newRow("mac missing") << "upload - 1 file" << jpeg << 400
                                     << "The request does not identify this computer (\"mac\" is missing).";
        QTest::newRow("no file part") << QString("upload %1 0 image").arg(kMac) << jpeg << 400
                                      << "No photo was received. Please choose a photo and try again.";
        QTest::newRow("text file")
            << upload << QByteArray("hello, world\n") << 415
            << "The file is not a supported image. Please use a PNG, JPEG, BMP or WEBP photo.";
        QTest::newRow("jpeg cut mid-scan")
            << upload << jpeg.left(jpeg.size() * 2 / 3) << 415
            << "The image file is incomplete or damaged. Please use another copy of the photo.";
        QTest::newRow("header claims 400 MP")
            << upload << QByteArray::fromStdString(photofixtures::pngClaiming(20000, 20000)) << 422
            << tooManyPixels.arg("400.0");
        QTest::newRow("just over 1 MB") << upload << QByteArray(1024 * 1024 + 4096, 'x') << 413
                                        << "The photo is too large to upload. The limit is 1 MB.";
        QTest::newRow("queue full") << "busy" << jpeg << 503
                                    << "The matting service is busy. Please try again in a moment.";
        QTest::newRow("another mac's serial")
            << QString::fromStdString(proto::pollTarget("someoneelse", "%1")) << QByteArray() << 404
            << notFound;
        QTest::newRow("unknown result") << QString::fromStdString(proto::resultPath(std::string(32, '0')))
                                        << QByteArray() << 404 << notFound;
    }
    void refusals()
    {
        QFETCH(QString, request);
        QFETCH(QByteArray, photo);
        QFETCH(int, code);
        QFETCH(QString, message);
        const QStringList words = request.split(' ');
        ServiceReply r;
        if (request == "busy") {
            ServiceClient busy(m_busy.url());
            QCOMPARE(busy.upload(kMac, "1", photo.toStdString()).code(), 200);
            r = busy.upload(kMac, "1", photo.toStdString());
            QVERIFY2(r.retryAfter.toInt() >= 1, qPrintable("Retry-After: " + r.retryAfter));
        } else if (words[0] == "upload") {
            r = m_client->upload(words[1] == "-" ? QString() : words[1], words[2], photo.toStdString(),
                                 words[3].toStdString());
        } else {
            r = m_client->get(request.arg(m_doneSerial));
        }
        QCOMPARE(r.status, code);
        QCOMPARE(r.code(), code);
        QCOMPARE(r.message(), message);
        QCOMPARE(m_client->get("/healthz").data().value("queue").toObject().value("waiting").toInt(), 0);
    }

    // A crowd of connections that never send a byte (not even a TLS hello) must
    // not keep a real client's poll waiting for their read time-outs.
    void silentCrowdDoesNotStarvePolls()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(QUrl(m_service.url()).port()));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::vector<int> crowd;
        const auto closeAll = qScopeGuard([&crowd] {
            for (const int fd : crowd)
                ::close(fd);
        });
        for (int i = 0; i < 100; ++i) {
            crowd.push_back(::socket(AF_INET, SOCK_STREAM, 0));
            QVERIFY(::connect(crowd.back(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
        }
        QThread::msleep(300); // all accepted by now
        QElapsedTimer timer;
        timer.start();
        const ServiceReply poll = m_client->waitFinished(kMac, m_doneSerial);
        QCOMPARE(poll.jobStatus(), proto::kStatusDone);
        QVERIFY2(timer.elapsed() < 4000, qPrintable(QString("answered after %1 ms").arg(timer.elapsed())));
    }

    void cancel_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("code");
        QTest::newRow("queued") << "queued" << 200;
        QTest::newRow("running") << "running" << 200;
        QTest::newRow("done") << "done" << 200;
        QTest::newRow("unknown") << "unknown" << 404;
    }
    void cancel()
    {
        QFETCH(QString, state);
        QFETCH(int, code);
        QVERIFY(waitQueueEmpty());
        QString serial = QString(32, '0');
        if (state != "unknown") {
            if (state == "queued")
                QCOMPARE(m_life->upload(kMac, "0", photo()).code(), 200); // takes the worker
            serial = m_life->upload(kMac, "0", photo()).serial();
            if (state == "done")
                QCOMPARE(m_life->waitFinished(kMac, serial).jobStatus(), proto::kStatusDone);
            else
                QTRY_COMPARE(queueCount(state == "queued" ? "waiting" : "running"), 1);
        }
        const ServiceReply cancelled = m_life->cancel(kMac, serial);
        QCOMPARE(cancelled.status, code);
        QCOMPARE(cancelled.code(), code);
        QCOMPARE(m_life->cancel("someoneelse", serial).status, 404);
        if (code == 404) {
            QCOMPARE(cancelled.message(),
                     QString("The task was not found. It may have expired; please try again."));
            return;
        }
        const ServiceReply poll =
            m_life->get(QString::fromStdString(proto::pollTarget(kMac.toStdString(), serial.toStdString())));
        QCOMPARE(poll.jobStatus(), proto::kStatusFailed);
        QCOMPARE(poll.message(), QString(proto::kMessageCancelled));
        // Once the engine is done with it, nothing of the job is left: no upload,
        // no result on disk or for download.
        QVERIFY(waitQueueEmpty());
        QCOMPARE(m_life->get(QString::fromStdString(proto::resultPath(serial.toStdString()))).status, 404);
        const QString folder = m_root.path() + "/" + instanceFolders(m_root.path()).value(0);
        QCOMPARE(QDir(folder).entryList({serial + "*"}, QDir::Files), QStringList());
    }

    // Either way of stopping lets the running job finish and its result be fetched.
    void stops_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("idle exit") << QStringList{"--idle-exit", "2"};
        QTest::newRow("SIGTERM") << QStringList{};
    }
    void stops()
    {
        QFETCH(QStringList, args);
        ServiceProcess service;
        QString error;
        QVERIFY2(service.start(args + QStringList{"--test-delay-ms", "2500"}, &error), qPrintable(error));
        ServiceClient client(service.url());
        const QString serial = client.upload(kMac, "1", photo()).serial();
        if (args.isEmpty()) {
            QTRY_COMPARE(client.get("/healthz").data().value("queue").toObject().value("running").toInt(), 1);
            service.process().terminate();
        }
        // The job outlasts the idle time: a running job counts as work.
        const ServiceReply done = client.waitFinished(kMac, serial);
        QCOMPARE(done.jobStatus(), proto::kStatusDone);
        QCOMPARE(client.get(done.convertPath()).status, 200);
        QVERIFY(service.process().waitForFinished(8000));
        QCOMPARE(service.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(service.process().exitCode(), 0);
    }

    // One computer's photos past --per-mac are refused; another computer's are not.
    void perMacLimit()
    {
        ServiceProcess service;
        QString error;
        QVERIFY2(service.start({"--per-mac", "1", "--test-delay-ms", "1500"}, &error), qPrintable(error));
        ServiceClient client(service.url());
        const QString first = client.upload(kMac, "1", photo()).serial();
        QCOMPARE(client.upload(kMac, "1", photo()).status, proto::kCodeTooMany);
        QCOMPARE(client.upload("another", "1", photo()).code(), 200);
        QCOMPARE(client.waitFinished(kMac, first).jobStatus(), proto::kStatusDone);
        QCOMPARE(client.upload(kMac, "1", photo()).code(), 200);
    }

    void killedInstanceIsSwept()
    {
        QTemporaryDir root;
        const QStringList scratch{"--scratch", root.path()};
        ServiceProcess live, killed, next;
        QString error;
        QVERIFY2(live.start(scratch, &error), qPrintable(error));
        QVERIFY2(killed.start(scratch + QStringList{"--test-delay-ms", "10000"}, &error), qPrintable(error));
        QCOMPARE(ServiceClient(killed.url()).upload(kMac, "0", photo()).code(), 200);
        const qint64 killedPid = killed.process().processId();
        killed.process().kill();
        QVERIFY(killed.process().waitForFinished(5000));
        QCOMPARE(instanceFolders(root.path()).size(), 2);
        QVERIFY2(next.start(scratch, &error), qPrintable(error));
        QCOMPARE(instanceFolders(root.path(), killedPid), QStringList());
        QCOMPARE(instanceFolders(root.path(), live.process().processId()).size(), 1);
        QCOMPARE(instanceFolders(root.path()).size(), 2);
    }

    void personOnBusyBackground()
    {
        const QString model = qEnvironmentVariable("BRISEL_MODEL_DIR") + "/isnet-general.pt";
        if (!QFile::exists(model))
            QSKIP(qPrintable("the isnet model is not installed at " + model + "; run tools/fetch-model.sh"));
        ServiceProcess service;
        QString error;
        QVERIFY2(service.start({"--engine", "isnet", "--model", model}, &error), qPrintable(error));
        ServiceClient client(service.url());
        const ServiceReply created = client.upload(
            "isnet-test", "1", testutils::readFile(testutils::dataPath("astronaut.png")).toStdString());
        const ServiceReply done = client.waitFinished("isnet-test", created.serial(), 120000);
        QCOMPARE(done.jobStatus(), mattingprotocol::kStatusDone);
        const std::string png = client.get(done.convertPath()).body;
        const cv::Mat cut = cv::imdecode(std::vector<uchar>(png.begin(), png.end()), cv::IMREAD_UNCHANGED);
        QCOMPARE(cut.type(), CV_8UC4);
        QCOMPARE(QSize(cut.cols, cut.rows), QSize(512, 512));
        cv::Mat alpha;
        cv::extractChannel(cut, alpha, 3);
        // The astronaut fills the middle-left down to the bottom edge; the flag and
        // the shuttle behind, top right, are background.
        const cv::Rect box = cv::boundingRect(alpha > 128);
        QVERIFY(box.x < 100 && box.br().x > 380 && box.y < 60 && box.br().y > 500);
        QVERIFY(alpha.at<uchar>(180, 230) > 200); // face
        const cv::Rect topRight(400, 0, 112, 150);
        QVERIFY(cv::countNonZero(alpha(topRight) < 30) > topRight.area() * 8 / 10);
    }

private:
    int queueCount(const char* key)
    {
        return m_life->get("/healthz").data().value("queue").toObject().value(key).toInt(-1);
    }
    bool waitQueueEmpty()
    {
        return QTest::qWaitFor([this] { return queueCount("waiting") + queueCount("running") == 0; }, 10000);
    }

    QString m_doneSerial;
    QTemporaryDir m_root; // the scratch folder of m_lifeService
    ServiceProcess m_service, m_busy, m_lifeService;
    std::unique_ptr<ServiceClient> m_client, m_life;
};

BRISEL_TEST_GUILESS_MAIN(TestServiceApi)
#include "tst_serviceapi.moc"
