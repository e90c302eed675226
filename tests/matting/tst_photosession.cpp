// QPhotoSession against the fake service: the outcome of the latest photo reaches
// the caller exactly once, and a cancelled or replaced photo is never heard of
// again, however late its result comes.

#include "fakeservice.h"
#include "mattingfixtures.h"
#include "qimagefiles.h"
#include "qphotosession.h"
#include "qtaskmanager.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QtTest>

using namespace mattingtest;

class TestPhotoSession : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeService> fake;

private slots:
    void initTestCase() { QWorkPool::instance()->start(3); }

    void init()
    {
        QMattingClient::setPollInterval(10);
        fake = std::make_unique<FakeService>();
        QImageFiles::encode(testutils::solidBgra(20, 10, {10, 200, 30, 255}), ".png", {}, &fake->resultBytes);
        useService(fake->url());
    }

    void cleanup()
    {
        QTaskManager::clear();
        fake.reset();
    }

    void outcomeReachesCaller_data()
    {
        QTest::addColumn<QString>("photo");
        QTest::addColumn<QByteArray>("createReply");
        QTest::addColumn<QString>("error");
        const QString photo = makePhoto("session.png");
        QTest::newRow("cut-out") << photo << QByteArray() << QString();
        QTest::newRow("photo gone") << testutils::sandboxPath() + "/gone.png" << QByteArray()
                                    << "The file is not exists!";
        // The service's own words reach the user unchanged. Another photo: the first
        // one's cut-out is in the cache now.
        QTest::newRow("service refuses")
            << makePhoto("refused.png") << QByteArray(R"({"code":4001,"message":"Quota used up."})")
            << "Quota used up.";
    }

    void outcomeReachesCaller()
    {
        QFETCH(QString, photo);
        QFETCH(QByteArray, createReply);
        QFETCH(QString, error);
        if (!createReply.isEmpty())
            fake->onCreate = [createReply](const httplib::Request&, httplib::Response& res) {
                FakeService::replyJson(res, createReply);
            };
        QPhotoSession session;
        QSignalSpy started(&session, &QPhotoSession::signal_started);
        QSignalSpy succeeded(&session, &QPhotoSession::signal_succeeded);
        QSignalSpy failed(&session, &QPhotoSession::signal_failed);
        session.submit(Card, photo);
        QCOMPARE(started.size(), 1);
        QCOMPARE(session.type(), int(Card));
        QTRY_COMPARE(succeeded.size() + failed.size(), 1);
        QTest::qWait(50);
        QCOMPARE(succeeded.size() + failed.size(), 1);
        QCOMPARE(failed.size(), error.isEmpty() ? 0 : 1);
        if (!error.isEmpty()) {
            QCOMPARE(failed.first().first().toString(), error);
            return;
        }
        const auto task = QTaskManager::getTask(succeeded.first().first().toString());
        QVERIFY(task);
        QCOMPARE(task->filePath(), photo);
        QCOMPARE(task->type(), int(Card));
    }

    void lateResultIsDropped_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::newRow("cancelled") << false;
        QTest::newRow("replaced by a new photo") << true;
    }

    void lateResultIsDropped()
    {
        QFETCH(bool, replace);
        // The slow photo's job keeps running until released; any other is done at once.
        // Each row has photos of its own: a photo matted before comes from the cache.
        auto released = std::make_shared<std::atomic<bool>>(false);
        fake->onCreate = [](const httplib::Request& req, httplib::Response& res) {
            const bool slow = req.get_file_value("file").filename.find("slow") == 0;
            FakeService::replyJson(res, QStringLiteral(R"({"code":200,"data":{"serial":"%1"}})")
                                            .arg(slow ? "slow" : "fast")
                                            .toUtf8());
        };
        const QString url = fake->url() + "/result.png";
        fake->onPoll = [released, url](const httplib::Request& req, httplib::Response& res) {
            const bool held = req.target.find("slow") != std::string::npos && !*released;
            FakeService::replyJson(res, FakeService::pollReply(held ? 0 : 1, url));
        };
        QPhotoSession session;
        QSignalSpy succeeded(&session, &QPhotoSession::signal_succeeded);
        QSignalSpy failed(&session, &QPhotoSession::signal_failed);
        QSignalSpy cancelled(&session, &QPhotoSession::signal_cancelled);
        session.submit(Person, makePhoto(QString("slow_%1.png").arg(replace)));
        QTRY_VERIFY(fake->polls > 0);
        const QString fast = makePhoto(QString("fast_%1.png").arg(replace));
        if (replace) {
            session.submit(Goods, fast);
            QTRY_COMPARE(succeeded.size(), 1);
        } else {
            session.cancel();
        }
        *released = true;
        QTRY_COMPARE(fake->downloads.load(), replace ? 2 : 1);
        QTest::qWait(100);
        QCOMPARE(succeeded.size(), replace ? 1 : 0);
        QVERIFY(failed.isEmpty());
        QCOMPARE(cancelled.size(), replace ? 0 : 1);
        if (replace)
            QCOMPARE(QTaskManager::getTask(succeeded.first().first().toString())->filePath(), fast);
    }
};

BRISEL_TEST_MAIN(TestPhotoSession)
#include "tst_photosession.moc"
