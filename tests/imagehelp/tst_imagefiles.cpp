// Reading, decoding, encoding and writing image files: bad and forged files,
// orientation, non-ASCII paths, atomic writes and the cascade loader.

#include "logger.h"
#include "qimagehelp.h"
#include "testutils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <sys/resource.h>

#include <csignal>
#include <memory>
#include <mutex>

Q_DECLARE_METATYPE(cv::Mat)

namespace {

enum Corner { TopLeft, TopRight, BottomRight, BottomLeft };

QByteArray encoded(const cv::Mat& mat, const char* ext, const std::vector<int>& params = {})
{
    std::vector<uchar> buffer;
    cv::imencode(ext, mat, buffer, params);
    return QByteArray(reinterpret_cast<const char*>(buffer.data()), int(buffer.size()));
}

void putBigEndian16(QByteArray& bytes, int at, int value)
{
    bytes[at] = char((value >> 8) & 0xFF);
    bytes[at + 1] = char(value & 0xFF);
}

// A valid JPEG whose frame header claims another size. The decoder would happily
// produce the claimed picture, filling what the data lacks with grey.
QByteArray jpegClaiming(int width, int height)
{
    QByteArray bytes = encoded(cv::Mat(16, 16, CV_8UC3, cv::Scalar(10, 20, 30)), ".jpg");
    const int sof = bytes.indexOf("\xFF\xC0");
    putBigEndian16(bytes, sof + 5, height);
    putBigEndian16(bytes, sof + 7, width);
    return bytes;
}

QByteArray pngClaiming(quint32 width, quint32 height)
{
    QByteArray bytes = encoded(cv::Mat(16, 16, CV_8UC3, cv::Scalar(10, 20, 30)), ".png");
    for (int i = 0; i < 4; ++i) {
        bytes[16 + i] = char((width >> (24 - 8 * i)) & 0xFF);
        bytes[20 + i] = char((height >> (24 - 8 * i)) & 0xFF);
    }
    return bytes;
}

QByteArray bmpClaiming(qint32 width, qint32 height)
{
    QByteArray bytes = encoded(cv::Mat(16, 16, CV_8UC3, cv::Scalar(10, 20, 30)), ".bmp");
    for (int i = 0; i < 4; ++i) {
        bytes[18 + i] = char((width >> (8 * i)) & 0xFF);
        bytes[22 + i] = char((height >> (8 * i)) & 0xFF);
    }
    return bytes;
}

// 40 x 20, red in the top-left 10 x 10 block, green elsewhere.
cv::Mat markedPicture()
{
    cv::Mat m(20, 40, CV_8UC3, cv::Scalar(0, 200, 0));
    m(cv::Rect(0, 0, 10, 10)).setTo(cv::Scalar(0, 0, 255));
    return m;
}

// The JPEG of markedPicture with an EXIF block carrying only the orientation tag.
QByteArray jpegWithOrientation(int orientation)
{
    QByteArray exif("Exif\0\0", 6);
    exif += QByteArray("II\x2A\0\x08\0\0\0", 8);                // TIFF header, IFD at 8
    exif += QByteArray("\x01\0", 2);                             // one entry
    exif += QByteArray("\x12\x01\x03\0\x01\0\0\0", 8);           // 0x0112 SHORT x1
    exif += char(orientation);
    exif += QByteArray(3, '\0');
    exif += QByteArray(4, '\0');                                 // no next IFD
    QByteArray segment("\xFF\xE1\0\0", 4);
    putBigEndian16(segment, 2, exif.size() + 2);
    QByteArray jpeg = encoded(markedPicture(), ".jpg", {cv::IMWRITE_JPEG_QUALITY, 95});
    return jpeg.insert(2, segment + exif);
}

Corner redCorner(const cv::Mat& m)
{
    const cv::Point corners[] = {{2, 2}, {m.cols - 3, 2}, {m.cols - 3, m.rows - 3}, {2, m.rows - 3}};
    for (int i = 0; i < 4; ++i) {
        const cv::Vec3b px = m.at<cv::Vec3b>(corners[i]);
        if (px[2] > 200 && px[1] < 60)
            return Corner(i);
    }
    return Corner(-1);
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

class TestImageFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void badBytes_data();
    void badBytes();
    void unreadablePaths_data();
    void unreadablePaths();
    void alphaKeptOnlyWhenDecodingBytes();
    void sixteenBitBecomesEightBit();
    void exifOrientation_data();
    void exifOrientation();

    void saveAndReadBack_data();
    void saveAndReadBack();
    void saveResizedIgnoresAspect();
    void saveIntoUnwritablePlaceWritesNothing();
    void encodeImage_data();
    void encodeImage();

    void writeAtomically_data();
    void writeAtomically();

    void loadCascade_data();
    void loadCascade();

private:
    QString m_folder;
};

void TestImageFiles::init()
{
    m_folder = testutils::sandboxPath() + "/" + QTest::currentTestFunction() + "/" +
               QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_');
    QDir(m_folder).removeRecursively();
    QVERIFY(QDir().mkpath(m_folder));
}

void TestImageFiles::badBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray png = encoded(testutils::texturedBgr(64, 48), ".png");
    const QByteArray jpeg = encoded(testutils::texturedBgr(64, 48), ".jpg");
    QTest::newRow("zero bytes") << QByteArray();
    QTest::newRow("text") << QByteArray("this is not a picture at all, just words\n");
    QTest::newRow("png cut in half") << png.left(png.size() / 2);
    QTest::newRow("png signature only") << png.left(8);
    QTest::newRow("jpeg cut in half") << jpeg.left(jpeg.size() / 2);
    QTest::newRow("jpeg without end marker") << jpeg.left(jpeg.size() - 2);
    QTest::newRow("jpeg headers only") << jpeg.left(jpeg.indexOf("\xFF\xDA"));
    QTest::newRow("png claims 100000 x 100000") << pngClaiming(100000, 100000);
    QTest::newRow("png claims 20000 x 20000") << pngClaiming(20000, 20000);
    QTest::newRow("jpeg claims 65535 x 65535") << jpegClaiming(65535, 65535);
    QTest::newRow("jpeg claims 20000 x 20000") << jpegClaiming(20000, 20000);
    QTest::newRow("bmp claims 100000 x 100000") << bmpClaiming(100000, 100000);
    QTest::newRow("bmp claims 20000 x -20000") << bmpClaiming(20000, -20000);
    QTest::newRow("bmp claims zero width") << bmpClaiming(0, 16);
}

void TestImageFiles::badBytes()
{
    QFETCH(QByteArray, bytes);

    const long before = peakResidentKb();
    QVERIFY(QImageHelp::decodeImageBytes(bytes).empty());
    const QString path = m_folder + "/bad.jpg";
    QVERIFY(testutils::writeFile(path, bytes));
    QVERIFY(QImageHelp::readImageFile(path).empty());
    // A decoder that believed a forged header would have touched gigabytes.
    QVERIFY2(peakResidentKb() - before < 64 * 1024, "decoding a bad file used real memory");
}

void TestImageFiles::unreadablePaths_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("missing") << QStringLiteral("missing.png");
    QTest::newRow("folder") << QString();
    QTest::newRow("below a file") << QStringLiteral("plain.txt/inside.png");
    QTest::newRow("device without size") << QStringLiteral("/dev/zero");
    QTest::newRow("over a gigabyte") << QStringLiteral("huge.png");
}

void TestImageFiles::unreadablePaths()
{
    QFETCH(QString, path);
    QVERIFY(testutils::writeFile(m_folder + "/plain.txt", "text"));
    // A sparse file: costs no disk, but reading it whole would cost a gigabyte.
    QFile huge(m_folder + "/huge.png");
    QVERIFY(huge.open(QIODevice::WriteOnly));
    QVERIFY(huge.write(encoded(cv::Mat(4, 4, CV_8UC3), ".png")) > 0);
    QVERIFY(huge.resize((qint64(1) << 30) + 1));
    huge.close();
    const long before = peakResidentKb();
    const QString full = path.startsWith('/') ? path : m_folder + "/" + path;
    QVERIFY(QImageHelp::readImageFile(full).empty());
    QVERIFY(peakResidentKb() - before < 64 * 1024);
}

void TestImageFiles::alphaKeptOnlyWhenDecodingBytes()
{
    cv::Mat cutout = testutils::solidBgra(30, 20, cv::Scalar(40, 80, 120, 0));
    cutout(cv::Rect(5, 5, 10, 10)).setTo(cv::Scalar(40, 80, 120, 255));
    const QByteArray png = encoded(cutout, ".png");

    const cv::Mat decoded = QImageHelp::decodeImageBytes(png);
    QCOMPARE(decoded.type(), CV_8UC4);
    QCOMPARE(testutils::maxPixelDifference(decoded, cutout), 0);

    const QString path = m_folder + "/cutout.png";
    QVERIFY(testutils::writeFile(path, png));
    const cv::Mat read = QImageHelp::readImageFile(path);
    QCOMPARE(read.type(), CV_8UC3);
    QCOMPARE(read.size(), cutout.size());
}

void TestImageFiles::sixteenBitBecomesEightBit()
{
    const cv::Mat deep(6, 7, CV_16UC4, cv::Scalar(65535, 257 * 100, 0, 257 * 30));
    const cv::Mat decoded = QImageHelp::decodeImageBytes(encoded(deep, ".png"));
    QCOMPARE(decoded.type(), CV_8UC4);
    QCOMPARE(decoded.at<cv::Vec4b>(3, 3), cv::Vec4b(255, 100, 0, 30));
}

void TestImageFiles::exifOrientation_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("corner");

    QTest::newRow("upright") << 1 << QSize(40, 20) << int(TopLeft);
    QTest::newRow("mirrored") << 2 << QSize(40, 20) << int(TopRight);
    QTest::newRow("upside down") << 3 << QSize(40, 20) << int(BottomRight);
    QTest::newRow("turned right") << 6 << QSize(20, 40) << int(TopRight);
    QTest::newRow("turned left") << 8 << QSize(20, 40) << int(BottomLeft);
}

void TestImageFiles::exifOrientation()
{
    QFETCH(int, orientation);
    QFETCH(QSize, size);
    QFETCH(int, corner);

    const QByteArray jpeg = jpegWithOrientation(orientation);
    const QString path = m_folder + "/photo.jpg";
    QVERIFY(testutils::writeFile(path, jpeg));

    // A photo is shown the way the camera meant it...
    const cv::Mat photo = QImageHelp::readImageFile(path);
    QCOMPARE(QSize(photo.cols, photo.rows), size);
    QCOMPARE(int(redCorner(photo)), corner);
    // ...while stored bytes (a cut-out from the service) come back as stored.
    const cv::Mat stored = QImageHelp::decodeImageBytes(jpeg);
    QCOMPARE(QSize(stored.cols, stored.rows), QSize(40, 20));
    QCOMPARE(int(redCorner(stored)), int(TopLeft));
}

void TestImageFiles::saveAndReadBack_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("tolerance");

    QTest::newRow("png") << QStringLiteral("猫咪.png") << ".png" << int(QImage::Format_ARGB32) << 0;
    QTest::newRow("png without dot") << QStringLiteral("证件照 1.png") << "png"
                                     << int(QImage::Format_RGB32) << 0;
    QTest::newRow("jpg") << QStringLiteral("照片.jpg") << ".jpg" << int(QImage::Format_RGB32) << 12;
    QTest::newRow("jpg from alpha") << QStringLiteral("照片2.jpg") << "jpg" << int(QImage::Format_ARGB32)
                                    << 12;
    QTest::newRow("bmp") << QStringLiteral("图.bmp") << ".bmp" << int(QImage::Format_RGB888) << 0;
    QTest::newRow("webp") << QStringLiteral("图.webp") << ".webp" << int(QImage::Format_RGB32) << 12;
    QTest::newRow("tiff") << QStringLiteral("图.tiff") << ".tiff" << int(QImage::Format_RGB32) << 0;
}

void TestImageFiles::saveAndReadBack()
{
    QFETCH(QString, name);
    QFETCH(QString, ext);
    QFETCH(int, format);
    QFETCH(int, tolerance);

    // Flat blocks survive lossy encoders nearly unchanged.
    QImage image(48, 32, QImage::Format(format));
    image.fill(QColor(200, 40, 30));
    for (int y = 16; y < 32; ++y)
        for (int x = 24; x < 48; ++x)
            image.setPixel(x, y, qRgb(20, 60, 220));

    const QString path = m_folder + QStringLiteral("/输出 文件夹/") + name;
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QImageHelp::saveImageFile(ext.toStdString(), path, image);
    QVERIFY(QFile::exists(path));

    const cv::Mat read = QImageHelp::readImageFile(path);
    QCOMPARE(read.type(), CV_8UC3);
    const QImage back = QImageHelp::matToImage(read);
    if (tolerance == 0) {
        QCOMPARE(testutils::maxPixelDifference(back, image.convertToFormat(QImage::Format_RGB888)), 0);
        return;
    }
    // Lossy encoders blur the block edges; the block centres keep their colours.
    QCOMPARE(back.size(), image.size());
    for (const QPoint& p : {QPoint(8, 8), QPoint(36, 24)}) {
        const QColor got = back.pixelColor(p);
        const QColor want = image.pixelColor(p);
        QVERIFY(qAbs(got.red() - want.red()) <= tolerance);
        QVERIFY(qAbs(got.green() - want.green()) <= tolerance);
        QVERIFY(qAbs(got.blue() - want.blue()) <= tolerance);
    }
}

void TestImageFiles::saveResizedIgnoresAspect()
{
    QImage image(40, 20, QImage::Format_ARGB32);
    image.fill(qRgba(10, 200, 30, 255));
    const QString path = m_folder + QStringLiteral("/一寸.png");
    QImageHelp::saveImageFileResized(".png", path, QSize(13, 31), image);
    const cv::Mat read = QImageHelp::decodeImageBytes([&] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }());
    QCOMPARE(read.type(), CV_8UC4);
    QCOMPARE(read.size(), cv::Size(13, 31));
    QCOMPARE(read.at<cv::Vec4b>(15, 6), cv::Vec4b(30, 200, 10, 255));

    const QString nothing = m_folder + "/empty-size.png";
    QImageHelp::saveImageFileResized(".png", nothing, QSize(0, 10), image);
    QVERIFY(!QFile::exists(nothing));
}

void TestImageFiles::saveIntoUnwritablePlaceWritesNothing()
{
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QVERIFY(testutils::writeFile(m_folder + "/file", "x"));
    QImageHelp::saveImageFile(".png", m_folder + "/file/inside.png", image);
    QImageHelp::saveImageFile(".nosuchformat", m_folder + "/unknown.nosuchformat", image);
    QImageHelp::saveImageFile(".png", m_folder + "/null.png", QImage());
    QCOMPARE(folderEntries(m_folder), QStringList{"file"});
}

void TestImageFiles::encodeImage_data()
{
    QTest::addColumn<cv::Mat>("mat");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<bool>("ok");

    const cv::Mat colour = testutils::texturedBgr(20, 10);
    QTest::newRow("png") << colour << ".png" << true;
    QTest::newRow("alpha png") << testutils::solidBgra(5, 5, cv::Scalar(1, 2, 3, 4)) << "png" << true;
    QTest::newRow("unknown extension") << colour << ".xyz" << false;
    QTest::newRow("no extension") << colour << "" << false;
    QTest::newRow("empty matrix") << cv::Mat() << ".png" << false;
    QTest::newRow("two channels") << cv::Mat(4, 4, CV_8UC2, cv::Scalar(1, 2)) << ".jpg" << false;
}

void TestImageFiles::encodeImage()
{
    QFETCH(cv::Mat, mat);
    QFETCH(QString, ext);
    QFETCH(bool, ok);

    QByteArray out("untouched");
    QCOMPARE(QImageHelp::encodeImage(mat, ext.toStdString(), {}, &out), ok);
    if (!ok) {
        QCOMPARE(out, QByteArray("untouched"));
        return;
    }
    QCOMPARE(testutils::maxPixelDifference(QImageHelp::decodeImageBytes(out), mat), 0);
}

void TestImageFiles::writeAtomically_data()
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

void TestImageFiles::writeAtomically()
{
    QFETCH(QString, target);
    QFETCH(int, fileSizeLimit);
    QFETCH(bool, ok);

    const QByteArray oldContent("old content");
    QVERIFY(testutils::writeFile(m_folder + "/old.bin", oldContent));
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
        written = QImageHelp::writeFileAtomically(path, bytes, &error);
    }
    QCOMPARE(written, ok);

    QFile file(path);
    if (ok) {
        QVERIFY(error.isEmpty());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), bytes);
        return;
    }
    QVERIFY(error.contains(QDir::toNativeSeparators(path)));
    QVERIFY2(error.size() > path.size() + 12, qPrintable(error)); // names a reason too
    // Nothing half-written, nothing left behind, the old file intact.
    QCOMPARE(folderEntries(m_folder), before);
    QFile old(m_folder + "/old.bin");
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), oldContent);
}

void TestImageFiles::loadCascade_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<bool>("logged");

    QTest::newRow("missing file") << QStringLiteral("no-such-cascade.xml") << false << true;
    QTest::newRow("not a cascade") << QStringLiteral("garbage.xml") << false << true;
    QTest::newRow("no path") << QString() << false << false;
    QTest::newRow("face cascade") << testutils::binPath("h_face.xml") << true << false;
}

void TestImageFiles::loadCascade()
{
    QFETCH(QString, path);
    QFETCH(bool, loads);
    QFETCH(bool, logged);

    if (loads && !QFile::exists(path))
        QSKIP("the face cascade was not installed beside the program");
    QVERIFY(testutils::writeFile(m_folder + "/garbage.xml", "<?xml version=\"1.0\"?><opencv_storage>"));
    const QString full = path.isEmpty() || path.startsWith('/') ? path : m_folder + "/" + path;

    std::mutex mutex;
    QList<QPair<int, QString>> records;
    kzl::logger::setCallback([&](const std::shared_ptr<kzl::LogRecord>& r) {
        std::lock_guard<std::mutex> lock(mutex);
        records.append({r->level, QString::fromStdWString(r->message)});
    });
    const cv::CascadeClassifier classifier = QImageHelp::loadCascade(full.toStdString());
    kzl::logger::setCallback(nullptr);

    QCOMPARE(!classifier.empty(), loads);
    if (!logged) {
        QVERIFY(records.isEmpty());
        return;
    }
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first().first, 1);
    QCOMPARE(records.first().second, QStringLiteral("ERROR: Could not load classifier cascade"));
}

BRISEL_TEST_GUILESS_MAIN(TestImageFiles)
#include "tst_imagefiles.moc"
