// Conversions between QImage and cv::Mat and the editor's pixel routines.

#include "qimagehelp.h"
#include "testutils.h"

#include <QGuiApplication>

using Bgra = cv::Vec4b;

Q_DECLARE_METATYPE(cv::Mat)
Q_DECLARE_METATYPE(Bgra)

namespace {

const Bgra kKeep(10, 0, 255, 100);
const Bgra kCleared(0, 0, 0, 0);
const Bgra kService(0, 0, 255, 100);

// A matrix whose every byte differs from its neighbours, so swapped channels, lost
// rows or a wrong row step all show.
cv::Mat patterned(int rows, int cols, int type)
{
    cv::Mat m(rows, cols, type);
    const int width = cols * m.channels();
    for (int r = 0; r < rows; ++r) {
        uchar* p = m.ptr<uchar>(r);
        for (int i = 0; i < width; ++i)
            p[i] = uchar((r * 31 + i * 7 + 3) & 0xFF);
    }
    return m;
}

// A view into a larger matrix: its row step is wider than its rows.
cv::Mat roiOf(const cv::Mat& m) { return m(cv::Rect(3, 2, m.cols - 5, m.rows - 4)); }

// Pixels of a and b outside rect are equal.
bool sameOutside(const cv::Mat& a, const cv::Mat& b, const cv::Rect& rect)
{
    for (int r = 0; r < a.rows; ++r)
        for (int c = 0; c < a.cols; ++c)
            if (!rect.contains(cv::Point(c, r)) && a.at<Bgra>(r, c) != b.at<Bgra>(r, c))
                return false;
    return true;
}

} // namespace

class TestImageHelp : public QObject
{
    Q_OBJECT

private slots:
    void matToImage_data();
    void matToImage();
    void roundTrip_data();
    void roundTrip();
    void imageToMat_data();
    void imageToMat();
    void imageToMatKeepsBufferAlive();

    void floodFill_data();
    void floodFill();
    void floodFillUsesFixedRangeAndFourNeighbours();
    void makeRedOverlay_data();
    void makeRedOverlay();
    void mergeAlpha_data();
    void mergeAlpha();
    void dropAlpha();
    void applyMask_data();
    void applyMask();
    void applyMaskSmallerMask();
    void percentImageToMat_data();
    void percentImageToMat();
    void contentRect_data();
    void contentRect();
};

void TestImageHelp::matToImage_data()
{
    QTest::addColumn<cv::Mat>("mat");
    QTest::addColumn<int>("format");

    QTest::newRow("grey") << patterned(7, 9, CV_8UC1) << int(QImage::Format_Indexed8);
    QTest::newRow("colour") << patterned(7, 9, CV_8UC3) << int(QImage::Format_RGB888);
    QTest::newRow("colour, odd width") << patterned(5, 3, CV_8UC3) << int(QImage::Format_RGB888);
    QTest::newRow("alpha") << patterned(7, 9, CV_8UC4) << int(QImage::Format_ARGB32);
    QTest::newRow("grey view") << roiOf(patterned(12, 13, CV_8UC1)) << int(QImage::Format_Indexed8);
    QTest::newRow("colour view") << roiOf(patterned(12, 13, CV_8UC3)) << int(QImage::Format_RGB888);
    QTest::newRow("alpha view") << roiOf(patterned(12, 13, CV_8UC4)) << int(QImage::Format_ARGB32);
    QTest::newRow("16 bit") << cv::Mat(4, 4, CV_16UC1, cv::Scalar(7)) << int(QImage::Format_Invalid);
    QTest::newRow("float") << cv::Mat(4, 4, CV_32FC3, cv::Scalar(1)) << int(QImage::Format_Invalid);
    QTest::newRow("two channels") << cv::Mat(4, 4, CV_8UC2, cv::Scalar(1)) << int(QImage::Format_Invalid);
    QTest::newRow("empty") << cv::Mat() << int(QImage::Format_Invalid);
    QTest::newRow("empty alpha") << cv::Mat(0, 5, CV_8UC4) << int(QImage::Format_Invalid);
}

void TestImageHelp::matToImage()
{
    QFETCH(cv::Mat, mat);
    QFETCH(int, format);

    const QImage image = QImageHelp::matToImage(mat);
    QCOMPARE(int(image.format()), format);
    if (format == QImage::Format_Invalid) {
        QVERIFY(image.isNull());
        return;
    }
    QCOMPARE(image.size(), QSize(mat.cols, mat.rows));
    // Every pixel in its true colour, whatever the layout.
    for (int r = 0; r < mat.rows; ++r) {
        for (int c = 0; c < mat.cols; ++c) {
            const QRgb px = image.pixel(c, r);
            const uchar* m = mat.ptr<uchar>(r) + c * mat.channels();
            if (mat.channels() == 1) {
                QCOMPARE(qRed(px), int(m[0]));
                QCOMPARE(qBlue(px), int(m[0]));
                QCOMPARE(qAlpha(px), 255);
            } else {
                QCOMPARE(qBlue(px), int(m[0]));
                QCOMPARE(qGreen(px), int(m[1]));
                QCOMPARE(qRed(px), int(m[2]));
                QCOMPARE(qAlpha(px), mat.channels() == 4 ? int(m[3]) : 255);
            }
        }
    }
}

void TestImageHelp::roundTrip_data()
{
    QTest::addColumn<cv::Mat>("mat");

    QTest::newRow("grey") << patterned(6, 11, CV_8UC1);
    QTest::newRow("colour") << patterned(6, 11, CV_8UC3);
    QTest::newRow("alpha") << patterned(6, 11, CV_8UC4);
    QTest::newRow("alpha view") << roiOf(patterned(10, 10, CV_8UC4));
    QTest::newRow("alpha zero everywhere") << testutils::solidBgra(8, 8, cv::Scalar(200, 100, 50, 0));
}

void TestImageHelp::roundTrip()
{
    QFETCH(cv::Mat, mat);
    const cv::Mat back = QImageHelp::imageToMat(QImageHelp::matToImage(mat));
    QCOMPARE(back.type(), mat.type());
    QCOMPARE(testutils::maxPixelDifference(back, mat), 0);
}

void TestImageHelp::imageToMat_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("type");

    QTest::newRow("indexed") << int(QImage::Format_Indexed8) << CV_8UC1;
    QTest::newRow("rgb32") << int(QImage::Format_RGB32) << CV_8UC4;
    QTest::newRow("argb32") << int(QImage::Format_ARGB32) << CV_8UC4;
    QTest::newRow("premultiplied") << int(QImage::Format_ARGB32_Premultiplied) << CV_8UC4;
    QTest::newRow("rgb888") << int(QImage::Format_RGB888) << CV_8UC3;
    QTest::newRow("grayscale8") << int(QImage::Format_Grayscale8) << -1;
    QTest::newRow("rgba8888") << int(QImage::Format_RGBA8888) << -1;
    QTest::newRow("rgb16") << int(QImage::Format_RGB16) << -1;
    QTest::newRow("mono") << int(QImage::Format_Mono) << -1;
}

void TestImageHelp::imageToMat()
{
    QFETCH(int, format);
    QFETCH(int, type);

    QImage image(5, 3, QImage::Format(format));
    image.fill(Qt::transparent);
    if (type < 0) {
        QVERIFY(QImageHelp::imageToMat(image).empty());
        return;
    }
    if (format == QImage::Format_Indexed8) {
        image.setColorCount(256);
        image.fill(0);
        image.setPixel(2, 1, 77);
    } else {
        image.setPixel(2, 1, qRgba(255, 20, 30, 255)); // red
    }
    const cv::Mat mat = QImageHelp::imageToMat(image);
    QCOMPARE(mat.type(), type);
    QCOMPARE(mat.cols, 5);
    QCOMPARE(mat.rows, 3);
    const uchar* px = mat.ptr<uchar>(1) + 2 * mat.channels();
    if (type == CV_8UC1) {
        QCOMPARE(int(px[0]), 77); // the index, not the palette colour
    } else {
        QCOMPARE(int(px[0]), 30); // blue first
        QCOMPARE(int(px[1]), 20);
        QCOMPARE(int(px[2]), 255);
    }
    // 32-bit images are shared, not copied.
    if (type == CV_8UC4)
        QCOMPARE(static_cast<const void*>(mat.data), static_cast<const void*>(image.constBits()));
}

void TestImageHelp::imageToMatKeepsBufferAlive()
{
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(qRgba(1, 2, 3, 4));
    cv::Mat mat = QImageHelp::imageToMat(image);
    // The matrix holds a share of the buffer: changing the image must not show in it.
    QVERIFY(!image.isDetached());
    image.fill(qRgba(9, 9, 9, 9));
    QCOMPARE(mat.at<Bgra>(10, 10), Bgra(3, 2, 1, 4));
    cv::Mat copy = mat; // copies of the matrix share the same hold
    mat.release();
    QCOMPARE(copy.at<Bgra>(10, 10), Bgra(3, 2, 1, 4));

    // From a temporary: the buffer must outlive the call, even when the memory
    // allocator would hand the freed block to the next image of the same size.
    cv::Mat fromTemporary;
    {
        QImage temporary(512, 512, QImage::Format_ARGB32);
        temporary.fill(qRgba(40, 50, 60, 70));
        fromTemporary = QImageHelp::imageToMat(std::move(temporary));
    }
    QImage other(512, 512, QImage::Format_ARGB32);
    other.fill(qRgba(255, 255, 255, 255));
    QCOMPARE(fromTemporary.at<Bgra>(500, 500), Bgra(60, 50, 40, 70));

    QImage shared(8, 8, QImage::Format_ARGB32);
    shared.fill(0);
    cv::Mat hold = QImageHelp::imageToMat(shared);
    QVERIFY(!shared.isDetached());
    hold.release();
    QVERIFY(shared.isDetached()); // released with the last matrix
}

void TestImageHelp::floodFill_data()
{
    QTest::addColumn<bool>("erase");
    QTest::addColumn<QPoint>("seed");
    QTest::addColumn<int>("tolerance");
    QTest::addColumn<QRect>("expected"); // area that must change; nothing else may

    // The picture: a 20 x 12 field of (100, 100, 100) with a block of (103, 100, 100)
    // at x 5..9, y 3..7 and a block of (180, 20, 20) at x 12..15, y 2..5.
    QTest::newRow("keep block, exact") << false << QPoint(6, 4) << 0 << QRect(5, 3, 5, 5);
    QTest::newRow("erase block, exact") << true << QPoint(9, 7) << 0 << QRect(5, 3, 5, 5);
    QTest::newRow("keep other block") << false << QPoint(12, 2) << 2 << QRect(12, 2, 4, 4);
    QTest::newRow("tolerance below gap") << false << QPoint(7, 5) << 2 << QRect(5, 3, 5, 5);
    QTest::newRow("seed on block corner") << true << QPoint(15, 5) << 0 << QRect(12, 2, 4, 4);
    QTest::newRow("seed outside right") << false << QPoint(20, 3) << 255 << QRect();
    QTest::newRow("seed outside top") << false << QPoint(4, -1) << 255 << QRect();
}

void TestImageHelp::floodFill()
{
    QFETCH(bool, erase);
    QFETCH(QPoint, seed);
    QFETCH(int, tolerance);
    QFETCH(QRect, expected);

    cv::Mat image(12, 20, CV_8UC3, cv::Scalar(100, 100, 100));
    image(cv::Rect(5, 3, 5, 5)).setTo(cv::Scalar(103, 100, 100));
    image(cv::Rect(12, 2, 4, 4)).setTo(cv::Scalar(180, 20, 20));
    // Overlay with distinct pixels so a wrong copy shows.
    cv::Mat overlay = patterned(12, 20, CV_8UC4);
    const cv::Mat before = overlay.clone();

    const cv::Mat result = QImageHelp::floodFillMask(image, overlay, seed, tolerance, erase);
    QCOMPARE(result.type(), CV_8UC4);
    QCOMPARE(testutils::maxPixelDifference(overlay, before), 0); // input untouched
    const cv::Rect area(expected.x(), expected.y(), expected.width(), expected.height());
    QVERIFY(sameOutside(result, before, area));
    const Bgra painted = erase ? kCleared : kKeep;
    for (int r = area.y; r < area.y + area.height; ++r)
        for (int c = area.x; c < area.x + area.width; ++c)
            QCOMPARE(result.at<Bgra>(r, c), painted);
}

void TestImageHelp::floodFillUsesFixedRangeAndFourNeighbours()
{
    // A ramp rising by 1 per column: each neighbour is within 1 of the next, but
    // only columns within the tolerance of the seed pixel may fill.
    cv::Mat ramp(3, 30, CV_8UC3);
    for (int c = 0; c < 30; ++c)
        ramp.col(c).setTo(cv::Scalar(c * 1, 50, 50));
    const cv::Mat overlay(3, 30, CV_8UC4, cv::Scalar(0, 0, 255, 0));
    const cv::Mat ramped = QImageHelp::floodFillMask(ramp, overlay, QPoint(10, 1), 2, false);
    for (int c = 0; c < 30; ++c)
        QCOMPARE(ramped.at<Bgra>(1, c) == kKeep, c >= 8 && c <= 12);

    // A diagonal chain of equal pixels: only edge-sharing neighbours belong to the area.
    cv::Mat chain(5, 5, CV_8UC3, cv::Scalar(0, 0, 0));
    for (int i = 0; i < 5; ++i)
        chain.at<cv::Vec3b>(i, i) = cv::Vec3b(200, 200, 200);
    const cv::Mat clear(5, 5, CV_8UC4, cv::Scalar(0, 0, 255, 0));
    const cv::Mat diagonal = QImageHelp::floodFillMask(chain, clear, QPoint(0, 0), 0, false);
    QCOMPARE(diagonal.at<Bgra>(0, 0), kKeep);
    QCOMPARE(diagonal.at<Bgra>(1, 1), Bgra(0, 0, 255, 0));
}

void TestImageHelp::makeRedOverlay_data()
{
    QTest::addColumn<int>("alpha");
    QTest::addColumn<int>("expected");

    QTest::newRow("transparent") << 0 << 0;
    QTest::newRow("just under") << 99 << 0;
    QTest::newRow("at threshold") << 100 << 100;
    QTest::newRow("above") << 101 << 100;
    QTest::newRow("opaque") << 255 << 100;
}

void TestImageHelp::makeRedOverlay()
{
    QFETCH(int, alpha);
    QFETCH(int, expected);

    cv::Mat cutout = testutils::solidBgra(7, 5, cv::Scalar(12, 200, 34, 255));
    cutout.at<Bgra>(2, 3) = Bgra(12, 200, 34, uchar(alpha));
    const cv::Mat overlay = QImageHelp::makeRedOverlay(cutout);
    QCOMPARE(overlay.type(), CV_8UC4);
    QCOMPARE(overlay.size(), cutout.size());
    QCOMPARE(overlay.at<Bgra>(2, 3), Bgra(0, 0, 255, uchar(expected)));
    QCOMPARE(overlay.at<Bgra>(0, 0), kService);

    QVERIFY(QImageHelp::makeRedOverlay(cv::Mat(3, 3, CV_8UC3)).empty());
}

void TestImageHelp::mergeAlpha_data()
{
    QTest::addColumn<cv::Mat>("colour");
    QTest::addColumn<cv::Mat>("alpha");
    QTest::addColumn<bool>("valid");

    QTest::newRow("same size") << patterned(6, 9, CV_8UC3) << patterned(6, 9, CV_8UC4) << true;
    QTest::newRow("larger alpha") << patterned(6, 9, CV_8UC3) << patterned(8, 12, CV_8UC4) << true;
    QTest::newRow("views") << roiOf(patterned(10, 12, CV_8UC3)) << roiOf(patterned(10, 12, CV_8UC4))
                           << true;
    QTest::newRow("alpha too narrow") << patterned(6, 9, CV_8UC3) << patterned(6, 8, CV_8UC4) << false;
    QTest::newRow("alpha too short") << patterned(6, 9, CV_8UC3) << patterned(5, 9, CV_8UC4) << false;
    QTest::newRow("colour has alpha") << patterned(6, 9, CV_8UC4) << patterned(6, 9, CV_8UC4) << false;
    QTest::newRow("alpha has none") << patterned(6, 9, CV_8UC3) << patterned(6, 9, CV_8UC3) << false;
}

void TestImageHelp::mergeAlpha()
{
    QFETCH(cv::Mat, colour);
    QFETCH(cv::Mat, alpha);
    QFETCH(bool, valid);

    const cv::Mat merged = QImageHelp::mergeAlpha(colour, alpha);
    QCOMPARE(!merged.empty(), valid);
    if (!valid)
        return;
    QCOMPARE(merged.type(), CV_8UC4);
    QCOMPARE(merged.size(), colour.size());
    for (int r = 0; r < colour.rows; ++r) {
        for (int c = 0; c < colour.cols; ++c) {
            const cv::Vec3b bgr = colour.at<cv::Vec3b>(r, c);
            QCOMPARE(merged.at<Bgra>(r, c), Bgra(bgr[0], bgr[1], bgr[2], alpha.at<Bgra>(r, c)[3]));
        }
    }
}

void TestImageHelp::dropAlpha()
{
    const cv::Mat bgra = roiOf(patterned(9, 10, CV_8UC4));
    const cv::Mat bgr = QImageHelp::dropAlpha(bgra);
    QCOMPARE(bgr.type(), CV_8UC3);
    QCOMPARE(bgr.size(), bgra.size());
    const Bgra in = bgra.at<Bgra>(4, 3);
    QCOMPARE(bgr.at<cv::Vec3b>(4, 3), cv::Vec3b(in[0], in[1], in[2]));
    QVERIFY(QImageHelp::dropAlpha(cv::Mat(3, 3, CV_8UC3)).empty());
}

void TestImageHelp::applyMask_data()
{
    QTest::addColumn<int>("imageType");
    QTest::addColumn<Bgra>("maskPixel");
    QTest::addColumn<Bgra>("expected");

    // base pixel (1, 2, 3, 200); image pixel (50, 60, 70) or (50, 60, 70, 80).
    QTest::newRow("kept, colour image") << CV_8UC3 << kKeep << Bgra(50, 60, 70, 255);
    QTest::newRow("kept, alpha image") << CV_8UC4 << kKeep << Bgra(50, 60, 70, 80);
    QTest::newRow("any blue takes image") << CV_8UC3 << Bgra(1, 0, 0, 0) << Bgra(50, 60, 70, 255);
    QTest::newRow("removed") << CV_8UC3 << kCleared << Bgra(1, 2, 3, 0);
    QTest::newRow("removed, red left") << CV_8UC4 << Bgra(0, 0, 255, 0) << Bgra(1, 2, 3, 0);
    QTest::newRow("service pixel") << CV_8UC3 << kService << Bgra(1, 2, 3, 200);
    QTest::newRow("grey image ignored") << CV_8UC1 << kKeep << Bgra(1, 2, 3, 200);
    QTest::newRow("grey image, removed") << CV_8UC1 << kCleared << Bgra(1, 2, 3, 200);
}

void TestImageHelp::applyMask()
{
    QFETCH(int, imageType);
    QFETCH(Bgra, maskPixel);
    QFETCH(Bgra, expected);

    const cv::Mat image(6, 8, imageType, cv::Scalar(50, 60, 70, 80));
    const cv::Mat base = testutils::solidBgra(8, 6, cv::Scalar(1, 2, 3, 200));
    cv::Mat mask = testutils::solidBgra(8, 6, cv::Scalar(0, 0, 255, 100));
    mask.at<Bgra>(2, 5) = maskPixel;
    const cv::Mat result = QImageHelp::applyMask(image, base, mask);
    QCOMPARE(result.type(), CV_8UC4);
    QCOMPARE(result.at<Bgra>(2, 5), expected);
    QVERIFY(sameOutside(result, base, cv::Rect(5, 2, 1, 1)));
    QCOMPARE(base.at<Bgra>(2, 5), Bgra(1, 2, 3, 200)); // base itself untouched
}

void TestImageHelp::applyMaskSmallerMask()
{
    const cv::Mat image(10, 12, CV_8UC3, cv::Scalar(50, 60, 70));
    const cv::Mat base = patterned(10, 12, CV_8UC4);
    const cv::Mat keepAll = testutils::solidBgra(5, 4, cv::Scalar(10, 0, 255, 100));
    const cv::Mat result = QImageHelp::applyMask(image, base, keepAll);
    QVERIFY(sameOutside(result, base, cv::Rect(0, 0, 5, 4)));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 5; ++c)
            QCOMPARE(result.at<Bgra>(r, c), Bgra(50, 60, 70, 255));

    // An image smaller than the mask limits the area too.
    const cv::Mat small(3, 2, CV_8UC3, cv::Scalar(9, 9, 9));
    const cv::Mat fullMask = testutils::solidBgra(12, 10, cv::Scalar(10, 0, 255, 100));
    const cv::Mat limited = QImageHelp::applyMask(small, base, fullMask);
    QVERIFY(sameOutside(limited, base, cv::Rect(0, 0, 2, 3)));
    QCOMPARE(limited.at<Bgra>(2, 1), Bgra(9, 9, 9, 255));
}

void TestImageHelp::percentImageToMat_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");

    QTest::newRow("0") << 0 << 0;
    QTest::newRow("1") << 1 << 2;
    QTest::newRow("50") << 50 << 127;
    QTest::newRow("99") << 99 << 252;
    QTest::newRow("100") << 100 << 255;
    QTest::newRow("101 wraps") << 101 << 1;
    QTest::newRow("200 wraps") << 200 << 254;
    QTest::newRow("255 wraps") << 255 << 138;
}

void TestImageHelp::percentImageToMat()
{
    QFETCH(int, value);
    QFETCH(int, expected);

    QImage image(5, 4, QImage::Format_ARGB32);
    image.fill(qRgba(0, 0, 0, 0));
    // One pixel in the middle and the last one, which is converted on its own.
    const QPoint pixels[] = {{3, 2}, {4, 3}};
    for (const QPoint& p : pixels)
        image.setPixel(p, qRgba(value, value / 2, 100, 77)); // stored B, G, R, A
    const cv::Mat mat = QImageHelp::percentImageToMat(image);
    QCOMPARE(mat.type(), CV_8UC4);
    QCOMPARE(mat.size(), cv::Size(5, 4));
    for (const QPoint& p : pixels) {
        const Bgra px = mat.at<Bgra>(p.y(), p.x());
        QCOMPARE(int(px[0]), 255);
        QCOMPARE(int(px[1]), ((value / 2) * 255 / 100) & 0xFF);
        QCOMPARE(int(px[2]), expected);
        QCOMPARE(int(px[3]), 77);
    }
    QCOMPARE(mat.at<Bgra>(0, 0), Bgra(0, 0, 0, 0));

    QVERIFY(QImageHelp::percentImageToMat(QImage(4, 4, QImage::Format_RGB888)).empty());
    QVERIFY(QImageHelp::percentImageToMat(QImage()).empty());
}

void TestImageHelp::contentRect_data()
{
    QTest::addColumn<QVector<QPoint>>("subject"); // (col, row) of opaque pixels
    QTest::addColumn<int>("alpha");
    QTest::addColumn<QRect>("expected");

    QTest::newRow("one pixel") << QVector<QPoint>{{4, 3}} << 255 << QRect(4, 3, 0, 0);
    QTest::newRow("at threshold is not subject") << QVector<QPoint>{{4, 3}} << 50 << QRect(0, 0, 10, 10);
    QTest::newRow("just above threshold") << QVector<QPoint>{{4, 3}} << 51 << QRect(4, 3, 0, 0);
    QTest::newRow("two corners") << QVector<QPoint>{{1, 8}, {7, 2}} << 200 << QRect(1, 2, 6, 6);
    QTest::newRow("last row and column") << QVector<QPoint>{{9, 9}, {0, 0}} << 255 << QRect(0, 0, 9, 9);
    QTest::newRow("same row") << QVector<QPoint>{{2, 5}, {6, 5}} << 255 << QRect(2, 5, 4, 0);
    QTest::newRow("nothing") << QVector<QPoint>{} << 255 << QRect(0, 0, 10, 10);
}

void TestImageHelp::contentRect()
{
    QFETCH(QVector<QPoint>, subject);
    QFETCH(int, alpha);
    QFETCH(QRect, expected);

    // Colour bytes at their maximum: only alpha may decide.
    cv::Mat mat = testutils::solidBgra(10, 10, cv::Scalar(255, 255, 255, 50));
    for (const QPoint& p : subject)
        mat.at<Bgra>(p.y(), p.x()) = Bgra(0, 0, 0, uchar(alpha));
    QCOMPARE(QImageHelp::contentRect(mat), expected);
    // The same inside a larger matrix (row step wider than the row).
    cv::Mat outer = testutils::solidBgra(16, 12, cv::Scalar(0, 0, 0, 255));
    mat.copyTo(outer(cv::Rect(3, 1, 10, 10)));
    QCOMPARE(QImageHelp::contentRect(outer(cv::Rect(3, 1, 10, 10))), expected);
}

BRISEL_TEST_GUILESS_MAIN(TestImageHelp)
#include "tst_imagehelp.moc"
