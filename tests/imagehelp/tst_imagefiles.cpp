// Reading and writing image files: bad and forged files, non-ASCII paths, atomic writes.

#include "imagefixtures.h"
#include "qimagefiles.h"
#include "testutils.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLocale>

#include <sys/resource.h>

#include <csignal>
#include <memory>
#include <vector>

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
    } else { // JPEG: the baseline frame header
        const int sof = bytes.indexOf("\xFF\xC0");
        put(bytes, sof + 5, height, 2, true);
        put(bytes, sof + 7, width, 2, true);
    }
    return bytes;
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
};

BRISEL_TEST_GUILESS_MAIN(TestImageFiles)
#include "tst_imagefiles.moc"
