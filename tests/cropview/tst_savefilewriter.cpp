// The result file writer: the JPG size limit met at the highest quality that fits,
// and the print density in JPEG and PNG headers. Writing is the atomic writer's,
// tested with the image files.

#include "qsavefilewriter.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QImage>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

constexpr double kMetresPerInch = 0.0254;

// A 12-megapixel photo: the portrait of the test data enlarged, with fine grain so
// it compresses like a camera picture rather than a smooth drawing.
const cv::Mat& twelveMegapixelPhoto()
{
    static const cv::Mat photo = [] {
        cv::Mat portrait = cv::imread(testutils::dataPath("astronaut.png").toStdString(), cv::IMREAD_COLOR);
        cv::Mat large;
        cv::resize(portrait, large, cv::Size(4000, 3000), 0, 0, cv::INTER_CUBIC);
        cv::Mat grain(large.size(), CV_8UC3);
        cv::randu(grain, cv::Scalar::all(0), cv::Scalar::all(12));
        large += grain;
        return large;
    }();
    return photo;
}

int jpegSize(const cv::Mat& image, int quality)
{
    std::vector<uchar> bytes;
    cv::imencode(".jpg", image, bytes, {cv::IMWRITE_JPEG_QUALITY, quality});
    return int(bytes.size());
}

int dotsPerMetre(int dpi)
{
    return int(dpi / kMetresPerInch + 0.5);
}

// The JFIF density fields: units, x and y.
QList<int> jfifDensity(const QByteArray& jpeg)
{
    auto at = [&](int i) { return int(quint8(jpeg.at(i))); };
    return {at(13), at(14) << 8 | at(15), at(16) << 8 | at(17)};
}

} // namespace

class TestSaveFileWriter : public QObject
{
    Q_OBJECT

private slots:
    void limitMetAtHighestQuality_data()
    {
        QTest::addColumn<int>("expected"); // quality; the limit is its size rounded up to kilobytes
        QTest::addColumn<bool>("overLimit");
        QTest::newRow("high") << 94 << false;
        QTest::newRow("everything fits") << 100 << false;
        QTest::newRow("below the lowest quality") << int(QSaveFileWriter::kMinQuality) << true;
    }

    void limitMetAtHighestQuality()
    {
        QFETCH(int, expected);
        QFETCH(bool, overLimit);
        const cv::Mat& photo = twelveMegapixelPhoto();
        const int kilobytes = overLimit ? 1 : (jpegSize(photo, expected) + 1023) / 1024;
        QSaveFileWriter::Options options;
        options.jpg = true;
        options.maxKilobytes = kilobytes;
        QSaveFileWriter::Result result;
        QVERIFY(QSaveFileWriter::encode(photo, options, &result));
        QCOMPARE(result.overLimit, overLimit);
        QCOMPARE(result.quality, expected);
        QVERIFY2(result.encoderRuns <= QSaveFileWriter::kMaxEncoderRuns,
                 qPrintable(QString::number(result.encoderRuns)));
        if (overLimit)
            QCOMPARE(result.bytes.size(), jpegSize(photo, expected));
        else
            QVERIFY(result.bytes.size() <= qint64(kilobytes) * 1024);
        if (!overLimit && result.quality < QSaveFileWriter::kMaxQuality)
            QVERIFY(jpegSize(photo, result.quality + 1) > kilobytes * 1024);
        QCOMPARE(QImage::fromData(result.bytes, "JPG").size(), QSize(4000, 3000));
    }

    void noLimitIsOneRun_data()
    {
        QTest::addColumn<bool>("jpg");
        QTest::addColumn<int>("kilobytes");
        QTest::newRow("jpg") << true << 0;
        QTest::newRow("png ignores the limit") << false << 1;
    }

    void noLimitIsOneRun()
    {
        QFETCH(bool, jpg);
        QFETCH(int, kilobytes);
        QSaveFileWriter::Options options;
        options.jpg = jpg;
        options.maxKilobytes = kilobytes;
        QSaveFileWriter::Result result;
        QVERIFY(QSaveFileWriter::encode(testutils::solidBgra(64, 48, cv::Scalar(10, 20, 30, 0)), options,
                                        &result));
        QCOMPARE(result.encoderRuns, 1);
        QVERIFY(!result.overLimit);
        const QImage decoded = QImage::fromData(result.bytes);
        QCOMPARE(decoded.size(), QSize(64, 48));
        QCOMPARE(decoded.hasAlphaChannel(), !jpg); // PNG keeps the transparency
    }

    void densityInHeader_data()
    {
        QTest::addColumn<bool>("jpg");
        QTest::addColumn<int>("dpi");
        QTest::newRow("jpg 300") << true << 300;
        QTest::newRow("jpg 2034") << true << 2034;
        QTest::newRow("png 72") << false << 72;
    }

    void densityInHeader()
    {
        QFETCH(bool, jpg);
        QFETCH(int, dpi);
        QSaveFileWriter::Options options;
        options.jpg = jpg;
        options.dpi = dpi;
        QSaveFileWriter::Result result;
        QVERIFY(QSaveFileWriter::encode(testutils::texturedBgr(295, 413), options, &result));
        if (jpg)
            QCOMPARE(jfifDensity(result.bytes), (QList<int>{1, dpi, dpi}));
        QImage decoded;
        QVERIFY(decoded.loadFromData(result.bytes));
        QCOMPARE(decoded.size(), QSize(295, 413));
        // Qt's JPEG reader truncates the conversion to dots per metre.
        QVERIFY(qAbs(decoded.dotsPerMeterX() - dotsPerMetre(dpi)) <= 1);
        QCOMPARE(decoded.dotsPerMeterY(), decoded.dotsPerMeterX());
    }

    void densityLeavesOtherBytesAlone_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("dpi");
        std::vector<uchar> png;
        cv::imencode(".png", testutils::texturedBgr(8, 8), png);
        const QByteArray whole(reinterpret_cast<const char*>(png.data()), int(png.size()));
        QTest::newRow("not a picture") << QByteArray("plain text, not a picture") << 300;
        QTest::newRow("png cut short") << whole.left(whole.size() - 5) << 300;
        QTest::newRow("dpi out of range") << whole << 70000;
        QTest::newRow("no dpi") << whole << 0;
    }

    void densityLeavesOtherBytesAlone()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, dpi);
        QCOMPARE(QSaveFileWriter::withDensity(bytes, dpi), bytes);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestSaveFileWriter)
#include "tst_savefilewriter.moc"
