// The editor's pixel routines: magic brush, overlays, alpha merge, masks, content box.

#include "qmaskops.h"
#include "testutils.h"

#include <QGuiApplication>

using Bgra = cv::Vec4b;

Q_DECLARE_METATYPE(cv::Mat)
Q_DECLARE_METATYPE(Bgra)

namespace {

const Bgra kKeep(10, 0, 255, 100);
const Bgra kCleared(0, 0, 0, 0);
const Bgra kService(0, 0, 255, 100);

// Every byte differs from its neighbours, so swapped channels, lost rows or a
// wrong row step all show.
cv::Mat patterned(int rows, int cols, int type)
{
    cv::Mat m(rows, cols, type);
    for (int r = 0; r < rows; ++r)
        for (int i = 0; i < cols * m.channels(); ++i)
            m.ptr<uchar>(r)[i] = uchar((r * 31 + i * 7 + 3) & 0xFF);
    return m;
}

// A view into a larger matrix: its row step is wider than its rows.
cv::Mat roiOf(const cv::Mat& m)
{
    return m(cv::Rect(3, 2, m.cols - 5, m.rows - 4));
}

bool sameOutside(const cv::Mat& a, const cv::Mat& b, const cv::Rect& rect)
{
    for (int r = 0; r < a.rows; ++r)
        for (int c = 0; c < a.cols; ++c)
            if (!rect.contains(cv::Point(c, r)) && a.at<Bgra>(r, c) != b.at<Bgra>(r, c))
                return false;
    return true;
}

} // namespace

class TestMaskOps : public QObject
{
    Q_OBJECT

private slots:
    void floodFill_data()
    {
        QTest::addColumn<bool>("erase");
        QTest::addColumn<QPoint>("seed");
        QTest::addColumn<int>("tolerance");
        QTest::addColumn<QRect>("expected"); // the area that must change; nothing else may
        // A 20 x 12 field of (100, 100, 100), a block of (103, 100, 100) at x 5..9,
        // y 3..7 and a block of (180, 20, 20) at x 12..15, y 2..5.
        QTest::newRow("keep block, exact") << false << QPoint(6, 4) << 0 << QRect(5, 3, 5, 5);
        QTest::newRow("tolerance below gap") << false << QPoint(7, 5) << 2 << QRect(5, 3, 5, 5);
        QTest::newRow("erase from block corner") << true << QPoint(15, 5) << 0 << QRect(12, 2, 4, 4);
        QTest::newRow("seed outside top") << false << QPoint(4, -1) << 255 << QRect();
    }

    void floodFill()
    {
        QFETCH(bool, erase);
        QFETCH(QPoint, seed);
        QFETCH(int, tolerance);
        QFETCH(QRect, expected);
        cv::Mat image(12, 20, CV_8UC3, cv::Scalar(100, 100, 100));
        image(cv::Rect(5, 3, 5, 5)).setTo(cv::Scalar(103, 100, 100));
        image(cv::Rect(12, 2, 4, 4)).setTo(cv::Scalar(180, 20, 20));
        const cv::Mat overlay = patterned(12, 20, CV_8UC4);
        const cv::Mat before = overlay.clone();

        const cv::Mat result = QMaskOps::floodFillMask(image, overlay, seed, tolerance, erase);
        QCOMPARE(testutils::maxPixelDifference(overlay, before), 0); // input untouched
        const cv::Rect area(expected.x(), expected.y(), expected.width(), expected.height());
        QVERIFY(sameOutside(result, before, area));
        for (int r = area.y; r < area.y + area.height; ++r)
            for (int c = area.x; c < area.x + area.width; ++c)
                QCOMPARE(result.at<Bgra>(r, c), erase ? kCleared : kKeep);
    }

    void floodFillUsesFixedRangeAndFourNeighbours()
    {
        // Each column of the ramp is within 1 of the next, but only columns within
        // the tolerance of the seed pixel may fill.
        cv::Mat ramp(3, 30, CV_8UC3);
        for (int c = 0; c < 30; ++c)
            ramp.col(c).setTo(cv::Scalar(c, 50, 50));
        const cv::Mat clear(3, 30, CV_8UC4, cv::Scalar(0, 0, 255, 0));
        const cv::Mat ramped = QMaskOps::floodFillMask(ramp, clear, QPoint(10, 1), 2, false);
        for (int c = 0; c < 30; ++c)
            QCOMPARE(ramped.at<Bgra>(1, c) == kKeep, c >= 8 && c <= 12);
        // A diagonal chain: only edge-sharing neighbours belong to the area.
        cv::Mat chain(5, 5, CV_8UC3, cv::Scalar(0, 0, 0));
        for (int i = 0; i < 5; ++i)
            chain.at<cv::Vec3b>(i, i) = cv::Vec3b(200, 200, 200);
        const cv::Mat diagonal = QMaskOps::floodFillMask(
            chain, cv::Mat(5, 5, CV_8UC4, cv::Scalar(0, 0, 255, 0)), QPoint(0, 0), 0, false);
        QCOMPARE(diagonal.at<Bgra>(0, 0), kKeep);
        QCOMPARE(diagonal.at<Bgra>(1, 1), Bgra(0, 0, 255, 0));
    }

    void makeRedOverlay_data()
    {
        QTest::addColumn<int>("alpha");
        QTest::addColumn<int>("expected");
        QTest::newRow("just under") << 99 << 0;
        QTest::newRow("at threshold") << 100 << 100;
    }

    void makeRedOverlay()
    {
        QFETCH(int, alpha);
        QFETCH(int, expected);
        cv::Mat cutout = testutils::solidBgra(7, 5, cv::Scalar(12, 200, 34, 255));
        cutout.at<Bgra>(2, 3) = Bgra(12, 200, 34, uchar(alpha));
        const cv::Mat overlay = QMaskOps::makeRedOverlay(cutout);
        QCOMPARE(overlay.at<Bgra>(2, 3), Bgra(0, 0, 255, uchar(expected)));
        QCOMPARE(overlay.at<Bgra>(0, 0), kService);
        QVERIFY(QMaskOps::makeRedOverlay(cv::Mat(3, 3, CV_8UC3)).empty());
    }

    void mergeAlpha_data()
    {
        QTest::addColumn<cv::Mat>("colour");
        QTest::addColumn<cv::Mat>("alpha");
        QTest::addColumn<bool>("valid");
        const cv::Mat colour = patterned(6, 9, CV_8UC3);
        QTest::newRow("larger alpha") << colour << patterned(8, 12, CV_8UC4) << true;
        QTest::newRow("views") << roiOf(patterned(10, 12, CV_8UC3)) << roiOf(patterned(10, 12, CV_8UC4))
                               << true;
        QTest::newRow("alpha too short") << colour << patterned(5, 9, CV_8UC4) << false;
        QTest::newRow("colour has alpha") << patterned(6, 9, CV_8UC4) << patterned(6, 9, CV_8UC4) << false;
    }

    void mergeAlpha()
    {
        QFETCH(cv::Mat, colour);
        QFETCH(cv::Mat, alpha);
        QFETCH(bool, valid);
        const cv::Mat merged = QMaskOps::mergeAlpha(colour, alpha);
        QCOMPARE(!merged.empty(), valid);
        if (!valid)
            return;
        QCOMPARE(merged.size(), colour.size());
        for (int r = 0; r < colour.rows; ++r) {
            for (int c = 0; c < colour.cols; ++c) {
                const cv::Vec3b bgr = colour.at<cv::Vec3b>(r, c);
                QCOMPARE(merged.at<Bgra>(r, c), Bgra(bgr[0], bgr[1], bgr[2], alpha.at<Bgra>(r, c)[3]));
            }
        }
        // And the way back drops exactly that alpha.
        QCOMPARE(testutils::maxPixelDifference(QMaskOps::dropAlpha(merged), colour), 0);
        QVERIFY(QMaskOps::dropAlpha(colour).empty());
    }

    void applyMask_data()
    {
        QTest::addColumn<int>("imageType");
        QTest::addColumn<Bgra>("maskPixel");
        QTest::addColumn<Bgra>("expected");
        // base pixel (1, 2, 3, 200); image pixel (50, 60, 70) or (50, 60, 70, 80).
        QTest::newRow("kept, colour image") << CV_8UC3 << kKeep << Bgra(50, 60, 70, 255);
        QTest::newRow("kept, alpha image") << CV_8UC4 << kKeep << Bgra(50, 60, 70, 80);
        QTest::newRow("any blue takes image") << CV_8UC3 << Bgra(1, 0, 0, 0) << Bgra(50, 60, 70, 255);
        QTest::newRow("removed") << CV_8UC3 << kCleared << Bgra(1, 2, 3, 0);
        QTest::newRow("service pixel") << CV_8UC3 << kService << Bgra(1, 2, 3, 200);
        QTest::newRow("grey image ignored") << CV_8UC1 << kCleared << Bgra(1, 2, 3, 200);
    }

    void applyMask()
    {
        QFETCH(int, imageType);
        QFETCH(Bgra, maskPixel);
        QFETCH(Bgra, expected);
        const cv::Mat image(6, 8, imageType, cv::Scalar(50, 60, 70, 80));
        const cv::Mat base = testutils::solidBgra(8, 6, cv::Scalar(1, 2, 3, 200));
        cv::Mat mask = testutils::solidBgra(8, 6, cv::Scalar(0, 0, 255, 100));
        mask.at<Bgra>(2, 5) = maskPixel;
        const cv::Mat result = QMaskOps::applyMask(image, base, mask);
        QCOMPARE(result.at<Bgra>(2, 5), expected);
        QVERIFY(sameOutside(result, base, cv::Rect(5, 2, 1, 1)));
        QCOMPARE(base.at<Bgra>(2, 5), Bgra(1, 2, 3, 200)); // base itself untouched
    }

    // The smaller of mask and image limits the area; the base shows elsewhere.
    void applyMaskSmallerInput_data()
    {
        QTest::addColumn<QSize>("image");
        QTest::addColumn<QSize>("mask");
        QTest::newRow("smaller mask") << QSize(12, 10) << QSize(5, 4);
        QTest::newRow("smaller image") << QSize(2, 3) << QSize(12, 10);
    }

    void applyMaskSmallerInput()
    {
        QFETCH(QSize, image);
        QFETCH(QSize, mask);
        const cv::Mat base = patterned(10, 12, CV_8UC4);
        const cv::Mat result = QMaskOps::applyMask(
            cv::Mat(image.height(), image.width(), CV_8UC3, cv::Scalar(50, 60, 70)), base,
            testutils::solidBgra(mask.width(), mask.height(), cv::Scalar(10, 0, 255, 100)));
        const QSize area = image.boundedTo(mask);
        QVERIFY(sameOutside(result, base, cv::Rect(0, 0, area.width(), area.height())));
        QCOMPARE(result.at<Bgra>(area.height() - 1, area.width() - 1), Bgra(50, 60, 70, 255));
    }

    void contentRect_data()
    {
        QTest::addColumn<QVector<QPoint>>("subject"); // (col, row) of opaque pixels
        QTest::addColumn<int>("alpha");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("one pixel") << QVector<QPoint>{{4, 3}} << 51 << QRect(4, 3, 0, 0);
        QTest::newRow("at threshold is not subject") << QVector<QPoint>{{4, 3}} << 50 << QRect(0, 0, 10, 10);
        QTest::newRow("last row and column") << QVector<QPoint>{{9, 9}, {0, 0}} << 255 << QRect(0, 0, 9, 9);
        QTest::newRow("nothing") << QVector<QPoint>{} << 255 << QRect(0, 0, 10, 10);
    }

    void contentRect()
    {
        QFETCH(QVector<QPoint>, subject);
        QFETCH(int, alpha);
        QFETCH(QRect, expected);
        // Colour bytes at their maximum: only alpha may decide. Inside a larger
        // matrix, so the row step is wider than the row.
        cv::Mat outer = testutils::solidBgra(16, 12, cv::Scalar(0, 0, 0, 255));
        cv::Mat mat = outer(cv::Rect(3, 1, 10, 10));
        mat.setTo(cv::Scalar(255, 255, 255, 50));
        for (const QPoint& p : subject)
            mat.at<Bgra>(p.y(), p.x()) = Bgra(0, 0, 0, uchar(alpha));
        QCOMPARE(QMaskOps::contentRect(mat), expected);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestMaskOps)
#include "tst_maskops.moc"
