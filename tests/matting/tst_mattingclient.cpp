// QMattingClient against a service written here to misbehave: every failure ends
// as one message for the user, and the requests carry what the service expects.

#include "fakeservice.h"
#include "hrequest.h"
#include "logcapture.h"
#include "mattingfixtures.h"
#include "mattingprotocol.h"
#include "qmattingclient.h"
#include "testutils.h"

#include <QFile>
#include <QGuiApplication>
#include <QtTest>

#include <curl/curl.h>

using namespace mattingtest;
namespace proto = mattingprotocol;

namespace {

using Req = httplib::Request;
using Res = httplib::Response;
// Turns a healthy fake service into a misbehaving one.
using Script = std::function<void(FakeService&)>;
const QString kMac = QStringLiteral("m1");

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

class TestMattingClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(trustTestCa(&error), qPrintable(error));
    }

    void init() { QMattingClient::setPollInterval(1); }

    void successSendsWhatTheServiceExpects_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("photoName");
        QTest::addColumn<bool>("tls");
        QTest::newRow("goods PNG over http") << int(Goods) << "goods.png" << false;
        QTest::newRow("card over https") << int(Card) << "card.jpg" << true;
        QTest::newRow("name outside ASCII") << int(Person) << QString::fromUtf8("bild ü 照片.jpg") << false;
    }
    void successSendsWhatTheServiceExpects()
    {
        QFETCH(int, type);
        QFETCH(QString, photoName);
        QFETCH(bool, tls);
        QString error;
        const Certificates* certs = certificates(&error);
        QVERIFY2(certs, qPrintable(error));
        auto fake = tls ? std::make_unique<FakeService>(certs->serverCert, certs->serverKey)
                        : std::make_unique<FakeService>();
        const QString photo = makePhoto(photoName);
        QVERIFY(!photo.isEmpty());

        const QMattingClient::Cutout cutout = QMattingClient(fake->url(), kMac, type).matte(photo, &error);
        QCOMPARE(error, QString());

        const FakeService::Seen seen = fake->seen();
        QCOMPARE(seen.createTarget.toStdString(), proto::createTarget(kMac.toStdString(), type != Goods));
        QCOMPARE(seen.pollTarget.toStdString(), proto::pollTarget(kMac.toStdString(), "0123abcd"));
        QCOMPARE(seen.fileField, QString(proto::kFileField));
        QCOMPARE(seen.fileName, photoName);
        QCOMPARE(seen.fileContent, testutils::readFile(photo));
        QCOMPARE(fake->creates.load() + fake->polls.load() + fake->downloads.load(), 3);
        QCOMPARE(cutout.png, fake->resultBytes);
        QCOMPARE(cutout.image.type(), CV_8UC4);
        QCOMPARE(cutout.image.size(), cv::Size(20, 10));
        QCOMPARE(cutout.image.at<cv::Vec4b>(0, 19)[3], uchar(19 * 12));
    }

    void serviceFailuresReachTheCaller_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("expression");
        QTest::addColumn<int>("polls");

        const QString quota = QString::fromUtf8("Your daily quota is used up — try tomorrow.");
        const QString notJson = "The data parse for json failed!";
        const QString refused = "proto::kCodeOk == code";
        const QString expired = "This result has expired. Please start again.";
        QTest::newRow("creation refused")
            << answerCreate(FakeService::refusal(4001, quota)) << quota << refused << 0;
        QTest::newRow("creation refused with HTTP 400")
            << answerCreate(FakeService::refusal(400, "The upload has no file."), 400)
            << "The upload has no file." << refused << 0;
        QTest::newRow("creation refused without a message")
            << answerCreate(FakeService::refusal(500))
            << "The matting service refused the request (code 500)." << refused << 0;
        QTest::newRow("creation reply not JSON")
            << answerCreate("<html>busy</html>") << notJson << "reader.parse(bytes, val)" << 0;
        QTest::newRow("poll refused with HTTP 404")
            << answerPoll(FakeService::refusal(404, expired), 404) << expired << refused << 1;
        QTest::newRow("poll reply not JSON")
            << answerPoll("status: done") << notJson << "reader.parse(bytes, val)" << 1;
        QTest::newRow("poll HTTP 500")
            << answerPoll("{}", 500) << HRequest::getCurlErrMsg(HRequest::HttpErrorBase + 500) << "OK == iRet"
            << 1;
        QTest::newRow("job failed after running")
            << pollStates({proto::kStatusRunning, proto::kStatusRunning, proto::kStatusFailed})
            << "Image matting failed!"
            << "proto::kStatusFailed != status" << 3;
        QTest::newRow("job never finishes") << pollStates({proto::kStatusRunning}) << "Image matting timeout!"
                                            << "proto::kStatusRunning != status" << QMattingClient::kMaxPolls;
        QTest::newRow("unknown status for ever")
            << pollStates({7}) << HRequest::getCurlErrMsg(CURLE_UNSUPPORTED_PROTOCOL) << "OK == iRet"
            << QMattingClient::kMaxPolls;
        QTest::newRow("result 404") << Script([](FakeService& f) {
            f.onResult = [](const Req&, Res& res) { res.status = 404; };
        }) << HRequest::getCurlErrMsg(HRequest::HttpErrorBase + 404)
                                    << "OK == iRet" << 1;
        QTest::newRow("result not an image")
            << Script([](FakeService& f) { f.resultBytes = "this is not a picture"; })
            << "The cut-out sent by the matting service is not a readable image."
            << "!cutout.image.empty()" << 1;
    }
    void serviceFailuresReachTheCaller()
    {
        QFETCH(Script, script);
        QFETCH(QString, message);
        QFETCH(QString, expression);
        QFETCH(int, polls);
        FakeService fake;
        script(fake);

        LogCapture log;
        QString error;
        const QMattingClient::Cutout cutout =
            QMattingClient(fake.url(), kMac, Goods).matte(makePhoto("failure.jpg"), &error);
        QCOMPARE(error, message);
        QVERIFY2(log.text().contains("express: " + expression), qPrintable(log.text()));
        QCOMPARE(fake.polls.load(), polls);
        QVERIFY(cutout.image.empty());
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
                                       << "QFile::exists(photoPath)";
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
        QMattingClient client(fake->url(), kMac, Person);
        if (server == "closed")
            fake.reset(); // bound, then closed again
        if (server == "deleted")
            QVERIFY(QFile::remove(photo));

        LogCapture log;
        QVERIFY(client.matte(photo, &error).image.empty());
        QCOMPARE(error, message);
        QVERIFY2(log.text().contains("express: " + expression), qPrintable(log.text()));
        if (fake)
            QCOMPARE(fake->creates.load(), 0);
    }

    void firstPollFollowsCreationAtOnce()
    {
        FakeService fake;
        QMattingClient::setPollInterval(60000); // any pause before the first poll would hang here
        QElapsedTimer timer;
        timer.start();
        QString error;
        QVERIFY(
            !QMattingClient(fake.url(), kMac, Person).matte(makePhoto("at-once.jpg"), &error).image.empty());
        QVERIFY(timer.elapsed() < 30000);
        QCOMPARE(fake.polls.load(), 1);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestMattingClient)
#include "tst_mattingclient.moc"
