// Image helpers: QImage to cv::Mat, the editor's pixel routines, reading and
// writing files (bad and forged files, non-ASCII paths, atomic writes, what a save
// keeps of its photo's metadata), the recycled picture buffers (reuse by size, many
// threads) and the fill of erased areas (better than a blur, only under the mask,
// alpha kept, at the border).

#include "imagefixtures.h"
#include "inpaintfixtures.h"
#include "photometadata.h"
#include "qbufferrecycler.h"
#include "qedgecontrols.h"
#include "qimageconvert.h"
#include "qimagefiles.h"
#include "qinpaint.h"
#include "qmaskops.h"
#include "qmaskrefine.h"
#include "qsavefilewriter.h"
#include "testutils.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLocale>

#include <sys/resource.h>

#include <atomic>
#include <csignal>
#include <memory>
#include <thread>
#include <vector>

using Bgra = cv::Vec4b;

Q_DECLARE_METATYPE(cv::Mat)
Q_DECLARE_METATYPE(Bgra)
Q_DECLARE_METATYPE(QInpaint::Method)
Q_DECLARE_METATYPE(cv::Rect)

namespace {

// The astronaut at 640 x 480; with four channels, under a random alpha.
cv::Mat astronaut(int channels)
{
    cv::Mat bgr = cv::imread(testutils::dataPath("astronaut.png").toStdString()), alpha(480, 640, CV_8U),
            bgra;
    cv::resize(bgr, bgr, alpha.size(), 0, 0, cv::INTER_AREA);
    cv::randu(alpha, 0, 256);
    cv::merge(std::vector<cv::Mat>{bgr, alpha}, bgra);
    return channels == 3 ? bgr : bgra;
}
constexpr std::size_t kMiB = std::size_t(1) << 20;
constexpr int kLarge = 1600;
constexpr int kSmall = 100;

const Bgra kKeep(10, 0, 255, 100);
const Bgra kCleared(0, 0, 0, 0);
const Bgra kService(0, 0, 255, 100);

// Every byte differs from its neighbours, so swapped channels, lost rows or a
// wrong row step all show.
cv::Mat patterned(int rows, int cols, int type)
{
    cv::Mat m(rows, cols, type);
    for (int r = 0; r < rows; ++r)
        for (int i = 0; i < cols * m.channels(); ++i)
            m.ptr<uchar>(r)[i] = uchar((r * 31 + i * 7 + 3) & 0xFF);
    return m;
}

bool sameOutside(const cv::Mat& a, const cv::Mat& b, const cv::Rect& rect)
{
    for (int r = 0; r < a.rows; ++r)
        for (int c = 0; c < a.cols; ++c)
            if (!rect.contains(cv::Point(c, r)) && a.at<Bgra>(r, c) != b.at<Bgra>(r, c))
                return false;
    return true;
}

using imagefixtures::encoded;

void put(QByteArray& bytes, int at, quint32 value, int width, bool bigEndian)
{
    for (int i = 0; i < width; ++i)
        bytes[at + i] = char((value >> (8 * (bigEndian ? width - 1 - i : i))) & 0xFF);
}

// A valid 16 x 16 picture of the given kind with the size fields of its header
// rewritten; decoders would happily produce the claimed picture, filling what the
// data lacks with grey.
QByteArray claiming(const char* ext, quint32 width, quint32 height)
{
    QByteArray bytes = encoded(cv::Mat(16, 16, CV_8UC3, cv::Scalar(10, 20, 30)), ext);
    if (QByteArray(ext) == ".png") {
        put(bytes, 16, width, 4, true);
        put(bytes, 20, height, 4, true);
    } else { // JPEG: the baseline frame header
        const int sof = bytes.indexOf("\xFF\xC0");
        put(bytes, sof + 5, height, 2, true);
        put(bytes, sof + 7, width, 2, true);
    }
    return bytes;
}

// Upright: red, green, blue and grey quarters under noise, so a turn or a mirror
// moves a colour and a size search has something to squeeze.
cv::Mat quarters()
{
    cv::Mat photo(160, 240, CV_8UC3), noise(160, 240, CV_8UC3);
    const cv::Scalar colours[] = {{40, 40, 220}, {40, 200, 40}, {220, 60, 40}, {128, 128, 128}};
    for (int q = 0; q < 4; ++q)
        photo(cv::Rect((q % 2) * 120, (q / 2) * 80, 120, 80)) = colours[q];
    cv::randu(noise, cv::Scalar::all(0), cv::Scalar::all(40));
    return photo + noise;
}

bool upright(const cv::Mat& image)
{
    cv::Mat small, expected;
    if (image.size() != cv::Size(240, 160))
        return false;
    cv::resize(image, small, {2, 2}, 0, 0, cv::INTER_AREA);
    if (small.channels() == 4)
        cv::cvtColor(small, small, cv::COLOR_BGRA2BGR);
    cv::resize(quarters(), expected, {2, 2}, 0, 0, cv::INTER_AREA);
    return cv::norm(small, expected, cv::NORM_INF) < 20;
}

long peakResidentKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QStringList folderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// Lowers the largest file this process may write; writing past it fails with
// EFBIG like a full disk, even for root.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_saved{};
    void (*m_oldHandler)(int) = nullptr;
};
} // namespace

class TestImageHelp : public QObject
{
    Q_OBJECT

    QBufferRecycler* m_recycler = QBufferRecycler::instance();
    QString m_folder;

private slots:
    void init()
    {
        m_recycler->setCapacity(0); // drops every idle buffer
        m_recycler->setCapacity(512 * kMiB);
        m_folder = testutils::sandboxPath() + "/" + QTest::currentTestFunction() + "/" +
                   QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_');
        QDir(m_folder).removeRecursively();
        QVERIFY(QDir().mkpath(m_folder));
    }

    void cleanupTestCase() { m_recycler->setCapacity(0); }

    void imageToMat_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("type");
        QTest::newRow("indexed") << int(QImage::Format_Indexed8) << CV_8UC1;
        QTest::newRow("rgb32") << int(QImage::Format_RGB32) << CV_8UC4;
        QTest::newRow("rgb888") << int(QImage::Format_RGB888) << CV_8UC3;
        QTest::newRow("mono") << int(QImage::Format_Mono) << -1;
    }

    void imageToMat()
    {
        QFETCH(int, format);
        QFETCH(int, type);
        QImage image(5, 3, QImage::Format(format));
        image.fill(Qt::transparent);
        if (type < 0) {
            QVERIFY(QImageConvert::imageToMat(image).empty());
            return;
        }
        if (format == QImage::Format_Indexed8) {
            image.setColorCount(256);
            image.fill(0);
            image.setPixel(2, 1, 77);
        } else {
            image.setPixel(2, 1, qRgba(255, 20, 30, 255));
        }
        const cv::Mat mat = QImageConvert::imageToMat(image);
        QCOMPARE(mat.type(), type);
        QCOMPARE(mat.size(), cv::Size(5, 3));
        const uchar* px = mat.ptr<uchar>(1) + 2 * mat.channels();
        if (type == CV_8UC1) {
            QCOMPARE(int(px[0]), 77); // the index, not the palette colour
        } else {
            QCOMPARE(cv::Vec3b(px[0], px[1], px[2]), cv::Vec3b(30, 20, 255)); // blue first
        }
        if (type == CV_8UC4) // 32-bit images are shared, not copied
            QCOMPARE(static_cast<const void*>(mat.data), static_cast<const void*>(image.constBits()));
    }

    void floodFill_data()
    {
        QTest::addColumn<cv::Mat>("image");
        QTest::addColumn<bool>("erase");
        QTest::addColumn<QPoint>("seed");
        QTest::addColumn<int>("tolerance");
        QTest::addColumn<QRect>("expected"); // the area that must change; nothing else may
        // A field of (100, 100, 100), a block of (103, 100, 100) at x 5..9, y 3..7 and
        // a block of (180, 20, 20) at x 12..15, y 2..5.
        cv::Mat blocks(12, 20, CV_8UC3, cv::Scalar(100, 100, 100));
        blocks(cv::Rect(5, 3, 5, 5)).setTo(cv::Scalar(103, 100, 100));
        blocks(cv::Rect(12, 2, 4, 4)).setTo(cv::Scalar(180, 20, 20));
        QTest::newRow("keep block, exact") << blocks << false << QPoint(6, 4) << 0 << QRect(5, 3, 5, 5);
        QTest::newRow("erase from block corner")
            << blocks << true << QPoint(15, 5) << 0 << QRect(12, 2, 4, 4);
        QTest::newRow("seed outside top") << blocks << false << QPoint(4, -1) << 255 << QRect();
        // Each column within 1 of the next: only those within the tolerance of the seed fill.
        cv::Mat ramp(3, 30, CV_8UC3);
        for (int c = 0; c < 30; ++c)
            ramp.col(c).setTo(cv::Scalar(c, 50, 50));
        QTest::newRow("ramp, range fixed at the seed")
            << ramp << false << QPoint(10, 1) << 2 << QRect(8, 0, 5, 3);
        // A diagonal chain: only edge-sharing neighbours belong to the area.
        cv::Mat chain(5, 5, CV_8UC3, cv::Scalar(0, 0, 0));
        for (int i = 0; i < 5; ++i)
            chain.at<cv::Vec3b>(i, i) = cv::Vec3b(200, 200, 200);
        QTest::newRow("four neighbours only") << chain << false << QPoint(0, 0) << 0 << QRect(0, 0, 1, 1);
    }

    void floodFill()
    {
        QFETCH(cv::Mat, image);
        QFETCH(bool, erase);
        QFETCH(QPoint, seed);
        QFETCH(int, tolerance);
        QFETCH(QRect, expected);
        const cv::Mat overlay = patterned(image.rows, image.cols, CV_8UC4);
        const cv::Mat before = overlay.clone();
        const cv::Mat result = QMaskOps::floodFillMask(image, overlay, seed, tolerance, erase);
        QCOMPARE(testutils::maxPixelDifference(overlay, before), 0); // input untouched
        const cv::Rect area(expected.x(), expected.y(), expected.width(), expected.height());
        QVERIFY(sameOutside(result, before, area));
        for (int r = area.y; r < area.y + area.height; ++r)
            for (int c = area.x; c < area.x + area.width; ++c)
                QCOMPARE(result.at<Bgra>(r, c), erase ? kCleared : kKeep);
    }

    void applyMask_data()
    {
        QTest::addColumn<int>("imageType");
        QTest::addColumn<Bgra>("maskPixel");
        QTest::addColumn<Bgra>("expected");
        // base pixel (1, 2, 3, 200); image pixel (50, 60, 70) or (50, 60, 70, 80).
        QTest::newRow("kept, colour image") << CV_8UC3 << kKeep << Bgra(50, 60, 70, 255);
        QTest::newRow("removed") << CV_8UC3 << kCleared << Bgra(1, 2, 3, 0);
        QTest::newRow("service pixel") << CV_8UC3 << kService << Bgra(1, 2, 3, 200);
        QTest::newRow("grey image ignored") << CV_8UC1 << kCleared << Bgra(1, 2, 3, 200);
    }

    void applyMask()
    {
        QFETCH(int, imageType);
        QFETCH(Bgra, maskPixel);
        QFETCH(Bgra, expected);
        const cv::Mat image(6, 8, imageType, cv::Scalar(50, 60, 70, 80));
        const cv::Mat base = testutils::solidBgra(8, 6, cv::Scalar(1, 2, 3, 200));
        cv::Mat mask = testutils::solidBgra(8, 6, cv::Scalar(0, 0, 255, 100));
        mask.at<Bgra>(2, 5) = maskPixel;
        const cv::Mat result = QMaskOps::applyMask(image, base, mask);
        QCOMPARE(result.at<Bgra>(2, 5), expected);
        QVERIFY(sameOutside(result, base, cv::Rect(5, 2, 1, 1)));
        QCOMPARE(base.at<Bgra>(2, 5), Bgra(1, 2, 3, 200)); // base itself untouched
    }

    // On a noisy field: a body whose bent arm encloses a hole the mask holds, an object it missed.
    void refine_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QLine>("line");
        QTest::addColumn<QString>("target"); // what must change, nothing else may
        QTest::newRow("keep across a missed object") << true << QLine(345, 120, 415, 120) << "object";
        QTest::newRow("remove across an enclosed hole") << false << QLine(145, 200, 175, 200) << "hole";
        QTest::newRow("remove on background") << false << QLine(320, 300, 330, 330) << "";
        QTest::newRow("keep inside the body") << true << QLine(230, 200, 270, 200) << "";
    }

    void refine()
    {
        QFETCH(bool, keep);
        QFETCH(QLine, line);
        QFETCH(QString, target);
        cv::Mat photo(360, 480, CV_8UC3, cv::Scalar(60, 160, 80)), noise(photo.size(), CV_8UC3);
        cv::theRNG().state = 7;
        cv::randn(noise, cv::Scalar::all(0), cv::Scalar::all(8));
        photo += noise;
        cv::Mat body(photo.size(), CV_8UC1, cv::Scalar(0)), object = body.clone(), hole = body.clone();
        cv::rectangle(body, cv::Rect(200, 80, 100, 260), 255, cv::FILLED);
        cv::rectangle(body, cv::Rect(129, 159, 80, 82), 255, 18);
        hole(cv::Rect(138, 168, 62, 64)).setTo(255);
        cv::ellipse(object, cv::Point(380, 120), cv::Size(40, 48), 0, 0, 360, 255, cv::FILLED);
        photo.setTo(cv::Scalar(150, 90, 60), body);
        photo.setTo(cv::Scalar(40, 140, 230), object);
        cv::Mat strokes(photo.size(), CV_8UC1, cv::Scalar(0)), mask = body | hole;
        cv::line(strokes, {line.x1(), line.y1()}, {line.x2(), line.y2()},
                 keep ? QMaskRefine::KeepStroke : QMaskRefine::RemoveStroke, 8);
        mask.setTo(keep ? 255 : 0, strokes); // as the editor paints it before refining
        const QMaskRefine::Result result = QMaskRefine::refine(photo, mask, strokes);
        cv::Mat after = mask.clone();
        result.subject.copyTo(after(result.region));
        if (target.isEmpty()) {
            QCOMPARE(cv::countNonZero(after != mask), 0);
            return;
        }
        const cv::Mat changed = (after != mask) | strokes, expected = target == "object" ? object : hole;
        const double iou =
            double(cv::countNonZero(changed & expected)) / cv::countNonZero(changed | expected);
        QVERIFY2(iou >= 0.9, qPrintable(QString::number(iou)));
    }

    // A 20 px square of (10, 20, 30) at x 20..39 in a photo of (200, 100, 50). Each
    // row: feather, shift, decontaminate; then at (x, 30) the alpha (-1: partial) and
    // whether the colour is the photo's.
    void edgeControls_data()
    {
        QTest::addColumn<QVector<int>>("row");
        QTest::newRow("shifted out") << QVector<int>{0, 3, 1, 18, 255, 1};
        QTest::newRow("no further than asked") << QVector<int>{0, 3, 1, 16, 0, 1};
        QTest::newRow("shifted in") << QVector<int>{0, -3, 1, 21, 0, 0};
        QTest::newRow("shift bounded") << QVector<int>{0, -99, 1, 26, 255, 0};
        QTest::newRow("feathered edge") << QVector<int>{8, 0, 1, 20, -1, 0};
        QTest::newRow("photo's colours, inside too") << QVector<int>{0, 0, 0, 30, 255, 1};
    }

    void edgeControls()
    {
        QFETCH(QVector<int>, row);
        cv::Mat cutout = testutils::solidBgra(60, 60, cv::Scalar(0, 0, 0, 0));
        cutout(cv::Rect(20, 20, 20, 20)).setTo(cv::Scalar(10, 20, 30, 255));
        const cv::Mat photo(60, 60, CV_8UC3, cv::Scalar(200, 100, 50));
        const Bgra px =
            QEdgeControls::apply(cutout, photo, {row[0], row[1], row[2] != 0}).at<Bgra>(30, row[3]);
        QVERIFY2(row[4] < 0 ? px[3] > 60 && px[3] < 200 : px[3] == row[4],
                 qPrintable(QString::number(px[3])));
        QCOMPARE(px[0] == 200, row[5] != 0);
    }

    // Bad files are refused without real memory spent (a decoder that believed a
    // forged header would touch gigabytes); the content, not the name, decides.
    void readFiles_data()
    {
        QTest::addColumn<QString>("name"); // in the test folder, or an absolute path
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size"); // invalid: refused
        const QByteArray png = encoded(testutils::texturedBgr(64, 48), ".png");
        const QByteArray jpeg = encoded(testutils::texturedBgr(64, 48), ".jpg");
        QTest::newRow("zero bytes") << "a.png" << QByteArray() << QSize();
        QTest::newRow("png cut in half") << "a.png" << png.left(png.size() / 2) << QSize();
        QTest::newRow("jpeg headers only") << "a.jpg" << jpeg.left(jpeg.indexOf("\xFF\xDA")) << QSize();
        QTest::newRow("png claims 100000 x 100000") << "a.png" << claiming(".png", 100000, 100000) << QSize();
        QTest::newRow("jpeg claims 65535 x 65535") << "a.jpg" << claiming(".jpg", 65535, 65535) << QSize();
        QTest::newRow("over a gigabyte") << "huge.png" << png << QSize();
        QTest::newRow("device without size") << "/dev/zero" << QByteArray() << QSize();
        QTest::newRow("png named .jpg") << QStringLiteral("照片.jpg") << png << QSize(64, 48);
        // HEIC is told by its brand (the scenarios open one): a video's box is no photo.
        QTest::newRow("mp4 named .heic") << "b.heic"
                                         << QByteArray("\0\0\0\x10"
                                                       "ftypisom\0\0\0\0",
                                                       16)
                                         << QSize();
    }

    void readFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        const QString path = name.startsWith('/') ? name : m_folder + "/" + name;
        if (!name.startsWith('/'))
            QVERIFY(testutils::writeFile(path, bytes));
        if (name == "huge.png") // sparse: costs no disk, but reading it whole would cost a gigabyte
            QVERIFY(QFile(path).resize((qint64(1) << 30) + 1));
        const long before = peakResidentKb();
        const cv::Mat read = QImageFiles::read(path);
        QCOMPARE(QSize(read.cols, read.rows), size.isValid() ? size : QSize(0, 0));
        if (!name.startsWith('/') && name != "huge.png")
            QCOMPARE(QImageFiles::decode(bytes).empty(), !size.isValid());
        QVERIFY2(peakResidentKb() - before < 64 * 1024, "reading a bad file used real memory");
    }

    // What a save keeps of its photo: upright pixels and orientation, the date, the
    // profile (or an sRGB mark on a PNG), location and serials only when asked, all
    // of it within a JPG size limit (a PNG ignores it), and the density asked for.
    void savedMetadata_data()
    {
        QTest::addColumn<int>("orientation"); // 0: no Exif
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("profile");
        QTest::addColumn<bool>("privateTags");
        QTest::addColumn<bool>("keepPrivate");
        QTest::addColumn<int>("kilobytes");
        QTest::addColumn<int>("dpi");
        for (int o = 1; o <= 8; ++o)
            for (const SaveFormat f : {SaveFormat::Png, SaveFormat::Jpg})
                QTest::addRow("orientation %d %s", o, qPrintable(QSaveFileWriter::extension(f)))
                    << o << int(f) << bool(o % 2) << (o >= 5) << false << 0 << 0;
        QTest::newRow("kept jpg 2034 dpi") << 6 << int(SaveFormat::Jpg) << true << true << true << 0 << 2034;
        QTest::newRow("kept png 72 dpi") << 3 << int(SaveFormat::Png) << false << true << true << 1 << 72;
        QTest::newRow("webp") << 6 << int(SaveFormat::Webp) << true << true << false << 0 << 0;
        QTest::newRow("no exif") << 0 << int(SaveFormat::Png) << false << false << false << 0 << 0;
        QTest::newRow("limit counts it") << 8 << int(SaveFormat::Jpg) << true << true << true << 12 << 0;
    }

    void savedMetadata()
    {
        QFETCH(int, orientation);
        QFETCH(int, format);
        QFETCH(bool, profile);
        QFETCH(bool, privateTags);
        QFETCH(bool, keepPrivate);
        QFETCH(int, kilobytes);
        QFETCH(int, dpi);
        const cv::Mat stored = photometadata::turnedAgainst(quarters(), orientation);
        const QString photo = m_folder + "/photo.jpg";
        QVERIFY(testutils::writeFile(photo, encoded(stored, ".jpg", {cv::IMWRITE_JPEG_QUALITY, 98})));
        photometadata::tag(photo, orientation, profile, privateTags);
        cv::Mat pixels = QImageFiles::read(photo);
        QVERIFY(upright(pixels));
        cv::cvtColor(pixels, pixels, cv::COLOR_BGR2BGRA);
        pixels(cv::Rect(0, 0, 10, 10)) = cv::Scalar::all(0);

        const QSaveFileWriter::Options options{SaveFormat(format), kilobytes, dpi, photo, keepPrivate};
        const QString saved = photo + "." + QSaveFileWriter::extension(options.format);
        QSaveFileWriter::Result result;
        QVERIFY(QSaveFileWriter::write(saved, pixels, options, &result));
        const QByteArray bytes = testutils::readFile(saved);
        if (kilobytes > 0 && options.format == SaveFormat::Jpg)
            QVERIFY(bytes.size() <= kilobytes * 1024 && result.quality < 90);
        else
            QCOMPARE(result.encoderRuns, 1);
        // Qt's JPEG reader truncates the conversion to dots per metre.
        if (dpi > 0)
            QVERIFY(qAbs(QImage::fromData(bytes).dotsPerMeterX() - qRound(dpi / 0.0254)) <= 1);
        const cv::Mat decoded = QImageFiles::decode(bytes);
        QVERIFY(upright(decoded));
        QCOMPARE(decoded.channels() == 4 && decoded.at<Bgra>(2, 2)[3] == 0,
                 options.format != SaveFormat::Jpg);
        const photometadata::Found found = photometadata::read(saved);
        QVERIFY(found.orientation.isEmpty() || found.orientation == "1");
        QCOMPARE(found.taken, orientation > 0 ? QString(photometadata::kTaken) : QString());
        for (const QString& tag : {found.latitude, found.bodySerial, found.lensSerial})
            QCOMPARE(tag.isEmpty(), !(privateTags && keepPrivate));
        QCOMPARE(found.profile, profile ? photometadata::displayP3() : QByteArray());
        QCOMPARE(bytes.contains(QByteArray("\0\0\0\1sRGB", 8)),
                 options.format == SaveFormat::Png && !profile);
    }

    void writeAtomically_data()
    {
        QTest::addColumn<QString>("target");    // relative to the test folder
        QTest::addColumn<int>("fileSizeLimit"); // 0: none
        QTest::addColumn<bool>("ok");
        QTest::newRow("new file") << QStringLiteral("新文件.bin") << 0 << true;
        QTest::newRow("replaces old content") << QStringLiteral("old.bin") << 0 << true;
        QTest::newRow("parent is a file") << QStringLiteral("old.bin/child.bin") << 0 << false;
        QTest::newRow("missing folder") << QStringLiteral("nowhere/child.bin") << 0 << false;
        QTest::newRow("target is a folder") << QStringLiteral("folder") << 0 << false;
        QTest::newRow("disk full") << QStringLiteral("old.bin") << 4096 << false;
    }

    void writeAtomically()
    {
        QFETCH(QString, target);
        QFETCH(int, fileSizeLimit);
        QFETCH(bool, ok);
        QVERIFY(testutils::writeFile(m_folder + "/old.bin", "old content"));
        QVERIFY(QDir(m_folder).mkdir("folder"));
        const QStringList before = folderEntries(m_folder);
        const QByteArray bytes(200 * 1024, 'n');
        const QString path = m_folder + "/" + target;
        QString error;
        bool written = false;
        {
            std::unique_ptr<FileSizeLimit> limit;
            if (fileSizeLimit > 0)
                limit = std::make_unique<FileSizeLimit>(rlim_t(fileSizeLimit));
            written = QImageFiles::writeAtomically(path, bytes, &error);
        }
        QCOMPARE(written, ok);
        if (ok) {
            QVERIFY(error.isEmpty());
            QCOMPARE(testutils::readFile(path), bytes);
            return;
        }
        QVERIFY(error.contains(QDir::toNativeSeparators(path)));
        QVERIFY2(error.size() > path.size() + 12, qPrintable(error)); // names a reason too
        // Nothing half-written, nothing left behind, the old file intact.
        QCOMPARE(folderEntries(m_folder), before);
        QCOMPARE(testutils::readFile(m_folder + "/old.bin"), QByteArray("old content"));
    }

    // Only the choice of message: a test cannot fill a disk, so it asks for more
    // room than any disk has.
    void noRoomMessage()
    {
        const QString path = m_folder + "/out.png";
        QVERIFY(QImageFiles::noRoomMessage(path, 1).isEmpty());
        const QString full = QImageFiles::noRoomMessage(path, qint64(1) << 60);
        QVERIFY2(full.contains(QDir::toNativeSeparators(QDir::cleanPath(m_folder))) &&
                     full.contains("out.png") && full.contains(QLocale().formattedDataSize(qint64(1) << 60)),
                 qPrintable(full));
    }

    // Only the byte count matters: 6400 x 1600 grey reuses a freed 1600 x 1600 BGRA
    // buffer. Small buffers are left to malloc.
    void reuseBySize()
    {
        for (int side : {kSmall, kLarge}) {
            cv::Mat a = QBufferRecycler::createMat(side, side, CV_8UC4);
            const uchar* buffer = a.data;
            const std::size_t bytes = side == kLarge ? a.total() * a.elemSize() : 0;
            a.release();
            QCOMPARE(m_recycler->idleBytes(), bytes);
            const cv::Mat b = QBufferRecycler::createMat(side, side * 4, CV_8UC1);
            QVERIFY(!bytes || b.data == buffer);
            QCOMPARE(b.size(), cv::Size(side * 4, side));
            QCOMPARE(m_recycler->idleBytes(), std::size_t(0));
        }
    }

    void concurrentUseNeverSharesABuffer()
    {
        // Each thread stamps its buffers with its own value and checks the stamp is
        // still there after the others had time to run: a buffer handed out twice shows.
        std::atomic<int> failures{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([t, &failures] {
                for (int i = 0; i < 25; ++i) {
                    const int side = (i + t) % 2 ? kLarge : kLarge + 16;
                    cv::Mat m = QBufferRecycler::createMat(side, side, CV_8UC4);
                    m.setTo(cv::Scalar::all(t + 1));
                    std::this_thread::yield();
                    if (cv::sum(m)[0] != double(t + 1) * side * side)
                        ++failures;
                }
            });
        }
        for (auto& th : threads)
            th.join();
        QCOMPARE(failures.load(), 0);
        QVERIFY(m_recycler->idleBytes() <= 512 * kMiB);
    }

    void fill_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<QInpaint::Method>("method");
        QTest::addColumn<cv::Rect>("box");
        const cv::Rect middle(250, 270, 140, 40), corner(540, 450, 140, 40);
        QTest::newRow("auto") << 3 << QInpaint::Method::Auto << middle;
        QTest::newRow("fsr") << 3 << QInpaint::Method::Fsr << middle;
        QTest::newRow("telea") << 3 << QInpaint::Method::Telea << middle;
        QTest::newRow("at the border") << 3 << QInpaint::Method::Auto << corner;
        QTest::newRow("alpha, telea") << 4 << QInpaint::Method::Telea << middle;
        QTest::newRow("alpha, fsr, border") << 4 << QInpaint::Method::Fsr << corner;
    }
    void fill()
    {
        QFETCH(int, channels);
        QFETCH(QInpaint::Method, method);
        QFETCH(cv::Rect, box);
        const inpaintfixtures::Marked m = inpaintfixtures::markText(astronaut(channels), box);
        cv::Mat image = m.marked.clone();
        QVERIFY(QInpaint::fill(image, m.mask, method) == QInpaint::bounds(m.mask));
        QCOMPARE(cv::norm(image, m.marked, cv::NORM_INF, m.mask == 0), 0.0);
        cv::Mat before, after; // alpha
        cv::extractChannel(m.marked, before, channels - 1), cv::extractChannel(image, after, channels - 1);
        QVERIFY(channels == 3 || cv::countNonZero(before != after) == 0);
        const double error = inpaintfixtures::meanAbsError(image, m.clean, m.mask);
        const double blur =
            inpaintfixtures::meanAbsError(inpaintfixtures::blurFill(m.marked, m.mask), m.clean, m.mask);
        QVERIFY2(error < 0.8 * blur, qPrintable(QString("fill %1, blur %2").arg(error).arg(blur)));
    }

    void fillNothing_data()
    {
        QTest::addColumn<cv::Mat>("image");
        QTest::addColumn<cv::Mat>("mask");
        const cv::Mat bgr = astronaut(3);
        QTest::newRow("empty mask") << bgr << cv::Mat(bgr.size(), CV_8U, cv::Scalar(0));
        QTest::newRow("mask of another size") << bgr << cv::Mat(10, 10, CV_8U, cv::Scalar(255));
        QTest::newRow("grey image") << cv::Mat(bgr.size(), CV_8U, cv::Scalar(9))
                                    << cv::Mat(bgr.size(), CV_8U, cv::Scalar(255));
    }
    void fillNothing()
    {
        QFETCH(cv::Mat, image);
        QFETCH(cv::Mat, mask);
        cv::Mat filled = image.clone();
        QVERIFY(QInpaint::fill(filled, mask).empty());
        QCOMPARE(cv::norm(filled, image, cv::NORM_INF), 0.0);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestImageHelp)
#include "tst_imagehelp.moc"
