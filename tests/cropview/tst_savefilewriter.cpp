// The result file writer: the JPG size limit met at the highest quality that fits,
// the print density in JPEG and PNG headers, and names that never replace a file.

#include "qsavefilewriter.h"
#include "testutils.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {
// 12 megapixels with fine grain, so it compresses like a camera picture.
const cv::Mat& twelveMegapixelPhoto()
{
    static const cv::Mat photo = [] {
        cv::Mat large;
        cv::resize(cv::imread(testutils::dataPath("astronaut.png").toStdString()), large,
                   cv::Size(4000, 3000), 0, 0, cv::INTER_CUBIC);
        cv::Mat grain(large.size(), CV_8UC3);
        cv::randu(grain, cv::Scalar::all(0), cv::Scalar::all(12));
        return cv::Mat(large + grain);
    }();
    return photo;
}

int jpegSize(int quality)
{
    std::vector<uchar> bytes;
    cv::imencode(".jpg", twelveMegapixelPhoto(), bytes, {cv::IMWRITE_JPEG_QUALITY, quality});
    return int(bytes.size());
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
        const QSaveFileWriter::Options options{true, overLimit ? 1 : (jpegSize(expected) + 1023) / 1024};
        QSaveFileWriter::Result result;
        QVERIFY(QSaveFileWriter::encode(twelveMegapixelPhoto(), options, &result));
        QCOMPARE(result.overLimit, overLimit);
        QCOMPARE(result.quality, expected);
        QVERIFY(result.encoderRuns <= QSaveFileWriter::kMaxEncoderRuns);
        QCOMPARE(result.bytes.size(), jpegSize(expected)); // over the limit: the smallest one
    }

    // The density as the header bytes and Qt's reader see it; PNG keeps its alpha,
    // ignores the size limit and takes one encoder run.
    void densityInHeader_data()
    {
        QTest::addColumn<bool>("jpg");
        QTest::addColumn<int>("dpi");
        QTest::newRow("jpg 2034") << true << 2034;
        QTest::newRow("png 72") << false << 72;
    }

    void densityInHeader()
    {
        QFETCH(bool, jpg);
        QFETCH(int, dpi);
        const QSaveFileWriter::Options options{jpg, 1, dpi};
        QSaveFileWriter::Result result;
        QVERIFY(QSaveFileWriter::encode(testutils::solidBgra(295, 413, cv::Scalar(10, 20, 30, 0)), options,
                                        &result));
        const auto at = [&](int i) { return int(quint8(result.bytes.at(i))); };
        if (jpg) // JFIF units (1: dots per inch), x and y density
            QCOMPARE((QList<int>{at(13), at(14) << 8 | at(15), at(16) << 8 | at(17)}),
                     (QList<int>{1, dpi, dpi}));
        else
            QCOMPARE(result.encoderRuns, 1);
        const QImage decoded = QImage::fromData(result.bytes);
        QCOMPARE(decoded.size(), QSize(295, 413));
        QCOMPARE(decoded.hasAlphaChannel(), !jpg);
        // Qt's JPEG reader truncates the conversion to dots per metre.
        QVERIFY(qAbs(decoded.dotsPerMeterX() - qRound(dpi / 0.0254)) <= 1);
        QCOMPARE(decoded.dotsPerMeterY(), decoded.dotsPerMeterX());
    }

    void densityLeavesOtherBytesAlone()
    {
        std::vector<uchar> png;
        cv::imencode(".png", testutils::texturedBgr(8, 8), png);
        const QByteArray whole(reinterpret_cast<const char*>(png.data()), int(png.size()));
        for (const QByteArray& bytes :
             {QByteArray("plain text, not a picture"), whole.left(whole.size() - 5)})
            QCOMPARE(QSaveFileWriter::withDensity(bytes, 300), bytes);
        QCOMPARE(QSaveFileWriter::withDensity(whole, 70000), whole); // out of the header's range
    }

    void outputName_data()
    {
        QTest::addColumn<QString>("photo");
        QTest::addColumn<QString>("existing"); // already in the folder
        QTest::addColumn<QStringList>("expected");
        const QString t = "_2026-12-06_21-35-12";
        QTest::newRow("no extension") << "scan"
                                      << "" << QStringList{"scan" + t + ".png"};
        QTest::newRow("percent sign") << "100%2.png"
                                      << "100%2" + t + ".png" << QStringList{"100%2" + t + " (2).png"};
        // The second call comes before the first file is written (two photos of one
        // name in a batch): existence alone would hand out the same name twice.
        QTest::newRow("name taken, then reserved")
            << "a.png"
            << "a" + t + ".png" << QStringList{"a" + t + " (2).png", "a" + t + " (3).png"};
    }
    void outputName()
    {
        QFETCH(QString, photo);
        QFETCH(QString, existing);
        QFETCH(QStringList, expected);
        const QString folder = testutils::sandboxPath() + "/names/" + QTest::currentDataTag();
        QVERIFY(QDir().mkpath(folder));
        if (!existing.isEmpty())
            QVERIFY(testutils::writeFile(folder + "/" + existing, "old"));
        const QDateTime when(QDate(2026, 12, 6), QTime(21, 35, 12));
        for (const QString& name : expected)
            QCOMPARE(QSaveFileWriter::outputPath(folder + "/", "/photos/" + photo, "png", when),
                     folder + "/" + name);
        // A later second starts afresh.
        QCOMPARE(QSaveFileWriter::outputPath(folder, photo, "png", when.addSecs(1)),
                 folder + "/" + QFileInfo(photo).completeBaseName() + "_2026-12-06_21-35-13.png");
    }
};

BRISEL_TEST_GUILESS_MAIN(TestSaveFileWriter)
#include "tst_savefilewriter.moc"
