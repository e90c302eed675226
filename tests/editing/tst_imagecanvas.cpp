#include "qcroptable.h"
#include "qimagecanvas.h"
#include "qsavefilewriter.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QSignalSpy>

#include <opencv2/imgproc.hpp>

#include <future>

Q_DECLARE_METATYPE(cv::Mat)

namespace {

// A cut-out of w x h whose only subject is the opaque rectangle `subject`.
cv::Mat cutoutWithSubject(int w, int h, const QRect& subject)
{
    cv::Mat m(h, w, CV_8UC4, cv::Scalar(0, 0, 0, 0));
    m(cv::Rect(subject.x(), subject.y(), subject.width(), subject.height()))
        .setTo(cv::Scalar(40, 120, 200, 255));
    return m;
}

QString text(const QRect& r)
{
    return QString("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

bool load(QImageCanvas& canvas, const cv::Mat& cutout, QSize source = QSize())
{
    QSignalSpy updated(&canvas, &QImageCanvas::signal_update);
    canvas.loadCutout(cutout, source.isValid() ? source : QSize(cutout.cols, cutout.rows));
    return updated.wait(10000);
}

} // namespace

class TestImageCanvas : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QWorkPool::instance()->start(2); }

    // Each code's frame on a surface, and whether it is an ID photo (saved at a
    // printing density).
    void cropCodes_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QSize>("surface");
        QTest::addColumn<QSize>("custom");
        QTest::addColumn<QRect>("expected");
        QTest::addColumn<bool>("idPhoto");
        const QSize hd(1920, 1080), custom(640, 480);
        QTest::newRow("whole") << 1 << hd << custom << QRect(0, 0, 1920, 1080) << false;
        QTest::newRow("1:1 on a wide surface") << 2 << hd << custom << QRect(420, 0, 1080, 1080) << false;
        QTest::newRow("16:9 on a tall surface")
            << 3 << QSize(800, 3000) << custom << QRect(0, 1275, 800, 450) << false;
        QTest::newRow("2:3 on a tiny surface") << 8 << QSize(7, 5) << custom << QRect(2, 0, 3, 5) << false;
        QTest::newRow("subject") << 9 << hd << custom << QRect(30, 40, 100, 120) << false;
        QTest::newRow("custom fits") << 10 << hd << custom << QRect(640, 300, 640, 480) << false;
        QTest::newRow("custom too large keeps its ratio")
            << 10 << QSize(300, 200) << custom << QRect(17, 0, 266, 200) << false;
        QTest::newRow("custom without a size") << 10 << hd << QSize(0, 0) << QRect() << false;
        QTest::newRow("certificate menu cuts nothing") << 11 << hd << custom << QRect() << false;
        QTest::newRow("passport one pixel too wide")
            << 12 << QSize(679, 900) << custom << QRect(0, 110, 679, 679) << true;
        QTest::newRow("UK passport") << 13 << hd << custom << QRect(727, 240, 466, 600) << true;
        QTest::newRow("batch square") << 18 << hd << custom << QRect(710, 290, 500, 500) << false;
        QTest::newRow("one-inch") << 20 << hd << custom << QRect(812, 333, 295, 413) << true;
        QTest::newRow("unknown code") << 24 << hd << custom << QRect() << false;
    }

    void cropCodes()
    {
        QFETCH(int, code);
        QFETCH(QSize, surface);
        QFETCH(QSize, custom);
        QFETCH(QRect, expected);
        QFETCH(bool, idPhoto);
        QCOMPARE(QImageCanvas::rectForCropMode(code, surface, custom, QRect(30, 40, 100, 120)), expected);
        QCOMPARE(QCropTable::isIdPhoto(code), idPhoto);
    }

    // The certificate labels name the pixel size the frame cuts and the print
    // size it has at the ID-photo density.
    void certificateLabelsMatchTheirFrames()
    {
        const QRegularExpression sizes(R"((\d+)x(\d+)px\s*\|\s*(\d+)x(\d+)mm)");
        const auto rows = QCropTable::tab(QCropTable::Tab::Certificate);
        QCOMPARE(rows.size(), 5);
        for (const QCropTable::Row* row : rows) {
            const QRegularExpressionMatch m = sizes.match(QString::fromUtf8(row->label));
            QVERIFY2(m.hasMatch(), row->label);
            const QSize pixels(m.captured(1).toInt(), m.captured(2).toInt());
            QCOMPARE(QImageCanvas::fixedCropSize(row->code, QSize()), pixels);
            QVERIFY(row->idPhoto);
            const double printedMm = pixels.width() * 25.4 / QCropTable::kIdPhotoDpi;
            QVERIFY2(qAbs(printedMm - m.captured(3).toInt()) < 0.5, row->label);
        }
    }

    void loadLaysOutTheCutout()
    {
        QImageCanvas canvas;
        QVERIFY(!canvas.isLoaded());
        QVERIFY(load(canvas, cutoutWithSubject(640, 480, QRect(100, 60, 200, 300))));
        QCOMPARE(canvas.customCropSize(), QSize(640, 480));
        QCOMPARE(canvas.foregroundRect(), QRect(0, 0, 640, 480));
        // The subject's box runs to the last subject pixel, exclusive.
        QCOMPARE(canvas.subjectRect(), QRect(100, 60, 199, 299));
        QCOMPARE(canvas.handles().value(7).topLeft(), QPoint(298 - 8, 358 - 8));
        QCOMPARE(canvas.cropRect(), QRect(0, 0, 640, 480));
        QCOMPARE(canvas.composedPixmap().size(), QSize(640, 480));
    }

    void badCutoutLoadsNothing_data()
    {
        QTest::addColumn<cv::Mat>("cutout");
        QTest::newRow("empty") << cv::Mat();
        QTest::newRow("no alpha") << cv::Mat(40, 30, CV_8UC3, cv::Scalar(1, 2, 3));
        QTest::newRow("16 bits") << cv::Mat(40, 30, CV_16UC4, cv::Scalar(1, 2, 3, 4));
    }

    void badCutoutLoadsNothing()
    {
        QFETCH(cv::Mat, cutout);
        QImageCanvas canvas;
        QVERIFY(load(canvas, cutout, QSize(30, 40)));
        QVERIFY(!canvas.isLoaded());
        QVERIFY(canvas.composedPixmap().size().width() <= 30);
        QString error;
        QVERIFY(!canvas.save(testutils::sandboxPath() + "/bad.png", 0, 3, &error));
        QVERIFY(!error.isEmpty());
        canvas.applyCropSize(2, true, QSize(10, 10)); // nothing to lay out, nothing to break
        canvas.setForegroundGeometry(5, 5, QRect(1, 1, 5, 5));
    }

    void newerLoadWins()
    {
        QImageCanvas canvas;
        QSignalSpy updated(&canvas, &QImageCanvas::signal_update);
        canvas.loadCutout(cutoutWithSubject(2000, 1500, QRect(10, 10, 50, 50)), QSize(2000, 1500));
        canvas.loadCutout(cutoutWithSubject(300, 200, QRect(10, 10, 50, 50)), QSize(300, 200));
        QVERIFY(updated.wait(10000));
        QTest::qWait(200);
        QCOMPARE(updated.count(), 1);
        QCOMPARE(canvas.canvasSize(), QSize(300, 200));
    }

    void canvasGoneBeforeItsLoadEnds()
    {
        auto* canvas = new QImageCanvas;
        canvas->loadCutout(cutoutWithSubject(3000, 2000, QRect(10, 10, 50, 50)), QSize(3000, 2000));
        delete canvas;
        QTest::qWait(500); // the job finishes and its hand-over must find nothing to touch
        QImageCanvas other;
        QVERIFY(load(other, cutoutWithSubject(30, 20, QRect(1, 1, 5, 5))));
    }

    void subjectIsNeverEnlarged_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QSize>("cutout");
        QTest::addColumn<QRect>("subject");
        QTest::newRow("fixed size falls back") << 16 << QSize(400, 300) << QRect(200, 100, 150, 150);
        QTest::newRow("tall frame, wide subject") << 4 << QSize(1600, 900) << QRect(100, 100, 1400, 500);
        QTest::newRow("id photo, big subject") << 20 << QSize(2000, 1500) << QRect(300, 200, 1200, 1100);
    }

    void subjectIsNeverEnlarged()
    {
        QFETCH(int, code);
        QFETCH(QSize, cutout);
        QFETCH(QRect, subject);
        QImageCanvas canvas;
        QVERIFY(load(canvas, cutoutWithSubject(cutout.width(), cutout.height(), subject)));
        const QSize natural = canvas.subjectRect().size();
        canvas.applyCropSize(code, false, canvas.customCropSize());
        const QRect frame = canvas.cropRect();
        const QRect placed = canvas.subjectRect();
        QVERIFY(placed.width() <= natural.width() && placed.height() <= natural.height());
        QVERIFY2(frame.contains(placed), qPrintable(text(placed)));
        // Shrunk or not, it keeps its proportions and sits in the middle of the frame.
        QVERIFY(qAbs(double(placed.width()) / placed.height() - double(natural.width()) / natural.height()) <
                0.02);
        QVERIFY(qAbs(placed.center().x() - frame.center().x()) <= 1);
        QVERIFY(qAbs(placed.center().y() - frame.center().y()) <= 1);
        if (frame.width() >= natural.width() && frame.height() >= natural.height())
            QCOMPARE(placed.size(), natural);
        // The foreground still shows the whole cut-out around the subject.
        const double scale = double(placed.width()) / natural.width();
        QVERIFY(qAbs(canvas.foregroundRect().width() - cutout.width() * scale) <= 2);
    }

    void wholeSurfaceResetsTheLayout()
    {
        QImageCanvas canvas;
        QVERIFY(load(canvas, cutoutWithSubject(800, 600, QRect(100, 100, 500, 400))));
        const QRect natural = canvas.subjectRect();
        canvas.applyCropSize(20, false, canvas.customCropSize());
        QVERIFY(canvas.subjectRect() != natural);
        canvas.applyCropSize(1, false, canvas.customCropSize());
        QCOMPARE(canvas.subjectRect(), natural);
        QCOMPARE(canvas.foregroundRect(), QRect(0, 0, 800, 600));
        QCOMPARE(canvas.cropRect(), QRect(0, 0, 800, 600));
    }

    // One drag step as the crop view makes it: the handle's edges move by (dx, dy).
    void handleDragsKeepTheFrameSane_data()
    {
        QTest::addColumn<int>("handle");
        QTest::addColumn<int>("dx");
        QTest::addColumn<int>("dy");
        const QList<QPair<int, int>> moves = {{15, 9}, {-40, -25}, {900, 5}, {-900, -700}, {3, 2000}};
        for (int handle = 0; handle <= 8; ++handle)
            for (const auto& [dx, dy] : moves)
                QTest::addRow("handle %d by %d,%d", handle, dx, dy) << handle << dx << dy;
    }

    void handleDragsKeepTheFrameSane()
    {
        QFETCH(int, handle);
        QFETCH(int, dx);
        QFETCH(int, dy);
        QImageCanvas canvas;
        QVERIFY(load(canvas, cutoutWithSubject(600, 400, QRect(200, 100, 150, 200))));
        const QRect before = canvas.subjectRect();
        QRect r = before;
        // The edges each handle moves (left, top, right, bottom); the middle moves all.
        const int moves[9] = {0b1100, 0b0100, 0b0110, 0b1000, 0b0010, 0b1001, 0b0001, 0b0011, 0b1111};
        const bool left = moves[handle] & 0b1000, top = moves[handle] & 0b0100,
                   right = moves[handle] & 0b0010, bottom = moves[handle] & 0b0001;
        r.adjust(left ? dx : 0, top ? dy : 0, right ? dx : 0, bottom ? dy : 0);
        const int dragX = left || right ? qAbs(dx) : 0, dragY = top || bottom ? qAbs(dy) : 0;
        canvas.setForegroundGeometry(dragX, dragY, r);
        const QRect after = canvas.subjectRect();
        QVERIFY(after.width() >= 8 && after.height() >= 8);
        QVERIFY2(QRect(QPoint(0, 0), canvas.canvasSize()).contains(after), qPrintable(text(after)));
        QVERIFY(qAbs(double(after.width()) / after.height() - double(before.width()) / before.height()) <
                0.1);
        QCOMPARE(canvas.handles().value(0).topLeft(), after.topLeft() - QPoint(8, 8));
        QCOMPARE(canvas.handles().value(7).topLeft(), after.bottomRight() - QPoint(8, 8));
        if (handle == 8)
            QCOMPARE(after.size(), before.size());
        if (handle == 3 && dx > 0 && dx < 100) // a moved left edge, the right edge stays put
            QCOMPARE(after.right(), before.right());
        // The whole cut-out follows the subject at the same scale.
        QVERIFY(qAbs(canvas.foregroundRect().width() * before.width() - 600 * after.width()) <=
                2 * before.width());
    }

    void smallerBackgroundPictureLeavesStrips()
    {
        const QString picture = testutils::sandboxPath() + "/narrow.png";
        QImage narrow(200, 500, QImage::Format_RGB32);
        narrow.fill(Qt::green);
        QVERIFY(narrow.save(picture));
        QImageCanvas canvas;
        QVERIFY(load(canvas, cutoutWithSubject(400, 300, QRect(150, 100, 100, 100))));
        QVERIFY(canvas.setBackgroundImage(picture));
        QCOMPARE(canvas.canvasSize(), QSize(400, 500));
        QCOMPARE(canvas.foregroundRect(), QRect(0, 100, 400, 300));
        const QImage shown = canvas.composedPixmap().toImage();
        QCOMPARE(qAlpha(shown.pixel(10, 10)), 0); // a strip left of the picture
        QCOMPARE(shown.pixelColor(200, 20), QColor(Qt::green));
        QCOMPARE(canvas.backgroundWidth(), 200);
        QVERIFY(!canvas.setBackgroundImage(testutils::sandboxPath() + "/missing.png"));
        QCOMPARE(canvas.canvasSize(), QSize(400, 300));
        canvas.setBackgroundColor(Qt::red);
        QCOMPARE(canvas.backgroundWidth(), 400);
    }

    void save_data()
    {
        QTest::addColumn<int>("code"); // the committed crop; 1: the whole picture
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("outputSize");
        QTest::addColumn<QSize>("expected"); // 640 x 480, by the rounding of the larger side's scale
        QTest::addColumn<QColor>("background");
        QTest::addColumn<QColor>("corner"); // in the written file
        const QColor none, clear(0, 0, 0, 0);
        QTest::newRow("png 1080p") << 1 << 0 << 0 << QSize(1440, 1080) << none << clear;
        QTest::newRow("jpg 2k, white under nothing")
            << 1 << 1 << 1 << QSize(2000, 1500) << none << QColor(Qt::white);
        QTest::newRow("jpg original, red")
            << 1 << 1 << 3 << QSize(640, 480) << QColor(Qt::red) << QColor(Qt::red);
        QTest::newRow("jpg, transparent colour is not white")
            << 1 << 1 << 3 << QSize(640, 480) << clear << QColor(Qt::black);
        // The subject sits in the middle of every committed frame.
        QTest::newRow("shop square at original size") << 12 << 0 << 3 << QSize(680, 680) << none << clear;
        QTest::newRow("ratio at original size") << 2 << 0 << 3 << QSize(480, 480) << none << clear;
        QTest::newRow("fixed size at 1080p") << 12 << 0 << 0 << QSize(1080, 1080) << none << clear;
        QTest::newRow("too large fixed size") << 15 << 0 << 3 << QSize(1500, 1500) << none << clear;
    }

    void save()
    {
        QFETCH(int, code);
        QFETCH(int, format);
        QFETCH(int, outputSize);
        QFETCH(QSize, expected);
        QFETCH(QColor, background);
        QFETCH(QColor, corner);
        QImageCanvas canvas;
        QVERIFY(load(canvas, cutoutWithSubject(640, 480, QRect(200, 100, 240, 280))));
        if (code != 1)
            canvas.applyCropSize(code, true, canvas.customCropSize());
        if (background.isValid())
            canvas.setBackgroundColor(background);
        canvas.setShowSubjectFrame(true); // frames never reach the file
        const QString path = testutils::sandboxPath() +
                             QString("/out_%1.%2").arg(QTest::currentDataTag(), format ? "jpg" : "png");
        QString error;
        QVERIFY2(canvas.save(path, quint8(format), quint8(outputSize), &error), qPrintable(error));
        const QImage written(path);
        QCOMPARE(written.size(), expected);
        QCOMPARE(written.hasAlphaChannel(), format == 0);
        const QColor atCorner = written.pixelColor(2, 2),
                     middle = written.pixelColor(expected.width() / 2, expected.height() / 2);
        const auto near = [](const QColor& a, const QColor& b) {
            return qAbs(a.red() - b.red()) < 12 && qAbs(a.green() - b.green()) < 12 &&
                   qAbs(a.blue() - b.blue()) < 12 && a.alpha() == b.alpha();
        };
        QVERIFY2(near(atCorner, corner), qPrintable(atCorner.name(QColor::HexArgb)));
        QVERIFY2(near(middle, QColor(200, 120, 40)), qPrintable(middle.name(QColor::HexArgb)));
        QCOMPARE(
            QDir(testutils::sandboxPath()).entryList({"*.tmp", ".*out_*"}, QDir::Files | QDir::Hidden).size(),
            0);
    }

    // A save as a batch tile makes it: a private canvas written on a pool thread.
    // An ID size prints at its millimetre size and every JPG keeps the output
    // setting's size limit.
    void saveDensityAndLimit_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("commit");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("outputSize");
        QTest::addColumn<int>("kilobytes");
        QTest::addColumn<int>("dpi"); // 0: the encoder's default
        QTest::newRow("one-inch jpg under a limit") << 20 << true << 1 << 3 << 12 << 300;
        QTest::newRow("two-inch png at 2K") << 23 << true << 0 << 1 << 0 << 1453;
        QTest::newRow("passport jpg") << 14 << true << 1 << 3 << 0 << 300;
        QTest::newRow("ID size only previewed") << 20 << false << 1 << 3 << 0 << 0;
        QTest::newRow("shop square under a limit") << 16 << true << 1 << 3 << 40 << 0;
    }

    void saveDensityAndLimit()
    {
        QFETCH(int, code);
        QFETCH(bool, commit);
        QFETCH(int, format);
        QFETCH(int, outputSize);
        QFETCH(int, kilobytes);
        QFETCH(int, dpi);
        cv::Mat noise;
        cv::cvtColor(testutils::texturedBgr(640, 480), noise, cv::COLOR_BGR2BGRA);
        QImageCanvas canvas;
        QVERIFY(load(canvas, noise));
        canvas.applyCropSize(code, commit, canvas.customCropSize());
        const QString path = testutils::sandboxPath() + "/density." + (format ? "jpg" : "png");
        const auto saveOnPool = [&](int limit) {
            QSaveFileWriter::setMaxKilobytes(limit);
            QString error;
            const bool ok = std::async(std::launch::async, [&] {
                                return canvas.save(path, quint8(format), quint8(outputSize), &error);
                            }).get();
            QSaveFileWriter::setMaxKilobytes(0);
            return ok ? QFileInfo(path).size() : -1;
        };
        if (kilobytes > 0)
            QVERIFY(saveOnPool(0) > kilobytes * 1024); // the limit has work to do
        const qint64 size = saveOnPool(kilobytes);
        QVERIFY(size > 0);
        if (kilobytes > 0)
            QVERIFY2(size <= kilobytes * 1024, qPrintable(QString::number(size)));
        const QImage saved(path);
        const int defaultDotsPerMetre = QImage(1, 1, QImage::Format_RGB32).dotsPerMeterX();
        const int expected = dpi ? qRound(dpi / 0.0254) : defaultDotsPerMetre;
        QVERIFY2(qAbs(saved.dotsPerMeterX() - expected) <= 1,
                 qPrintable(QString::number(saved.dotsPerMeterX())));
        QCOMPARE(saved.dotsPerMeterY(), saved.dotsPerMeterX());
    }
};

BRISEL_TEST_GUILESS_MAIN(TestImageCanvas)
#include "tst_imagecanvas.moc"
