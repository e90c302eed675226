// Recycled picture buffers: reuse by size and many threads.

#include "qbufferrecycler.h"
#include "testutils.h"

#include <QGuiApplication>

#include <atomic>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t kMiB = std::size_t(1) << 20;
// 1600 x 1600 x 4 bytes = 9.8 MiB: recycled. 100 x 100 x 4: not.
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

    void reuseBySize_data()
    {
        QTest::addColumn<QSize>("first");
        QTest::addColumn<int>("firstType");
        QTest::addColumn<QSize>("second");
        QTest::addColumn<int>("secondType");
        QTest::addColumn<bool>("reused");
        const QSize large(kLarge, kLarge);
        QTest::newRow("same size and type") << large << CV_8UC4 << large << CV_8UC4 << true;
        // Only the byte count matters: 6400 x 1600 grey is as large as 1600 x 1600 BGRA.
        QTest::newRow("same bytes, other shape")
            << large << CV_8UC4 << QSize(kLarge * 4, kLarge) << CV_8UC1 << true;
        QTest::newRow("small") << QSize(kSmall, kSmall) << CV_8UC4 << QSize(kSmall, kSmall) << CV_8UC4
                               << false;
    }

    void reuseBySize()
    {
        QFETCH(QSize, first);
        QFETCH(int, firstType);
        QFETCH(QSize, second);
        QFETCH(int, secondType);
        QFETCH(bool, reused);
        cv::Mat a = QBufferRecycler::createMat(first.height(), first.width(), firstType);
        a.setTo(cv::Scalar::all(7));
        const uchar* buffer = a.data;
        const std::size_t bytes = a.total() * a.elemSize();
        const bool recycled = bytes >= QBufferRecycler::kMinRecycledBytes;
        a.release();
        QCOMPARE(m_recycler->idleBytes(), recycled ? bytes : 0);

        const cv::Mat b = QBufferRecycler::createMat(second.height(), second.width(), secondType);
        if (recycled) // small ones are up to malloc
            QCOMPARE(b.data == buffer, reused);
        QCOMPARE(b.size(), cv::Size(second.width(), second.height()));
        QCOMPARE(b.type(), secondType);
        QCOMPARE(m_recycler->idleBytes(), recycled && !reused ? bytes : 0);
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
