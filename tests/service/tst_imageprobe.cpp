// Format, size and completeness read from headers alone.

#include "imageprobe.h"
#include "photofixtures.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>

Q_DECLARE_METATYPE(ImageProbe::Format)

class TestImageProbe : public QObject
{
    Q_OBJECT

private slots:
    void probe_data()
    {
        using F = ImageProbe::Format;
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<F>("format");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("complete");

        const cv::Mat img = testutils::texturedBgr(123, 45);
        auto enc = [&](const char* ext, std::vector<int> params = {}) {
            std::vector<uchar> buf;
            cv::imencode(ext, img, buf, params);
            return QByteArray(reinterpret_cast<const char*>(buf.data()), int(buf.size()));
        };
        const QByteArray jpeg = enc(".jpg");
        const QByteArray png = enc(".png");

        QTest::newRow("jpeg") << jpeg << F::Jpeg << QSize(123, 45) << true;
        QTest::newRow("progressive jpeg")
            << enc(".jpg", {cv::IMWRITE_JPEG_PROGRESSIVE, 1}) << F::Jpeg << QSize(123, 45) << true;
        QTest::newRow("jpeg with restart markers")
            << enc(".jpg", {cv::IMWRITE_JPEG_RST_INTERVAL, 2}) << F::Jpeg << QSize(123, 45) << true;
        QTest::newRow("jpeg with EXIF")
            << QByteArray::fromStdString(photofixtures::withExifRotation(jpeg.toStdString())) << F::Jpeg
            << QSize(123, 45) << true;
        QTest::newRow("jpeg with trailing bytes")
            << jpeg + QByteArray(100, '\0') << F::Jpeg << QSize(123, 45) << true;
        QTest::newRow("jpeg cut mid-scan")
            << jpeg.left(jpeg.size() / 2) << F::Jpeg << QSize(123, 45) << false;
        QTest::newRow("jpeg cut in the header") << jpeg.left(30) << F::Unknown << QSize(0, 0) << false;
        QTest::newRow("png") << png << F::Png << QSize(123, 45) << true;
        QTest::newRow("png with alpha") << QByteArray::fromStdString(photofixtures::encode(
                                               testutils::solidBgra(7, 9, {1, 2, 3, 4}), ".png"))
                                        << F::Png << QSize(7, 9) << true;
        QTest::newRow("png without IEND") << png.left(png.size() - 12) << F::Png << QSize(123, 45) << false;
        QTest::newRow("png claiming 400 MP")
            << QByteArray::fromStdString(photofixtures::pngClaiming(20000, 20000)) << F::Png
            << QSize(20000, 20000) << true;
        QTest::newRow("png claiming zero width")
            << QByteArray::fromStdString(photofixtures::pngClaiming(0, 10)) << F::Unknown << QSize(0, 0)
            << false;
        QTest::newRow("png claiming 2^31 rows")
            << QByteArray::fromStdString(photofixtures::pngClaiming(10, 0x80000000u)) << F::Unknown
            << QSize(0, 0) << false;
        QTest::newRow("bmp") << enc(".bmp") << F::Bmp << QSize(123, 45) << true;
        QTest::newRow("webp") << enc(".webp") << F::Webp << QSize(123, 45) << true;
        QTest::newRow("gif") << QByteArray("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 14) << F::Unknown
                             << QSize(0, 0) << false;
        QTest::newRow("empty") << QByteArray() << F::Unknown << QSize(0, 0) << false;
    }
    void probe()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(ImageProbe::Format, format);
        QFETCH(QSize, size);
        QFETCH(bool, complete);
        const ImageProbe::Info info = ImageProbe::probe(bytes.toStdString());
        QCOMPARE(int(info.format), int(format));
        if (format != ImageProbe::Format::Unknown)
            QCOMPARE(QSize(info.width, info.height), size);
        QCOMPARE(info.complete, complete);
    }

    void everyCutIsIncomplete_data()
    {
        QTest::addColumn<QString>("ext");
        QTest::newRow("jpeg") << ".jpg";
        QTest::newRow("png") << ".png";
        QTest::newRow("bmp") << ".bmp";
        QTest::newRow("webp") << ".webp";
    }
    void everyCutIsIncomplete()
    {
        // No prefix of a file may pass as a whole image, wherever the cut falls.
        QFETCH(QString, ext);
        const std::string whole = photofixtures::encode(testutils::texturedBgr(64, 48, 3), ext.toStdString());
        QVERIFY(ImageProbe::probe(whole).complete);
        for (size_t len = 0; len < whole.size(); len += 1 + len / 64) {
            const ImageProbe::Info info = ImageProbe::probe(whole.substr(0, len));
            QVERIFY2(!info.complete, qPrintable(QString("%1 of %2 bytes").arg(len).arg(whole.size())));
        }
    }
};

BRISEL_TEST_GUILESS_MAIN(TestImageProbe)
#include "tst_imageprobe.moc"
