// The cache that hands freed tensor blocks back to libtorch. A block handed to
// two live tensors, or one of the wrong size, would corrupt the network's
// activations without any error, so these cases look at the bytes.

// Torch uses `slots` as a name, which Qt defines as a macro: torch comes first.
#include <ATen/ATen.h>

#include "tensorcache.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QtTest>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t kMB = 1 << 20;
constexpr std::size_t kLimit = 32 * kMB;

at::Tensor block(std::size_t bytes)
{
    return at::empty({int64_t(bytes)}, at::kByte);
}

} // namespace

class TestTensorCache : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { tensorcache::install(kLimit); }
    void init() { tensorcache::release(); }

    void reuse_data()
    {
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("second");
        QTest::addColumn<bool>("reused");
        QTest::newRow("same size") << qint64(8 * kMB) << qint64(8 * kMB) << true;
        QTest::newRow("a little smaller, same granule") << qint64(8 * kMB) << qint64(8 * kMB - 1000) << true;
        QTest::newRow("one byte larger") << qint64(8 * kMB) << qint64(8 * kMB + 1) << false;
        QTest::newRow("twice as large") << qint64(8 * kMB) << qint64(16 * kMB) << false;
        QTest::newRow("small blocks stay with malloc") << qint64(64 * 1024) << qint64(64 * 1024) << false;
    }
    void reuse()
    {
        QFETCH(qint64, first);
        QFETCH(qint64, second);
        QFETCH(bool, reused);
        const void* address = nullptr;
        {
            at::Tensor a = block(std::size_t(first));
            address = a.data_ptr();
            a.fill_(7);
        }
        const std::size_t kept = tensorcache::cachedBytes();
        QCOMPARE(kept > 0, std::size_t(first) >= kMB);
        at::Tensor b = block(std::size_t(second));
        QCOMPARE(tensorcache::cachedBytes() < kept, reused);
        if (reused)
            QCOMPARE(b.data_ptr(), address);
        // The whole requested size is writable.
        b.fill_(3);
        QCOMPARE(b.sum().item<int64_t>(), 3 * second);
    }

    void keepsNoMoreThanTheLimit()
    {
        {
            std::vector<at::Tensor> many;
            for (int i = 0; i < 5; ++i)
                many.push_back(block(12 * kMB));
        }
        QVERIFY(tensorcache::cachedBytes() <= kLimit);
        QCOMPARE(tensorcache::cachedBytes(), 24 * kMB); // two fit, three were given back
    }

    void releaseEmptiesTheCache()
    {
        {
            block(4 * kMB);
        }
        QVERIFY(tensorcache::cachedBytes() > 0);
        tensorcache::release();
        QCOMPARE(tensorcache::cachedBytes(), std::size_t(0));
        at::Tensor after = block(4 * kMB);
        after.fill_(1);
        QCOMPARE(after.sum().item<int64_t>(), int64_t(4 * kMB));
    }

    // Workers allocate and free blocks of a few shared sizes at once; each fills
    // its block with its own mark and checks it is still there after the others
    // had a chance to run. A block handed out twice shows as a foreign mark.
    void concurrentWorkersNeverShareABlock()
    {
        std::atomic<int> foreign{0};
        std::vector<std::thread> workers;
        for (int w = 1; w <= 4; ++w) {
            workers.emplace_back([w, &foreign] {
                std::mt19937 random(w);
                for (int i = 0; i < 60; ++i) {
                    at::Tensor t = block((1 + random() % 3) * 2 * kMB);
                    t.fill_(w);
                    std::this_thread::yield();
                    if (t.min().item<int>() != w || t.max().item<int>() != w)
                        ++foreign;
                }
            });
        }
        for (auto& worker : workers)
            worker.join();
        QCOMPARE(foreign.load(), 0);
        QVERIFY(tensorcache::cachedBytes() <= kLimit);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestTensorCache)
#include "tst_tensorcache.moc"
