// QImageTask against a service written here to misbehave: every failure reaches
// the caller as one error signal with the right text, nothing half-done is cached,
// and the requests carry what the service expects.

#include "fakeservice.h"
#include "hrequest.h"
#include "logcapture.h"
#include "mattingfixtures.h"
#include "qimagefiles.h"
#include "qimagetask.h"
#include "quser.h"
#include "testutils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QtTest>

#include <curl/curl.h>

using namespace mattingtest;

namespace {

using Req = httplib::Request;
using Res = httplib::Response;
// Turns a healthy fake service into a misbehaving one.
using Script = std::function<void(FakeService&)>;

// The cut-out the fake service hands out: 20 x 10, alpha varying per column.
QByteArray resultPng()
{
    cv::Mat cutout = testutils::solidBgra(20, 10, {10, 200, 30, 255});
    for (int x = 0; x < cutout.cols; ++x)
        cutout.col(x).setTo(cv::Scalar(10, 200, 30, x * 12));
    QByteArray png;
    QImageFiles::encode(cutout, ".png", {}, &png);
    return png;
}

std::unique_ptr<FakeService> healthyService()
{
    auto fake = std::make_unique<FakeService>();
    fake->resultBytes = resultPng();
    useService(fake->url());
    return fake;
}

Script answerCreate(const QByteArray& json, int status = 200)
{
    return [json, status](FakeService& f) {
        f.onCreate = [=](const Req&, Res& res) { FakeService::replyJson(res, json, status); };
    };
}

Script answerPoll(const QByteArray& json, int status = 200)
{
    return [json, status](FakeService& f) {
        f.onPoll = [=](const Req&, Res& res) { FakeService::replyJson(res, json, status); };
    };
}

// Polls answer these job states in turn, the last one for ever.
Script pollStates(QVector<int> states)
{
    return [states](FakeService& f) {
        auto seen = std::make_shared<std::atomic<int>>(0);
        f.onPoll = [&f, states, seen](const Req&, Res& res) {
            const int i = std::min(int(seen->fetch_add(1)), int(states.size()) - 1);
            FakeService::replyJson(res, FakeService::pollReply(states[i], f.url() + "/result.png"));
        };
    };
}

} // namespace

Q_DECLARE_METATYPE(Script)

class TestImageTask : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(trustTestCa(&error), qPrintable(error));
    }

    void init() { QImageTask::setPollInterval(1); }

    void successfulRunSendsWhatTheServiceExpects_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("photoName");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QString>("isBody");
        QTest::newRow("goods PNG over http") << int(Goods) << "goods.png" << false << "0";
        QTest::newRow("card over https") << int(Card) << "card.jpg" << true << "1";
        QTest::newRow("name outside ASCII")
            << int(Person) << QString::fromUtf8("bild ü 照片.jpg") << false << "1";
    }
    void successfulRunSendsWhatTheServiceExpects()
    {
        QFETCH(int, type);
        QFETCH(QString, photoName);
        QFETCH(bool, tls);
        QFETCH(QString, isBody);
        QString error;
        const Certificates* certs = certificates(&error);
        QVERIFY2(certs, qPrintable(error));
        auto fake = tls ? std::make_unique<FakeService>(certs->serverCert, certs->serverKey)
                        : std::make_unique<FakeService>();
        fake->resultBytes = resultPng();
        useService(fake->url());
        const QString photo = makePhoto(photoName);
        QVERIFY(!photo.isEmpty());

        QImageTask task(type, photo);
        QCOMPARE(runTask(task), QString());

        const QString mac = QUser::Instance()->getMacCode();
        const FakeService::Seen seen = fake->seen();
        QCOMPARE(seen.createTarget, QStringLiteral("/api/v2/task?mac=%1&is_body=%2").arg(mac, isBody));
        QCOMPARE(seen.pollTarget, QStringLiteral("/api/v2/task?mac=%1&serial=0123abcd").arg(mac));
        QCOMPARE(seen.fileField, QStringLiteral("file"));
        QCOMPARE(seen.fileName, photoName);
        QCOMPARE(seen.fileContent, testutils::readFile(photo));
        QCOMPARE(fake->creates.load() + fake->polls.load() + fake->downloads.load(), 3);

        QCOMPARE(task.sourceSize(), QSize(20, 10));
        QCOMPARE(task.cutout().type(), CV_8UC4);
        QCOMPARE(task.cutout().at<cv::Vec4b>(0, 19)[3], uchar(19 * 12));
        QCOMPARE(testutils::readFile(QImageTask::cacheFilePath(photo)), fake->resultBytes);
    }

    void serviceFailuresReachTheCaller_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("expression");
        QTest::addColumn<int>("polls");

        const QString quota = QString::fromUtf8("Your daily quota is used up — try tomorrow.");
        const QByteArray refusal = QStringLiteral(R"({"code":4001,"message":"%1"})").arg(quota).toUtf8();
        const QString notJson = "The data parse for json failed!";
        const QString failed = "Image matting failed!";
        QTest::newRow("creation refused") << answerCreate(refusal) << quota << "API_OK == code" << 0;
        QTest::newRow("creation refused with HTTP 400")
            << answerCreate(R"({"code":400,"message":"The upload has no file."})", 400)
            << "The upload has no file."
            << "API_OK == code" << 0;
        QTest::newRow("creation refused without a message")
            << answerCreate(R"({"code":500})") << "The matting service refused the request (code 500)."
            << "API_OK == code" << 0;
        QTest::newRow("creation reply not JSON") << Script([](FakeService& f) {
            f.onCreate = [](const Req&, Res& res) { res.set_content("<html>busy</html>", "text/html"); };
        }) << notJson << "reader.parse(bytes, val)"
                                                 << 0;
        QTest::newRow("poll refused with HTTP 404")
            << answerPoll(R"({"code":404,"message":"This result has expired. Please start again."})", 404)
            << "This result has expired. Please start again."
            << "API_OK == code" << 1;
        QTest::newRow("poll reply not JSON")
            << answerPoll("status: done") << notJson << "reader.parse(bytes, val)" << 1;
        QTest::newRow("poll HTTP 500")
            << answerPoll("{}", 500) << HRequest::getCurlErrMsg(HRequest::HttpErrorBase + 500) << "OK == iRet"
            << 1;
        QTest::newRow("job failed after running")
            << pollStates({0, 0, 2}) << failed << "emMattingFailed != status" << 3;
        QTest::newRow("job never finishes") << pollStates({0}) << "Image matting timeout!"
                                            << "emMattingRunning != status" << QImageTask::kMaxPolls;
        QTest::newRow("unknown status for ever")
            << pollStates({7}) << HRequest::getCurlErrMsg(CURLE_UNSUPPORTED_PROTOCOL) << "OK == iRet"
            << QImageTask::kMaxPolls;
        QTest::newRow("result 404") << Script([](FakeService& f) {
            f.onResult = [](const Req&, Res& res) { res.status = 404; };
        }) << HRequest::getCurlErrMsg(HRequest::HttpErrorBase + 404)
                                    << "OK == iRet" << 1;
        QTest::newRow("result not an image")
            << Script([](FakeService& f) { f.resultBytes = "this is not a picture"; })
            << "The cut-out sent by the matting service is not a readable image."
            << "!image.empty()" << 1;
    }
    void serviceFailuresReachTheCaller()
    {
        QFETCH(Script, script);
        QFETCH(QString, message);
        QFETCH(QString, expression);
        QFETCH(int, polls);
        const auto fake = healthyService();
        script(*fake);
        const QString photo = makePhoto(QStringLiteral("failure-%1.jpg").arg(QTest::currentDataTag()));

        LogCapture log;
        QImageTask task(Goods, photo);
        QCOMPARE(runTask(task), message);
        QVERIFY2(log.text().contains("express: " + expression), qPrintable(log.text()));
        QCOMPARE(fake->polls.load(), polls);
        QVERIFY(task.cutout().empty());
        QCOMPARE(task.sourceSize(), QSize(0, 0));
        QVERIFY(!QFile::exists(QImageTask::cacheFilePath(photo)));
    }

    void uploadFailuresNameTheCause_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("expression");
        QTest::newRow("nothing listening") << "closed"
                                           << "File upload failed: 7"
                                           << "ret == CURLE_OK";
        QTest::newRow("untrusted certificate") << "untrusted"
                                               << "File upload failed: 60"
                                               << "ret == CURLE_OK";
        QTest::newRow("photo deleted") << "deleted"
                                       << "The file is not exists!"
                                       << "QFile::exists(filePath)";
    }
    void uploadFailuresNameTheCause()
    {
        QFETCH(QString, server);
        QFETCH(QString, message);
        QFETCH(QString, expression);
        QString error;
        const Certificates* certs = certificates(&error);
        QVERIFY2(certs, qPrintable(error));
        const QString photo = makePhoto(QStringLiteral("upload-%1.jpg").arg(server));
        auto fake = server == "untrusted"
                        ? std::make_unique<FakeService>(certs->untrustedCert, certs->untrustedKey)
                        : std::make_unique<FakeService>();
        useService(fake->url());
        if (server == "closed")
            fake.reset(); // bound, then closed again
        QImageTask task(Person, photo);
        if (server == "deleted")
            QVERIFY(QFile::remove(photo));

        LogCapture log;
        QCOMPARE(runTask(task), message);
        QVERIFY2(log.text().contains("express: " + expression), qPrintable(log.text()));
        if (fake)
            QCOMPARE(fake->creates.load(), 0);
    }

    void firstPollFollowsCreationAtOnce()
    {
        const auto fake = healthyService();
        QImageTask::setPollInterval(60000); // any pause before the first poll would hang here
        QImageTask task(Person, makePhoto("at-once.jpg"));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(runTask(task), QString());
        QVERIFY(timer.elapsed() < 30000);
        QCOMPARE(fake->polls.load(), 1);
    }

    void cacheServesUnchangedPhotos_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("creates");
        QTest::newRow("unchanged: no second upload") << "none" << 1;
        QTest::newRow("unchanged, service gone") << "service-gone" << 1;
        QTest::newRow("touched: uploaded again") << "touch" << 2;
        QTest::newRow("rewritten with the same size and time") << "same-stamp" << 1;
        QTest::newRow("cache entry damaged: matted again") << "damage-cache" << 2;
    }
    void cacheServesUnchangedPhotos()
    {
        QFETCH(QString, change);
        QFETCH(int, creates);
        auto fake = healthyService();
        const QByteArray result = fake->resultBytes;
        const QString photo = makePhoto(QStringLiteral("cache-%1.jpg").arg(change));
        QImageTask first(Person, photo);
        QCOMPARE(runTask(first), QString());
        const QString entry = QImageTask::cacheFilePath(photo);
        QCOMPARE(testutils::readFile(entry), result);

        QFile file(photo);
        const QDateTime stamp = QFileInfo(photo).lastModified();
        if (change == "touch") {
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(stamp.addSecs(-3600), QFileDevice::FileModificationTime));
        } else if (change == "same-stamp") {
            // The cache key is path, size and time, not content: this is a hit.
            QByteArray bytes = testutils::readFile(photo);
            bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x55);
            QVERIFY(testutils::writeFile(photo, bytes));
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
        } else if (change != "none" && change != "service-gone") {
            QVERIFY(testutils::writeFile(entry, result.left(result.size() / 2)));
        }
        file.close();
        const int before = fake->creates;
        if (change == "service-gone")
            fake.reset();

        QImageTask second(Person, photo);
        QCOMPARE(runTask(second), QString());
        QCOMPARE(fake ? fake->creates.load() : before, creates);
        QCOMPARE(second.sourceSize(), QSize(20, 10));
        QCOMPARE(testutils::maxPixelDifference(second.cutout(), first.cutout()), 0);
        QCOMPARE(testutils::readFile(QImageTask::cacheFilePath(photo)), result);
    }

    void unwritableCacheStillSucceeds()
    {
        const auto fake = healthyService();
        const QString photo = makePhoto("no-cache.jpg");
        const QString folder = QFileInfo(QImageTask::cacheFilePath(photo)).path();
        QDir(folder).removeRecursively();
        QVERIFY(testutils::writeFile(folder, "a file where the folder should be"));

        QImageTask task(Person, photo);
        const QString error = runTask(task);
        QVERIFY(QFile::remove(folder));
        QCOMPARE(error, QString());
        QCOMPARE(task.sourceSize(), QSize(20, 10));
    }
};

BRISEL_TEST_GUILESS_MAIN(TestImageTask)
#include "tst_imagetask.moc"
