// The matting layer against a misbehaving service: every failure of QMattingClient
// ends as one message for the user, QImageTask's cache never keeps anything
// half-done, and QPhotoSession never reports a cancelled or replaced photo however
// late its result comes, and withdraws its job. Beneath them, the work pool's
// shutdown and runOnGui(), which runs later on the GUI thread while its guard lives.

#include "guihandover.h"
#include "hrequest.h"
#include "mattingfixtures.h"
#include "mattingprotocol.h"
#include "qcutoutcache.h"
#include "qimagefiles.h"
#include "qimagetask.h"
#include "qmattingclient.h"
#include "qphotosession.h"
#include "qtaskmanager.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QSemaphore>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace mattingtest;
namespace proto = mattingprotocol;

namespace {

using Req = httplib::Request;
using Res = httplib::Response;
using Script = std::function<void(FakeService&)>; // turns a healthy fake into a misbehaving one
enum Server
{
    Http,
    Https,
    SelfSigned,
    Closed,
    Nowhere
};
const QString kMac = QStringLiteral("m1");

Script answer(bool create, const QByteArray& json, int status = 200)
{
    return [=](FakeService& f) {
        (create ? f.onCreate : f.onPoll) = [=](const Req&, Res& res) {
            FakeService::replyJson(res, json, status);
        };
    };
}

// Runs a task: empty when exactly one signal said success, else the error.
QString runTask(QImageTask& task)
{
    QSignalSpy success(&task, &QImageTask::signal_success), error(&task, &QImageTask::signal_error);
    task.run();
    if (success.size() + error.size() != 1 || !error.isEmpty())
        return error.isEmpty() ? QStringLiteral("no outcome") : error.first().first().toString();
    return success.first().first().toString() == task.id() ? QString() : QStringLiteral("another id");
}

// Polls answer these job states in turn, the last one for ever; a failed job
// says why as the service does.
Script pollStates(QVector<int> states)
{
    return [states](FakeService& f) {
        auto seen = std::make_shared<std::atomic<int>>(0);
        f.onPoll = [&f, states, seen](const Req&, Res& res) {
            const int i = std::min(int(seen->fetch_add(1)), int(states.size()) - 1);
            const QString why = states[i] == proto::kStatusFailed ? "No subject found." : "ok";
            FakeService::replyJson(res, FakeService::pollReply(states[i], f.url() + "/result.png", why));
        };
    };
}

// The first `times` creations are turned away as a full queue is (503), or as
// one computer's limit is (429).
Script busy(int times, int status = 503)
{
    return [times, status](FakeService& f) {
        const FakeService::Handler healthy = f.onCreate;
        f.onCreate = [&f, times, status, healthy](const Req& req, Res& res) {
            if (f.creates > times)
                return healthy(req, res);
            res.set_header("Retry-After", "1");
            FakeService::replyJson(res, FakeService::refusal(status, "busy"), status);
        };
    };
}

// An uploaded photo that gets no answer at all.
const Script silent = [](FakeService& f) { f.onCreate = [](const Req&, Res&) { QThread::msleep(2500); }; };

// Set by the service's first poll answer, as if the user cancelled right then; the
// cancel itself is answered with `status`.
std::atomic<bool> g_cancel{false};
Script cancelWhileRunning(int status)
{
    return [status](FakeService& f) {
        f.onPoll = [](const Req&, Res& res) {
            g_cancel = true;
            FakeService::replyJson(res, FakeService::pollReply(proto::kStatusRunning, QString()));
        };
        f.onCancel = [status](const Req&, Res& res) { res.status = status; };
    };
}

} // namespace

Q_DECLARE_METATYPE(Script)
Q_DECLARE_METATYPE(Server)

class TestMattingClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(trustTestCa(&error), qPrintable(error));
        QMattingClient::setPollInterval(1);
    }
    void cleanup()
    {
        QTaskManager::clear();
        QWorkPool::instance()->stop();
    }

    void matte_data()
    {
        QTest::addColumn<Server>("server");
        QTest::addColumn<QString>("photo");
        QTest::addColumn<Script>("script");
        QTest::addColumn<QString>("requests"); // created/polled/downloaded
        QTest::addColumn<QString>("message");  // how it begins; empty: success

        const Script healthy = [](FakeService&) {};
        const QString notJson = "The answer of the matting service could not be read.";
        const QString quota = QString::fromUtf8("Your daily quota is used up — try tomorrow.");
        const QString cancelled = "Image matting was cancelled.";
        QTest::newRow("card over https, name outside ASCII")
            << Https << QString::fromUtf8("bild ü 照片.jpg") << healthy << "1/1/1" << QString();
        QTest::newRow("nothing listening")
            << Closed << "a.jpg" << healthy << "0/0/0"
            << "The matting service on this computer is not running (nothing answers at 127.0.0.1:";
        QTest::newRow("unknown host") << Nowhere << "a.jpg" << healthy << "0/0/0"
                                      << "The server name no-such-host.invalid was not found";
        QTest::newRow("self-signed certificate") << SelfSigned << "a.jpg" << healthy << "0/0/0"
                                                 << "The server's certificate is not trusted";
        QTest::newRow("upload never answered") << Http << "a.jpg" << silent << "1/0/0"
                                               << "The server did not answer in time";
        QTest::newRow("busy twice, then accepted") << Http << "a.jpg" << busy(2) << "3/1/1" << QString();
        QTest::newRow("too many for this computer, then accepted")
            << Http << "a.jpg" << busy(1, proto::kCodeTooMany) << "2/1/1" << QString();
        QTest::newRow("creation refused")
            << Http << "a.jpg" << answer(true, FakeService::refusal(4001, quota)) << "1/0/0" << quota;
        QTest::newRow("creation reply not JSON")
            << Http << "a.jpg" << answer(true, "<html>busy</html>") << "1/0/0" << notJson;
        QTest::newRow("poll refused with HTTP 404")
            << Http << "a.jpg" << answer(false, FakeService::refusal(404, "Expired."), 404) << "1/1/0"
            << "Expired.";
        QTest::newRow("job failed after running")
            << Http << "a.jpg"
            << pollStates({proto::kStatusRunning, proto::kStatusRunning, proto::kStatusFailed}) << "1/3/0"
            << "No subject found.";
        QTest::newRow("job never finishes")
            << Http << "a.jpg" << pollStates({proto::kStatusRunning})
            << QString("1/%1/0").arg(QMattingClient::kMaxPolls) << "Image matting timed out.";
        QTest::newRow("cancelled: the job is withdrawn")
            << Http << "a.jpg" << cancelWhileRunning(200) << "1/1/0" << cancelled;
        QTest::newRow("cancelled, the service cannot cancel")
            << Http << "a.jpg" << cancelWhileRunning(404) << "1/1/0" << cancelled;
    }
    void matte()
    {
        QFETCH(Server, server);
        QFETCH(QString, photo);
        QFETCH(Script, script);
        QFETCH(QString, requests);
        QFETCH(QString, message);
        QString error;
        const Certificates* certs = trustTestCa(&error);
        QVERIFY2(certs, qPrintable(error));
        const QString self = testutils::sandboxPath() + "/tls";
        QVERIFY(server != SelfSigned || testutils::makeCertificate(self, "self", QString(), "127.0.0.1"));
        auto fake = server == Https ? std::make_unique<FakeService>(certs->serverCert, certs->serverKey)
                    : server == SelfSigned
                        ? std::make_unique<FakeService>(self + "/self.pem", self + "/self.key")
                        : std::make_unique<FakeService>();
        script(*fake);
        const QString path = makePhoto(photo);
        const int type = server == Https ? Card : Goods;
        QMattingClient client(server == Nowhere ? "http://no-such-host.invalid" : fake->url(), kMac, type);
        if (server == Closed)
            fake = std::make_unique<FakeService>(); // the address is free again
        HRequest::setTimeouts(10000, 1000);

        g_cancel = false;
        client.cancelWhen(&g_cancel);

        const QMattingClient::Cutout cutout = client.matte(path, &error);
        QVERIFY2(message.isEmpty() ? error.isEmpty() : error.startsWith(message), qPrintable(error));
        QCOMPARE(QString("%1/%2/%3").arg(fake->creates).arg(fake->polls).arg(fake->downloads), requests);
        QCOMPARE(fake->cancels.load(), int(message.contains("cancelled")));
        if (fake->cancels > 0)
            QCOMPARE(fake->seen().cancelTarget.toStdString(),
                     proto::cancelTarget(kMac.toStdString(), "0123abcd"));
        QCOMPARE(cutout.image.empty(), !message.isEmpty());
        if (!message.isEmpty())
            return;
        const FakeService::Seen seen = fake->seen();
        QCOMPARE(seen.createTarget.toStdString(),
                 proto::createTarget(kMac.toStdString(), type == Goods  ? proto::kModeProduct
                                                         : type == Card ? proto::kModeId
                                                                        : proto::kModePerson));
        QCOMPARE(seen.pollTarget.toStdString(), proto::pollTarget(kMac.toStdString(), "0123abcd"));
        QCOMPARE(seen.fileName, photo);
        QCOMPARE(seen.fileContent, testutils::readFile(path));
        QCOMPARE(cutout.image.size(), cv::Size(20, 10));
        QCOMPARE(cutout.image.at<cv::Vec4b>(0, 19)[3], uchar(19 * 12));
    }

    void cache_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("creates"); // uploads in all, 0 when the task must fail
        QTest::newRow("unchanged, service gone: served from the cache") << "service-gone" << 1;
        QTest::newRow("touched: uploaded again") << "touch" << 2;
        QTest::newRow("fast asked: uploaded again, own entry") << "fast" << 2;
        QTest::newRow("result unreadable: nothing kept") << "bad-result" << 0;
    }
    void cache()
    {
        QFETCH(QString, change);
        QFETCH(int, creates);
        auto fake = std::make_unique<FakeService>();
        useService(fake->url());
        const QByteArray result = fake->resultBytes;
        // The fake's cut-out is 20 x 10: only a photo of that size can hit the cache.
        const QString photo = makePhoto(QStringLiteral("cache-%1.jpg").arg(change), 20, 10);
        const QString entry = QImageTask::cacheFilePath(photo);
        if (change == "bad-result")
            fake->resultBytes = "this is not a picture";
        QImageTask first(Person, photo);
        const QString error = runTask(first);
        if (creates == 0) {
            QCOMPARE(error,
                     QStringLiteral("The cut-out sent by the matting service is not a readable image."));
            QVERIFY(first.cutout().empty());
            QVERIFY(!QFile::exists(entry));
            return;
        }
        QCOMPARE(error, QString());
        QCOMPARE(first.sourceSize(), QSize(20, 10));
        QCOMPARE(testutils::readFile(entry), result);

        if (change == "touch") {
            QFile file(photo);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QFileInfo(photo).lastModified().addSecs(-3600),
                                     QFileDevice::FileModificationTime));
        } else if (change != "fast") {
            fake->onCreate = [](const httplib::Request&, httplib::Response& res) { res.status = 500; };
        }
        QImageTask second(Person, photo);
        second.setFast(change == "fast");
        QCOMPARE(runTask(second), QString());
        QCOMPARE(fake->creates.load(), creates);
        if (change == "fast") {
            QVERIFY(fake->seen().createTarget.endsWith(
                QStringLiteral("&%1=%2").arg(proto::kEngine, proto::kEngineFast)));
            QVERIFY(QFile::exists(QImageTask::cacheFilePath(photo, false, true)));
        }
        QCOMPARE(testutils::maxPixelDifference(second.cutout(), first.cutout()), 0);
        QCOMPARE(testutils::readFile(entry), result);
    }

    // Many photos through a small cap: the folder never outgrows it, and the
    // entry in use survives while the oldest unused ones go.
    void eviction()
    {
        QByteArray png;
        cv::Mat noise(24, 24, CV_8UC4);
        cv::randu(noise, cv::Scalar::all(0), cv::Scalar::all(256)); // no compression: about 2.3 KB
        QVERIFY(QImageFiles::encode(noise, ".png", {}, &png));
        const QCutoutCache cache(testutils::sandboxPath() + "/evict", 8 * png.size());
        const auto entry = [&](int i) { return cache.folder() + QStringLiteral("/%1.png").arg(i); };
        QString error;
        for (int i = 0; i < 40; ++i) {
            QVERIFY2(cache.store(entry(i), png, &error), qPrintable(error));
            QVERIFY(cache.usedBytes() <= cache.capBytes());
            QThread::msleep(3); // modification times a millisecond apart at least
            QVERIFY(!cache.load(entry(0), QSize(24, 24)).empty());
            QThread::msleep(3);
        }
        QVERIFY(!QFile::exists(entry(1)) && QFile::exists(entry(39)));
        QCOMPARE(cache.clear().freed, qint64(8 * png.size()));
        QCOMPARE(cache.usedBytes(), qint64(0));
    }

    void lateResultIgnored_data()
    {
        QTest::addColumn<bool>("replace"); // else cancelled, after the first photo's job started
        QTest::newRow("cancelled") << false;
        QTest::newRow("replaced") << true;
    }
    void lateResultIgnored()
    {
        QFETCH(bool, replace);
        QWorkPool::instance()->start(3);
        FakeService fake;
        useService(fake.url());
        // The first photo's job runs until withdrawn; the other one is done at once.
        // Photos are new in each row: one matted before comes from the cache.
        fake.onCreate = [](const httplib::Request& req, httplib::Response& res) {
            const bool slow = req.get_file_value("file").filename.find("slow") == 0;
            FakeService::replyJson(res, QStringLiteral(R"({"code":200,"data":{"serial":"%1"}})")
                                            .arg(slow ? "slow" : "fast")
                                            .toUtf8());
        };
        const QString url = fake.url() + "/result.png";
        fake.onPoll = [url](const httplib::Request& req, httplib::Response& res) {
            const bool slow = req.target.find("slow") != std::string::npos;
            FakeService::replyJson(res, FakeService::pollReply(slow ? 0 : 1, url));
        };
        QPhotoSession session;
        QSignalSpy succeeded(&session, &QPhotoSession::signal_succeeded);
        QSignalSpy failed(&session, &QPhotoSession::signal_failed);
        QSignalSpy cancelled(&session, &QPhotoSession::signal_cancelled);
        const QString fast = makePhoto(QStringLiteral("fast_%1.png").arg(int(replace)));
        session.submit(Person, makePhoto(QStringLiteral("slow_%1.png").arg(int(replace))));
        QTRY_VERIFY(fake.polls > 0);
        if (replace)
            session.submit(Goods, fast);
        else
            session.cancel();
        QTRY_COMPARE(succeeded.size(), int(replace));
        // The slow job is withdrawn from the service; its task's late failure is not heard of.
        QTRY_COMPARE(fake.cancels.load(), 1);
        QVERIFY(fake.seen().cancelTarget.contains("serial=slow"));
        QTest::qWait(100);
        QCOMPARE(fake.downloads.load(), int(replace));
        QCOMPARE(succeeded.size(), int(replace));
        QCOMPARE(failed.size(), 0);
        QCOMPARE(cancelled.size(), int(!replace));
        if (replace)
            QCOMPARE(QTaskManager::getTask(succeeded.first().first().toString())->filePath(), fast);
    }

    void stopDiscardsQueuedJobs()
    {
        // Jobs that hold their worker until released, and jobs that must never run.
        QSemaphore release;
        std::atomic<int> started{0}, active{0}, queuedRan{0};
        const auto job = [&] {
            ++active, ++started;
            release.acquire();
            --active;
        };
        auto owned = std::make_shared<int>(0);
        QWorkPool* pool = QWorkPool::instance();
        pool->start(2);
        pool->post(job);
        pool->post(job);
        QTRY_COMPARE(started.load(), 2);
        for (int i = 0; i < 3; ++i)
            pool->post([&queuedRan, owned] { ++queuedRan; });
        // stop() waits for the running jobs, so it runs on a helper thread and the
        // jobs are let go only once the pool is already stopping.
        std::thread stopper([pool] { pool->stop(); });
        QTRY_VERIFY(!pool->isRunning());
        release.release(2);
        stopper.join();
        QCOMPARE(active.load(), 0);
        QCOMPARE(queuedRan.load(), 0);
        QCOMPARE(pool->queuedCount(), 0);
        QCOMPARE(owned.use_count(), 1L); // the discarded jobs released what they held
    }

    void runsQueuedOnTheGuiThreadWhileGuarded_data()
    {
        QTest::addColumn<bool>("destroyed");
        QTest::newRow("from a worker, guard alive") << false;
        QTest::newRow("from a worker, guard destroyed") << true;
    }
    void runsQueuedOnTheGuiThreadWhileGuarded()
    {
        QFETCH(bool, destroyed);
        auto target = std::make_unique<QObject>();
        const QPointer<QObject> guard(target.get());
        QThread* ranOn = nullptr;
        std::thread([&] { runOnGui(guard, [&ranOn] { ranOn = QThread::currentThread(); }); }).join();
        QVERIFY(!ranOn); // queued, not run by the caller
        if (destroyed)
            target.reset();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(ranOn, destroyed ? nullptr : QCoreApplication::instance()->thread());
    }
};

BRISEL_TEST_GUILESS_MAIN(TestMattingClient)
#include "tst_mattingclient.moc"
