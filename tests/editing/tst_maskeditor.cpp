#include "qmaskeditor.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QSemaphore>
#include <QSignalSpy>

#include <stdexcept>

namespace {
constexpr QRgb kService = 0x64FF0000u;

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

// 'S' the service's cut-out, 'K' kept by the user, 'R' removed.
char state(QRgb p)
{
    return qAlpha(p) == 0 ? 'R' : p == QMaskStroke::kTagPixel ? 'K' : p == kService ? 'S' : '?';
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

    // The input is read on the pool.
    void badInputLeavesTheEditorAsItWas()
    {
        editor->strokeDot({10, 10});
        editor->endStroke();
        const QImage edited = editor->mask();
        const QMaskEditor::Input noPhoto{cv::Mat(), input().cutout}, noAlpha{input().photo, input().photo};
        for (const QMaskEditor::Input& bad : {noPhoto, noAlpha})
            QVERIFY(!load([bad] { return bad; }, 500));
        QVERIFY(!load([]() -> QMaskEditor::Input { throw std::runtime_error("unreadable"); }, 500));
        QCOMPARE(editor->mask(), edited);
        QCOMPARE(editor->history().count(), 2);
    }

    // Even when the overtaken load's result comes last.
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
        QCOMPARE(int(editor->source().at<cv::Vec3b>(0, 70)[0]), 200);
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

private:
    // Loads what `read` gives with the display at half size; true once taken over.
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
