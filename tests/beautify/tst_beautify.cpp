// The beautify filters on pixels: the formulas, the face regions, smoothing confined
// to the face of a real portrait, missing cascades and the cut-out job's inputs.

#include "logcapture.h"
#include "qbeautify.h"
#include "qfacedetector.h"
#include "qimagefiles.h"
#include "testutils.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <opencv2/imgproc.hpp>

Q_DECLARE_METATYPE(cv::Mat)
Q_DECLARE_METATYPE(cv::Rect)
Q_DECLARE_METATYPE(cv::Size)

namespace {

cv::Mat astronaut()
{
    return QImageFiles::read(testutils::dataPath("astronaut.png"));
}

} // namespace

class TestBeautify : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QBeautify::setCascadeFolder(QString()); }

    // Exact per channel: tone rows as plain values, and matrices smoothing must leave alone.
    void formulas_data()
    {
        QTest::addColumn<bool>("tone");
        QTest::addColumn<cv::Mat>("input");
        QTest::addColumn<int>("level");
        QTest::addColumn<cv::Mat>("expected");
        auto px = [](int b, int g) { return cv::Mat(2, 3, CV_8UC3, cv::Scalar(b, g, 255)); };
        QTest::newRow("tone: black lifted by the level") << true << px(0, 0) << 30 << px(30, 30);
        QTest::newRow("tone: 3.6 rounds up") << true << px(3, 0) << 0 << px(4, 0);
        QTest::newRow("tone: 137 at 7 is 171.4") << true << px(137, 0) << 7 << px(171, 7);
        QTest::newRow("tone: 188 at 30 clamps") << true << px(188, 0) << 30 << px(255, 30);
        cv::Mat m(64, 96, CV_8UC3);
        cv::RNG(7).fill(m, cv::RNG::UNIFORM, 60, 190);
        QTest::newRow("smooth 0 changes nothing") << false << m << 0 << m;
        cv::Mat four(16, 16, CV_8UC4), deep(16, 16, CV_16UC3);
        cv::RNG(3).fill(four, cv::RNG::UNIFORM, 0, 200);
        cv::RNG(3).fill(deep, cv::RNG::UNIFORM, 0, 200);
        QTest::newRow("four channels left alone") << false << four << 30 << four;
        QTest::newRow("16-bit left alone") << false << deep << 30 << deep;
    }
    void formulas()
    {
        QFETCH(bool, tone);
        QFETCH(cv::Mat, input);
        QFETCH(int, level);
        QFETCH(cv::Mat, expected);
        cv::Mat out = input.clone();
        if (tone)
            out = QBeautify::adjustTone(input, level);
        else
            QBeautify::smoothRegion(out, level);
        QCOMPARE(out.type(), expected.type());
        QCOMPARE(cv::norm(out, expected, cv::NORM_INF), 0.0);
    }

    void faceRegion_data()
    {
        QTest::addColumn<cv::Rect>("face");
        QTest::addColumn<double>("scale");
        QTest::addColumn<cv::Size>("imageSize");
        QTest::addColumn<cv::Rect>("expected");
        QTest::newRow("top edge starts at row 0")
            << cv::Rect(50, 0, 60, 60) << 1.0 << cv::Size(300, 300) << cv::Rect(50, 0, 60, 69);
        // A tall face: the radius passes its left side.
        QTest::newRow("left edge clipped")
            << cv::Rect(0, 100, 20, 60) << 1.0 << cv::Size(400, 400) << cv::Rect(0, 104, 30, 52);
        QTest::newRow("outside the image")
            << cv::Rect(500, 0, 40, 40) << 1.0 << cv::Size(100, 100) << cv::Rect();
    }

    void faceRegion()
    {
        QFETCH(cv::Rect, face);
        QFETCH(double, scale);
        QFETCH(cv::Size, imageSize);
        QFETCH(cv::Rect, expected);
        const cv::Rect region = QFaceDetector::faceRegion(face, scale, imageSize);
        QCOMPARE(region.empty(), expected.empty());
        if (!expected.empty())
            QCOMPARE(region, expected);
    }

    // The search finds the astronaut's face and only its region is smoothed.
    void smoothingConfinedToFace()
    {
        const cv::Mat photo = astronaut();
        QVERIFY2(!photo.empty(), "tests/data/astronaut.png missing");
        if (!QFile::exists(QBeautify::cascadeFolder() + "h_face.xml"))
            QSKIP("the face cascade was not installed beside the program");
        cv::CascadeClassifier cascade = QFaceDetector::loadCascade(
            QFile::encodeName(QBeautify::cascadeFolder() + "h_face.xml").toStdString());
        const double scale = QFaceDetector::searchScale(photo.size());
        const std::vector<cv::Rect> found = QFaceDetector::detect(photo, cascade, scale);
        QCOMPARE(int(found.size()), 1);
        const cv::Rect region = QFaceDetector::faceRegion(found[0], scale, photo.size());
        QVERIFY(region.contains(cv::Point(225, 110)));
        cv::Mat inside(photo.size(), CV_8UC1, cv::Scalar(0));
        inside(region).setTo(255);

        const cv::Mat before = photo.clone();
        const cv::Mat out = QBeautify::beautify(photo, 30);
        QCOMPARE(testutils::maxPixelDifference(photo, before), 0);
        cv::Mat changed;
        cv::reduce(cv::Mat(out != photo).reshape(1, photo.rows * photo.cols), changed, 1, cv::REDUCE_MAX);
        changed = changed.reshape(1, photo.rows);
        QCOMPARE(cv::countNonZero(changed & ~inside), 0);
        // Skin is evened out: most of the region changes.
        QVERIFY(cv::countNonZero(changed & inside) > cv::countNonZero(inside) / 2);
    }

    void missingCascadeGivesToneOnly_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("garbled"); // present, but not a cascade
        QTest::addColumn<int>("errors");
        QTest::newRow("both missing") << QStringList{} << QString() << 2;
        QTest::newRow("eye cascade garbled") << QStringList{"h_face.xml"} << "h_eye.xml" << 1;
    }

    void missingCascadeGivesToneOnly()
    {
        QFETCH(QStringList, present);
        QFETCH(QString, garbled);
        QFETCH(int, errors);
        const QString installed = QBeautify::cascadeFolder();
        QTemporaryDir folder;
        for (const QString& name : present) {
            if (!QFile::copy(installed + name, folder.filePath(name)))
                QSKIP("the cascades were not installed beside the program");
        }
        if (!garbled.isEmpty())
            QVERIFY(
                testutils::writeFile(folder.filePath(garbled), "<?xml version=\"1.0\"?><opencv_storage>"));
        QBeautify::setCascadeFolder(folder.path());

        cv::Mat source;
        cv::cvtColor(astronaut(), source, cv::COLOR_BGR2BGRA);
        LogCapture log;
        const cv::Mat out = QBeautify::beautifyCutout(source, source, 30, 30);
        const cv::Mat toneOnly = QBeautify::beautifyCutout(source, source, 30, 0);
        QCOMPARE(testutils::maxPixelDifference(out, toneOnly), 0);
        QVERIFY(testutils::maxPixelDifference(out, source) > 0);
        QCOMPARE(log.text().count(QStringLiteral("ERROR: Could not load classifier cascade")), errors);
    }

    void cutoutJob_data()
    {
        QTest::addColumn<cv::Mat>("source");
        QTest::addColumn<cv::Mat>("current");
        QTest::addColumn<int>("tone");
        QTest::addColumn<int>("smooth");
        QTest::addColumn<bool>("empty");
        QTest::addColumn<int>("alpha"); // of the result at (0, 0); -1: not checked

        const cv::Mat source = testutils::solidBgra(40, 30, cv::Scalar(90, 100, 110, 200));
        const cv::Mat current = testutils::solidBgra(40, 30, cv::Scalar(1, 2, 3, 40));
        QTest::newRow("both 0: the current alpha too") << source << current << 0 << 0 << false << 40;
        QTest::newRow("tone keeps the current alpha") << source << current << 5 << 0 << false << 40;
        QTest::newRow("three-channel source refused")
            << cv::Mat(30, 40, CV_8UC3, cv::Scalar::all(9)) << current << 5 << 5 << true << -1;
        QTest::newRow("current smaller than source")
            << source << testutils::solidBgra(20, 30, cv::Scalar::all(1)) << 5 << 0 << true << -1;
    }

    void cutoutJob()
    {
        QFETCH(cv::Mat, source);
        QFETCH(cv::Mat, current);
        QFETCH(int, tone);
        QFETCH(int, smooth);
        QFETCH(bool, empty);
        QFETCH(int, alpha);
        const cv::Mat before = source.clone();
        const cv::Mat out = QBeautify::beautifyCutout(source, current, tone, smooth);
        QCOMPARE(out.empty(), empty);
        QCOMPARE(cv::norm(source, before, cv::NORM_INF), 0.0); // never changes its input
        if (empty)
            return;
        QCOMPARE(out.size(), source.size());
        QCOMPARE(int(out.at<cv::Vec4b>(0, 0)[3]), alpha);
        QVERIFY(out.data != source.data);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestBeautify)
#include "tst_beautify.moc"
