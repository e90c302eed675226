// The size check that runs before any image is decoded.

#include "forgedimages.h"
#include "qimageheader.h"
#include "testutils.h"

#include <QGuiApplication>

using forged::encoded;

namespace {

QSize probe(const QByteArray& bytes)
{
    return QImageHeader::probe(reinterpret_cast<const unsigned char*>(bytes.constData()), std::size_t(bytes.size()));
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
    forged::put(bytes, 4, 8, 4, bigEndian);
    forged::put(bytes, 8, 2, 2, bigEndian);
    const quint32 tags[2][3] = {{256, quint32(widthType), width}, {257, quint32(heightType), height}};
    for (int i = 0; i < 2; ++i) {
        const int entry = 10 + 12 * i;
        forged::put(bytes, entry, tags[i][0], 2, bigEndian);
        forged::put(bytes, entry + 2, tags[i][1], 2, bigEndian);
        forged::put(bytes, entry + 4, 1, 4, bigEndian);
        forged::put(bytes, entry + 8, tags[i][2], tags[i][1] == 3 ? 2 : 4, bigEndian);
    }
    return bytes;
}

} // namespace

class TestImageHeader : public QObject
{
    Q_OBJECT

private slots:
    void encodedSizes_data();
    void encodedSizes();
    void cutShort_data();
    void cutShort();
    void claims_data();
    void claims();
};

void TestImageHeader::encodedSizes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("size");
    const QSize sizes[] = {{1, 1}, {37, 23}, {640, 3}, {3, 513}};
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
        QTest::addRow("webp lossless %s", tag.constData()) << encoded(colour, ".webp", {cv::IMWRITE_WEBP_QUALITY, 101}) << s;
        QTest::addRow("webp alpha %s", tag.constData()) << encoded(alpha, ".webp", {cv::IMWRITE_WEBP_QUALITY, 80}) << s;
        QTest::addRow("tiff %s", tag.constData()) << encoded(colour, ".tiff") << s;
    }
}

void TestImageHeader::encodedSizes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, size);
    QCOMPARE(probe(bytes), size);
    QVERIFY(acceptable(bytes));
}

void TestImageHeader::cutShort_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("headerEnd"); // shortest prefix that may give a size; -1: none
    const cv::Mat colour = testutils::texturedBgr(33, 17);
    QTest::newRow("png") << encoded(colour, ".png") << 24;
    QTest::newRow("jpeg") << encoded(colour, ".jpg") << -1; // its end marker is the last byte
    QTest::newRow("bmp") << encoded(colour, ".bmp") << 26;
    QTest::newRow("webp") << encoded(colour, ".webp") << 30;
}

void TestImageHeader::cutShort()
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

void TestImageHeader::claims_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("acceptable");
    QTest::newRow("png at the limit") << forged::claiming(".png", 17320, 17320) << QSize(17320, 17320) << true;
    QTest::newRow("png just over") << forged::claiming(".png", 17321, 17321) << QSize(17321, 17321) << false;
    QTest::newRow("png one long row") << forged::claiming(".png", 300000000, 1) << QSize(300000000, 1) << true;
    QTest::newRow("png one row too long") << forged::claiming(".png", 300000001, 1) << QSize(300000001, 1) << false;
    QTest::newRow("png zero height") << forged::claiming(".png", 10, 0) << QSize() << false;
    QTest::newRow("png beyond int") << forged::claiming(".png", 0x80000000u, 1) << QSize() << false;

    QTest::newRow("tiff little, short") << tiff(false, 3, 640, 3, 480) << QSize(640, 480) << true;
    QTest::newRow("tiff big, long") << tiff(true, 4, 70000, 4, 5000) << QSize(70000, 5000) << false;
    QTest::newRow("tiff big, mixed") << tiff(true, 3, 300, 4, 200) << QSize(300, 200) << true;
    QTest::newRow("tiff without height") << tiff(false, 3, 300, 1, 200) << QSize() << false;

    QByteArray os2 = encoded(cv::Mat(5, 6, CV_8UC3), ".bmp");
    os2[14] = 12; // the old header has 16-bit sizes
    forged::put(os2, 18, 6 | 5 << 16, 4, false);
    QTest::newRow("bmp os/2 header") << os2 << QSize(6, 5) << true;
    QByteArray topDown = encoded(cv::Mat(5, 6, CV_8UC3), ".bmp");
    forged::put(topDown, 22, quint32(-5), 4, false);
    QTest::newRow("bmp top-down") << topDown << QSize(6, 5) << true;

    QByteArray vp8x("RIFF\0\0\0\0WEBPVP8X\x0A\0\0\0\x10\0\0\0", 24);
    vp8x += QByteArray("\xFF\xFF\xFF\x00\0\0", 6); // 16777216 x 1
    QTest::newRow("webp widest canvas") << vp8x << QSize(16777216, 1) << true;

    QTest::newRow("gif") << QByteArray("GIF89a\x01\0\x01\0\0\0\0;", 14) << QSize() << false;
    QTest::newRow("pnm") << QByteArray("P6\n4 4\n255\n") + QByteArray(48, 'x') << QSize() << false;
    QTest::newRow("riff but not webp") << QByteArray("RIFF\0\0\0\0WAVEfmt \0\0\0\0\0\0\0\0\0\0\0\0\0\0", 30)
                                       << QSize() << false;
    QTest::newRow("jpeg end marker before frame")
        << QByteArray("\xFF\xD8\xFF\xD9\xFF\xC0\0\x0B\x08\0\x10\0\x10\x01\x01\x11\0\xFF\xDA\0\x02\xFF\xD9", 23)
        << QSize() << false;
}

void TestImageHeader::claims()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, size);
    QFETCH(bool, acceptable);
    QCOMPARE(probe(bytes), size);
    QCOMPARE(::acceptable(bytes), acceptable);
}

BRISEL_TEST_GUILESS_MAIN(TestImageHeader)
#include "tst_imageheader.moc"
