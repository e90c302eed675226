#include "qimageconvert.h"
#include "qmaskops.h"
#include "qmaskstroke.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QRandomGenerator>

namespace {

constexpr QRgb kService = 0x64FF0000u; // (B 0, G 0, R 255, A 100) as ARGB32

QImage fullMask(QSize size, QRgb pixel)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(pixel);
    return image;
}

QImage transparentDisplay(QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

bool painted(const QImage& display, int x, int y)
{
    return qAlpha(display.pixel(x, y)) > 0;
}

} // namespace

class TestMaskStroke : public QObject
{
    Q_OBJECT

private slots:
    void clickPaintsADisc_data()
    {
        QTest::addColumn<int>("diameter");
        QTest::addColumn<bool>("keep");
        QTest::newRow("keep 20") << 20 << true;
        QTest::newRow("remove 30") << 30 << false;
    }

    void clickPaintsADisc()
    {
        QFETCH(int, diameter);
        QFETCH(bool, keep);
        QImage display = transparentDisplay({200, 200});
        if (!keep)
            display.fill(QColor(255, 0, 0, 100));
        const QRect dirty = QMaskStroke::paintDisc(display, QPointF(100, 100), diameter, keep, 50);
        const int r = diameter / 2;
        QCOMPARE(painted(display, 100, 100), keep);
        QCOMPARE(painted(display, 100 + r - 2, 100), keep);
        // Round, not square: the corner of the bounding square is untouched.
        const QImage argb = display.convertToFormat(QImage::Format_ARGB32);
        const QRgb before = keep ? 0u : QColor(255, 0, 0, 100).rgba();
        QCOMPARE(argb.pixel(100 + int(r * 0.8), 100 + int(r * 0.8)), before);
        QCOMPARE(argb.pixel(100 + r + 3, 100), before);
        QVERIFY(dirty.contains(QRect(100 - r, 100 - r, diameter, diameter)));
    }

    void keepOverServicePixelsShowsThePhoto()
    {
        const QSize size(300, 200);
        const cv::Mat photo = testutils::texturedBgr(size.width(), size.height());
        // The service kept a half-transparent subject on the left half only.
        cv::Mat cutout(size.height(), size.width(), CV_8UC4, cv::Scalar(0, 0, 0, 0));
        cutout(cv::Rect(0, 0, 150, 200)).setTo(cv::Scalar(9, 9, 9, 180));
        const cv::Mat overlay = QMaskOps::makeRedOverlay(cutout);
        const QImage start =
            QImage(overlay.data, overlay.cols, overlay.rows, int(overlay.step), QImage::Format_ARGB32).copy();
        QImage full = start.copy();
        QImage display = QMaskStroke::scaledMask(full, size / 2);
        const QRect dirty = QMaskStroke::paintLine(display, QPointF(40, 50), QPointF(110, 50), 16, true, 50);
        QMaskStroke::applyDisplayMask(full, start, display, dirty);

        const cv::Mat merged = QMaskOps::applyMask(photo, cutout, QImageConvert::imageToMat(full));
        // Along the stroke, over service pixels (x < 150) and over removed ones alike,
        // the merge shows the photo's own colour at full opacity.
        for (int x : {90, 140, 160, 210}) {
            const cv::Vec4b got = merged.at<cv::Vec4b>(100, x);
            const cv::Vec3b want = photo.at<cv::Vec3b>(100, x);
            QCOMPARE(full.pixel(x, 100), QMaskStroke::kTagPixel);
            QCOMPARE(int(got[3]), 255);
            QCOMPARE(cv::Vec3b(got[0], got[1], got[2]), want);
        }
        // Outside the stroke the service's cut-out is untouched.
        QCOMPARE(merged.at<cv::Vec4b>(180, 20), cv::Vec4b(9, 9, 9, 180));
        QCOMPARE(int(merged.at<cv::Vec4b>(180, 250)[3]), 0);
    }

    void regionCarryMatchesWholeCarry()
    {
        // Odd sizes so that display pixels do not map to whole full-size pixels.
        const QSize fullSize(997, 661), displaySize(331, 219);
        QImage start = fullMask(fullSize, kService);
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

    void softBrushRemovesLessThanHard()
    {
        const QImage start = fullMask({400, 400}, kService);
        auto removeDisc = [&](int hardness) {
            QImage full = start.copy();
            QImage display = QMaskStroke::scaledMask(full, {200, 200});
            const QRect dirty = QMaskStroke::paintDisc(display, QPointF(100, 100), 40, false, hardness);
            QMaskStroke::applyDisplayMask(full, start, display, dirty);
            return full;
        };
        const QImage hard = removeDisc(50);
        const QImage soft = removeDisc(0);
        // The centre goes either way; the rim (90 % of the radius) only with a hard brush.
        QCOMPARE(qAlpha(hard.pixel(200, 200)), 0);
        QCOMPARE(qAlpha(soft.pixel(200, 200)), 0);
        QCOMPARE(qAlpha(hard.pixel(200 + 36, 200)), 0);
        QCOMPARE(soft.pixel(200 + 36, 200), kService);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestMaskStroke)
#include "tst_maskstroke.moc"
