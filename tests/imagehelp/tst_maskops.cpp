// The editor's pixel routines: magic brush and mask merge.

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
        QTest::addColumn<cv::Mat>("image");
        QTest::addColumn<bool>("erase");
        QTest::addColumn<QPoint>("seed");
        QTest::addColumn<int>("tolerance");
        QTest::addColumn<QRect>("expected"); // the area that must change; nothing else may
        // A field of (100, 100, 100), a block of (103, 100, 100) at x 5..9, y 3..7 and
        // a block of (180, 20, 20) at x 12..15, y 2..5.
        cv::Mat blocks(12, 20, CV_8UC3, cv::Scalar(100, 100, 100));
        blocks(cv::Rect(5, 3, 5, 5)).setTo(cv::Scalar(103, 100, 100));
        blocks(cv::Rect(12, 2, 4, 4)).setTo(cv::Scalar(180, 20, 20));
        QTest::newRow("keep block, exact") << blocks << false << QPoint(6, 4) << 0 << QRect(5, 3, 5, 5);
        QTest::newRow("erase from block corner")
            << blocks << true << QPoint(15, 5) << 0 << QRect(12, 2, 4, 4);
        QTest::newRow("seed outside top") << blocks << false << QPoint(4, -1) << 255 << QRect();
        // Each column within 1 of the next: only those within the tolerance of the seed fill.
        cv::Mat ramp(3, 30, CV_8UC3);
        for (int c = 0; c < 30; ++c)
            ramp.col(c).setTo(cv::Scalar(c, 50, 50));
        QTest::newRow("ramp, range fixed at the seed")
            << ramp << false << QPoint(10, 1) << 2 << QRect(8, 0, 5, 3);
        // A diagonal chain: only edge-sharing neighbours belong to the area.
        cv::Mat chain(5, 5, CV_8UC3, cv::Scalar(0, 0, 0));
        for (int i = 0; i < 5; ++i)
            chain.at<cv::Vec3b>(i, i) = cv::Vec3b(200, 200, 200);
        QTest::newRow("four neighbours only") << chain << false << QPoint(0, 0) << 0 << QRect(0, 0, 1, 1);
    }
    void floodFill()
    {
        QFETCH(cv::Mat, image);
        QFETCH(bool, erase);
        QFETCH(QPoint, seed);
        QFETCH(int, tolerance);
        QFETCH(QRect, expected);
        const cv::Mat overlay = patterned(image.rows, image.cols, CV_8UC4);
        const cv::Mat before = overlay.clone();
        const cv::Mat result = QMaskOps::floodFillMask(image, overlay, seed, tolerance, erase);
        QCOMPARE(testutils::maxPixelDifference(overlay, before), 0); // input untouched
        const cv::Rect area(expected.x(), expected.y(), expected.width(), expected.height());
        QVERIFY(sameOutside(result, before, area));
        for (int r = area.y; r < area.y + area.height; ++r)
            for (int c = area.x; c < area.x + area.width; ++c)
                QCOMPARE(result.at<Bgra>(r, c), erase ? kCleared : kKeep);
    }

    void applyMask_data()
    {
        QTest::addColumn<int>("imageType");
        QTest::addColumn<Bgra>("maskPixel");
        QTest::addColumn<Bgra>("expected");
        // base pixel (1, 2, 3, 200); image pixel (50, 60, 70) or (50, 60, 70, 80).
        QTest::newRow("kept, colour image") << CV_8UC3 << kKeep << Bgra(50, 60, 70, 255);
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
};

BRISEL_TEST_GUILESS_MAIN(TestMaskOps)
#include "tst_maskops.moc"
