// Reading, decoding, encoding and writing image files: bad and forged files,
// orientation, non-ASCII paths and atomic writes.

#include "forgedimages.h"
#include "qimagehelp.h"
#include "testutils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <sys/resource.h>

#include <csignal>
#include <memory>

Q_DECLARE_METATYPE(cv::Mat)

using forged::encoded;

namespace {

enum Corner { TopLeft, TopRight, BottomRight, BottomLeft };

// A JPEG of 40 x 20, red in the top-left 10 x 10 block and green elsewhere, with
// an EXIF block carrying only the orientation tag.
QByteArray jpegWithOrientation(int orientation)
{
    cv::Mat picture(20, 40, CV_8UC3, cv::Scalar(0, 200, 0));
    picture(cv::Rect(0, 0, 10, 10)).setTo(cv::Scalar(0, 0, 255));
    QByteArray exif("Exif\0\0II\x2A\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 24); // 0x0112 SHORT x1
    exif += char(orientation) + QByteArray(7, '\0');
    QByteArray segment("\xFF\xE1\0\0", 4);
    forged::put(segment, 2, quint32(exif.size() + 2), 2, true);
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
        QTest::newRow("png claims 100000 x 100000") << forged::claiming(".png", 100000, 100000);
        QTest::newRow("jpeg claims 65535 x 65535") << forged::claiming(".jpg", 65535, 65535);
        QTest::newRow("bmp claims 20000 x -20000") << forged::claiming(".bmp", 20000, quint32(-20000));
        QTest::newRow("bmp claims zero width") << forged::claiming(".bmp", 0, 16);
    }

    void badBytes()
    {
        QFETCH(QByteArray, bytes);
        const long before = peakResidentKb();
        QVERIFY(QImageHelp::decodeImageBytes(bytes).empty());
        QVERIFY(testutils::writeFile(m_folder + "/bad.jpg", bytes));
        QVERIFY(QImageHelp::readImageFile(m_folder + "/bad.jpg").empty());
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
        QVERIFY(QImageHelp::readImageFile(path.startsWith('/') ? path : m_folder + "/" + path).empty());
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
        QTest::newRow("16-bit png") << encoded(cv::Mat(6, 7, CV_16UC4, cv::Scalar(65535, 257 * 100, 0, 257 * 30)), ".png")
                                    << cv::Mat(6, 7, CV_8UC4, cv::Scalar(255, 100, 0, 30)) << QSize(7, 6) << -1;
        const struct { const char* tag; int orientation; QSize size; Corner corner; } turns[] = {
            {"mirrored", 2, {40, 20}, TopRight},
            {"upside down", 3, {40, 20}, BottomRight},
            {"turned right", 6, {20, 40}, TopRight},
            {"turned left", 8, {20, 40}, BottomLeft},
        };
        for (const auto& t : turns)
            QTest::newRow(t.tag) << jpegWithOrientation(t.orientation) << cv::Mat() << t.size << int(t.corner);
    }

    void decodedLikeStoredReadLikePhoto()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(cv::Mat, decoded);
        QFETCH(QSize, readSize);
        QFETCH(int, readCorner);
        const cv::Mat stored = QImageHelp::decodeImageBytes(bytes);
        if (!decoded.empty()) {
            QCOMPARE(stored.type(), decoded.type());
            QCOMPARE(testutils::maxPixelDifference(stored, decoded), 0);
        } else {
            QCOMPARE(stored.size(), cv::Size(40, 20));
            QCOMPARE(redCorner(stored), int(TopLeft));
        }
        QVERIFY(testutils::writeFile(m_folder + "/photo", bytes));
        const cv::Mat photo = QImageHelp::readImageFile(m_folder + "/photo");
        QCOMPARE(photo.type(), CV_8UC3);
        QCOMPARE(QSize(photo.cols, photo.rows), readSize);
        if (readCorner >= 0)
            QCOMPARE(redCorner(photo), readCorner);
    }

    void saveAndReadBack_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("tolerance");
        QTest::newRow("png") << QStringLiteral("猫咪.png") << ".png" << int(QImage::Format_ARGB32) << 0;
        QTest::newRow("png without dot") << QStringLiteral("证件照 1.png") << "png" << int(QImage::Format_RGB32) << 0;
        QTest::newRow("jpg from alpha") << QStringLiteral("照片.jpg") << "jpg" << int(QImage::Format_ARGB32) << 12;
        QTest::newRow("webp") << QStringLiteral("图.webp") << ".webp" << int(QImage::Format_RGB32) << 12;
    }

    void saveAndReadBack()
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

        const QImage back = QImageHelp::matToImage(QImageHelp::readImageFile(path));
        const QImage want = image.convertToFormat(QImage::Format_RGB888);
        if (tolerance == 0) {
            QCOMPARE(testutils::maxPixelDifference(back, want), 0);
            return;
        }
        // Lossy encoders blur the block edges; the block centres keep their colours.
        QCOMPARE(back.size(), want.size());
        for (const QPoint& p : {QPoint(8, 8), QPoint(36, 24)})
            QVERIFY(testutils::maxPixelDifference(back.copy(QRect(p, QSize(1, 1))), want.copy(QRect(p, QSize(1, 1))))
                    <= tolerance);
    }

    void saveResizedIgnoresAspect()
    {
        QImage image(40, 20, QImage::Format_ARGB32);
        image.fill(qRgba(10, 200, 30, 255));
        const QString path = m_folder + QStringLiteral("/一寸.png");
        QImageHelp::saveImageFileResized(".png", path, QSize(13, 31), image);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const cv::Mat read = QImageHelp::decodeImageBytes(file.readAll());
        QCOMPARE(read.size(), cv::Size(13, 31));
        QCOMPARE(read.at<cv::Vec4b>(15, 6), cv::Vec4b(30, 200, 10, 255));
    }

    // Nothing half-written appears when the place, the format or the picture is bad.
    void saveBadRequestWritesNothing()
    {
        QImage image(8, 8, QImage::Format_ARGB32);
        image.fill(Qt::red);
        QVERIFY(testutils::writeFile(m_folder + "/file", "x"));
        QImageHelp::saveImageFile(".png", m_folder + "/file/inside.png", image);
        QImageHelp::saveImageFile(".nosuchformat", m_folder + "/unknown.nosuchformat", image);
        QImageHelp::saveImageFile(".png", m_folder + "/null.png", QImage());
        QImageHelp::saveImageFileResized(".png", m_folder + "/empty-size.png", QSize(0, 10), image);
        QCOMPARE(folderEntries(m_folder), QStringList{"file"});
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
        QCOMPARE(QImageHelp::encodeImage(mat, ext.toStdString(), {}, &out), ok);
        if (ok)
            QCOMPARE(testutils::maxPixelDifference(QImageHelp::decodeImageBytes(out), mat), 0);
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
            written = QImageHelp::writeFileAtomically(path, bytes, &error);
        }
        QCOMPARE(written, ok);
        if (ok) {
            QFile file(path);
            QVERIFY(error.isEmpty() && file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), bytes);
            return;
        }
        QVERIFY(error.contains(QDir::toNativeSeparators(path)));
        QVERIFY2(error.size() > path.size() + 12, qPrintable(error)); // names a reason too
        // Nothing half-written, nothing left behind, the old file intact.
        QCOMPARE(folderEntries(m_folder), before);
        QFile old(m_folder + "/old.bin");
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old content"));
    }

};

BRISEL_TEST_GUILESS_MAIN(TestImageFiles)
#include "tst_imagefiles.moc"
