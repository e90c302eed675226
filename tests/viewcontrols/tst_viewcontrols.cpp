// The zoom bar and Undo/Restore buttons that the single-image editor host and the
// batch editor share, driven through each host's own form: the bar must stay on
// the view the host shows now, clamp at the slider's ends, and leave views that
// were switched away from or deleted alone. Tasks finish from the cut-out cache,
// so no service is needed.

#include "imagefixtures.h"
#include "mouseinput.h"
#include "qbatchcutwidget.h"
#include "qcropwidget.h"
#include "qimagecropwidget.h"
#include "qimagecutoutwidget.h"
#include "qmattingbutton.h"
#include "qworkpool.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <functional>

Q_DECLARE_METATYPE(cv::Mat)

namespace {
constexpr int kWaitMs = 20000;

QString cachedTask(const QString& name)
{
    return imagefixtures::cachedTask(name, QSize(240, 160), kWaitMs);
}

// One click of the remove brush on the middle of the disc: one step of history.
void removeDot(QImageCutoutWidget* view)
{
    view->setKeepMode(false);
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, view->imageRect().center());
}

// Either host with the view its bar drives; "crop", "brush" (the single-image host
// on its brush view) or "batch".
struct Host
{
    std::unique_ptr<QWidget> widget;
    QWidget* view = nullptr;
    std::function<float()> factor;

    template <typename V> void track(V* v)
    {
        view = v;
        factor = [v] { return v->factor(); };
    }

    template <typename T> T* child(const char* name) const
    {
        return widget->findChild<T*>(QLatin1String(name));
    }
    QSlider* slider() const { return child<QSlider>("hSliderImageFactor"); }
    QString label() const { return child<QLabel>("labelImageFactor")->text(); }
    void click(const char* name) const { QTest::mouseClick(child<QPushButton>(name), Qt::LeftButton); }
};

} // namespace

class TestViewControls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void zoomClampsAtSliderEnds_data();
    void zoomClampsAtSliderEnds();
    void barFollowsOnlyTheShownView_data();
    void barFollowsOnlyTheShownView();
    void historyButtonsActOnShownView_data();
    void historyButtonsActOnShownView();
    void forgottenViewLeavesControlsInert_data();
    void forgottenViewLeavesControlsInert();

private:
    // Builds and shows the host of `kind` with a loaded task; fails the test
    // otherwise.
    void open(const QString& kind);
    // The batch editor with a second tile loaded; returns the first tile's view.
    QImageCutoutWidget* openSecondTile();

    Host host;
};

void TestViewControls::initTestCase()
{
    qRegisterMetaType<cv::Mat>("Mat");
    QWorkPool::instance()->start(2);
}

void TestViewControls::cleanup()
{
    host = Host();
    QTaskManager::clear();
}

void TestViewControls::open(const QString& kind)
{
    const QString id = cachedTask(kind + ".jpg");
    QVERIFY(!id.isEmpty());
    if (kind == "batch") {
        auto* editor = new QBatchCutWidget;
        host.widget.reset(editor);
        editor->resize(640, 480);
        editor->show();
        QVERIFY(QTest::qWaitForWindowExposed(editor));
        editor->loadTask(id);
        QTRY_VERIFY_WITH_TIMEOUT(editor->view() && editor->view()->isReady(), kWaitMs);
        host.track(editor->view());
        return;
    }
    auto* crop = new QCropWidget;
    host.widget.reset(crop);
    crop->resize(640, 520);
    crop->show();
    QVERIFY(QTest::qWaitForWindowExposed(crop));
    crop->setTask(id);
    QTRY_VERIFY_WITH_TIMEOUT(crop->hasImage() && crop->brushView()->isReady(), kWaitMs);
    if (kind == "brush") {
        crop->setActiveView(QCropWidget::BrushView);
        host.track(crop->brushView());
    } else {
        host.track(crop->cropView());
    }
}

QImageCutoutWidget* TestViewControls::openSecondTile()
{
    auto* editor = static_cast<QBatchCutWidget*>(host.widget.get());
    QImageCutoutWidget* first = editor->view();
    const QString second = cachedTask("second.jpg");
    if (second.isEmpty())
        return nullptr;
    editor->loadTask(second);
    if (!QTest::qWaitFor([&] { return editor->view() != first && editor->view()->isReady(); }, kWaitMs))
        return nullptr;
    host.track(editor->view());
    return first;
}

void TestViewControls::zoomClampsAtSliderEnds_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("percent");
    for (const char* kind : {"crop", "brush", "batch"}) {
        const QString k = QString::fromLatin1(kind);
        QTest::newRow(qPrintable(k + ": minus at the floor")) << k << 40 << "btnZoomIn" << 40;
        QTest::newRow(qPrintable(k + ": plus near the top jumps to it")) << k << 250 << "btnZoomOut" << 300;
        QTest::newRow(qPrintable(k + ": slider below its range")) << k << 100 << "slider 10" << 40;
        QTest::newRow(qPrintable(k + ": slider above its range")) << k << 100 << "slider 900" << 300;
        QTest::newRow(qPrintable(k + ": wheel up from 2.0 jumps")) << k << 200 << "wheel 0 120" << 300;
        QTest::newRow(qPrintable(k + ": sideways scroll is no zoom")) << k << 150 << "wheel -120 0" << 150;
    }
}

void TestViewControls::zoomClampsAtSliderEnds()
{
    QFETCH(QString, kind);
    QFETCH(int, start);
    QFETCH(QString, action);
    QFETCH(int, percent);
    open(kind);
    if (QTest::currentTestFailed())
        return;
    host.slider()->setValue(start);
    QCOMPARE(qRound(host.factor() * 100), start);
    if (action.startsWith("slider"))
        host.slider()->setValue(action.section(' ', 1).toInt());
    else if (action.startsWith("wheel"))
        mouseinput::wheel(host.view, host.view->rect().center(),
                          QPoint(action.section(' ', 1, 1).toInt(), action.section(' ', 2).toInt()));
    else
        host.click(qPrintable(action));
    QCOMPARE(host.slider()->value(), percent);
    QCOMPARE(host.label(), QString("%1%").arg(percent));
    QCOMPARE(qRound(host.factor() * 100), percent);
}

// After the host switches views, the bar shows the new view's factor, drives only
// it, and ignores zooming of the view it left.
void TestViewControls::barFollowsOnlyTheShownView_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("single image: crop view to brush view") << "crop";
    QTest::newRow("single image: brush view to crop view") << "brush";
    QTest::newRow("batch: one tile to another") << "batch";
}

void TestViewControls::barFollowsOnlyTheShownView()
{
    QFETCH(QString, kind);
    open(kind);
    if (QTest::currentTestFailed())
        return;
    host.slider()->setValue(200);
    QWidget* left = host.view;
    const std::function<float()> leftFactor = host.factor;
    if (kind == "batch") {
        QVERIFY(openSecondTile());
    } else {
        auto* crop = static_cast<QCropWidget*>(host.widget.get());
        const bool toBrush = kind == "crop";
        crop->setActiveView(toBrush ? QCropWidget::BrushView : QCropWidget::CropView);
        if (toBrush)
            host.track(crop->brushView());
        else
            host.track(crop->cropView());
    }
    QVERIFY(host.view != left);
    const int shown = qRound(host.factor() * 100);
    QCOMPARE(host.slider()->value(), shown);
    QCOMPARE(host.label(), QString("%1%").arg(shown));

    mouseinput::wheel(left, left->rect().center(), QPoint(0, 120));
    QCOMPARE(qRound(leftFactor() * 100), 300);
    QCOMPARE(host.slider()->value(), shown);
    QCOMPARE(host.label(), QString("%1%").arg(shown));

    host.slider()->setValue(150);
    QCOMPARE(qRound(host.factor() * 100), 150);
    QCOMPARE(qRound(leftFactor() * 100), 300);
}

void TestViewControls::historyButtonsActOnShownView_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("single image") << "brush";
    QTest::newRow("batch") << "batch";
}

void TestViewControls::historyButtonsActOnShownView()
{
    QFETCH(QString, kind);
    open(kind);
    if (QTest::currentTestFailed())
        return;
    auto* undo = host.child<QMattingButton>("BtnUndo");
    auto* restore = host.child<QMattingButton>("BtnRestore");
    auto* edited = static_cast<QImageCutoutWidget*>(host.view);
    QVERIFY(!undo->isEnabled() && !restore->isEnabled());
    removeDot(edited);
    QTRY_VERIFY(undo->isEnabled());
    QCOMPARE(edited->history().current(), 1);
    QTest::mouseClick(undo, Qt::LeftButton);
    QCOMPARE(edited->history().current(), 0);
    QVERIFY(!undo->isEnabled() && restore->isEnabled());

    // Switched away: the buttons follow the view now shown and leave this one be;
    // back on it, they pick up its history again.
    auto* crop = kind == "batch" ? nullptr : static_cast<QCropWidget*>(host.widget.get());
    auto* batch = kind == "batch" ? static_cast<QBatchCutWidget*>(host.widget.get()) : nullptr;
    const QString firstId = batch ? batch->taskId() : QString();
    if (batch)
        QVERIFY(openSecondTile());
    else
        crop->setActiveView(QCropWidget::CropView);
    QTRY_VERIFY(!restore->isEnabled());
    QCOMPARE(undo->isHidden(), !batch); // the crop view has no history of its own
    QTest::keySequence(host.widget.get(), QKeySequence(Qt::CTRL + Qt::Key_Y));
    QCOMPARE(edited->history().current(), 0);
    if (batch)
        batch->loadTask(firstId);
    else
        crop->setActiveView(QCropWidget::BrushView);
    QTRY_VERIFY(restore->isEnabled());
    QTest::mouseClick(restore, Qt::LeftButton);
    QCOMPARE(edited->history().current(), 1);
    QVERIFY(undo->isEnabled() && !restore->isEnabled());
}

void TestViewControls::forgottenViewLeavesControlsInert_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("percent");
    QTest::newRow("plus") << "btnZoomOut" << 180;
    QTest::newRow("minus") << "btnZoomIn" << 180;
    QTest::newRow("slider") << "slider 120" << 120;
    QTest::newRow("undo") << "BtnUndo" << 180;
}

// A tile that left the batch takes its view along; the bar must not reach it,
// neither before nor after it is actually deleted.
void TestViewControls::forgottenViewLeavesControlsInert()
{
    QFETCH(QString, action);
    QFETCH(int, percent);
    open("batch");
    if (QTest::currentTestFailed())
        return;
    auto* editor = static_cast<QBatchCutWidget*>(host.widget.get());
    auto* view = static_cast<QImageCutoutWidget*>(host.view);
    host.slider()->setValue(180);
    removeDot(view);
    QTRY_VERIFY(host.child<QMattingButton>("BtnUndo")->isEnabled());
    QPointer<QImageCutoutWidget> gone(view);
    editor->forgetTask(editor->taskId());
    QVERIFY(!editor->view());
    QVERIFY(!host.child<QMattingButton>("BtnUndo")->isEnabled());
    for (bool deleted : {false, true}) {
        if (deleted)
            QTRY_VERIFY(!gone);
        else
            QVERIFY(gone);
        const float before = gone ? gone->factor() : 0.0f;
        const int undoSteps = gone ? gone->history().current() : 0;
        if (action.startsWith("slider")) {
            host.slider()->setValue(180);
            host.slider()->setValue(action.section(' ', 1).toInt());
        } else if (action.startsWith("Btn")) {
            QTest::mouseClick(host.child<QMattingButton>(qPrintable(action)), Qt::LeftButton);
        } else {
            host.click(qPrintable(action));
        }
        QCOMPARE(host.slider()->value(), percent);
        QCOMPARE(host.label(), QString("%1%").arg(percent));
        if (gone) {
            QCOMPARE(gone->factor(), before);
            QCOMPARE(gone->history().current(), undoSteps);
        }
    }
}

BRISEL_TEST_MAIN(TestViewControls)
#include "tst_viewcontrols.moc"
