// The zoom bar and Undo button that the single-image host and the batch editor
// share must follow the view the host shows now. Tasks finish from the cut-out cache.

#include "imagefixtures.h"
#include "mouseinput.h"
#include "qbatchcutwidget.h"
#include "qcropwidget.h"
#include "qimagecropwidget.h"
#include "qimagecutoutwidget.h"
#include "qworkpool.h"

#include <QSlider>

Q_DECLARE_METATYPE(cv::Mat)

namespace {
int percent(QWidget* view)
{
    if (auto* crop = qobject_cast<QImageCropWidget*>(view))
        return qRound(crop->factor() * 100);
    return qRound(static_cast<QImageCutoutWidget*>(view)->factor() * 100);
}
} // namespace

class TestViewControls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<cv::Mat>("Mat");
        QWorkPool::instance()->start(2);
    }

    void cleanup()
    {
        host.reset();
        QTaskManager::clear();
    }

    // The bar shows the new view's factor, drives only it and ignores the view left;
    // a forgotten tile's view is out of reach of bar and Undo, deleted or not.
    void barFollowsOnlyTheShownView_data()
    {
        QTest::addColumn<bool>("batch");
        QTest::newRow("single image: crop view to brush view") << false;
        QTest::newRow("batch: one tile to another, then forgotten") << true;
    }

    void barFollowsOnlyTheShownView()
    {
        QFETCH(bool, batch);
        QVERIFY(open(batch, "first.jpg"));
        slider()->setValue(200);
        QWidget* left = view;
        if (batch) {
            QVERIFY(open(batch, "second.jpg"));
        } else {
            static_cast<QCropWidget*>(host.get())->setActiveView(QCropWidget::BrushView);
            view = static_cast<QCropWidget*>(host.get())->brushView();
        }
        QVERIFY(view != left && slider()->value() == percent(view));
        const int shown = slider()->value();
        mouseinput::wheel(left, left->rect().center(), QPoint(0, 120));
        QCOMPARE(slider()->value(), shown);
        slider()->setValue(150);
        QVERIFY(percent(view) == 150 && percent(left) == 210);
        if (!batch)
            return;
        auto* editor = static_cast<QBatchCutWidget*>(host.get());
        QPointer<QImageCutoutWidget> gone(editor->view());
        auto* undo = host->findChild<QWidget*>("BtnUndo");
        gone->setKeepMode(false);
        QTest::mouseClick(gone, Qt::LeftButton, Qt::NoModifier, gone->imageRect().center());
        QTRY_VERIFY(undo->isEnabled());
        editor->forgetTask(editor->taskId());
        QVERIFY(!editor->view() && !undo->isEnabled());
        for (bool deleted : {false, true}) {
            if (deleted)
                QTRY_VERIFY(!gone);
            for (const char* button : {"btnZoomOut", "btnZoomIn", "BtnUndo"})
                QTest::mouseClick(host->findChild<QWidget*>(button), Qt::LeftButton);
            slider()->setValue(deleted ? 120 : 180);
            if (gone)
                QVERIFY(percent(gone) == 150 && gone->history().current() == 1);
        }
    }

private:
    // Loads `name` into the batch editor or the single-image host (on its crop view).
    bool open(bool batch, const QString& name)
    {
        const QString id = imagefixtures::cachedTask(name, QSize(240, 160), 20000);
        if (!host) {
            host.reset(batch ? static_cast<QWidget*>(new QBatchCutWidget) : new QCropWidget);
            host->resize(640, 520);
            host->show();
        }
        auto* editor = qobject_cast<QBatchCutWidget*>(host.get());
        auto* crop = qobject_cast<QCropWidget*>(host.get());
        QWidget* before = editor ? editor->view() : nullptr;
        editor ? editor->loadTask(id) : crop->setTask(id);
        const auto ready = [&] {
            view = editor ? static_cast<QWidget*>(editor->view()) : crop->cropView();
            return view && view != before &&
                   (editor ? editor->view()->isReady() : crop->hasImage() && crop->brushView()->isReady());
        };
        return !id.isEmpty() && QTest::qWaitForWindowExposed(host.get()) && QTest::qWaitFor(ready, 20000);
    }

    QSlider* slider() const { return host->findChild<QSlider*>("hSliderImageFactor"); }

    std::unique_ptr<QWidget> host;
    QWidget* view = nullptr;
};

BRISEL_TEST_MAIN(TestViewControls)
#include "tst_viewcontrols.moc"
