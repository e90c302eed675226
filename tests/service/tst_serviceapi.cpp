// The real brisel-matting-service, driven the way the desktop program drives it:
// every refusal carries a message for the user, and a photo comes back cut out.

#include "photofixtures.h"
#include "serviceprocess.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace proto = mattingprotocol;

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
    }

    // Over HTTPS; its finished job serves the poll refusals below.
    void fullRun()
    {
        const cv::Mat disc = photofixtures::discOnGreen(240, 160);
        const ServiceReply created = m_client->upload(kMac, "1", photofixtures::encode(disc, ".png"));
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

private:
    const QString kMac = "0123456789ab";
    QString m_doneSerial;
    ServiceProcess m_service, m_busy;
    std::unique_ptr<ServiceClient> m_client;
};

BRISEL_TEST_GUILESS_MAIN(TestServiceApi)
#include "tst_serviceapi.moc"
