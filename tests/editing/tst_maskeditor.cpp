// The brush view's model without the view: loading on the pool, strokes carried to
// the full-size mask and back through undo and redo, the magic brush's tolerance.

#include "qimagefiles.h"
#include "qmaskeditor.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QSemaphore>
#include <QSignalSpy>

#include <stdexcept>

namespace {

constexpr QRgb kService = 0x64FF0000u;
const QSize kPhoto(80, 60);

// Left half grey 100, right half grey `right`; the service kept the left half.
QMaskEditor::Input input(int right = 100)
{
    cv::Mat photo(kPhoto.height(), kPhoto.width(), CV_8UC3, cv::Scalar::all(100));
    photo(cv::Rect(40, 0, 40, 60)).setTo(cv::Scalar::all(right));
    cv::Mat cutout(kPhoto.height(), kPhoto.width(), CV_8UC4, cv::Scalar::all(0));
    cutout(cv::Rect(0, 0, 40, 60)).setTo(cv::Scalar(100, 100, 100, 255));
    return {photo, cutout};
}

QSize halfSize(QSize image)
{
    return image / 2;
}

} // namespace

class TestMaskEditor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QWorkPool::instance()->start(2); }

    void init()
    {
        editor = std::make_unique<QMaskEditor>();
        QVERIFY(load([] { return input(); }));
    }

    void loadShowsTheCutout()
    {
        QCOMPARE(editor->mask().size(), kPhoto);
        QCOMPARE(editor->mask().pixel(10, 10), kService);
        QCOMPARE(qAlpha(editor->mask().pixel(70, 10)), 0);
        QCOMPARE(editor->displayMask().size(), kPhoto / 2);
        QCOMPARE(editor->displaySource().size(), kPhoto / 2);
        QCOMPARE(editor->history().count(), 1);
        QVERIFY(editor->takeEdit().empty()); // nothing edited yet
    }

    void badInputLeavesTheEditorAsItWas_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("no photo") << "empty";
        QTest::newRow("cut-out without alpha") << "bgr";
        QTest::newRow("reader throws") << "throw";
        QTest::newRow("unreadable file") << "file";
    }

    void badInputLeavesTheEditorAsItWas()
    {
        QFETCH(QString, kind);
        editor->strokeDot({10, 10});
        editor->endStroke();
        const QImage edited = editor->mask();
        const QString broken = testutils::sandboxPath() + "/broken.jpg";
        QVERIFY(testutils::writeFile(broken, QByteArray("\xff\xd8\xff\xe0 not really a jpeg")));
        QVERIFY(!load(
            [kind, broken] {
                QMaskEditor::Input in = input();
                if (kind == "empty")
                    in.photo.release();
                else if (kind == "bgr")
                    in.cutout = in.photo;
                else if (kind == "throw")
                    throw std::runtime_error("unreadable");
                else
                    in.photo = QImageFiles::read(broken);
                return in;
            },
            500));
        QCOMPARE(editor->mask(), edited);
        QCOMPARE(editor->history().count(), 2);
    }

    void nothingLoadedIgnoresEdits()
    {
        QMaskEditor none;
        none.magicFill({5, 5}, 10);
        none.strokeDot({5, 5});
        none.endStroke();
        none.undo();
        QVERIFY(!none.isReady());
        QVERIFY(none.takeEdit().empty());
        QCOMPARE(none.history().count(), 0);
    }

    // A load overtaken by a later one is dropped even when its result comes last.
    void lateResultIsDropped()
    {
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
        QCOMPARE(ready.count(), 1);
        QCOMPARE(int(editor->source().at<cv::Vec3b>(0, 70)[0]), 200);
    }

    // Display pixel (x, y) is photo pixel (2x, 2y); the brush is 8 display pixels.
    void strokeUndoRedo_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<bool>("dot");
        QTest::addColumn<QPoint>("at");     // photo pixel in the stroke
        QTest::addColumn<QRgb>("expected"); // there, after the stroke
        QTest::newRow("keep line over the removed half")
            << true << false << QPoint(60, 30) << QMaskStroke::kTagPixel;
        QTest::newRow("remove line over the kept half") << false << false << QPoint(20, 30) << QRgb(0);
        QTest::newRow("keep dot") << true << true << QPoint(50, 30) << QMaskStroke::kTagPixel;
    }

    void strokeUndoRedo()
    {
        QFETCH(bool, keep);
        QFETCH(bool, dot);
        QFETCH(QPoint, at);
        QFETCH(QRgb, expected);
        QSignalSpy recorded(editor.get(), &QMaskEditor::signal_history_changed);
        const QImage start = editor->mask().copy();
        editor->setKeepMode(keep);
        editor->setBrushSize(8);
        const QPointF centre = QPointF(at) / 2;
        const QRect dirty = dot ? editor->strokeDot(centre)
                                : editor->strokeLine(centre - QPointF(5, 0), centre + QPointF(5, 0));
        QVERIFY(dirty.contains(centre.toPoint()));
        QCOMPARE(editor->mask(), start); // carried over only at the end
        editor->endStroke();
        QCOMPARE(recorded.count(), 1);
        // A removed pixel keeps its colour bytes; only its alpha is compared.
        const QRgb got = editor->mask().pixel(at);
        QCOMPARE(expected ? got : got & 0xFF000000u, expected);
        const QImage stroked = editor->mask().copy();
        QCOMPARE(editor->mask().pixel(at.x(), 2), start.pixel(at.x(), 2)); // away from the stroke

        editor->undo();
        QCOMPARE(editor->mask(), start);
        // The display shows the undone state, also when rebuilt at another size.
        QCOMPARE(editor->displayMask().pixel(centre.toPoint()),
                 editor->displayMask().pixel(centre.toPoint().x(), 1));
        editor->setDisplaySize(kPhoto);
        QCOMPARE(editor->displayMask().pixel(at), editor->displayMask().pixel(at.x(), 2));
        editor->redo();
        QCOMPARE(editor->mask(), stroked);
        QCOMPARE(recorded.count(), 1); // moves are no new states
        QCOMPARE(editor->takeEdit().size(), cv::Size(kPhoto.width(), kPhoto.height()));
        QVERIFY(editor->takeEdit().empty()); // taken once
    }

    // 'S' the service's cut-out, 'K' kept by the user, 'R' removed: the left and
    // the right half after the fill.
    void magicFillFollowsTolerance_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QPointF>("seed");
        QTest::addColumn<int>("tolerance");
        QTest::addColumn<QString>("halves");
        QTest::newRow("keep spreads within") << true << QPointF(60, 30) << 20 << "KK";
        QTest::newRow("keep stops beyond") << true << QPointF(60, 30) << 5 << "SK";
        QTest::newRow("tolerance equal to the step") << true << QPointF(10, 30) << 10 << "KK";
        QTest::newRow("one below the step") << true << QPointF(10, 30) << 9 << "KR";
        QTest::newRow("remove spreads within") << false << QPointF(60, 30) << 20 << "RR";
        QTest::newRow("remove stops beyond") << false << QPointF(10, 30) << 5 << "RR";
        QTest::newRow("remove from the right") << false << QPointF(60, 30) << 5 << "SR";
        QTest::newRow("seed outside is clamped") << true << QPointF(-8, 900) << 5 << "KR";
    }

    void magicFillFollowsTolerance()
    {
        QFETCH(bool, keep);
        QFETCH(QPointF, seed);
        QFETCH(int, tolerance);
        QFETCH(QString, halves);
        QVERIFY(load([] { return input(110); }));
        const QImage start = editor->mask().copy();
        editor->setKeepMode(keep);
        editor->magicFill(seed, tolerance);
        const auto state = [this](int x) {
            const QRgb p = editor->mask().pixel(x, 50);
            return qAlpha(p) == 0 ? 'R' : p == QMaskStroke::kTagPixel ? 'K' : p == kService ? 'S' : '?';
        };
        QCOMPARE(QString() + state(10) + state(70), halves);
        QCOMPARE(editor->history().count(), 2);
        editor->undo();
        QCOMPARE(editor->mask(), start);
    }

private:
    // Loads what `read` gives with the display at half size; true once it is taken
    // over.
    bool load(std::function<QMaskEditor::Input()> read, int waitMs = 10000)
    {
        QSignalSpy ready(editor.get(), &QMaskEditor::signal_ready);
        editor->load(std::move(read), halfSize);
        return ready.wait(waitMs);
    }

    std::unique_ptr<QMaskEditor> editor;
};

BRISEL_TEST_GUILESS_MAIN(TestMaskEditor)
#include "tst_maskeditor.moc"
