// Recycled picture buffers: reuse by size and many threads.

#include "qbufferrecycler.h"
#include "testutils.h"

#include <QGuiApplication>

#include <atomic>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t kMiB = std::size_t(1) << 20;
constexpr int kLarge = 1600;
constexpr int kSmall = 100;

} // namespace

class TestBufferRecycler : public QObject
{
    Q_OBJECT

    QBufferRecycler* m_recycler = QBufferRecycler::instance();

private slots:
    void init()
    {
        m_recycler->setCapacity(0); // drops every idle buffer
        m_recycler->setCapacity(512 * kMiB);
    }

    void cleanupTestCase() { m_recycler->setCapacity(0); }

    // Only the byte count matters: 6400 x 1600 grey reuses a freed 1600 x 1600 BGRA
    // buffer. Small buffers are left to malloc.
    void reuseBySize()
    {
        for (int side : {kSmall, kLarge}) {
            cv::Mat a = QBufferRecycler::createMat(side, side, CV_8UC4);
            const uchar* buffer = a.data;
            const std::size_t bytes = side == kLarge ? a.total() * a.elemSize() : 0;
            a.release();
            QCOMPARE(m_recycler->idleBytes(), bytes);
            const cv::Mat b = QBufferRecycler::createMat(side, side * 4, CV_8UC1);
            QVERIFY(!bytes || b.data == buffer);
            QCOMPARE(b.size(), cv::Size(side * 4, side));
            QCOMPARE(m_recycler->idleBytes(), std::size_t(0));
        }
    }

    void concurrentUseNeverSharesABuffer()
    {
        // Each thread stamps its buffers with its own value and checks the stamp is
        // still there after the others had time to run: a buffer handed out twice shows.
        std::atomic<int> failures{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([t, &failures] {
                for (int i = 0; i < 25; ++i) {
                    const int side = (i + t) % 2 ? kLarge : kLarge + 16;
                    cv::Mat m = QBufferRecycler::createMat(side, side, CV_8UC4);
                    m.setTo(cv::Scalar::all(t + 1));
                    std::this_thread::yield();
                    if (cv::sum(m)[0] != double(t + 1) * side * side)
                        ++failures;
                }
            });
        }
        for (auto& th : threads)
            th.join();
        QCOMPARE(failures.load(), 0);
        QVERIFY(m_recycler->idleBytes() <= 512 * kMiB);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestBufferRecycler)
#include "tst_bufferrecycler.moc"
