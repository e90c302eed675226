// The zoom bar and Undo button of the batch editor must follow the tile shown now
// (the single-image host zooms its two views in tests/acceptance/tst_accept_editor.cpp).
// Tasks finish from the cut-out cache.

#include "imagefixtures.h"
#include "mouseinput.h"
#include "qbatchcutwidget.h"
#include "qimagecutoutwidget.h"
#include "qworkpool.h"

#include <QSlider>

Q_DECLARE_METATYPE(cv::Mat)

namespace {
int percent(QWidget* view)
{
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

    // The bar shows the new tile's factor, drives only it and ignores the tile left;
    // a forgotten tile's view is out of reach of bar and Undo, deleted or not.
    void barFollowsOnlyTheShownView()
    {
        QVERIFY(open("first.jpg"));
        slider()->setValue(200);
        QWidget* left = view;
        QVERIFY(open("second.jpg"));
        QVERIFY(view != left && slider()->value() == percent(view));
        const int shown = slider()->value();
        mouseinput::wheel(left, left->rect().center(), QPoint(0, 120));
        QCOMPARE(slider()->value(), shown);
        slider()->setValue(150);
        QVERIFY(percent(view) == 150 && percent(left) == 210);
        QPointer<QImageCutoutWidget> gone(host->view());
        auto* undo = host->findChild<QWidget*>("BtnUndo");
        gone->setKeepMode(false);
        QTest::mouseClick(gone, Qt::LeftButton, Qt::NoModifier, gone->imageRect().center());
        QTRY_VERIFY(undo->isEnabled());
        host->forgetTask(host->taskId());
        QVERIFY(!host->view() && !undo->isEnabled());
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
    // Loads `name` into the batch editor and waits for its tile's view.
    bool open(const QString& name)
    {
        const QString id = imagefixtures::cachedTask(name, QSize(240, 160), 20000);
        if (!host) {
            host = std::make_unique<QBatchCutWidget>();
            host->resize(640, 520);
            host->show();
        }
        QWidget* before = host->view();
        host->loadTask(id);
        const auto ready = [&] {
            view = host->view();
            return view && view != before && host->view()->isReady();
        };
        return !id.isEmpty() && QTest::qWaitForWindowExposed(host.get()) && QTest::qWaitFor(ready, 20000);
    }

    QSlider* slider() const { return host->findChild<QSlider*>("hSliderImageFactor"); }

    std::unique_ptr<QBatchCutWidget> host;
    QWidget* view = nullptr;
};

BRISEL_TEST_MAIN(TestViewControls)
#include "tst_viewcontrols.moc"
