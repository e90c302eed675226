#include "qmaskstroke.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QRandomGenerator>

namespace {
constexpr QRgb kService = 0x64FF0000u; // (B 0, G 0, R 255, A 100) as ARGB32

QImage serviceMask(QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(kService);
    return image;
}
} // namespace

class TestMaskStroke : public QObject
{
    Q_OBJECT

private slots:
    // A disc of 40 on a 400 x 400 service mask shown at half size, carried over: the
    // pixel `offset` right of the centre. A soft rim keeps but does not remove.
    void discCarriedOver_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<int>("hardness");
        QTest::addColumn<int>("offset");
        QTest::addColumn<char>("expected");
        QTest::newRow("hard remove, rim") << false << 50 << 36 << 'R';
        QTest::newRow("soft remove, centre") << false << 0 << 0 << 'R';
        QTest::newRow("soft remove, rim") << false << 0 << 36 << 'S';
        QTest::newRow("soft keep, rim") << true << 0 << 36 << 'K';
        QTest::newRow("beyond the disc") << true << 50 << 46 << 'S';
    }

    void discCarriedOver()
    {
        QFETCH(bool, keep);
        QFETCH(int, hardness);
        QFETCH(int, offset);
        QFETCH(char, expected);
        const QImage start = serviceMask({400, 400});
        QImage full = start.copy();
        QImage display = QMaskStroke::scaledMask(full, {200, 200});
        const QRect dirty = QMaskStroke::paintDisc(display, QPointF(100, 100), 40, keep, hardness);
        QVERIFY(dirty.contains(QRect(80, 80, 40, 40)));
        QMaskStroke::applyDisplayMask(full, start, display, dirty);
        const QRgb p = full.pixel(200 + offset, 200);
        QCOMPARE(qAlpha(p) == 0                ? 'R'
                 : p == QMaskStroke::kTagPixel ? 'K'
                 : p == kService               ? 'S'
                                               : '?',
                 expected);
    }

    void regionCarryMatchesWholeCarry()
    {
        const QSize fullSize(997, 661), displaySize(331, 219);
        QImage start = serviceMask(fullSize);
        for (int y = 0; y < fullSize.height(); y += 3)
            for (int x = 0; x < 200; ++x)
                start.setPixel(x, y, 0);
        QImage byRegion = start.copy();
        QImage whole = start.copy();
        QImage display = QMaskStroke::scaledMask(start, displaySize);
        QRandomGenerator rng(3);
        for (int i = 0; i < 12; ++i) {
            const QPointF a(rng.bounded(displaySize.width()), rng.bounded(displaySize.height()));
            const QPointF b = a + QPointF(rng.bounded(60) - 30, rng.bounded(60) - 30);
            const QRect dirty =
                QMaskStroke::paintLine(display, a, b, 4 + rng.bounded(30), i % 3 != 0, rng.bounded(51));
            QMaskStroke::applyDisplayMask(byRegion, start, display, dirty);
            QMaskStroke::applyDisplayMask(whole, start, display, display.rect());
            QCOMPARE(byRegion, whole);
        }
    }
};

BRISEL_TEST_GUILESS_MAIN(TestMaskStroke)
#include "tst_maskstroke.moc"
