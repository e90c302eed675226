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

Q_DECLARE_METATYPE(cv::Scalar)

namespace {

// Mean of (green - max(red, blue)) over the pixels whose alpha is strictly
// between 0 and 255, after putting the cut-out over white: how much of a green
// background still shows in the edge.
double greenFringe(const cv::Mat& bgra)
{
    double sum = 0;
    int n = 0;
    for (int y = 0; y < bgra.rows; ++y)
        for (int x = 0; x < bgra.cols; ++x) {
            const cv::Vec4b p = bgra.at<cv::Vec4b>(y, x);
            if (p[3] == 0 || p[3] == 255)
                continue;
            const double a = p[3] / 255.0;
            double c[3];
            for (int k = 0; k < 3; ++k)
                c[k] = a * p[k] + (1 - a) * 255.0;
            sum += c[1] - std::max(c[0], c[2]);
            ++n;
        }
    return n ? sum / n : 0;
}

cv::Mat decode(const std::vector<uchar>& png)
{
    return cv::imdecode(png, cv::IMREAD_UNCHANGED);
}

} // namespace

class TestCutout : public QObject
{
    Q_OBJECT

private slots:
    void keyEngine_data()
    {
        QTest::addColumn<cv::Scalar>("background");
        QTest::addColumn<cv::Scalar>("subject");
        QTest::addColumn<QSize>("size");

        QTest::newRow("red on green")
            << cv::Scalar(40, 190, 40) << cv::Scalar(30, 30, 220) << QSize(320, 240);
        QTest::newRow("dark on white")
            << cv::Scalar(250, 250, 250) << cv::Scalar(60, 50, 40) << QSize(240, 320);
        QTest::newRow("larger than the work size")
            << cv::Scalar(200, 200, 200) << cv::Scalar(20, 120, 20) << QSize(2000, 1200);
    }
    void keyEngine()
    {
        QFETCH(cv::Scalar, background);
        QFETCH(cv::Scalar, subject);
        QFETCH(QSize, size);
        const cv::Rect box(size.width() / 4, size.height() / 4, size.width() / 2, size.height() / 2);
        cv::Mat noisy(size.height(), size.width(), CV_8UC3, background);
        cv::rectangle(noisy, box, subject, cv::FILLED);
        cv::Mat noise(noisy.size(), CV_16SC3);
        cv::randn(noise, cv::Scalar::all(0), cv::Scalar::all(3)); // sensor noise
        cv::add(noisy, noise, noisy, cv::noArray(), CV_8UC3);

        KeyEngine engine;
        const cv::Mat alpha = engine.alpha(noisy, false);
        QCOMPARE(alpha.type(), CV_32F);
        cv::Mat full;
        cv::resize(alpha, full, noisy.size(), 0, 0, cv::INTER_LINEAR);
        // Inside the box (away from its edge) opaque, outside transparent.
        const cv::Rect inner(box.x + 8, box.y + 8, box.width - 16, box.height - 16);
        double minIn, maxOut;
        cv::minMaxLoc(full(inner), &minIn);
        cv::Mat outside = full.clone();
        outside(cv::Rect(box.x - 8, box.y - 8, box.width + 16, box.height + 16)).setTo(0);
        cv::minMaxLoc(outside, nullptr, &maxOut);
        QVERIFY2(minIn > 0.99, qPrintable(QString::number(minIn)));
        QVERIFY2(maxOut < 0.01, qPrintable(QString::number(maxOut)));
    }

    void keyEngineDropsSpecks()
    {
        cv::Mat img(300, 400, CV_8UC3, cv::Scalar(250, 250, 250));
        cv::circle(img, {200, 150}, 70, cv::Scalar(20, 20, 20), cv::FILLED);
        for (int i = 0; i < 12; ++i) // dust on the sheet
            cv::circle(img, {20 + 30 * i, 270}, 1, cv::Scalar(30, 30, 30), cv::FILLED);
        const cv::Mat alpha = KeyEngine().alpha(img, false);
        QVERIFY(alpha.at<float>(150, 200) > 0.99f);
        double dust;
        cv::minMaxLoc(alpha(cv::Rect(0, 260, 400, 20)), nullptr, &dust);
        QCOMPARE(dust, 0.0);
    }

    void edgeColourHasNoFringe()
    {
        const cv::Mat photo = photofixtures::discOnGreen(400, 300);
        const cv::Mat alpha = KeyEngine().alpha(photo, false);
        const cv::Mat cut = CutoutBuilder::compose(photo, alpha);

        // The same alpha with the photo's own colours: what we would ship without
        // the estimate.
        cv::Mat naive;
        cv::cvtColor(photo, naive, cv::COLOR_BGR2BGRA);
        cv::Mat a8;
        cv::extractChannel(cut, a8, 3);
        cv::insertChannel(a8, naive, 3);
        QVERIFY(cv::countNonZero((a8 > 0) & (a8 < 255)) > 100); // there is a soft edge at all

        const double before = greenFringe(naive);
        const double after = greenFringe(cut);
        QVERIFY2(before > 20, qPrintable(QString::number(before)));
        QVERIFY2(after < 5, qPrintable(QString("fringe %1 -> %2").arg(before).arg(after)));
        // Opaque pixels keep the photo's colour exactly.
        QCOMPARE(cut.at<cv::Vec4b>(150, 200),
                 cv::Vec4b(photo.at<cv::Vec3b>(150, 200)[0], photo.at<cv::Vec3b>(150, 200)[1],
                           photo.at<cv::Vec3b>(150, 200)[2], 255));
    }

    void composeScalesTheMask_data()
    {
        QTest::addColumn<QSize>("photo");
        QTest::addColumn<QSize>("mask");
        QTest::newRow("mask smaller, other aspect") << QSize(640, 480) << QSize(64, 64);
        QTest::newRow("mask larger") << QSize(30, 20) << QSize(1024, 1024);
    }
    void composeScalesTheMask()
    {
        QFETCH(QSize, photo);
        QFETCH(QSize, mask);
        const cv::Mat img = testutils::texturedBgr(photo.width(), photo.height());
        // Left half of the mask opaque, right half transparent.
        cv::Mat alpha(mask.height(), mask.width(), CV_32F, cv::Scalar(0));
        alpha(cv::Rect(0, 0, (mask.width() + 1) / 2, mask.height())).setTo(1);
        const cv::Mat cut = CutoutBuilder::compose(img, alpha);
        QCOMPARE(cut.type(), CV_8UC4);
        QCOMPARE(QSize(cut.cols, cut.rows), photo);
        QCOMPARE(int(cut.at<cv::Vec4b>(0, 0)[3]), 255);
        QCOMPARE(int(cut.at<cv::Vec4b>(photo.height() - 1, photo.width() - 1)[3]), 0);
        // Transparent pixels keep the photo's colour for a later brush.
        const cv::Vec3b last = img.at<cv::Vec3b>(photo.height() - 1, photo.width() - 1);
        const cv::Vec4b got = cut.at<cv::Vec4b>(photo.height() - 1, photo.width() - 1);
        QCOMPARE(cv::Vec3b(got[0], got[1], got[2]), last);
    }

    void pipeline_data()
    {
        QTest::addColumn<QByteArray>("photo");
        QTest::addColumn<QSize>("size");
        const cv::Mat disc = photofixtures::discOnGreen(200, 100);
        const std::string jpeg = photofixtures::encode(disc, ".jpg");
        QTest::newRow("jpeg") << QByteArray::fromStdString(jpeg) << QSize(200, 100);
        QTest::newRow("EXIF says turn right")
            << QByteArray::fromStdString(photofixtures::withExifRotation(jpeg)) << QSize(100, 200);
        QTest::newRow("webp") << QByteArray::fromStdString(photofixtures::encode(disc, ".webp"))
                              << QSize(200, 100);
        cv::Mat grey(100, 200, CV_8U, cv::Scalar(235));
        cv::circle(grey, {100, 50}, 30, cv::Scalar(40), cv::FILLED);
        QTest::newRow("grey png") << QByteArray::fromStdString(photofixtures::encode(grey, ".png"))
                                  << QSize(200, 100);
    }
    void pipeline()
    {
        QFETCH(QByteArray, photo);
        QFETCH(QSize, size);
        MattingPipeline pipeline(std::make_unique<KeyEngine>());
        const cv::Mat cut = decode(pipeline.run(photo.toStdString(), true));
        QCOMPARE(cut.type(), CV_8UC4);
        QCOMPARE(QSize(cut.cols, cut.rows), size);
        QCOMPARE(int(cut.at<cv::Vec4b>(1, 1)[3]), 0);
        QCOMPARE(int(cut.at<cv::Vec4b>(cut.rows / 2, cut.cols / 2)[3]), 255);
    }

    void pipelineRefusesGarbage()
    {
        MattingPipeline pipeline(std::make_unique<KeyEngine>());
        // Looks like a PNG to a header check, but the pixel data is nonsense.
        std::string png = photofixtures::encode(testutils::texturedBgr(32, 32), ".png");
        for (size_t i = 60; i < png.size() - 20; ++i)
            png[i] = char(i * 7);
        try {
            pipeline.run(png, false);
            QFAIL("no exception");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString(e.what()),
                     QString("The photo could not be read. Please check that the file is a valid image."));
        }
    }
};

BRISEL_TEST_GUILESS_MAIN(TestCutout)
#include "tst_cutout.moc"
