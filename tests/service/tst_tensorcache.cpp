// The cache that hands freed tensor blocks back to libtorch. A block handed to
// two live tensors, or one of the wrong size, would corrupt the network's
// activations without any error, so these cases look at the bytes.

// Torch uses `slots` as a name, which Qt defines as a macro: torch comes first.
#include <ATen/ATen.h>

#include "tensorcache.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QtTest>

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
        QTest::newRow("a little smaller, same granule") << qint64(8 * kMB) << qint64(8 * kMB - 1000) << true;
        QTest::newRow("one byte larger") << qint64(8 * kMB) << qint64(8 * kMB + 1) << false;
        QTest::newRow("a quarter") << qint64(8 * kMB) << qint64(2 * kMB) << true;
        QTest::newRow("less than a quarter") << qint64(8 * kMB) << qint64(2 * kMB - 64 * 1024) << false;
    }
    void reuse()
    {
        QFETCH(qint64, first);
        QFETCH(qint64, second);
        QFETCH(bool, reused);
        const void* address = block(std::size_t(first)).fill_(7).data_ptr();
        const std::size_t kept = tensorcache::cachedBytes();
        QCOMPARE(kept > 0, std::size_t(first) >= kMB);
        at::Tensor b = block(std::size_t(second));
        QCOMPARE(tensorcache::cachedBytes() < kept, reused);
        if (reused)
            QCOMPARE(b.data_ptr(), address);
        b.fill_(3); // the whole requested size is writable
        QCOMPARE(b.sum().item<int64_t>(), 3 * second);
    }

    void smallestFittingBlockFirst()
    {
        const void* small = nullptr;
        {
            at::Tensor big = block(8 * kMB), fitting = block(3 * kMB);
            small = fitting.data_ptr();
        }
        const at::Tensor taken = block(2 * kMB);
        QCOMPARE(taken.data_ptr(), small);
        QCOMPARE(tensorcache::cachedBytes(), 8 * kMB); // and the rest of the cache is counted right
    }

    void keepsNoMoreThanTheLimit()
    {
        {
            std::vector<at::Tensor> many;
            for (int i = 0; i < 5; ++i)
                many.push_back(block(12 * kMB));
        }
        QCOMPARE(tensorcache::cachedBytes(), 24 * kMB); // two fit, three were given back
    }
};

BRISEL_TEST_GUILESS_MAIN(TestTensorCache)
#include "tst_tensorcache.moc"
