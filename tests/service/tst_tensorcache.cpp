// The arena that serves a network's activations from the recording of its first
// pass. Bytes handed to two live tensors would corrupt the network's activations
// without any error, so these cases check the layout against an independent
// overlap test and look at the bytes of tensors kept across passes.

// Torch uses `slots` as a name, which Qt defines as a macro: torch comes first.
#include <ATen/ATen.h>

#include "tensorcache.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QtTest>

#include <algorithm>

using tensorcache::Block;

Q_DECLARE_METATYPE(std::vector<Block>)

namespace {
constexpr std::size_t kMB = 1 << 20;

at::Tensor filled(std::size_t bytes, int value)
{
    return at::full({int64_t(bytes)}, value, at::kByte);
}

// Without allocating: a check inside a pass must not change its sequence.
bool intact(const at::Tensor& t, int value)
{
    const auto* p = t.data_ptr<uint8_t>();
    return std::all_of(p, p + t.numel(), [&](uint8_t v) { return v == value; });
}
} // namespace

class TestTensorCache : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { tensorcache::install(); }
    void init() { tensorcache::release(); }

    void layout_data()
    {
        QTest::addColumn<std::vector<Block>>("blocks");
        QTest::addColumn<qint64>("total");
        QTest::newRow("one after another share") << std::vector<Block>{{8, 0, 1}, {8, 2, 3}} << qint64(8);
        QTest::newRow("alive together stack") << std::vector<Block>{{8, 0, 3}, {8, 1, 2}} << qint64(16);
        QTest::newRow("touching lifetimes share") << std::vector<Block>{{4, 0, 2}, {4, 2, 4}} << qint64(4);
        QTest::newRow("a later block takes a freed one's place")
            << std::vector<Block>{{8, 0, 4}, {8, 1, 10}, {4, 5, 9}} << qint64(16);
        QTest::newRow("lifetimes of two others")
            << std::vector<Block>{{8, 0, 10}, {4, 1, 3}, {4, 4, 6}, {2, 2, 5}} << qint64(14);
        QTest::newRow("nothing") << std::vector<Block>{} << qint64(0);
    }
    void layout()
    {
        QFETCH(std::vector<Block>, blocks);
        QFETCH(qint64, total);
        std::size_t size = 0;
        const std::vector<std::size_t> at = tensorcache::layout(blocks, size);
        QCOMPARE(qint64(size), total);
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            QVERIFY(at[i] + blocks[i].size <= size);
            for (std::size_t j = 0; j < i; ++j) {
                const bool together = blocks[i].born < blocks[j].dies && blocks[j].born < blocks[i].dies;
                const bool shared = at[i] < at[j] + blocks[j].size && at[j] < at[i] + blocks[i].size;
                QVERIFY2(!(together && shared), qPrintable(QString("blocks %1 and %2").arg(i).arg(j)));
            }
        }
    }

    // A pass as a network makes one: a block, a second while the first lives, the
    // first freed, a third in its place. `keep` holds the second past the pass.
    void passes()
    {
        tensorcache::Plan plan;
        std::vector<const void*> first, second;
        auto run = [&](std::vector<const void*>& where, at::Tensor* keep) {
            const tensorcache::Pass pass(plan);
            at::Tensor a = filled(8 * kMB, 1), b = filled(4 * kMB, 2);
            where = {a.data_ptr(), b.data_ptr()};
            a.reset();
            const at::Tensor c = filled(8 * kMB, 3);
            where.push_back(c.data_ptr());
            QVERIFY(intact(b, 2) && intact(c, 3));
            if (keep)
                *keep = b;
        };
        run(first, nullptr);
        QCOMPARE(plan.arenaSize(), 12 * kMB);
        QCOMPARE(tensorcache::arenaBytes(), std::size_t(0)); // laid out, not yet needed

        at::Tensor kept;
        run(second, &kept);
        QCOMPARE(tensorcache::arenaBytes(), 12 * kMB);
        QCOMPARE(second[0], second[2]); // a and c share bytes, as they never live together
        // The kept block's bytes are still in use: the next pass must not hand them out.
        std::vector<const void*> third;
        run(third, nullptr);
        QVERIFY(third[1] != second[1]);
        QVERIFY(intact(kept, 2));

        tensorcache::release(); // refused while `kept` lives in the arena
        QCOMPARE(tensorcache::arenaBytes(), 12 * kMB);
        kept.reset();
        tensorcache::release();
        QCOMPARE(tensorcache::arenaBytes(), std::size_t(0));
    }

    // A block the first pass makes and the network keeps (weights it packs on
    // first use) is no part of the plan: the next passes still match it.
    void blockKeptByTheNetwork()
    {
        tensorcache::Plan plan;
        at::Tensor packed;
        auto run = [&] {
            const tensorcache::Pass pass(plan);
            if (!packed.defined())
                packed = filled(2 * kMB, 7);
            at::Tensor a = filled(8 * kMB, 1);
            a.reset();
            const at::Tensor c = filled(4 * kMB, 3);
        };
        run();
        QCOMPARE(plan.arenaSize(), 8 * kMB);
        run();
        run();
        QCOMPARE(plan.arenaSize(), 8 * kMB); // not recorded again
        QCOMPARE(tensorcache::arenaBytes(), 8 * kMB);
        QVERIFY(intact(packed, 7));
    }

    // Passes that ask for other sizes than the recorded one, or throw, are served
    // by the system and leave a plan that fits the next pass.
    void differentPasses_data()
    {
        QTest::addColumn<bool>("throws");
        QTest::newRow("another size") << false;
        QTest::newRow("an exception mid-pass") << true;
    }
    void differentPasses()
    {
        QFETCH(bool, throws);
        tensorcache::Plan plan;
        auto run = [&](std::size_t bytes, bool fail) {
            const tensorcache::Pass pass(plan);
            const at::Tensor a = filled(bytes, 5), b = filled(bytes, 6);
            QVERIFY(intact(a, 5) && intact(b, 6));
            if (fail)
                throw std::runtime_error("network failed");
        };
        try {
            run(2 * kMB, throws);
        } catch (const std::runtime_error&) {
        }
        QCOMPARE(plan.arenaSize(), throws ? std::size_t(0) : 4 * kMB);
        run(3 * kMB, false);
        run(3 * kMB, false);
        QCOMPARE(plan.arenaSize(), 6 * kMB);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestTensorCache)
#include "tst_tensorcache.moc"
