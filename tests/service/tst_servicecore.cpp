// The service's in-process parts: its command line, the parallel PNG writer (decoded again by libpng, which
// checks every CRC and the zlib checksum), what headers alone tell about good and
// bad files, the key engine's edge colours and a photo the pipeline cannot read.

#include "cutoutbuilder.h"
#include "imageprobe.h"
#include "keyengine.h"
#include "mattingpipeline.h"
#include "pngwriter.h"
#include "serviceoptions.h"
#include "serviceprocess.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

Q_DECLARE_METATYPE(ImageProbe::Format)

namespace {

// How much of a green background still shows in the soft edge once the cut-out
// is put over white.
double greenFringe(const cv::Mat& bgra)
{
    std::vector<cv::Mat> c;
    cv::split(bgra, c);
    cv::Mat a, over[3];
    c[3].convertTo(a, CV_32F, 1 / 255.0);
    for (int k = 0; k < 3; ++k) {
        c[k].convertTo(over[k], CV_32F);
        over[k] = a.mul(over[k]) + (1 - a) * 255;
    }
    return cv::mean(over[1] - cv::max(over[0], over[2]), (c[3] > 0) & (c[3] < 255))[0];
}

} // namespace

class TestServiceCore : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error"); // empty: accepted

        QTest::newRow("nothing") << QStringList{} << "";
        QTest::newRow("value missing") << QStringList{"--port"} << "option --port needs a value";
        QTest::newRow("number with junk")
            << QStringList{"--workers", "2x"} << "bad value for --workers: \"2x\"";
        QTest::newRow("port out of range")
            << QStringList{"--port", "70000"} << "bad value for --port: \"70000\"";
        QTest::newRow("unknown option") << QStringList{"--colour", "red"} << "unknown option --colour";
        QTest::newRow("worker on its own")
            << QStringList{"--role", "worker"} << "--role worker needs a shared --store";
        QTest::newRow("redis with a path")
            << QStringList{"--store", "redis://h:6379/x"} << "bad value for --store: \"redis://h:6379/x\"";
        QTest::newRow("redis without a host")
            << QStringList{"--store=redis://:1"} << "bad value for --store: \"redis://:1\"";
        QTest::newRow("fast engine") << QStringList{"--engine", "isnet-fast"} << "";
        QTest::newRow("unknown engine")
            << QStringList{"--engine", "fastest"} << "bad value for --engine: \"fastest\"";
        QTest::newRow("api on redis") << QStringList{"--store", "redis://10.0.0.5/2", "--role", "api"} << "";
        QTest::newRow("key without cert")
            << QStringList{"--tls-key", "k.pem"} << "--tls-cert and --tls-key go together";
    }
    void parse()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        std::vector<QByteArray> storage{"brisel-matting-service"};
        storage.reserve(size_t(args.size()) + 1); // the pointers below must stay valid
        std::vector<const char*> argv{storage[0].constData()};
        for (const QString& a : args)
            argv.push_back(storage.emplace_back(a.toUtf8()).constData());
        ServiceOptions options;
        std::string why;
        QCOMPARE(ServiceOptions::parse(int(argv.size()), argv.data(), options, why), error.isEmpty());
        QCOMPARE(QString::fromStdString(why), error);
    }

    void roundTrip_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("noise"); // else one flat colour, which must compress well
        QTest::newRow("narrow, one row past a strip") << QSize(3, 2 * PngWriter::kStripRows + 1) << true;
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
        const QByteArray png = enc(".png");
        QTest::newRow("png without IEND") << png.left(png.size() - 12) << F::Png << QSize(123, 45) << false;
        QTest::newRow("png claiming 2^31 rows")
            << QByteArray::fromStdString(photofixtures::pngClaiming(10, 0x80000000u)) << F::Unknown << QSize()
            << false;
        QTest::newRow("webp cut short") << enc(".webp").chopped(10) << F::Webp << QSize(123, 45) << false;
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

    void edgeColourHasNoFringe()
    {
        const cv::Mat photo = photofixtures::discOnGreen(400, 300);
        const cv::Mat cut = CutoutBuilder::compose(photo, KeyEngine().alpha(photo, false));
        // The same alpha over the photo's own colours: what we would ship without the estimate.
        cv::Mat naive, a8;
        cv::cvtColor(photo, naive, cv::COLOR_BGR2BGRA);
        cv::extractChannel(cut, a8, 3);
        cv::insertChannel(a8, naive, 3);
        QVERIFY(cv::countNonZero((a8 > 0) & (a8 < 255)) > 100);
        const double before = greenFringe(naive), after = greenFringe(cut);
        QVERIFY2(before > 20 && after < 5, qPrintable(QString("fringe %1 -> %2").arg(before).arg(after)));
        const cv::Vec3b centre = photo.at<cv::Vec3b>(150, 200); // opaque pixels keep their colour
        QCOMPARE(cut.at<cv::Vec4b>(150, 200), cv::Vec4b(centre[0], centre[1], centre[2], 255));
    }

    // Looks like a PNG to a header check, but the pixel data is nonsense.
    void garbagePixelsRefused()
    {
        std::string garbage = photofixtures::encode(testutils::texturedBgr(32, 32), ".png");
        for (size_t i = 60; i < garbage.size() - 20; ++i)
            garbage[i] = char(i * 7);
        try {
            MattingPipeline(std::make_unique<KeyEngine>()).run(garbage, true);
            QFAIL("garbage pixels were matted");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString(e.what()),
                     QString("The photo could not be read. Please check that the file is a valid image."));
        }
    }
};

BRISEL_TEST_GUILESS_MAIN(TestServiceCore)
#include "tst_servicecore.moc"
