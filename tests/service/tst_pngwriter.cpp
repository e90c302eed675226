// The parallel PNG writer, decoded again by libpng (which checks every CRC and the
// zlib checksum) and compared pixel by pixel.

#include "pngwriter.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>

class TestPngWriter : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("noise"); // else one flat colour, which must compress well
        QTest::newRow("one column, several strips") << QSize(1, 3 * PngWriter::kStripRows + 7) << true;
        QTest::newRow("one row past a strip") << QSize(33, PngWriter::kStripRows + 1) << true;
        QTest::newRow("flat 12 MP") << QSize(4000, 3000) << false;
    }
    void roundTrip()
    {
        QFETCH(QSize, size);
        QFETCH(bool, noise);
        cv::Mat bgra(size.height(), size.width(), CV_8UC4, cv::Scalar(10, 200, 30, 255));
        if (noise)
            cv::randu(bgra, cv::Scalar::all(0), cv::Scalar::all(256));
        const std::vector<uchar> png = PngWriter::encode(bgra);
        QCOMPARE(testutils::maxPixelDifference(cv::imdecode(png, cv::IMREAD_UNCHANGED), bgra), 0);
        if (!noise)
            QVERIFY2(png.size() < 1024 * 1024, qPrintable(QString::number(png.size())));
    }
};

BRISEL_TEST_GUILESS_MAIN(TestPngWriter)
#include "tst_pngwriter.moc"
