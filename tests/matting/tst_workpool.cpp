// The work pool's scheduling and shutdown, and runOnGui(): the function runs later
// on the GUI thread, whoever calls, and only while its guard lives.

#include "guihandover.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QSemaphore>
#include <QtTest>

#include <atomic>
#include <thread>

class TestWorkPool : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QWorkPool::instance()->stop(); }

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

BRISEL_TEST_GUILESS_MAIN(TestWorkPool)
#include "tst_workpool.moc"
