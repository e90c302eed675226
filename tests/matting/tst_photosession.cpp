// QPhotoSession against the fake service: the outcome of the latest photo reaches
// the caller exactly once, and a cancelled or replaced photo is never heard of
// again, however late its result comes; its job is withdrawn from the service.

#include "fakeservice.h"
#include "mattingfixtures.h"
#include "qphotosession.h"
#include "qtaskmanager.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QtTest>

using namespace mattingtest;

class TestPhotoSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QWorkPool::instance()->start(3);
        QMattingClient::setPollInterval(10);
    }
    void cleanup() { QTaskManager::clear(); }

    void lateResultIgnored_data()
    {
        QTest::addColumn<bool>("replace"); // else cancelled, after the first photo's job started
        QTest::newRow("cancelled") << false;
        QTest::newRow("replaced") << true;
    }
    void lateResultIgnored()
    {
        QFETCH(bool, replace);
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
};

BRISEL_TEST_MAIN(TestPhotoSession)
#include "tst_photosession.moc"
