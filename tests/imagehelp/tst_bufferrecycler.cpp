// Recycled picture buffers: reuse by size, the idle limit, images, threads.

#include "qbufferrecycler.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QPainter>

#include <atomic>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t kMiB = std::size_t(1) << 20;
// 1600 x 1600 x 4 bytes = 9.8 MiB: recycled. 100 x 100 x 4: not.
constexpr int kLarge = 1600;
constexpr int kSmall = 100;
constexpr std::size_t kLargeBytes = std::size_t(kLarge) * kLarge * 4;

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
        QTest::newRow("other size") << large << CV_8UC4 << large << CV_8UC3 << false;
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

    void idleLimitDropsOldestFirst()
    {
        m_recycler->setCapacity(2 * kLargeBytes + kLargeBytes / 2); // room for two idle buffers
        std::vector<cv::Mat> mats;
        for (int i = 0; i < 3; ++i)
            mats.push_back(QBufferRecycler::createMat(kLarge, kLarge, CV_8UC4));
        const std::vector<const uchar*> newer = {mats[1].data, mats[2].data};
        mats.clear(); // released in order 0, 1, 2
        QCOMPARE(m_recycler->idleBytes(), 2 * kLargeBytes);
        // The two kept are the two released last.
        for (int i = 0; i < 2; ++i) {
            mats.push_back(QBufferRecycler::createMat(kLarge, kLarge, CV_8UC4));
            QVERIFY(std::find(newer.begin(), newer.end(), mats.back().data) != newer.end());
        }
        QVERIFY(mats[0].data != mats[1].data);
        m_recycler->setCapacity(0);
        mats.clear();
        QCOMPARE(m_recycler->idleBytes(), std::size_t(0));
    }

    void images_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("valid");
        QTest::newRow("argb32") << QSize(kLarge, kLarge) << int(QImage::Format_ARGB32) << true;
        QTest::newRow("rgb888, odd width")
            << QSize(kLarge * 2 + 1, kLarge) << int(QImage::Format_RGB888) << true;
        QTest::newRow("indexed8 small") << QSize(33, 7) << int(QImage::Format_Indexed8) << true;
        QTest::newRow("zero width") << QSize(0, 10) << int(QImage::Format_ARGB32) << false;
    }

    void images()
    {
        QFETCH(QSize, size);
        QFETCH(int, format);
        QFETCH(bool, valid);
        QImage image = QBufferRecycler::createImage(size.width(), size.height(), QImage::Format(format));
        QCOMPARE(!image.isNull(), valid);
        if (!valid)
            return;
        QCOMPARE(image.size(), size);
        QCOMPARE(int(image.format()), format);
        QCOMPARE(image.bytesPerLine() % 4, 0);
        QVERIFY(image.bytesPerLine() >= (size.width() * image.depth() + 7) / 8);
        if (image.depth() >= 24) { // writable, and painting reaches the last row
            image.fill(Qt::white);
            QPainter(&image).fillRect(QRect(0, size.height() - 1, size.width(), 1), Qt::red);
            QCOMPARE(image.pixelColor(size.width() - 1, size.height() - 1), QColor(Qt::red));
        }
        QImage copy = image; // the buffer comes back with the last copy only
        const std::size_t bytes = std::size_t(image.sizeInBytes());
        image = QImage();
        QCOMPARE(m_recycler->idleBytes(), std::size_t(0));
        copy = QImage();
        QCOMPARE(m_recycler->idleBytes(), bytes >= QBufferRecycler::kMinRecycledBytes ? bytes : 0);
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
