// Reading, decoding, encoding and writing image files: the size check made before
// any decoding, bad and forged files, orientation, non-ASCII paths, atomic writes.

#include "imagefixtures.h"
#include "qimagefiles.h"
#include "qimageheader.h"
#include "testutils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <sys/resource.h>

#include <csignal>
#include <memory>
#include <vector>

Q_DECLARE_METATYPE(cv::Mat)

namespace {

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
    } else if (QByteArray(ext) == ".bmp") {
        put(bytes, 18, width, 4, false);
        put(bytes, 22, height, 4, false);
    } else { // JPEG: the baseline frame header
        const int sof = bytes.indexOf("\xFF\xC0");
        put(bytes, sof + 5, height, 2, true);
        put(bytes, sof + 7, width, 2, true);
    }
    return bytes;
}

QSize probe(const QByteArray& bytes)
{
    return QImageHeader::probe(reinterpret_cast<const unsigned char*>(bytes.constData()),
                               std::size_t(bytes.size()));
}

bool acceptable(const QByteArray& bytes)
{
    return QImageHeader::acceptable(reinterpret_cast<const unsigned char*>(bytes.constData()),
                                    std::size_t(bytes.size()));
}

// A minimal TIFF header with one IFD holding width and height in the given types
// (3: SHORT, 4: LONG).
QByteArray tiff(bool bigEndian, int widthType, quint32 width, int heightType, quint32 height)
{
    QByteArray bytes(bigEndian ? "MM\0*" : "II*\0", 4);
    bytes += QByteArray(4 + 2 + 2 * 12 + 4, '\0');
    put(bytes, 4, 8, 4, bigEndian);
    put(bytes, 8, 2, 2, bigEndian);
    const quint32 tags[2][3] = {{256, quint32(widthType), width}, {257, quint32(heightType), height}};
    for (int i = 0; i < 2; ++i) {
        const int entry = 10 + 12 * i;
        put(bytes, entry, tags[i][0], 2, bigEndian);
        put(bytes, entry + 2, tags[i][1], 2, bigEndian);
        put(bytes, entry + 4, 1, 4, bigEndian);
        put(bytes, entry + 8, tags[i][2], tags[i][1] == 3 ? 2 : 4, bigEndian);
    }
    return bytes;
}

enum Corner
{
    TopLeft,
    TopRight,
    BottomRight,
    BottomLeft
};

// A JPEG of 40 x 20, red in the top-left 10 x 10 block and green elsewhere, with
// an EXIF block carrying only the orientation tag.
QByteArray jpegWithOrientation(int orientation)
{
    cv::Mat picture(20, 40, CV_8UC3, cv::Scalar(0, 200, 0));
    picture(cv::Rect(0, 0, 10, 10)).setTo(cv::Scalar(0, 0, 255));
    QByteArray exif("Exif\0\0II\x2A\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 24); // 0x0112 SHORT x1
    exif += char(orientation) + QByteArray(7, '\0');
    QByteArray segment("\xFF\xE1\0\0", 4);
    put(segment, 2, quint32(exif.size() + 2), 2, true);
    return encoded(picture, ".jpg", {cv::IMWRITE_JPEG_QUALITY, 95}).insert(2, segment + exif);
}

int redCorner(const cv::Mat& m)
{
    const cv::Point corners[] = {{2, 2}, {m.cols - 3, 2}, {m.cols - 3, m.rows - 3}, {2, m.rows - 3}};
    for (int i = 0; i < 4; ++i)
        if (m.at<cv::Vec3b>(corners[i])[2] > 200 && m.at<cv::Vec3b>(corners[i])[1] < 60)
            return i;
    return -1;
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

    QString m_folder;

private slots:
    void init()
    {
        m_folder = testutils::sandboxPath() + "/" + QTest::currentTestFunction() + "/" +
                   QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_');
        QDir(m_folder).removeRecursively();
        QVERIFY(QDir().mkpath(m_folder));
    }

    void encodedSizes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");
        const QSize sizes[] = {{1, 1}, {37, 23}, {3, 513}};
        for (const QSize& s : sizes) {
            const cv::Mat colour = testutils::texturedBgr(s.width(), s.height());
            const cv::Mat alpha = testutils::solidBgra(s.width(), s.height(), cv::Scalar(1, 2, 3, 100));
            const QByteArray tag = QByteArray::number(s.width()) + "x" + QByteArray::number(s.height());
            QTest::addRow("png %s", tag.constData()) << encoded(colour, ".png") << s;
            QTest::addRow("jpeg %s", tag.constData()) << encoded(colour, ".jpg") << s;
            QTest::addRow("progressive jpeg %s", tag.constData())
                << encoded(colour, ".jpg", {cv::IMWRITE_JPEG_PROGRESSIVE, 1}) << s;
            QTest::addRow("bmp %s", tag.constData()) << encoded(colour, ".bmp") << s;
            QTest::addRow("webp lossy %s", tag.constData()) << encoded(colour, ".webp") << s;
            QTest::addRow("webp lossless %s", tag.constData())
                << encoded(colour, ".webp", {cv::IMWRITE_WEBP_QUALITY, 101}) << s;
            QTest::addRow("webp alpha %s", tag.constData())
                << encoded(alpha, ".webp", {cv::IMWRITE_WEBP_QUALITY, 80}) << s;
            QTest::addRow("tiff %s", tag.constData()) << encoded(colour, ".tiff") << s;
        }
    }

    void encodedSizes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QCOMPARE(probe(bytes), size);
        QVERIFY(acceptable(bytes));
    }

    void cutShort_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("headerEnd"); // shortest prefix that may give a size; -1: none
        const cv::Mat colour = testutils::texturedBgr(33, 17);
        QTest::newRow("png") << encoded(colour, ".png") << 24;
        QTest::newRow("jpeg") << encoded(colour, ".jpg") << -1; // its end marker is the last byte
        QTest::newRow("bmp") << encoded(colour, ".bmp") << 26;
        QTest::newRow("webp") << encoded(colour, ".webp") << 30;
    }

    void cutShort()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, headerEnd);
        // Every prefix is probed; none may read past its end or claim a size too early.
        for (int n = 0; n < bytes.size(); ++n) {
            const QSize size = probe(bytes.left(n));
            if (headerEnd < 0 || n < headerEnd)
                QVERIFY2(!size.isValid(), qPrintable(QString::number(n)));
            else
                QCOMPARE(size, QSize(33, 17));
        }
    }

    void claims_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("acceptable");
        QTest::newRow("png at the limit") << claiming(".png", 17320, 17320) << QSize(17320, 17320) << true;
        QTest::newRow("png just over") << claiming(".png", 17321, 17321) << QSize(17321, 17321) << false;
        QTest::newRow("png one row too long")
            << claiming(".png", 300000001, 1) << QSize(300000001, 1) << false;
        QTest::newRow("png zero height") << claiming(".png", 10, 0) << QSize() << false;
        QTest::newRow("png beyond int") << claiming(".png", 0x80000000u, 1) << QSize() << false;

        QTest::newRow("tiff little, short") << tiff(false, 3, 640, 3, 480) << QSize(640, 480) << true;
        QTest::newRow("tiff big, long") << tiff(true, 4, 70000, 4, 5000) << QSize(70000, 5000) << false;
        QTest::newRow("tiff big, mixed") << tiff(true, 3, 300, 4, 200) << QSize(300, 200) << true;
        QTest::newRow("tiff without height") << tiff(false, 3, 300, 1, 200) << QSize() << false;

        QByteArray os2 = encoded(cv::Mat(5, 6, CV_8UC3), ".bmp");
        os2[14] = 12; // the old header has 16-bit sizes
        put(os2, 18, 6 | 5 << 16, 4, false);
        QTest::newRow("bmp os/2 header") << os2 << QSize(6, 5) << true;
        QByteArray topDown = encoded(cv::Mat(5, 6, CV_8UC3), ".bmp");
        put(topDown, 22, quint32(-5), 4, false);
        QTest::newRow("bmp top-down") << topDown << QSize(6, 5) << true;

        QByteArray vp8x("RIFF\0\0\0\0WEBPVP8X\x0A\0\0\0\x10\0\0\0", 24);
        vp8x += QByteArray("\xFF\xFF\xFF\x00\0\0", 6); // 16777216 x 1
        QTest::newRow("webp widest canvas") << vp8x << QSize(16777216, 1) << true;

        QTest::newRow("gif") << QByteArray("GIF89a\x01\0\x01\0\0\0\0;", 14) << QSize() << false;
        QTest::newRow("pnm") << QByteArray("P6\n4 4\n255\n") + QByteArray(48, 'x') << QSize() << false;
        QTest::newRow("riff but not webp")
            << QByteArray("RIFF\0\0\0\0WAVEfmt \0\0\0\0\0\0\0\0\0\0\0\0\0\0", 30) << QSize() << false;
        QTest::newRow("jpeg end marker before frame")
            << QByteArray(
                   "\xFF\xD8\xFF\xD9\xFF\xC0\0\x0B\x08\0\x10\0\x10\x01\x01\x11\0\xFF\xDA\0\x02\xFF\xD9", 23)
            << QSize() << false;
    }

    void claims()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(bool, acceptable);
        QCOMPARE(probe(bytes), size);
        QCOMPARE(::acceptable(bytes), acceptable);
    }

    void badBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray png = encoded(testutils::texturedBgr(64, 48), ".png");
        const QByteArray jpeg = encoded(testutils::texturedBgr(64, 48), ".jpg");
        QTest::newRow("zero bytes") << QByteArray();
        QTest::newRow("text") << QByteArray("this is not a picture at all, just words\n");
        QTest::newRow("png cut in half") << png.left(png.size() / 2);
        QTest::newRow("jpeg cut in half") << jpeg.left(jpeg.size() / 2);
        QTest::newRow("jpeg headers only") << jpeg.left(jpeg.indexOf("\xFF\xDA"));
        QTest::newRow("png claims 100000 x 100000") << claiming(".png", 100000, 100000);
        QTest::newRow("jpeg claims 65535 x 65535") << claiming(".jpg", 65535, 65535);
        QTest::newRow("bmp claims 20000 x -20000") << claiming(".bmp", 20000, quint32(-20000));
        QTest::newRow("bmp claims zero width") << claiming(".bmp", 0, 16);
    }

    void badBytes()
    {
        QFETCH(QByteArray, bytes);
        const long before = peakResidentKb();
        QVERIFY(QImageFiles::decode(bytes).empty());
        QVERIFY(testutils::writeFile(m_folder + "/bad.jpg", bytes));
        QVERIFY(QImageFiles::read(m_folder + "/bad.jpg").empty());
        // A decoder that believed a forged header would have touched gigabytes.
        QVERIFY2(peakResidentKb() - before < 64 * 1024, "decoding a bad file used real memory");
    }

    void unreadablePaths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing") << QStringLiteral("missing.png");
        QTest::newRow("folder") << QString();
        QTest::newRow("below a file") << QStringLiteral("plain.txt/inside.png");
        QTest::newRow("device without size") << QStringLiteral("/dev/zero");
        QTest::newRow("over a gigabyte") << QStringLiteral("huge.png");
    }

    void unreadablePaths()
    {
        QFETCH(QString, path);
        QVERIFY(testutils::writeFile(m_folder + "/plain.txt", "text"));
        // A sparse file: costs no disk, but reading it whole would cost a gigabyte.
        QFile huge(m_folder + "/huge.png");
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.write(encoded(cv::Mat(4, 4, CV_8UC3), ".png")) > 0);
        QVERIFY(huge.resize((qint64(1) << 30) + 1));
        huge.close();
        const long before = peakResidentKb();
        QVERIFY(QImageFiles::read(path.startsWith('/') ? path : m_folder + "/" + path).empty());
        QVERIFY(peakResidentKb() - before < 64 * 1024);
    }

    // Stored bytes (a cut-out from the service) keep their alpha and come back as
    // stored; a photo read from disk is colour only, turned the way the camera meant.
    void decodedLikeStoredReadLikePhoto_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<cv::Mat>("decoded");
        QTest::addColumn<QSize>("readSize");
        QTest::addColumn<int>("readCorner"); // -1: not checked

        cv::Mat cutout = testutils::solidBgra(30, 20, cv::Scalar(40, 80, 120, 0));
        cutout(cv::Rect(5, 5, 10, 10)).setTo(cv::Scalar(40, 80, 120, 255));
        QTest::newRow("alpha png") << encoded(cutout, ".png") << cutout << QSize(30, 20) << -1;
        QTest::newRow("16-bit png")
            << encoded(cv::Mat(6, 7, CV_16UC4, cv::Scalar(65535, 257 * 100, 0, 257 * 30)), ".png")
            << cv::Mat(6, 7, CV_8UC4, cv::Scalar(255, 100, 0, 30)) << QSize(7, 6) << -1;
        const struct
        {
            const char* tag;
            int orientation;
            QSize size;
            Corner corner;
        } turns[] = {
            {"mirrored", 2, {40, 20}, TopRight},
            {"turned right", 6, {20, 40}, TopRight},
            {"turned left", 8, {20, 40}, BottomLeft},
        };
        for (const auto& t : turns)
            QTest::newRow(t.tag) << jpegWithOrientation(t.orientation) << cv::Mat() << t.size
                                 << int(t.corner);
    }

    void decodedLikeStoredReadLikePhoto()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(cv::Mat, decoded);
        QFETCH(QSize, readSize);
        QFETCH(int, readCorner);
        const cv::Mat stored = QImageFiles::decode(bytes);
        if (!decoded.empty()) {
            QCOMPARE(stored.type(), decoded.type());
            QCOMPARE(testutils::maxPixelDifference(stored, decoded), 0);
        } else {
            QCOMPARE(stored.size(), cv::Size(40, 20));
            QCOMPARE(redCorner(stored), int(TopLeft));
        }
        QVERIFY(testutils::writeFile(m_folder + "/photo", bytes));
        const cv::Mat photo = QImageFiles::read(m_folder + "/photo");
        QCOMPARE(photo.type(), CV_8UC3);
        QCOMPARE(QSize(photo.cols, photo.rows), readSize);
        if (readCorner >= 0)
            QCOMPARE(redCorner(photo), readCorner);
    }

    // Non-ASCII names and folders, with or without the dot in the extension.
    void writeAndReadBack_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<int>("tolerance");
        QTest::newRow("png") << QStringLiteral("猫咪.png") << ".png" << 0;
        QTest::newRow("png without dot") << QStringLiteral("证件照 1.png") << "png" << 0;
        QTest::newRow("jpg") << QStringLiteral("照片.jpg") << "jpg" << 12;
        QTest::newRow("webp") << QStringLiteral("图.webp") << ".webp" << 12;
    }

    void writeAndReadBack()
    {
        QFETCH(QString, name);
        QFETCH(QString, ext);
        QFETCH(int, tolerance);
        // Flat blocks survive lossy encoders nearly unchanged.
        cv::Mat picture(32, 48, CV_8UC3, cv::Scalar(30, 40, 200));
        picture(cv::Rect(24, 16, 24, 16)).setTo(cv::Scalar(220, 60, 20));
        const QString path = m_folder + QStringLiteral("/输出 文件夹/") + name;
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QByteArray bytes;
        QVERIFY(QImageFiles::encode(picture, ext.toStdString(), {}, &bytes));
        QVERIFY(QImageFiles::writeAtomically(path, bytes));

        const cv::Mat back = QImageFiles::read(path);
        QCOMPARE(back.size(), picture.size());
        // Lossy encoders blur the block edges; the block centres keep their colours.
        for (const cv::Rect& centre : {cv::Rect(8, 8, 1, 1), cv::Rect(36, 24, 1, 1)})
            QVERIFY(testutils::maxPixelDifference(back(centre), picture(centre)) <= tolerance);
        if (tolerance == 0)
            QCOMPARE(testutils::maxPixelDifference(back, picture), 0);
    }

    void encodeImage_data()
    {
        QTest::addColumn<cv::Mat>("mat");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<bool>("ok");
        const cv::Mat colour = testutils::texturedBgr(20, 10);
        QTest::newRow("png") << colour << ".png" << true;
        QTest::newRow("alpha png") << testutils::solidBgra(5, 5, cv::Scalar(1, 2, 3, 4)) << "png" << true;
        QTest::newRow("unknown extension") << colour << ".xyz" << false;
        QTest::newRow("empty matrix") << cv::Mat() << ".png" << false;
        QTest::newRow("two channels") << cv::Mat(4, 4, CV_8UC2, cv::Scalar(1, 2)) << ".jpg" << false;
    }

    void encodeImage()
    {
        QFETCH(cv::Mat, mat);
        QFETCH(QString, ext);
        QFETCH(bool, ok);
        QByteArray out("untouched");
        QCOMPARE(QImageFiles::encode(mat, ext.toStdString(), {}, &out), ok);
        if (ok)
            QCOMPARE(testutils::maxPixelDifference(QImageFiles::decode(out), mat), 0);
        else
            QCOMPARE(out, QByteArray("untouched"));
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
};

BRISEL_TEST_GUILESS_MAIN(TestImageFiles)
#include "tst_imagefiles.moc"
