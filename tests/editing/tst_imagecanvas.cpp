// The document without a view: crop frames, late and bad loads, the saved file.

#include "qimagecanvas.h"
#include "qsavefilewriter.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QDir>
#include <QGuiApplication>
#include <QSignalSpy>

#include <opencv2/imgproc.hpp>

#include <future>

namespace {
// A w x h cut-out whose only subject is the textured rectangle `s`.
cv::Mat cutout(int w, int h, const QRect& s)
{
    cv::Mat m(h, w, CV_8UC4, cv::Scalar::all(0)), subject = m(cv::Rect(s.x(), s.y(), s.width(), s.height()));
    cv::cvtColor(testutils::texturedBgr(s.width(), s.height()), subject, cv::COLOR_BGR2BGRA);
    return m;
}

bool load(QImageCanvas& canvas, const cv::Mat& cutout)
{
    QSignalSpy updated(&canvas, &QImageCanvas::signal_update);
    canvas.loadCutout(cutout, QSize(cutout.cols, cutout.rows));
    return updated.wait(10000);
}
} // namespace

class TestImageCanvas : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QWorkPool::instance()->start(2); }

    // Each code's frame on a surface; the custom size is 640 x 480.
    void cropCodes_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QSize>("surface");
        QTest::addColumn<QRect>("expected");
        const QSize hd(1920, 1080);
        QTest::newRow("1:1 on a wide surface") << 2 << hd << QRect(420, 0, 1080, 1080);
        QTest::newRow("2:3 on a tiny surface") << 8 << QSize(7, 5) << QRect(2, 0, 3, 5);
        QTest::newRow("custom too large keeps its ratio") << 10 << QSize(300, 200) << QRect(17, 0, 266, 200);
        QTest::newRow("passport one pixel too wide") << 12 << QSize(679, 900) << QRect(0, 110, 679, 679);
        QTest::newRow("UK passport") << 13 << hd << QRect(727, 240, 466, 600);
        QTest::newRow("unknown code") << 24 << hd << QRect();
    }

    void cropCodes()
    {
        QFETCH(int, code);
        QFETCH(QSize, surface);
        QTEST(QImageCanvas::rectForCropMode(code, surface, {640, 480}, {30, 40, 100, 120}), "expected");
    }

    // Only the newest load lands; a canvas deleted before its load ended is left alone.
    void lateLoads()
    {
        auto* gone = new QImageCanvas;
        gone->loadCutout(cutout(3000, 2000, QRect(10, 10, 50, 50)), QSize(3000, 2000));
        delete gone;
        QImageCanvas canvas;
        QSignalSpy updated(&canvas, &QImageCanvas::signal_update);
        canvas.loadCutout(cutout(2000, 1500, QRect(10, 10, 50, 50)), QSize(2000, 1500));
        canvas.loadCutout(cutout(300, 200, QRect(10, 10, 50, 50)), QSize(300, 200));
        QVERIFY(updated.wait(10000));
        QTest::qWait(300);
        QCOMPARE(updated.count(), 1);
        QCOMPARE(canvas.canvasSize(), QSize(300, 200));
    }

    void badCutoutLoadsNothing()
    {
        for (const cv::Mat& bad : {cv::Mat(), cv::Mat(40, 30, CV_8UC3), cv::Mat(40, 30, CV_16UC4)}) {
            QImageCanvas canvas;
            QVERIFY(load(canvas, bad));
            QVERIFY(!canvas.isLoaded());
            QString error;
            QVERIFY(!canvas.save(testutils::sandboxPath() + "/bad.png", 0, 3, 0, &error) && !error.isEmpty());
            canvas.applyCropSize(2, true, QSize(10, 10)); // nothing to lay out, nothing to break
        }
    }

    // Saved on a pool thread as a batch tile is: an ID size prints at its size in mm,
    // a JPG keeps the size limit, and nothing but the file is left in the folder.
    void save_data()
    {
        QTest::addColumn<int>("code"); // committed crop; negative: only previewed
        QTest::addColumn<bool>("jpg");
        QTest::addColumn<int>("outputSize");
        QTest::addColumn<int>("kilobytes");
        QTest::addColumn<QSize>("expected");
        QTest::addColumn<int>("dpi"); // 0: the encoder's default
        QTest::newRow("too large fixed size") << 15 << false << 3 << 0 << QSize(1500, 1500) << 0;
        QTest::newRow("one-inch jpg under a limit") << 20 << true << 3 << 12 << QSize(295, 413) << 300;
        QTest::newRow("two-inch png at 2K") << 23 << false << 1 << 0 << QSize(342, 480) << 248;
        QTest::newRow("ID size only previewed") << -20 << true << 3 << 0 << QSize(640, 480) << 0;
    }

    void save()
    {
        QFETCH(int, code);
        QFETCH(bool, jpg);
        QFETCH(int, outputSize);
        QFETCH(int, kilobytes);
        QFETCH(QSize, expected);
        QFETCH(int, dpi);
        QImageCanvas canvas;
        QVERIFY(load(canvas, cutout(640, 480, QRect(200, 100, 240, 280))));
        canvas.applyCropSize(qAbs(code), code > 0, canvas.customCropSize());
        canvas.setShowSubjectFrame(true); // frames never reach the file
        const QString folder = testutils::sandboxPath() + "/" + QTest::currentDataTag();
        const QString path = folder + (jpg ? "/out.jpg" : "/out.png");
        QString error;
        auto saving = std::async(std::launch::async, [&] {
            return canvas.save(path, jpg, quint8(outputSize), kilobytes, &error);
        });
        QVERIFY2(saving.get(), qPrintable(error));
        const QImage saved(path);
        QCOMPARE(saved.size(), expected);
        QCOMPARE(saved.hasAlphaChannel(), !jpg);
        // Transparent (PNG) or white (JPG) around the subject in the frame's middle.
        QVERIFY(jpg ? qGray(saved.pixel(2, 2)) >= 250 : saved.pixel(2, 2) == 0);
        QCOMPARE(qAlpha(saved.pixel(expected.width() / 2, expected.height() / 2)), 255);
        const int defaultDotsPerMetre = QImage(1, 1, QImage::Format_RGB32).dotsPerMeterX();
        QVERIFY(qAbs(saved.dotsPerMeterX() - (dpi ? qRound(dpi / 0.0254) : defaultDotsPerMetre)) <= 1);
        QVERIFY(!kilobytes || QFileInfo(path).size() <= kilobytes * 1024);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(path).fileName()});
    }
};

BRISEL_TEST_GUILESS_MAIN(TestImageCanvas)
#include "tst_imagecanvas.moc"
