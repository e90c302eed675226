// The parallel PNG writer against libpng's decoder, which checks every chunk's
// CRC and the zlib stream's checksum.

#include "pngwriter.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

class TestPngWriter : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("noise");
        QTest::newRow("one pixel") << QSize(1, 1) << true;
        QTest::newRow("one column, several strips") << QSize(1, 3 * PngWriter::kStripRows + 7) << true;
        QTest::newRow("exactly one strip") << QSize(33, PngWriter::kStripRows) << true;
        QTest::newRow("one row past a strip") << QSize(33, PngWriter::kStripRows + 1) << true;
        QTest::newRow("wide") << QSize(5000, 3) << true;
        QTest::newRow("smooth photo-like") << QSize(640, 600) << false;
    }
    void roundTrip()
    {
        QFETCH(QSize, size);
        QFETCH(bool, noise);
        cv::Mat bgra(size.height(), size.width(), CV_8UC4);
        if (noise) {
            cv::randu(bgra, cv::Scalar::all(0), cv::Scalar::all(256));
        } else {
            cv::Mat bgr = testutils::texturedBgr(size.width(), size.height(), 5);
            cv::cvtColor(bgr, bgra, cv::COLOR_BGR2BGRA);
            bgra(cv::Rect(0, 0, size.width() / 3, size.height()))
                .forEach<cv::Vec4b>([](cv::Vec4b& p, const int*) { p[3] = 0; });
        }
        const std::vector<uchar> png = PngWriter::encode(bgra);
        const cv::Mat back = cv::imdecode(png, cv::IMREAD_UNCHANGED);
        QCOMPARE(back.type(), CV_8UC4);
        QCOMPARE(testutils::maxPixelDifference(back, bgra), 0);
    }

    void flatImageCompresses()
    {
        // 12 MP of one colour must not come out anywhere near its raw 48 MB.
        const cv::Mat flat(3000, 4000, CV_8UC4, cv::Scalar(10, 200, 30, 255));
        const std::vector<uchar> png = PngWriter::encode(flat);
        QVERIFY2(png.size() < 1024 * 1024, qPrintable(QString::number(png.size())));
        QCOMPARE(testutils::maxPixelDifference(cv::imdecode(png, cv::IMREAD_UNCHANGED), flat), 0);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestPngWriter)
#include "tst_pngwriter.moc"
