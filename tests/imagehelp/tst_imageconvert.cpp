// Sharing a QImage's pixels with cv::Mat: formats and channel order.

#include "qimageconvert.h"
#include "testutils.h"

#include <QGuiApplication>

using Bgra = cv::Vec4b;

class TestImageConvert : public QObject
{
    Q_OBJECT

private slots:
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
};

BRISEL_TEST_GUILESS_MAIN(TestImageConvert)
#include "tst_imageconvert.moc"
