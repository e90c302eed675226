// The work pool's scheduling and shutdown, and the task registry on top of it.

#include "mattingfixtures.h"
#include "qimagefiles.h"
#include "qimagetask.h"
#include "qtaskmanager.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QSemaphore>
#include <QtTest>

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

using namespace mattingtest;

namespace {

// Jobs that hold their worker until the test lets them go, counting how many run
// at once and on which threads.
struct Gate
{
    QSemaphore release;
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    std::atomic<int> active{0};
    std::atomic<int> peak{0};
    std::mutex mutex;
    std::vector<int> order;
    std::set<std::thread::id> threads;

    std::function<void()> job(int index)
    {
        return [this, index] {
            {
                std::lock_guard<std::mutex> lock(mutex);
                order.push_back(index);
                threads.insert(std::this_thread::get_id());
            }
            const int now = ++active;
            int seen = peak;
            while (now > seen && !peak.compare_exchange_weak(seen, now)) {
            }
            ++started;
            release.acquire();
            --active;
            ++finished;
        };
    }
};

// Waits without an event loop; QTRY_* would spin one we do not need.
bool waitFor(const std::function<bool()>& condition, int ms = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms)
            return false;
        QThread::msleep(2);
    }
    return true;
}

// A cut-out already in the cache for a fresh photo, so its task runs without any
// service.
QString cachedPhoto(const QString& name)
{
    const QString photo = makePhoto(name);
    QByteArray png;
    if (photo.isEmpty() ||
        !QImageFiles::encode(testutils::solidBgra(16, 12, {1, 2, 3, 200}), ".png", {}, &png))
        return QString();
    return testutils::writeFile(QImageTask::cacheFilePath(photo), png) ? photo : QString();
}

std::shared_ptr<QImageTask> trackedTask(const QString& photo, Recorder* recorder)
{
    auto task = std::make_shared<QImageTask>(Person, photo);
    QObject::connect(task.get(), &QImageTask::signal_success, recorder, &Recorder::onSuccess);
    QObject::connect(task.get(), &QImageTask::signal_error, recorder, &Recorder::onError);
    return task;
}

} // namespace

class TestWorkPool : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        QWorkPool::instance()->stop();
        QTaskManager::clear();
    }

    void concurrencyIsBoundedByWorkers_data()
    {
        QTest::addColumn<int>("workers");
        QTest::addColumn<int>("jobs");
        QTest::newRow("four jobs, three workers") << 3 << 4;
        QTest::newRow("one worker runs one at a time") << 1 << 3;
    }
    void concurrencyIsBoundedByWorkers()
    {
        QFETCH(int, workers);
        QFETCH(int, jobs);
        Gate gate;
        QWorkPool* pool = QWorkPool::instance();
        pool->start(workers);
        QCOMPARE(pool->workerCount(), workers);
        for (int i = 0; i < jobs; ++i)
            pool->post(gate.job(i));

        const int firstWave = std::min(workers, jobs);
        QVERIFY(waitFor([&] { return gate.started == firstWave; }));
        QThread::msleep(100); // time for a job that should not start to start anyway
        QCOMPARE(gate.started.load(), firstWave);
        QCOMPARE(pool->queuedCount(), jobs - firstWave);

        if (jobs > workers) {
            // The next queued job starts as soon as one worker is free.
            gate.release.release(1);
            QVERIFY(waitFor([&] { return gate.started == firstWave + 1; }));
            QCOMPARE(gate.finished.load(), 1);
        }
        gate.release.release(jobs);
        QVERIFY(waitFor([&] { return gate.finished == jobs; }));
        QCOMPARE(gate.peak.load(), firstWave);
        QCOMPARE(int(gate.threads.size()), firstWave);
        if (workers == 1)
            QCOMPARE(gate.order, (std::vector<int>{0, 1, 2}));
    }

    void stopDiscardsQueuedJobs()
    {
        Gate gate;
        std::atomic<int> queuedRan{0};
        auto owned = std::make_shared<int>(0);
        QWorkPool* pool = QWorkPool::instance();
        pool->start(2);
        pool->post(gate.job(0));
        pool->post(gate.job(1));
        QVERIFY(waitFor([&] { return gate.started == 2; }));
        for (int i = 0; i < 3; ++i)
            pool->post([&queuedRan, owned] { ++queuedRan; });
        QCOMPARE(owned.use_count(), 4L);

        // stop() waits for the running jobs, so it is called from a helper thread
        // and the jobs are let go only once the pool is already stopping.
        std::thread stopper([pool] { pool->stop(); });
        QVERIFY(waitFor([&] { return !pool->isRunning(); }));
        gate.release.release(2);
        stopper.join();

        QCOMPARE(gate.finished.load(), 2);
        QCOMPARE(queuedRan.load(), 0);
        QCOMPARE(pool->workerCount(), 0);
        QCOMPARE(pool->queuedCount(), 0);
        QCOMPARE(owned.use_count(), 1L); // the discarded jobs released what they held
    }

    void jobsPostedWhileStoppedWaitForTheNextStart()
    {
        std::atomic<int> ran{0};
        QWorkPool* pool = QWorkPool::instance();
        pool->post([&ran] { ++ran; });
        QThread::msleep(50);
        QCOMPARE(ran.load(), 0);
        pool->start(1);
        QVERIFY(waitFor([&] { return ran == 1; }));
    }

    void throwingJobDoesNotEndItsWorker()
    {
        std::atomic<int> ran{0};
        QWorkPool* pool = QWorkPool::instance();
        pool->start(1);
        pool->post([] { throw std::runtime_error("broken job"); });
        pool->post([&ran] { ++ran; });
        QVERIFY(waitFor([&] { return ran == 1; }));
        QCOMPARE(pool->workerCount(), 1);
    }

    void registryFindsTasksByIdentifier()
    {
        const QString photo = cachedPhoto("registry.jpg");
        QVERIFY(!photo.isEmpty());
        QWorkPool::instance()->start(3);
        Recorder recorder;
        auto task = trackedTask(photo, &recorder);
        QTaskManager::addTask(task);
        QCOMPARE(QTaskManager::getTask(task->id()), task);
        QVERIFY(!QTaskManager::getTask(QStringLiteral("0123456789abcdef0123456789abcdef")));

        QTRY_COMPARE(recorder.successes, QStringList{task->id()});
        QVERIFY(recorder.allOnOwnThread);
        QCOMPARE(QTaskManager::getTask(task->id())->sourceSize(), QSize(16, 12));

        QTaskManager::clear();
        QVERIFY(!QTaskManager::getTask(task->id()));
    }

    void sameIdentifierReplacesButBothRun()
    {
        const QString photo = cachedPhoto("twice.jpg");
        QVERIFY(!photo.isEmpty());
        Recorder recorder;
        // Created within one second, so they share an identifier; retried at the
        // rare turn of a second between the two constructions.
        std::shared_ptr<QImageTask> first;
        std::shared_ptr<QImageTask> second;
        for (int attempt = 0; attempt < 3 && (!first || first->id() != second->id()); ++attempt) {
            first = trackedTask(photo, &recorder);
            second = trackedTask(photo, &recorder);
        }
        QCOMPARE(first->id(), second->id());

        QWorkPool::instance()->start(3);
        QTaskManager::addTask(first);
        QTaskManager::addTask(second);
        QCOMPARE(QTaskManager::getTask(first->id()), second);
        QTRY_COMPARE(recorder.successes.size(), 2);
        QVERIFY(!first->cutout().empty());
        QVERIFY(!second->cutout().empty());
    }

    void taskQueuedBeforeClearStillReports()
    {
        const QString photo = cachedPhoto("cleared.jpg");
        QVERIFY(!photo.isEmpty());
        Gate gate;
        QWorkPool::instance()->start(1);
        QWorkPool::instance()->post(gate.job(0)); // keeps the only worker busy
        QVERIFY(waitFor([&] { return gate.started == 1; }));

        Recorder recorder;
        std::weak_ptr<QImageTask> watch;
        QString id;
        {
            auto task = trackedTask(photo, &recorder);
            watch = task;
            id = task->id();
            QTaskManager::addTask(task);
        }
        QTaskManager::clear();
        QVERIFY(!watch.expired()); // the queued job's copy keeps it alive
        gate.release.release(1);
        QTRY_COMPARE(recorder.successes, QStringList{id});
        QVERIFY(!QTaskManager::getTask(id));
        QTRY_VERIFY(watch.expired()); // and lets go once run() returned
    }
};

BRISEL_TEST_GUILESS_MAIN(TestWorkPool)
#include "tst_workpool.moc"
