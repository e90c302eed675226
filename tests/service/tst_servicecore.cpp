// The service's in-process parts: its command line, the parallel PNG writer (decoded again by libpng, which
// checks every CRC and the zlib checksum), what headers alone tell about good and
// bad files, the key engine's edge colours and a photo the pipeline cannot read.

#include "colourmaps.h"
#include "cutoutbuilder.h"
#include "imageprobe.h"
#include "keyengine.h"
#include "mattingpipeline.h"
#include "pngwriter.h"
#include "serviceoptions.h"
#include "serviceprocess.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QUrlQuery>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <zlib.h>

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

// Stands in for a network: the answer it was given, coarse (a quarter of the
// photo's size, as a fixed model input is) and slightly blurred.
class CoarseEngine : public MattingEngine
{
public:
    explicit CoarseEngine(cv::Mat truth) : m_truth(std::move(truth)) {}
    cv::Mat alpha(const cv::Mat&, bool) override
    {
        cv::Mat a;
        cv::resize(m_truth, a, m_truth.size() / 4, 0, 0, cv::INTER_AREA);
        cv::GaussianBlur(a, a, cv::Size(0, 0), 1.0);
        return a;
    }

private:
    cv::Mat m_truth;
};

// Counts its jobs; an opaque alpha.
class CountingEngine : public MattingEngine
{
public:
    explicit CountingEngine(int& jobs) : m_jobs(jobs) {}
    cv::Mat alpha(const cv::Mat& bgr, bool) override
    {
        ++m_jobs;
        return cv::Mat(bgr.size(), CV_32F, cv::Scalar(1));
    }

private:
    int& m_jobs;
};

// Fur over green (a disc with thin strands) whose colour turns from orange to
// pink around the disc, so a colour smoothed over a wide area is wrong in the
// strands: the photo, its true alpha and its true subject colour.
cv::Mat furOnGreen(cv::Mat& truth, cv::Mat& colour)
{
    cv::Mat cover(900, 1200, CV_8U, cv::Scalar(0));
    cv::circle(cover, {600, 450}, 250, cv::Scalar(255), cv::FILLED, cv::LINE_AA);
    cv::RNG rng(7);
    for (int i = 0; i < 400; ++i) {
        const double t = rng.uniform(0.0, 2 * CV_PI), r = rng.uniform(40.0, 90.0);
        const cv::Point root(600 + int(245 * std::cos(t)), 450 + int(245 * std::sin(t)));
        cv::line(cover, root, root + cv::Point(int(r * std::cos(t)), int(r * std::sin(t))), cv::Scalar(160),
                 1, cv::LINE_AA);
    }
    cover.convertTo(truth, CV_32F, 1 / 255.0);
    colour.create(cover.size(), CV_32FC3);
    for (int y = 0; y < colour.rows; ++y)
        for (int x = 0; x < colour.cols; ++x) {
            const float turn = float(0.5 + 0.5 * std::sin(std::atan2(y - 450.0, x - 600.0)));
            colour.at<cv::Vec3f>(y, x) = cv::Vec3f(40 + 160 * turn, 140 - 80 * turn, 240);
        }
    cv::Mat a3, photo;
    cv::cvtColor(truth, a3, cv::COLOR_GRAY2BGR);
    photo = colour.mul(a3) +
            cv::Mat(cover.size(), CV_32FC3, cv::Scalar(40, 190, 40)).mul(cv::Scalar::all(1) - a3);
    photo.convertTo(photo, CV_8UC3);
    return photo;
}

// Where the fur is soft: the alpha error, and the colour error (mean over the
// channels) where the fur is dense and where it is faint, as far as the
// cut-out shows it; and how green it is where it hides fur.
struct EdgeErrors
{
    double alpha, dense, faint, hidden; // hidden: green where the cut-out misses fur
};
EdgeErrors edgeErrors(const cv::Mat& bgra, const cv::Mat& truth, const cv::Mat& trueColour)
{
    cv::Mat a, colour, band = (truth > 0) & (truth < 1);
    cv::extractChannel(bgra, a, 3);
    const cv::Mat shown = a > 0;
    a.convertTo(a, CV_32F, 1 / 255.0);
    cv::cvtColor(bgra, colour, cv::COLOR_BGRA2BGR);
    colour.convertTo(colour, CV_32FC3);
    // Green standing out of the other channels: the old background.
    cv::Mat green;
    cv::transform(colour, green, cv::Matx13f(0, 1, 0));
    cv::Mat others;
    cv::transform(colour, others, cv::Matx13f(0.5f, 0, 0.5f));
    green = cv::max(green - others, 0);
    cv::absdiff(colour, trueColour, colour);
    cv::transform(colour, colour, cv::Matx13f(1 / 3.f, 1 / 3.f, 1 / 3.f));
    return {cv::mean(cv::abs(a - truth), band)[0], cv::mean(colour, band & (truth > 0.3))[0],
            cv::mean(colour, band & (truth <= 0.3) & shown)[0], cv::mean(green, (truth > 0) & ~shown)[0]};
}

// roundTrip's images: noise, with rows [band.x, band.y) in one colour (Flat),
// rising by one a pixel so they filter to all ones (Ramp), or a pattern under a
// soft mask over the whole image (Textured).
enum Pattern
{
    Flat,
    Ramp,
    Textured
};

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

    void adler32_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("fill"); // -1: noise
        QTest::addColumn<uint>("start");
        QTest::newRow("nothing") << 0 << -1 << 1u;
        QTest::newRow("one byte") << 1 << 200 << 1u;
        QTest::newRow("one short of a step") << 15 << -1 << 1u;
        QTest::newRow("one step and one") << 17 << -1 << 0xFFF0FFF0u;
        QTest::newRow("a whole pass of 255s") << 5552 << 255 << 0xFFF0FFF0u;
        QTest::newRow("a pass and one, 255s") << 5553 << 255 << 1u;
        QTest::newRow("a 12 MP row block") << 16001 * 4 << -1 << 0x12345678u;
    }
    void adler32()
    {
        QFETCH(int, size);
        QFETCH(int, fill);
        QFETCH(uint, start);
        std::vector<uchar> bytes(std::size_t(size) + 1, uchar(fill));
        if (fill < 0)
            cv::randu(cv::Mat(1, size + 1, CV_8U, bytes.data()), 0, 256);
        // From the second byte: the steps need no alignment.
        QCOMPARE(PngWriter::adler32(start, bytes.data() + 1, std::size_t(size)),
                 std::uint32_t(adler32_z(start, bytes.data() + 1, std::size_t(size))));
    }

    void roundTrip_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("pattern");
        QTest::addColumn<QPoint>("band");
        QTest::addColumn<int>("maxBytes");
        const int s = PngWriter::kStripRows, any = INT_MAX;
        QTest::newRow("1x1") << QSize(1, 1) << int(Flat) << QPoint(0, 0) << any;
        QTest::newRow("one strip exactly") << QSize(37, s) << int(Flat) << QPoint(0, 0) << any;
        QTest::newRow("narrow, one row past a strip")
            << QSize(3, 2 * s + 1) << int(Flat) << QPoint(0, 0) << any;
        QTest::newRow("a flat row, then noise") << QSize(66, 9) << int(Flat) << QPoint(2, 3) << any;
        QTest::newRow("a run across a strip boundary")
            << QSize(300, 2 * s + 1) << int(Ramp) << QPoint(s - 2, s + 2) << any;
        // A ramp row filters to one byte repeated (the filter byte too): 65 pixels make a match of 260,
        // which must not be split as 258 + 2.
        QTest::newRow("a run two past the longest match") << QSize(65, 1) << int(Ramp) << QPoint(0, 1) << any;
        QTest::newRow("flat 12 MP") << QSize(4000, 3000) << int(Flat) << QPoint(0, 3000) << 1024 * 1024;
        // zlib at level 1 with Z_RLE made 10199824 bytes of these rows.
        QTest::newRow("textured 12 MP") << QSize(4000, 3000) << int(Textured) << QPoint(0, 3000) << 10199824;
    }
    void roundTrip()
    {
        QFETCH(QSize, size);
        QFETCH(int, pattern);
        QFETCH(QPoint, band);
        QFETCH(int, maxBytes);
        cv::Mat bgra(size.height(), size.width(), CV_8UC4), rows = bgra.rowRange(band.x(), band.y());
        cv::randu(bgra, cv::Scalar::all(0), cv::Scalar::all(256));
        if (pattern == Flat)
            rows.setTo(cv::Scalar(10, 200, 30, 255));
        for (int x = 0; pattern == Ramp && x < size.width(); ++x)
            rows.col(x).setTo(cv::Scalar::all(x + 1));
        if (pattern == Textured) {
            cv::cvtColor(testutils::texturedBgr(size.width(), size.height()), bgra, cv::COLOR_BGR2BGRA);
            cv::Mat alpha = cv::Mat::zeros(bgra.size(), CV_8U);
            cv::ellipse(alpha, {2000, 1500}, {1200, 1400}, 0, 0, 360, cv::Scalar(255), cv::FILLED);
            cv::GaussianBlur(alpha, alpha, cv::Size(0, 0), 20);
            cv::mixChannels(alpha, bgra, {0, 3});
        }
        const std::vector<uchar> png = PngWriter::encode(bgra);
        QCOMPARE(testutils::maxPixelDifference(cv::imdecode(png, cv::IMREAD_UNCHANGED), bgra), 0);
        const QImage qt =
            QImage::fromData(png.data(), int(png.size()), "PNG").convertToFormat(QImage::Format_ARGB32);
        const cv::Mat viaQt(qt.height(), qt.width(), CV_8UC4, const_cast<uchar*>(qt.constBits()),
                            std::size_t(qt.bytesPerLine()));
        QCOMPARE(testutils::maxPixelDifference(viaQt, bgra), 0);
        QVERIFY2(png.size() <= std::size_t(maxBytes), qPrintable(QString::number(png.size())));
    }

    // The strip-parallel blur must equal one cv::blur call, borders included.
    void stripBlur_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("radius");
        QTest::newRow("radius beyond the image") << QSize(13, 7) << 3 << 20;
        QTest::newRow("one row") << QSize(50, 1) << 1 << 2;
        QTest::newRow("strips thinner than the radius") << QSize(300, 200) << 3 << 64;
        QTest::newRow("work map, widest radius") << QSize(1024, 768) << 1 << 512;
        QTest::newRow("four channels, the background's box") << QSize(1024, 768) << 4 << 2;
    }
    void stripBlur()
    {
        QFETCH(QSize, size);
        QFETCH(int, channels);
        QFETCH(int, radius);
        cv::Mat img(size.height(), size.width(), CV_32FC(channels));
        cv::randu(img, 0.0, 255.0);
        const int threads = cv::getNumThreads();
        cv::setNumThreads(8);
        cv::Mat ours, theirs;
        colourmaps::blur(img, ours, radius);
        cv::setNumThreads(threads);
        cv::blur(img, theirs, cv::Size(2 * radius + 1, 2 * radius + 1));
        QCOMPARE(cv::norm(ours, theirs, cv::NORM_INF), 0.0);
    }

    // Halving first on the integer path averages nearly what the general path
    // does on a photo (soft detail, a few pixels wide); odd sides take the
    // general path alone, so nothing moves.
    void shrink_data()
    {
        QTest::addColumn<QSize>("from");
        QTest::addColumn<QSize>("to");
        QTest::addColumn<int>("type");
        QTest::addColumn<double>("tolerance"); // mean, levels of 255
        QTest::newRow("12 MP to the network's square")
            << QSize(4000, 3000) << QSize(1024, 1024) << CV_8UC3 << 0.5;
        QTest::newRow("12 MP alpha to the work size")
            << QSize(4000, 3000) << QSize(1024, 768) << CV_8UC1 << 0.5;
        QTest::newRow("even, then odd") << QSize(4004, 3002) << QSize(1000, 750) << CV_8UC3 << 0.5;
        // No halving: six taps across, five down; a crop or shift would show.
        QTest::newRow("odd sides") << QSize(4001, 3000) << QSize(1000, 750) << CV_8UC3 << 0.01;
        QTest::newRow("alpha, float") << QSize(3001, 2000) << QSize(1024, 682) << CV_32FC1 << 0.5;
        QTest::newRow("colour, float, a solve level")
            << QSize(1024, 768) << QSize(512, 395) << CV_32FC3 << 0.01;
        QTest::newRow("exactly half") << QSize(64, 48) << QSize(32, 24) << CV_8UC3 << 0.0;
        QTest::newRow("under half on one side") << QSize(400, 100) << QSize(100, 60) << CV_8UC3 << 0.01;
        QTest::newRow("to one pixel") << QSize(7, 5) << QSize(1, 1) << CV_8UC1 << 0.01;
        QTest::newRow("same size") << QSize(33, 17) << QSize(33, 17) << CV_32FC1 << 0.0;
    }
    void shrink()
    {
        QFETCH(QSize, from);
        QFETCH(QSize, to);
        QFETCH(int, type);
        QFETCH(double, tolerance);
        cv::Mat img(from.height(), from.width(), CV_8UC3);
        cv::randu(img, 0, 255);
        cv::GaussianBlur(img, img, cv::Size(0, 0), 3);
        if (CV_MAT_CN(type) == 1)
            cv::cvtColor(img, img, cv::COLOR_BGR2GRAY);
        img.convertTo(img, type);
        const cv::Mat ours = colourmaps::shrink(img, cv::Size(to.width(), to.height()));
        cv::Mat theirs;
        cv::resize(img, theirs, ours.size(), 0, 0, cv::INTER_AREA);
        QCOMPARE(ours.type(), type);
        QCOMPARE(QSize(ours.cols, ours.rows), to);
        const double mean = cv::norm(ours, theirs, cv::NORM_L1) / double(ours.total() * ours.channels());
        QVERIFY2(mean <= tolerance, qPrintable(QString::number(mean)));
        QVERIFY(cv::norm(ours, theirs, cv::NORM_INF) <= 2.0); // halving rounds once more
        // By a factor: never to nothing.
        QCOMPARE(colourmaps::shrink(img(cv::Rect(0, 0, 1, 1)), 0.5).size(), cv::Size(1, 1));
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

    void refinement_data()
    {
        QTest::addColumn<double>("share"); // of the segmentation's time, for the refinements
        QTest::addColumn<bool>("refined");
        QTest::newRow("refined") << 100.0 << true;
        QTest::newRow("no time: the raw cut-out") << 0.0 << false;
    }
    void refinement()
    {
        QFETCH(double, share);
        QFETCH(bool, refined);
        cv::Mat truth, colour;
        const cv::Mat photo = furOnGreen(truth, colour);
        MattingPipeline pipeline(std::make_unique<CoarseEngine>(truth));
        pipeline.setRefineBudget(share, std::chrono::milliseconds(refined ? 60000 : 0));
        MattingPipeline::Trace trace;
        const cv::Mat out = pipeline.cutout(photo, {}, &trace);
        const EdgeErrors raw = edgeErrors(trace.front().second, truth, colour),
                         last = edgeErrors(out, truth, colour);
        const QString why = QString("alpha %1 -> %2, dense colour %3 -> %4, faint colour %5 -> %6, hidden %7")
                                .arg(raw.alpha)
                                .arg(last.alpha)
                                .arg(raw.dense)
                                .arg(last.dense)
                                .arg(raw.faint)
                                .arg(last.faint)
                                .arg(last.hidden);
        if (refined)
            QVERIFY2(last.alpha < 0.8 * raw.alpha && last.dense < 0.5 * raw.dense &&
                         last.faint < 0.5 * raw.faint,
                     qPrintable(why));
        else
            QCOMPARE(testutils::maxPixelDifference(out, trace.front().second), 0);
        // What the cut-out hides carries none of the green: near the fur the
        // fur's colour, further out nothing at all.
        cv::Mat a, grey, nearFur;
        cv::extractChannel(out, a, 3);
        cv::dilate(truth > 0, nearFur, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(121, 121)));
        cv::cvtColor(out, grey, cv::COLOR_BGRA2GRAY);
        QCOMPARE(cv::countNonZero(grey & (a == 0) & ~nearFur), 0);
        QVERIFY(cv::countNonZero((a == 0) & ~nearFur) > int(photo.total() / 2));
        QVERIFY2(last.hidden < 10, qPrintable(why));
    }

    // A model almost sure of the subject (0.99) and of the background (0.01):
    // the cut-out is exactly opaque and clear there, so no new background tints
    // the subject and nothing of the old one shows faintly.
    void sureAlphaIsExact()
    {
        const cv::Mat photo = photofixtures::discOnGreen(400, 300);
        cv::Mat almost(photo.size(), CV_32F, cv::Scalar(0.01));
        cv::circle(almost, {200, 150}, 100, cv::Scalar(0.99), cv::FILLED, cv::LINE_AA);
        MattingPipeline pipeline(std::make_unique<CoarseEngine>(almost));
        pipeline.setRefineBudget(100, std::chrono::minutes(1));
        cv::Mat a;
        // A person: products on a plain background also take the keyer's alpha.
        const MattingPipeline::Options person{MattingPipeline::Options::Mode::Person, false};
        cv::extractChannel(pipeline.cutout(photo, person, nullptr), a, 3);
        QCOMPARE(int(a.at<uchar>(150, 200)), 255);
        QCOMPARE(cv::countNonZero(a(cv::Rect(150, 100, 100, 100)) != 255), 0);
        QCOMPARE(cv::countNonZero(a(cv::Rect(0, 0, 400, 30))), 0);
    }

    void modes_data()
    {
        using M = MattingPipeline::Options::Mode;
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("keepShadow");
        QTest::addColumn<QPoint>("probe");
        QTest::addColumn<int>("low"); // the cut-out's alpha there lies in [low, high]
        QTest::addColumn<int>("high");
        QTest::addColumn<bool>("timeLeft"); // for the refinements
        const QPoint blob(1020, 150), hole(500, 400), shade(500, 760);
        QTest::newRow("person drops a detached blob") << int(M::Person) << false << blob << 0 << 0 << true;
        QTest::newRow("product keeps it") << int(M::Product) << false << blob << 255 << 255 << true;
        QTest::newRow("person keeps a hole") << int(M::Person) << false << hole << 0 << 0 << true;
        QTest::newRow("id fills it") << int(M::Id) << false << hole << 255 << 255 << true;
        QTest::newRow("shadow removed") << int(M::Product) << false << shade << 0 << 0 << true;
        QTest::newRow("shadow kept") << int(M::Product) << true << shade << 90 << 140 << true;
        QTest::newRow("shadow kept, asked for, with no time")
            << int(M::Product) << true << shade << 90 << 140 << false;
    }
    void modes()
    {
        QFETCH(int, mode);
        QFETCH(bool, keepShadow);
        QFETCH(QPoint, probe);
        QFETCH(int, low);
        QFETCH(int, high);
        QFETCH(bool, timeLeft);
        // A figure with a hole and a shadow (strength 0.45) under it, and a blob
        // apart, on a studio sheet.
        cv::Mat photo(900, 1200, CV_8UC3, cv::Scalar(230, 230, 230)), truth(photo.size(), CV_32F, 0.0f);
        cv::ellipse(photo, {500, 760}, {300, 50}, 0, 0, 360, cv::Scalar::all(230 * 0.55), cv::FILLED);
        cv::circle(truth, {500, 400}, 300, 1.0, cv::FILLED, cv::LINE_AA);
        cv::circle(truth, {500, 400}, 60, 0.0, cv::FILLED, cv::LINE_AA);
        cv::rectangle(truth, cv::Rect(950, 80, 140, 140), 1.0, cv::FILLED);
        photo.setTo(cv::Scalar(160, 40, 40), truth > 0.5);
        MattingPipeline pipeline(std::make_unique<CoarseEngine>(truth));
        pipeline.setRefineBudget(timeLeft ? 100 : 0,
                                 timeLeft ? std::chrono::minutes(1) : std::chrono::minutes(0));
        const cv::Mat out = pipeline.cutout(photo, {MattingPipeline::Options::Mode(mode), keepShadow});
        const cv::Vec4b px = out.at<cv::Vec4b>(probe.y(), probe.x());
        QVERIFY2(px[3] >= low && px[3] <= high, qPrintable(QString::number(px[3])));
        if (keepShadow)
            QVERIFY(px[0] < 30 && px[1] < 30 && px[2] < 30); // a shadow is black, its alpha its strength
    }

    // Looks like a PNG to a header check, but the pixel data is nonsense.
    void garbagePixelsRefused()
    {
        std::string garbage = photofixtures::encode(testutils::texturedBgr(32, 32), ".png");
        for (size_t i = 60; i < garbage.size() - 20; ++i)
            garbage[i] = char(i * 7);
        try {
            MattingPipeline(std::make_unique<KeyEngine>()).run(garbage, {});
            QFAIL("garbage pixels were matted");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString(e.what()),
                     QString("The photo could not be read. Please check that the file is a valid image."));
        }
    }

    void requestOptions_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("error"); // empty: accepted
        QTest::addColumn<bool>("fast");
        QTest::newRow("normal") << "mode=id"
                                << "" << false;
        QTest::newRow("fast") << "mode=product&engine=fast"
                              << "" << true;
        QTest::newRow("unknown engine")
            << "is_body=1&engine=int8"
            << "Unknown engine choice (\"engine\" must be fast or absent)." << false;
    }
    void requestOptions()
    {
        QFETCH(QString, query);
        QFETCH(QString, error);
        QFETCH(bool, fast);
        const QUrlQuery q(query);
        mattingprotocol::Options options;
        std::string message;
        const bool ok = mattingprotocol::readOptions(
            [&](const char* key) { return q.queryItemValue(key).toStdString(); }, options, message);
        QCOMPARE(QString::fromStdString(message), error);
        QCOMPARE(ok, error.isEmpty());
        QCOMPARE(options.fast, fast);
    }

    void fastEngine_data()
    {
        QTest::addColumn<QString>("maker"); // none | loads | throws
        QTest::addColumn<int>("normalJobs");
        QTest::addColumn<int>("fastJobs");
        QTest::addColumn<int>("made");
        QTest::addColumn<bool>("idleBetween"); // caches released between the fast jobs
        QTest::newRow("no fast model: normal engine") << "none" << 3 << 0 << 0 << false;
        QTest::newRow("made once, on the first fast job") << "loads" << 1 << 2 << 1 << false;
        QTest::newRow("unloaded when idle, made again") << "loads" << 1 << 2 << 2 << true;
        QTest::newRow("fails to load: normal engine") << "throws" << 3 << 0 << 1 << true;
    }
    void fastEngine()
    {
        QFETCH(QString, maker);
        QFETCH(int, normalJobs);
        QFETCH(int, fastJobs);
        QFETCH(int, made);
        QFETCH(bool, idleBetween);
        int normal = 0, fast = 0, makes = 0;
        MattingPipeline::EngineMaker make;
        if (maker != "none")
            make = [&]() -> std::unique_ptr<MattingEngine> {
                ++makes;
                if (maker == "throws")
                    throw std::runtime_error("bad model");
                return std::make_unique<CountingEngine>(fast);
            };
        MattingPipeline pipeline(std::make_unique<CountingEngine>(normal), make);
        const cv::Mat photo = testutils::texturedBgr(16, 16);
        MattingPipeline::Options options;
        pipeline.cutout(photo, options);
        options.fast = true;
        pipeline.cutout(photo, options);
        if (idleBetween)
            pipeline.releaseCaches();
        QCOMPARE(pipeline.cutout(photo, options).size(), photo.size());
        QCOMPARE(normal, normalJobs);
        QCOMPARE(fast, fastJobs);
        QCOMPARE(makes, made);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestServiceCore)
#include "tst_servicecore.moc"
