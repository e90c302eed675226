// Format, size and completeness read from headers alone, on good and bad files.

#include "imageprobe.h"
#include "photofixtures.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QtTest>

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
        const auto enc = [&](const char* ext) {
            return QByteArray::fromStdString(photofixtures::encode(img, ext));
        };
        const auto claiming = [](unsigned w, unsigned h) {
            return QByteArray::fromStdString(photofixtures::pngClaiming(w, h));
        };
        const QByteArray jpeg = enc(".jpg");
        const QByteArray png = enc(".png");
        QTest::newRow("jpeg cut mid-scan")
            << jpeg.left(jpeg.size() / 2) << F::Jpeg << QSize(123, 45) << false;
        QTest::newRow("jpeg cut in the header") << jpeg.left(30) << F::Unknown << QSize() << false;
        QTest::newRow("png without IEND") << png.left(png.size() - 12) << F::Png << QSize(123, 45) << false;
        QTest::newRow("png claiming 400 MP")
            << claiming(20000, 20000) << F::Png << QSize(20000, 20000) << true;
        QTest::newRow("png claiming zero width") << claiming(0, 10) << F::Unknown << QSize() << false;
        QTest::newRow("png claiming 2^31 rows")
            << claiming(10, 0x80000000u) << F::Unknown << QSize() << false;
        QTest::newRow("webp cut short") << enc(".webp").chopped(10) << F::Webp << QSize(123, 45) << false;
        QTest::newRow("gif") << QByteArray("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 14) << F::Unknown << QSize()
                             << false;
        QTest::newRow("empty") << QByteArray() << F::Unknown << QSize() << false;
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
};

BRISEL_TEST_GUILESS_MAIN(TestImageProbe)
#include "tst_imageprobe.moc"
