// Sharing a QImage's pixels with cv::Mat: formats, channel order, buffer lifetime.

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
        QTest::newRow("premultiplied") << int(QImage::Format_ARGB32_Premultiplied) << CV_8UC4;
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

    void imageToMatKeepsBufferAlive()
    {
        // From a temporary: the buffer must outlive the call, even when the allocator
        // would hand the freed block to the next image of the same size.
        cv::Mat fromTemporary;
        {
            QImage temporary(512, 512, QImage::Format_ARGB32);
            temporary.fill(qRgba(40, 50, 60, 70));
            fromTemporary = QImageConvert::imageToMat(std::move(temporary));
        }
        QImage other(512, 512, QImage::Format_ARGB32);
        other.fill(qRgba(255, 255, 255, 255));
        QCOMPARE(fromTemporary.at<Bgra>(500, 500), Bgra(60, 50, 40, 70));

        // A shared image: changing it must not show in the matrix, and the share is
        // given back with the last copy of the matrix.
        QImage shared(8, 8, QImage::Format_ARGB32);
        shared.fill(qRgba(1, 2, 3, 4));
        cv::Mat hold = QImageConvert::imageToMat(shared);
        cv::Mat copy = hold;
        hold.release();
        QVERIFY(!shared.isDetached());
        shared.fill(qRgba(9, 9, 9, 9));
        QCOMPARE(copy.at<Bgra>(3, 3), Bgra(3, 2, 1, 4));
        copy.release();
        QVERIFY(shared.isDetached());
    }
};

BRISEL_TEST_GUILESS_MAIN(TestImageConvert)
#include "tst_imageconvert.moc"
