// The result file writer: the JPG size limit met at the highest quality that fits,
// the print density in JPEG and PNG headers, and failed writes that leave nothing.

#include "qsavefilewriter.h"
#include "testutils.h"

#include <QDir>
#include <QFile>
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

QByteArray withoutJfif(const QByteArray& jpeg)
{
    const int length = int(quint8(jpeg.at(4))) << 8 | int(quint8(jpeg.at(5)));
    return jpeg.left(2) + jpeg.mid(4 + length);
}

} // namespace

class TestSaveFileWriter : public QObject
{
    Q_OBJECT

private slots:
    void limitMetAtHighestQuality_data();
    void limitMetAtHighestQuality();
    void limitBelowLowestQuality();
    void noLimitIsOneRun_data();
    void noLimitIsOneRun();
    void densityInHeader_data();
    void densityInHeader();
    void densityAddedWhereEncoderWroteNone();
    void densityLeavesOtherBytesAlone_data();
    void densityLeavesOtherBytesAlone();
    void failedWriteLeavesNothing_data();
    void failedWriteLeavesNothing();
    void limitSettingIgnoresNegative();
};

void TestSaveFileWriter::limitMetAtHighestQuality_data()
{
    QTest::addColumn<int>("expected");
    // The limit is the size at the expected quality, rounded up to whole kilobytes.
    QTest::newRow("low") << 12;
    QTest::newRow("middle") << 63;
    QTest::newRow("high") << 94;
    QTest::newRow("everything fits") << 100;
}

void TestSaveFileWriter::limitMetAtHighestQuality()
{
    QFETCH(int, expected);
    const cv::Mat& photo = twelveMegapixelPhoto();
    const int kilobytes = (jpegSize(photo, expected) + 1023) / 1024;

    QSaveFileWriter::Options options;
    options.jpg = true;
    options.maxKilobytes = kilobytes;
    QSaveFileWriter::Result result;
    QVERIFY(QSaveFileWriter::encode(photo, options, &result));
    QVERIFY(result.bytes.size() <= qint64(kilobytes) * 1024);
    QVERIFY2(result.encoderRuns <= QSaveFileWriter::kMaxEncoderRuns, qPrintable(QString::number(result.encoderRuns)));
    QVERIFY(!result.overLimit);
    QCOMPARE(result.quality, expected);
    if (result.quality < QSaveFileWriter::kMaxQuality)
        QVERIFY(jpegSize(photo, result.quality + 1) > kilobytes * 1024);
    const QImage decoded = QImage::fromData(result.bytes, "JPG");
    QCOMPARE(decoded.size(), QSize(4000, 3000));
}

void TestSaveFileWriter::limitBelowLowestQuality()
{
    QSaveFileWriter::Options options;
    options.jpg = true;
    options.maxKilobytes = 1;
    QSaveFileWriter::Result result;
    QVERIFY(QSaveFileWriter::encode(twelveMegapixelPhoto(), options, &result));
    QVERIFY(result.overLimit);
    QCOMPARE(result.quality, QSaveFileWriter::kMinQuality);
    QCOMPARE(result.bytes.size(), jpegSize(twelveMegapixelPhoto(), QSaveFileWriter::kMinQuality));
    QVERIFY(result.encoderRuns <= QSaveFileWriter::kMaxEncoderRuns);
}

void TestSaveFileWriter::noLimitIsOneRun_data()
{
    QTest::addColumn<bool>("jpg");
    QTest::addColumn<int>("kilobytes");
    QTest::newRow("jpg") << true << 0;
    QTest::newRow("png ignores the limit") << false << 1;
}

void TestSaveFileWriter::noLimitIsOneRun()
{
    QFETCH(bool, jpg);
    QFETCH(int, kilobytes);
    QSaveFileWriter::Options options;
    options.jpg = jpg;
    options.maxKilobytes = kilobytes;
    QSaveFileWriter::Result result;
    const cv::Mat transparent = testutils::solidBgra(64, 48, cv::Scalar(10, 20, 30, 0));
    QVERIFY(QSaveFileWriter::encode(transparent, options, &result));
    QCOMPARE(result.encoderRuns, 1);
    QVERIFY(!result.overLimit);
    const QImage decoded = QImage::fromData(result.bytes);
    QCOMPARE(decoded.size(), QSize(64, 48));
    // PNG keeps the transparency; JPG has none to keep.
    QCOMPARE(decoded.hasAlphaChannel(), !jpg);
}

void TestSaveFileWriter::densityInHeader_data()
{
    QTest::addColumn<bool>("jpg");
    QTest::addColumn<int>("dpi");
    QTest::newRow("jpg 300") << true << 300;
    QTest::newRow("png 300") << false << 300;
    QTest::newRow("jpg 2034") << true << 2034;
    QTest::newRow("png 72") << false << 72;
}

void TestSaveFileWriter::densityInHeader()
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

void TestSaveFileWriter::densityAddedWhereEncoderWroteNone()
{
    std::vector<uchar> encoded;
    QVERIFY(cv::imencode(".jpg", testutils::texturedBgr(40, 30), encoded));
    const QByteArray bare = withoutJfif(QByteArray(reinterpret_cast<const char*>(encoded.data()), int(encoded.size())));
    QVERIFY(!bare.contains("JFIF"));
    const QByteArray marked = QSaveFileWriter::withDensity(bare, 300);
    QCOMPARE(jfifDensity(marked), (QList<int>{1, 300, 300}));
    QImage decoded;
    QVERIFY(decoded.loadFromData(marked, "JPG"));
    QCOMPARE(decoded.size(), QSize(40, 30));
    QCOMPARE(decoded.dotsPerMeterX(), dotsPerMetre(300));
}

void TestSaveFileWriter::densityLeavesOtherBytesAlone_data()
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

void TestSaveFileWriter::densityLeavesOtherBytesAlone()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, dpi);
    QCOMPARE(QSaveFileWriter::withDensity(bytes, dpi), bytes);
}

void TestSaveFileWriter::failedWriteLeavesNothing_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("watched");
    const QString root = testutils::sandboxPath() + "/unwritable";
    QTest::newRow("folder is a file") << root + "/blocker/sub/out.png" << root;
    QTest::newRow("target is a folder") << root + "/folder" << root + "/folder";
}

void TestSaveFileWriter::failedWriteLeavesNothing()
{
    QFETCH(QString, target);
    QFETCH(QString, watched);
    const QString root = testutils::sandboxPath() + "/unwritable";
    QVERIFY(testutils::writeFile(root + "/blocker", "not a folder"));
    QVERIFY(QDir().mkpath(root + "/folder"));
    const QStringList before = QDir(watched).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);

    QString error;
    QSaveFileWriter::Options options;
    QVERIFY(!QSaveFileWriter::write(target, testutils::texturedBgr(32, 32), options, nullptr, &error));
    QVERIFY2(error.contains(QDir::toNativeSeparators(target)), qPrintable(error));
    QCOMPARE(QDir(watched).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
    QFile blocker(root + "/blocker");
    QVERIFY(blocker.open(QIODevice::ReadOnly));
    QCOMPARE(blocker.readAll(), QByteArray("not a folder"));
}

void TestSaveFileWriter::limitSettingIgnoresNegative()
{
    QSaveFileWriter::setMaxKilobytes(250);
    QCOMPARE(QSaveFileWriter::maxKilobytes(), 250);
    QSaveFileWriter::setMaxKilobytes(-5);
    QCOMPARE(QSaveFileWriter::maxKilobytes(), 0);
}

BRISEL_TEST_GUILESS_MAIN(TestSaveFileWriter)
#include "tst_savefilewriter.moc"
