// QPhotoSession against the fake service: the outcome of the latest photo reaches
// the caller exactly once, and a cancelled or replaced photo is never heard of
// again, however late its result comes.

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

    void latestOutcomeOnly_data()
    {
        QTest::addColumn<QString>("then");  // after the first photo's job started
        QTest::addColumn<QString>("error"); // the service's refusal, passed on unchanged
        QTest::newRow("done") << "wait" << QString();
        QTest::newRow("service refuses") << "wait"
                                         << "Quota used up.";
        QTest::newRow("cancelled, result comes late") << "cancel" << QString();
        QTest::newRow("replaced, result comes late") << "replace" << QString();
    }
    void latestOutcomeOnly()
    {
        QFETCH(QString, then);
        QFETCH(QString, error);
        FakeService fake;
        useService(fake.url());
        // The first photo's job runs until released; the other one is done at once.
        // Photos are new in each row: one matted before comes from the cache.
        auto released = std::make_shared<std::atomic<bool>>(then == "wait");
        fake.onCreate = [error](const httplib::Request& req, httplib::Response& res) {
            const bool slow = req.get_file_value("file").filename.find("slow") == 0;
            FakeService::replyJson(res, error.isEmpty()
                                            ? QStringLiteral(R"({"code":200,"data":{"serial":"%1"}})")
                                                  .arg(slow ? "slow" : "fast")
                                                  .toUtf8()
                                            : FakeService::refusal(4001, error));
        };
        const QString url = fake.url() + "/result.png";
        fake.onPoll = [released, url](const httplib::Request& req, httplib::Response& res) {
            const bool held = req.target.find("slow") != std::string::npos && !*released;
            FakeService::replyJson(res, FakeService::pollReply(held ? 0 : 1, url));
        };
        QPhotoSession session;
        QSignalSpy succeeded(&session, &QPhotoSession::signal_succeeded);
        QSignalSpy failed(&session, &QPhotoSession::signal_failed);
        QSignalSpy cancelled(&session, &QPhotoSession::signal_cancelled);
        const QString slow = makePhoto("slow_" + then + error + ".png");
        const QString fast = makePhoto("fast_" + then + ".png");
        session.submit(Person, slow);
        if (then == "wait") {
            QTRY_COMPARE(succeeded.size() + failed.size(), 1);
        } else {
            QTRY_VERIFY(fake.polls > 0);
            if (then == "replace")
                session.submit(Goods, fast);
            else
                session.cancel();
            QTRY_COMPARE(succeeded.size(), then == "replace" ? 1 : 0);
            *released = true;
            QTRY_COMPARE(fake.downloads.load(), then == "replace" ? 2 : 1);
        }
        QTest::qWait(100);
        QCOMPARE(succeeded.size(), int(error.isEmpty() && then != "cancel"));
        QCOMPARE(failed.size(), int(!error.isEmpty()));
        QCOMPARE(cancelled.size(), int(then == "cancel"));
        if (!error.isEmpty())
            QCOMPARE(failed.first().first().toString(), error);
        else if (then != "cancel")
            QCOMPARE(QTaskManager::getTask(succeeded.first().first().toString())->filePath(),
                     then == "replace" ? fast : slow);
    }
};

BRISEL_TEST_MAIN(TestPhotoSession)
#include "tst_photosession.moc"
