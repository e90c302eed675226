// The service's banded JPEG decoder against cv::imdecode, which it replaces for
// JPEGs: the same pixels to the bit for every band split, colour model and EXIF
// orientation (tagged by Exiv2, as a camera would), and nothing at all for files
// it must leave to OpenCV.

#include "jpegdecoder.h"
#include "photometadata.h"
#include "testutils.h"

#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

class TestJpegDecoder : public QObject
{
    Q_OBJECT

private slots:
    void sameAsOpenCv_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("grey");
        QTest::addColumn<bool>("progressive");
        QTest::addColumn<int>("orientation"); // 0: no EXIF block
        QTest::addColumn<int>("threads");     // the OpenCV pool's, which sets the bands
        QTest::newRow("12 MP, two bands") << QSize(4000, 3000) << false << false << 0 << 2;
        QTest::newRow("odd sides, four bands") << QSize(97, 61) << false << false << 0 << 4;
        QTest::newRow("one block row, one band") << QSize(33, 9) << false << false << 0 << 4;
        QTest::newRow("one thread") << QSize(200, 150) << false << false << 0 << 1;
        QTest::newRow("grey") << QSize(120, 83) << true << false << 0 << 2;
        QTest::newRow("progressive, one band") << QSize(200, 150) << false << true << 0 << 2;
        for (int orientation = 1; orientation <= 8; ++orientation)
            QTest::addRow("orientation %d", orientation)
                << QSize(64, 40) << false << false << orientation << 2;
    }
    void sameAsOpenCv()
    {
        QFETCH(QSize, size);
        QFETCH(bool, grey);
        QFETCH(bool, progressive);
        QFETCH(int, orientation);
        QFETCH(int, threads);
        cv::Mat picture = testutils::texturedBgr(size.width(), size.height());
        if (grey)
            cv::cvtColor(picture, picture, cv::COLOR_BGR2GRAY);
        QTemporaryDir dir;
        const QString path = dir.filePath("photo.jpg");
        QVERIFY(cv::imwrite(path.toStdString(), picture,
                            {cv::IMWRITE_JPEG_QUALITY, 92, cv::IMWRITE_JPEG_PROGRESSIVE, progressive}));
        if (orientation > 0)
            photometadata::tag(path, orientation, false, false);
        const QByteArray file = testutils::readFile(path);
        const std::vector<uchar> bytes(file.begin(), file.end());
        QCOMPARE(jpegdecoder::exifOrientation(bytes.data(), bytes.size()), std::max(1, orientation));

        const int before = cv::getNumThreads();
        cv::setNumThreads(threads);
        const cv::Mat ours = jpegdecoder::decode(bytes.data(), bytes.size());
        cv::setNumThreads(before);
        const cv::Mat theirs = cv::imdecode(bytes, cv::IMREAD_COLOR);
        QCOMPARE(ours.type(), CV_8UC3);
        const bool turned = orientation >= 5;
        QCOMPARE(ours.size(),
                 turned ? cv::Size(size.height(), size.width()) : cv::Size(size.width(), size.height()));
        QCOMPARE(testutils::maxPixelDifference(ours, theirs), 0);
    }

    void leftToOpenCv_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const cv::Mat picture = testutils::texturedBgr(80, 60);
        std::vector<uchar> jpeg, png;
        cv::imencode(".jpg", picture, jpeg);
        cv::imencode(".png", picture, png);
        const QByteArray whole(reinterpret_cast<const char*>(jpeg.data()), int(jpeg.size()));
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("a PNG") << QByteArray(reinterpret_cast<const char*>(png.data()), int(png.size()));
        QTest::newRow("cut short in the scan") << whole.left(whole.size() * 2 / 3);
        QTest::newRow("only the start marker") << whole.left(2);
        QByteArray scrambled = whole;
        for (int i = scrambled.size() / 2; i < scrambled.size() - 2; i += 7)
            scrambled[i] = char(0xFF); // markers where data should be
        QTest::newRow("scan full of markers") << scrambled;
    }
    void leftToOpenCv()
    {
        QFETCH(QByteArray, bytes);
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
        QVERIFY(jpegdecoder::decode(data, std::size_t(bytes.size())).empty());
        QCOMPARE(jpegdecoder::exifOrientation(data, std::size_t(bytes.size())), 1);
    }
};

QTEST_GUILESS_MAIN(TestJpegDecoder)
#include "tst_jpegdecoder.moc"
