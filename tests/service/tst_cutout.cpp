// The key engine, the edge-colour estimate and the whole pipeline, in process.

#include "cutoutbuilder.h"
#include "keyengine.h"
#include "mattingpipeline.h"
#include "photofixtures.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

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

class TestCutout : public QObject
{
    Q_OBJECT

private slots:
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

    void pipeline_data()
    {
        QTest::addColumn<QByteArray>("photo");
        QTest::addColumn<QSize>("size"); // empty: refused as unreadable
        const cv::Mat disc = photofixtures::discOnGreen(200, 100);
        const std::string jpeg = photofixtures::encode(disc, ".jpg");
        QTest::newRow("EXIF says turn right")
            << QByteArray::fromStdString(photofixtures::withExifRotation(jpeg)) << QSize(100, 200);
        QTest::newRow("webp") << QByteArray::fromStdString(photofixtures::encode(disc, ".webp"))
                              << QSize(200, 100);
        // Looks like a PNG to a header check, but the pixel data is nonsense.
        std::string garbage = photofixtures::encode(testutils::texturedBgr(32, 32), ".png");
        for (size_t i = 60; i < garbage.size() - 20; ++i)
            garbage[i] = char(i * 7);
        QTest::newRow("garbage pixels") << QByteArray::fromStdString(garbage) << QSize();
    }
    void pipeline()
    {
        QFETCH(QByteArray, photo);
        QFETCH(QSize, size);
        MattingPipeline pipeline(std::make_unique<KeyEngine>());
        try {
            const cv::Mat cut = cv::imdecode(pipeline.run(photo.toStdString(), true), cv::IMREAD_UNCHANGED);
            QCOMPARE(QSize(cut.cols, cut.rows), size);
            QCOMPARE(cut.type(), CV_8UC4);
            QCOMPARE(int(cut.at<cv::Vec4b>(1, 1)[3]), 0);
            QCOMPARE(int(cut.at<cv::Vec4b>(cut.rows / 2, cut.cols / 2)[3]), 255);
        } catch (const std::runtime_error& e) {
            QVERIFY(size.isEmpty());
            QCOMPARE(QString(e.what()),
                     QString("The photo could not be read. Please check that the file is a valid image."));
        }
    }
};

BRISEL_TEST_GUILESS_MAIN(TestCutout)
#include "tst_cutout.moc"
