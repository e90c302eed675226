// The work pool's scheduling and shutdown.

#include "qworkpool.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QSemaphore>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

class TestWorkPool : public QObject
{
    Q_OBJECT

    // Jobs hold their worker until the test releases them.
    QSemaphore m_release;
    std::atomic<int> m_started{0};
    std::atomic<int> m_active{0};
    std::atomic<int> m_peak{0};
    std::mutex m_mutex;
    std::vector<int> m_order;

    std::function<void()> job(int index)
    {
        return [this, index] {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_order.push_back(index);
            }
            m_peak = std::max(m_peak.load(), ++m_active);
            ++m_started;
            m_release.acquire();
            --m_active;
        };
    }

private slots:
    void init()
    {
        m_started = m_active = m_peak = 0;
        m_order.clear();
    }
    void cleanup() { QWorkPool::instance()->stop(); }

    void oneWorkerRunsJobsInOrder()
    {
        QWorkPool* pool = QWorkPool::instance();
        pool->start(1);
        for (int i = 0; i < 3; ++i)
            pool->post(job(i));
        m_release.release(3);
        QTRY_COMPARE(m_started.load(), 3);
        QCOMPARE(m_order, (std::vector<int>{0, 1, 2}));
        QCOMPARE(m_peak.load(), 1);
    }

    void stopDiscardsQueuedJobs()
    {
        std::atomic<int> queuedRan{0};
        auto owned = std::make_shared<int>(0);
        QWorkPool* pool = QWorkPool::instance();
        pool->start(2);
        pool->post(job(0));
        pool->post(job(1));
        QTRY_COMPARE(m_started.load(), 2);
        for (int i = 0; i < 3; ++i)
            pool->post([&queuedRan, owned] { ++queuedRan; });
        // stop() waits for the running jobs, so it runs on a helper thread and the
        // jobs are let go only once the pool is already stopping.
        std::thread stopper([pool] { pool->stop(); });
        QTRY_VERIFY(!pool->isRunning());
        m_release.release(2);
        stopper.join();
        QCOMPARE(m_active.load(), 0);
        QCOMPARE(queuedRan.load(), 0);
        QCOMPARE(pool->queuedCount(), 0);
        QCOMPARE(owned.use_count(), 1L); // the discarded jobs released what they held
    }
};

BRISEL_TEST_GUILESS_MAIN(TestWorkPool)
#include "tst_workpool.moc"
