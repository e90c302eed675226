// QImageTask against a service written here to misbehave: every failure reaches
// the caller as one error signal with the right text, nothing half-done is cached,
// and the requests carry what the service expects.

#include "csetting.h"
#include "fakeservice.h"
#include "hrequest.h"
#include "logger.h"
#include "mattingfixtures.h"
#include "qimagehelp.h"
#include "qimagetask.h"
#include "qtaskmanager.h"
#include "quser.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

#include <curl/curl.h>

#include <mutex>

using namespace mattingtest;

namespace {

// The cut-out the fake service hands out: 20 x 10, alpha varying per column.
QByteArray resultPng()
{
    cv::Mat cutout = testutils::solidBgra(20, 10, {10, 200, 30, 255});
    for (int x = 0; x < cutout.cols; ++x)
        cutout.col(x).setTo(cv::Scalar(10, 200, 30, x * 12));
    QByteArray png;
    QImageHelp::encodeImage(cutout, ".png", {}, &png);
    return png;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Keeps the last level-1 log text, where a failure's description lands.
class LogTap
{
public:
    LogTap()
    {
        kzl::logger::setCallback([this](const std::shared_ptr<kzl::LogRecord>& record) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_all += QString::fromStdWString(record->message) + '\n';
        });
    }
    ~LogTap() { kzl::logger::setCallback(nullptr); }
    QString text() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_all;
    }

private:
    mutable std::mutex m_mutex;
    QString m_all;
};

enum Scenario
{
    CreateRefused,
    CreateRefusedWithHttpError,
    CreateRefusedWithoutMessage,
    CreateNotJson,
    PollRefused,
    PollNotJson,
    PollHttpError,
    FailedAtOnce,
    FailedAfterRunning,
    NeverFinishes,
    UnknownStatusForever,
    ResultMissing,
    ResultOnLocalFile,
    ResultNotAnImage,
    ResultCutShort,
};

} // namespace

Q_DECLARE_METATYPE(Scenario)

class TestImageTask : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(trustTestCa(&error), qPrintable(error));
        QImageTask::setPollInterval(1);
    }

    void init() { QImageTask::setPollInterval(1); }

    void successfulRunSendsWhatTheServiceExpects_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("photoName");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QString>("isBody");
        QTest::newRow("person over http") << int(Person) << "person.jpg" << false << "1";
        QTest::newRow("goods over http") << int(Goods) << "goods.png" << false << "0";
        QTest::newRow("card over https") << int(Card) << "card.jpg" << true << "1";
        QTest::newRow("goods over https") << int(Goods) << "goods-tls.jpg" << true << "0";
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
        std::unique_ptr<FakeService> fake =
            tls ? std::make_unique<FakeService>(certs->serverCert, certs->serverKey)
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
        QCOMPARE(seen.fileContent, fileBytes(photo));
        QCOMPARE(fake->creates.load(), 1);
        QCOMPARE(fake->polls.load(), 1);
        QCOMPARE(fake->downloads.load(), 1);

        QCOMPARE(task.sourceSize(), QSize(20, 10));
        QCOMPARE(task.cutout().type(), CV_8UC4);
        QCOMPARE(task.cutout().at<cv::Vec4b>(0, 19)[3], uchar(19 * 12));
        QCOMPARE(fileBytes(QImageTask::cacheFilePath(photo)), fake->resultBytes);
    }

    void identifierIsMd5OfPathAndSecond()
    {
        const QString path = QStringLiteral("/photos/a.jpg");
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        QImageTask task(Person, path);
        const qint64 after = QDateTime::currentSecsSinceEpoch();
        QStringList candidates;
        for (qint64 s = before; s <= after; ++s)
            candidates << QString::fromLatin1(
                QCryptographicHash::hash(path.toUtf8() + QByteArray::number(s), QCryptographicHash::Md5)
                    .toHex());
        QVERIFY2(candidates.contains(task.id()), qPrintable(task.id()));
        QCOMPARE(task.sourceSize(), QSize(0, 0));
        QVERIFY(task.cutout().empty());
    }

    void serviceFailuresReachTheCaller_data()
    {
        QTest::addColumn<Scenario>("scenario");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("expression");
        QTest::addColumn<int>("polls");
        const QString quota = QString::fromUtf8("Your daily quota is used up — try tomorrow.");
        QTest::newRow("creation refused") << CreateRefused << quota << "API_OK == code" << 0;
        QTest::newRow("creation refused with HTTP 400")
            << CreateRefusedWithHttpError << "The upload has no file."
            << "API_OK == code" << 0;
        QTest::newRow("creation refused without a message")
            << CreateRefusedWithoutMessage << "The matting service refused the request (code 500)."
            << "API_OK == code" << 0;
        QTest::newRow("creation reply not JSON") << CreateNotJson << "The data parse for json failed!"
                                                 << "reader.parse(bytes, val)" << 0;
        QTest::newRow("poll refused") << PollRefused << quota << "API_OK == code" << 1;
        QTest::newRow("poll reply not JSON") << PollNotJson << "The data parse for json failed!"
                                             << "reader.parse(bytes, val)" << 1;
        QTest::newRow("poll HTTP 500")
            << PollHttpError << HRequest::getCurlErrMsg(HRequest::HttpErrorBase + 500) << "OK == iRet" << 1;
        QTest::newRow("job failed at the first poll") << FailedAtOnce << "Image matting failed!"
                                                      << "emMattingFailed != status" << 1;
        QTest::newRow("job failed after running") << FailedAfterRunning << "Image matting failed!"
                                                  << "emMattingFailed != status" << 3;
        QTest::newRow("job never finishes") << NeverFinishes << "Image matting timeout!"
                                            << "emMattingRunning != status" << 120;
        QTest::newRow("unknown status for ever")
            << UnknownStatusForever << HRequest::getCurlErrMsg(CURLE_UNSUPPORTED_PROTOCOL) << "OK == iRet"
            << 120;
        QTest::newRow("result 404") << ResultMissing << HRequest::getCurlErrMsg(HRequest::HttpErrorBase + 404)
                                    << "OK == iRet" << 1;
        QTest::newRow("result on a local file")
            << ResultOnLocalFile << HRequest::getCurlErrMsg(CURLE_UNSUPPORTED_PROTOCOL) << "OK == iRet" << 1;
        QTest::newRow("result not an image")
            << ResultNotAnImage << "The cut-out sent by the matting service is not a readable image."
            << "!image.empty()" << 1;
        QTest::newRow("result cut short")
            << ResultCutShort << "The cut-out sent by the matting service is not a readable image."
            << "!image.empty()" << 1;
    }
    void serviceFailuresReachTheCaller()
    {
        QFETCH(Scenario, scenario);
        QFETCH(QString, message);
        QFETCH(QString, expression);
        QFETCH(int, polls);
        FakeService fake;
        fake.resultBytes = resultPng();
        scriptFailure(fake, scenario);
        useService(fake.url());
        const QString photo = makePhoto(QStringLiteral("failure-%1.jpg").arg(int(scenario)));

        LogTap log;
        QImageTask task(Goods, photo);
        QCOMPARE(runTask(task), message);
        QVERIFY2(log.text().contains("express: " + expression), qPrintable(log.text()));
        QCOMPARE(fake.polls.load(), polls);
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
        std::unique_ptr<FakeService> fake;
        if (server == "closed") {
            useService(FakeService().url()); // bound, then closed again
        } else {
            fake = server == "untrusted"
                       ? std::make_unique<FakeService>(certs->untrustedCert, certs->untrustedKey)
                       : std::make_unique<FakeService>();
            useService(fake->url());
        }
        QImageTask task(Person, photo);
        if (server == "deleted")
            QVERIFY(QFile::remove(photo));

        LogTap log;
        QCOMPARE(runTask(task), message);
        QVERIFY2(log.text().contains("express: " + expression), qPrintable(log.text()));
        if (fake)
            QCOMPARE(fake->creates.load(), 0);
    }

    void firstPollFollowsCreationAtOnce()
    {
        FakeService fake;
        fake.resultBytes = resultPng();
        useService(fake.url());
        QImageTask::setPollInterval(60000); // any pause before the first poll would hang here
        QImageTask task(Person, makePhoto("at-once.jpg"));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(runTask(task), QString());
        QVERIFY(timer.elapsed() < 30000);
        QCOMPARE(fake.polls.load(), 1);
    }

    void cacheServesUnchangedPhotos_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("creates");
        QTest::newRow("unchanged: no second upload") << "none" << 1;
        QTest::newRow("touched: uploaded again") << "touch" << 2;
        QTest::newRow("rewritten with the same size and time") << "same-stamp" << 1;
        QTest::newRow("cache entry damaged: matted again") << "damage-cache" << 2;
        QTest::newRow("cache entry empty: matted again") << "empty-cache" << 2;
    }
    void cacheServesUnchangedPhotos()
    {
        QFETCH(QString, change);
        QFETCH(int, creates);
        FakeService fake;
        fake.resultBytes = resultPng();
        useService(fake.url());
        const QString photo = makePhoto(QStringLiteral("cache-%1.jpg").arg(change));
        QImageTask first(Person, photo);
        QCOMPARE(runTask(first), QString());
        const QString entry = QImageTask::cacheFilePath(photo);
        QCOMPARE(fileBytes(entry), fake.resultBytes);

        QFile file(photo);
        const QDateTime stamp = QFileInfo(photo).lastModified();
        if (change == "touch") {
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(stamp.addSecs(-3600), QFileDevice::FileModificationTime));
        } else if (change == "same-stamp") {
            // The cache key is path, size and time, not content: this is a hit.
            QByteArray bytes = fileBytes(photo);
            bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x55);
            QVERIFY(testutils::writeFile(photo, bytes));
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
        } else if (change == "damage-cache") {
            QVERIFY(testutils::writeFile(entry, fake.resultBytes.left(fake.resultBytes.size() / 2)));
        } else if (change == "empty-cache") {
            QVERIFY(testutils::writeFile(entry, QByteArray()));
        }
        file.close();

        QImageTask second(Person, photo);
        QCOMPARE(runTask(second), QString());
        QCOMPARE(fake.creates.load(), creates);
        QCOMPARE(second.sourceSize(), QSize(20, 10));
        QCOMPARE(testutils::maxPixelDifference(second.cutout(), first.cutout()), 0);
        QCOMPARE(fileBytes(QImageTask::cacheFilePath(photo)), fake.resultBytes);
    }

    void cacheHitNeedsNoService()
    {
        QString photo;
        {
            FakeService fake;
            fake.resultBytes = resultPng();
            useService(fake.url());
            photo = makePhoto("offline.jpg");
            QImageTask first(Card, photo);
            QCOMPARE(runTask(first), QString());
        }
        QImageTask second(Card, photo);
        QCOMPARE(runTask(second), QString());
        QCOMPARE(second.sourceSize(), QSize(20, 10));
    }

    void unwritableCacheStillSucceeds()
    {
        FakeService fake;
        fake.resultBytes = resultPng();
        useService(fake.url());
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

    void clearedTaskStillReportsFromThePool()
    {
        FakeService fake;
        fake.resultBytes = resultPng();
        QSemaphore inPoll;
        QSemaphore letGo;
        fake.onPoll = [&](const httplib::Request&, httplib::Response& res) {
            inPoll.release();
            letGo.acquire();
            FakeService::replyJson(res, FakeService::pollReply(1, fake.url() + "/result.png"));
        };
        useService(fake.url());
        QWorkPool::instance()->start(3);

        Recorder recorder;
        auto task = std::make_shared<QImageTask>(Person, makePhoto("cleared-running.jpg"));
        connect(task.get(), &QImageTask::signal_success, &recorder, &Recorder::onSuccess);
        connect(task.get(), &QImageTask::signal_error, &recorder, &Recorder::onError);
        const QString id = task->id();
        QTaskManager::addTask(task);
        task.reset();
        QVERIFY(inPoll.tryAcquire(1, 10000)); // run() is in the middle of its exchange
        QTaskManager::clear();
        letGo.release();

        QTRY_COMPARE(recorder.successes, QStringList{id});
        QVERIFY(recorder.errors.isEmpty());
        QVERIFY(recorder.allOnOwnThread);
        QVERIFY(!QTaskManager::getTask(id));
        QWorkPool::instance()->stop();
    }

private:
    static void scriptFailure(FakeService& fake, Scenario scenario)
    {
        const QByteArray refusal = QStringLiteral(R"({"code":4001,"message":"%1"})")
                                       .arg(QString::fromUtf8("Your daily quota is used up — try tomorrow."))
                                       .toUtf8();
        auto pollSequence = [&fake](QVector<int> statuses) {
            auto seen = std::make_shared<std::atomic<int>>(0);
            return [&fake, statuses, seen](const httplib::Request&, httplib::Response& res) {
                const int i = std::min(int(seen->fetch_add(1)), int(statuses.size()) - 1);
                FakeService::replyJson(res, FakeService::pollReply(statuses[i], fake.url() + "/result.png"));
            };
        };
        using Res = httplib::Response;
        using Req = httplib::Request;
        switch (scenario) {
        case CreateRefused:
            fake.onCreate = [refusal](const Req&, Res& res) { FakeService::replyJson(res, refusal); };
            break;
        case CreateRefusedWithHttpError:
            fake.onCreate = [](const Req&, Res& res) {
                FakeService::replyJson(res, R"({"code":400,"message":"The upload has no file."})", 400);
            };
            break;
        case CreateRefusedWithoutMessage:
            fake.onCreate = [](const Req&, Res& res) { FakeService::replyJson(res, R"({"code":500})"); };
            break;
        case CreateNotJson:
            fake.onCreate = [](const Req&, Res& res) { res.set_content("<html>busy</html>", "text/html"); };
            break;
        case PollRefused:
            fake.onPoll = [refusal](const Req&, Res& res) { FakeService::replyJson(res, refusal); };
            break;
        case PollNotJson:
            fake.onPoll = [](const Req&, Res& res) { res.set_content("status: done", "text/plain"); };
            break;
        case PollHttpError:
            fake.onPoll = [](const Req&, Res& res) { res.status = 500; };
            break;
        case FailedAtOnce:
            fake.onPoll = pollSequence({2});
            break;
        case FailedAfterRunning:
            fake.onPoll = pollSequence({0, 0, 2});
            break;
        case NeverFinishes:
            fake.onPoll = pollSequence({0});
            break;
        case UnknownStatusForever:
            fake.onPoll = pollSequence({7});
            break;
        case ResultMissing:
            fake.onResult = [](const Req&, Res& res) { res.status = 404; };
            break;
        case ResultOnLocalFile: {
            const QString local = testutils::sandboxPath() + "/local-result.png";
            testutils::writeFile(local, fake.resultBytes);
            fake.onPoll = [local](const Req&, Res& res) {
                FakeService::replyJson(res, FakeService::pollReply(1, "file://" + local));
            };
            break;
        }
        case ResultNotAnImage:
            fake.resultBytes = "this is not a picture";
            break;
        case ResultCutShort:
            fake.resultBytes.chop(fake.resultBytes.size() / 3);
            break;
        }
    }
};

BRISEL_TEST_GUILESS_MAIN(TestImageTask)
#include "tst_imagetask.moc"
