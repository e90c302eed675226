// The document and its editors without the window: history, strokes, the mask
// editor, the canvas and its saved file, and the brush view's panning.

#include "mouseinput.h"
#include "qcropgeometry.h"
#include "qhistorypixmap.h"
#include "qimagecanvas.h"
#include "qimagecutoutwidget.h"
#include "qmaskeditor.h"
#include "qmaskstroke.h"
#include "qsavefilewriter.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QDir>
#include <QPainter>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QSignalSpy>

#include <opencv2/imgproc.hpp>

#include <future>
#include <stdexcept>

Q_DECLARE_METATYPE(cv::Mat)

namespace {
constexpr QRgb kService = 0x64FF0000u; // (B 0, G 0, R 255, A 100) as ARGB32

// 'S' the service's cut-out, 'K' kept by the user, 'R' removed.
char state(QRgb p)
{
    return qAlpha(p) == 0 ? 'R' : p == QMaskStroke::kTagPixel ? 'K' : p == kService ? 'S' : '?';
}

// A state that differs from `base` in one rectangle.
QImage edited(const QImage& base, const QRect& area, QRgb color)
{
    QImage next = base.copy();
    QPainter painter(&next);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(area, QColor::fromRgba(color));
    return next;
}

QImage serviceMask(QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(kService);
    return image;
}

// 80 x 60: left half grey 100, right half grey `right`; the service kept the left.
QMaskEditor::Input input(int right = 110)
{
    cv::Mat photo(60, 80, CV_8UC3, cv::Scalar::all(100));
    photo(cv::Rect(40, 0, 40, 60)).setTo(cv::Scalar::all(right));
    cv::Mat cutout(60, 80, CV_8UC4, cv::Scalar::all(0));
    cutout(cv::Rect(0, 0, 40, 60)).setTo(cv::Scalar(100, 100, 100, 255));
    return {photo, cutout};
}

const auto halfSize = [](QSize image) { return image / 2; };

// A w x h cut-out whose only subject is the textured rectangle `s`.
cv::Mat cutout(int w, int h, const QRect& s)
{
    cv::Mat m(h, w, CV_8UC4, cv::Scalar::all(0)), subject = m(cv::Rect(s.x(), s.y(), s.width(), s.height()));
    cv::cvtColor(testutils::texturedBgr(s.width(), s.height()), subject, cv::COLOR_BGR2BGRA);
    return m;
}

bool loadCanvas(QImageCanvas& canvas, const cv::Mat& cutout)
{
    QSignalSpy updated(&canvas, &QImageCanvas::signal_update);
    canvas.loadCutout(cutout, QSize(cutout.cols, cutout.rows));
    return updated.wait(10000);
}
} // namespace

class TestEditing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<cv::Mat>("Mat");
        QWorkPool::instance()->start(2);
    }

    // `pushes` random edits (every tenth of another size: a key), then 'u' undo, 'r'
    // redo, 'p' push one more. Every state reached or rebuilt is the one pushed.
    void moves_data()
    {
        QTest::addColumn<int>("pushes");
        QTest::addColumn<QString>("moves");
        QTest::addColumn<int>("current");
        QTest::addColumn<bool>("canRedo");
        QTest::addColumn<int>("count");
        QTest::newRow("down past the first and up")
            << 50 << QString(50, 'u') + QString(20, 'r') << 20 << true << 50;
        QTest::newRow("push after undo drops the states ahead") << 3 << "uupur" << 1 << false << 2;
    }

    void moves()
    {
        QFETCH(int, pushes);
        QFETCH(QString, moves);
        QHistoryPixmap history;
        QVector<QImage> pushed;
        QImage shown(120, 80, QImage::Format_ARGB32);
        shown.fill(qRgba(0, 0, 255, 100));
        QRandomGenerator rng(7);
        const auto push = [&] {
            const QRect area(rng.bounded(110), rng.bounded(70), 1 + rng.bounded(40), 1 + rng.bounded(30));
            shown = edited(shown, area, rng.generate() | 0x01000000);
            if (pushed.size() % 10 == 9)
                shown = shown.copy(0, 0, shown.width() - 1, shown.height());
            pushed.resize(history.current() + 1);
            pushed.append(shown);
            history.push(shown);
        };
        for (int i = 0; i < pushes; ++i)
            push();
        for (QChar move : moves) {
            if (move == 'p')
                push();
            else if (const QImage next = move == 'u' ? history.undoImage() : history.redoImage();
                     !next.isNull())
                QCOMPARE(next, pushed[history.current()]); // null: nothing to go back or forth to
        }
        QTEST(history.current(), "current");
        QTEST(history.canRedo(), "canRedo");
        QTEST(history.count(), "count");
        for (int i : {0, history.count() / 2, history.count() - 1})
            QCOMPARE(history.state(i), pushed[i]);
    }

    // Only changed rectangles are kept: thirty edits cost far less than a full state.
    void manyEditsStayCompact()
    {
        QHistoryPixmap history;
        QImage image(1500, 1000, QImage::Format_ARGB32);
        image.fill(qRgba(0, 0, 255, 100));
        history.push(image);
        for (int i = 0; i < 30; ++i) {
            image = edited(image, QRect(i * 40, i * 25, 200, 120), i % 2 ? 0 : qRgba(10, 0, 255, 100));
            history.push(image);
        }
        QVERIFY(history.storedBytes() < image.sizeInBytes() * 5 / 4);
    }

    // A disc of 40 on a 400 x 400 service mask shown at half size, carried over: the
    // pixel `offset` right of the centre. A soft rim keeps but does not remove.
    void discCarriedOver_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<int>("hardness");
        QTest::addColumn<int>("offset");
        QTest::addColumn<char>("expected");
        QTest::newRow("hard remove, rim") << false << 50 << 36 << 'R';
        QTest::newRow("soft remove, centre") << false << 0 << 0 << 'R';
        QTest::newRow("soft remove, rim") << false << 0 << 36 << 'S';
        QTest::newRow("soft keep, rim") << true << 0 << 36 << 'K';
        QTest::newRow("beyond the disc") << true << 50 << 46 << 'S';
    }

    void discCarriedOver()
    {
        QFETCH(bool, keep);
        QFETCH(int, hardness);
        QFETCH(int, offset);
        QFETCH(char, expected);
        const QImage start = serviceMask({400, 400});
        QImage full = start.copy();
        QImage display = QMaskStroke::scaledMask(full, {200, 200});
        const QRect dirty = QMaskStroke::paintDisc(display, QPointF(100, 100), 40, keep, hardness);
        QVERIFY(dirty.contains(QRect(80, 80, 40, 40)));
        QMaskStroke::applyDisplayMask(full, start, display, dirty);
        QCOMPARE(state(full.pixel(200 + offset, 200)), expected);
    }

    void regionCarryMatchesWholeCarry()
    {
        const QSize fullSize(997, 661), displaySize(331, 219);
        QImage start = serviceMask(fullSize);
        for (int y = 0; y < fullSize.height(); y += 3)
            for (int x = 0; x < 200; ++x)
                start.setPixel(x, y, 0);
        QImage byRegion = start.copy();
        QImage whole = start.copy();
        QImage display = QMaskStroke::scaledMask(start, displaySize);
        QRandomGenerator rng(3);
        for (int i = 0; i < 12; ++i) {
            const QPointF a(rng.bounded(displaySize.width()), rng.bounded(displaySize.height()));
            const QPointF b = a + QPointF(rng.bounded(60) - 30, rng.bounded(60) - 30);
            const QRect dirty =
                QMaskStroke::paintLine(display, a, b, 4 + rng.bounded(30), i % 3 != 0, rng.bounded(51));
            QMaskStroke::applyDisplayMask(byRegion, start, display, dirty);
            QMaskStroke::applyDisplayMask(whole, start, display, display.rect());
            QCOMPARE(byRegion, whole);
        }
    }

    // The input is read on the pool.
    void badInputLeavesTheEditorAsItWas()
    {
        QVERIFY(newEditor());
        editor->strokeDot({10, 10});
        editor->endStroke();
        const QImage edited = editor->mask();
        const QMaskEditor::Input noPhoto{cv::Mat(), input().cutout}, noAlpha{input().photo, input().photo};
        for (const QMaskEditor::Input& bad : {noPhoto, noAlpha})
            QVERIFY(!loadEditor([bad] { return bad; }, 500));
        QVERIFY(!loadEditor([]() -> QMaskEditor::Input { throw std::runtime_error("unreadable"); }, 500));
        QCOMPARE(editor->mask(), edited);
        QCOMPARE(editor->history().count(), 2);
    }

    // Even when the overtaken load's result comes last.
    void lateResultIsDropped()
    {
        QVERIFY(newEditor());
        QSemaphore firstMayFinish;
        QSignalSpy ready(editor.get(), &QMaskEditor::signal_ready);
        editor->load(
            [&firstMayFinish] {
                firstMayFinish.acquire();
                return input(7);
            },
            halfSize);
        editor->load([] { return input(200); }, halfSize);
        const bool secondTaken = ready.wait(10000);
        firstMayFinish.release(); // never leave a pool thread blocked
        QVERIFY(secondTaken);
        QVERIFY(!ready.wait(500));
        QCOMPARE(int(editor->source().at<cv::Vec3b>(0, 70)[0]), 200);
    }

    // A stroke made while a refine runs, ended or still drawn when the answer comes:
    // that answer is dropped and a refine of every stroke follows ('+' started,
    // '-' ended).
    void strokeDuringRefine_data()
    {
        QTest::addColumn<bool>("drawing");
        QTest::addColumn<QString>("runs");
        QTest::newRow("ended") << false << "++-";
        QTest::newRow("still drawn") << true << "+-+-";
    }

    void strokeDuringRefine()
    {
        QFETCH(bool, drawing);
        QVERIFY(newEditor());
        editor->setKeepMode(true);
        editor->strokeDot({30, 10});
        editor->endStroke();
        QSemaphore poolFree;
        for (int i = 0; i < 2; ++i) // both workers busy: the refine waits its turn
            QWorkPool::instance()->post([&poolFree] { poolFree.acquire(); });
        QString seen;
        connect(editor.get(), &QMaskEditor::signal_refining, [&seen](bool on) { seen += on ? '+' : '-'; });
        const bool started = editor->refine();
        editor->strokeDot({30, 20});
        if (!drawing)
            editor->endStroke();
        poolFree.release(2);
        QVERIFY(started);
        if (drawing) {
            QTRY_COMPARE(seen, QStringLiteral("+-"));
            QVERIFY(editor->hasPendingStrokes());
            editor->endStroke();
        }
        QFETCH(QString, runs);
        QTRY_COMPARE(seen, runs);
        QVERIFY(!editor->isRefining() && !editor->hasPendingStrokes());
    }

    // While a slider moves the view shows the photo cut out at the new edge.
    void edgePreviewIsTheCutout()
    {
        QVERIFY(newEditor());
        editor->previewEdge({0, 0, true});
        const QImage plain = editor->edgePreview();
        QVERIFY(plain.pixel(5, 15) == qRgba(100, 100, 100, 255) && qAlpha(plain.pixel(35, 15)) == 0);
        editor->previewEdge({QEdgeControls::kMaxFeather, 0, true});
        QVERIFY(qAlpha(editor->edgePreview().pixel(20, 15)) % 255 != 0);
        editor->setEdge({QEdgeControls::kMaxFeather, 0, true});
        QVERIFY(editor->edgePreview().isNull());
    }

    // A magic fill from the photo pixel `at`, spreading within the tolerance of its
    // colour; then the states of the left half, the right half and `at`.
    void magicFill_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QPointF>("at");
        QTest::addColumn<int>("tolerance");
        QTest::addColumn<QString>("states");
        QTest::newRow("keep fill stops beyond") << true << QPointF(60, 30) << 5 << "SKK";
        QTest::newRow("tolerance equal to the step") << true << QPointF(10, 30) << 10 << "KKK";
        QTest::newRow("remove fill stops beyond") << false << QPointF(10, 30) << 5 << "RRR";
        QTest::newRow("seed outside is clamped") << true << QPointF(-8, 900) << 5 << "KRK";
    }

    void magicFill()
    {
        QVERIFY(newEditor());
        QFETCH(bool, keep);
        QFETCH(QPointF, at);
        QFETCH(int, tolerance);
        const QImage start = editor->mask().copy();
        editor->setKeepMode(keep);
        editor->magicFill(at, tolerance);
        const QImage edited = editor->mask().copy();
        const QPoint probe(qBound(0, int(at.x()), 79), qBound(0, int(at.y()), 59));
        QTEST(QString() + state(edited.pixel(10, 50)) + state(edited.pixel(70, 50)) +
                  state(edited.pixel(probe)),
              "states");
        QCOMPARE(editor->history().count(), 2);
        editor->undo();
        QCOMPARE(editor->mask(), start);
        editor->redo();
        QCOMPARE(editor->mask(), edited);
        QCOMPARE(editor->takeEdit().size(), cv::Size(80, 60));
        QVERIFY(editor->takeEdit().empty()); // taken once
    }

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
        QTest::newRow("UK passport, the largest frame") << 13 << hd << QRect(541, 0, 838, 1080);
        QTest::newRow("unknown code") << 99 << hd << QRect();
    }

    void cropCodes()
    {
        QFETCH(int, code);
        QFETCH(QSize, surface);
        QTEST(QCropGeometry::rectForCropMode(code, surface, {640, 480}, {30, 40, 100, 120}), "expected");
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
            QVERIFY(loadCanvas(canvas, bad));
            QVERIFY(!canvas.isLoaded());
            QString error;
            QVERIFY(!canvas.save(testutils::sandboxPath() + "/bad.png", 0, 3, {}, &error) &&
                    !error.isEmpty());
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
        QTest::newRow("two-inch png at 2K, exact size") << 23 << false << 1 << 0 << QSize(413, 579) << 300;
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
        QVERIFY(loadCanvas(canvas, cutout(640, 480, QRect(200, 100, 240, 280))));
        canvas.applyCropSize(qAbs(code), code > 0, canvas.customCropSize());
        canvas.setShowSubjectFrame(true); // frames never reach the file
        const QString folder = testutils::sandboxPath() + "/" + QTest::currentDataTag();
        const QString path = folder + (jpg ? "/out.jpg" : "/out.png");
        QString error;
        auto saving = std::async(std::launch::async, [&] {
            return canvas.save(path, jpg, quint8(outputSize), {0, kilobytes}, &error);
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

    // Right drags pan from on the photo only and never edit.
    void panning_data()
    {
        QTest::addColumn<QPoint>("from"); // from the photo's top-left corner
        QTest::addColumn<QPoint>("shift");
        QTest::newRow("on the photo") << QPoint(25, 25) << QPoint(30, -20);
        QTest::newRow("beside the photo") << QPoint(-5, -5) << QPoint();
    }

    void panning()
    {
        QFETCH(QPoint, from);
        QImageCutoutWidget view;
        QVERIFY(show(view));
        view.setFactor(0.25f); // the photo no longer fills the view
        const QPoint before = view.imageRect().topLeft(), start = before + from;
        mouseinput::drag(&view, Qt::RightButton, {start, start + QPoint(10, -5), start + QPoint(30, -20)});
        QTEST(view.imageRect().topLeft() - before, "shift");
        // A pan does not stick to the pointer after the release.
        mouseinput::moveTo(&view, start + QPoint(60, 40), Qt::NoButton);
        QTEST(view.imageRect().topLeft() - before, "shift");
        QCOMPARE(view.history().current(), 0);
    }

private:
    // The brush view on an 800 x 600 photo, ready for input.
    static bool show(QImageCutoutWidget& view)
    {
        view.resize(400, 300);
        view.show();
        if (!QTest::qWaitForWindowExposed(&view))
            return false;
        QSignalSpy ready(&view, &QImageCutoutWidget::signal_ready);
        view.setImages(testutils::texturedBgr(800, 600),
                       testutils::solidBgra(800, 600, cv::Scalar::all(255)));
        return ready.wait(10000);
    }

    bool newEditor()
    {
        editor = std::make_unique<QMaskEditor>();
        return loadEditor([] { return input(); });
    }

    // Loads what `read` gives with the display at half size; true once taken over.
    bool loadEditor(std::function<QMaskEditor::Input()> read, int waitMs = 10000)
    {
        QSignalSpy ready(editor.get(), &QMaskEditor::signal_ready);
        editor->load(std::move(read), halfSize);
        return ready.wait(waitMs);
    }

    std::unique_ptr<QMaskEditor> editor;
};

BRISEL_TEST_MAIN(TestEditing)
#include "tst_editing.moc"
