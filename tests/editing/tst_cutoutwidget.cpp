// What only the brush view does with the mouse: panning.

#include "mouseinput.h"
#include "qimagecutoutwidget.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QSignalSpy>

Q_DECLARE_METATYPE(cv::Mat)

class TestCutoutWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<cv::Mat>("Mat");
        QWorkPool::instance()->start(2);
    }

    void init()
    {
        view = std::make_unique<QImageCutoutWidget>();
        view->resize(400, 300);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        QSignalSpy ready(view.get(), &QImageCutoutWidget::signal_ready);
        view->setImages(testutils::texturedBgr(800, 600),
                        testutils::solidBgra(800, 600, cv::Scalar::all(255)));
        QVERIFY(ready.wait(10000));
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
        view->setFactor(0.25f); // the photo no longer fills the view
        const QPoint before = view->imageRect().topLeft(), start = before + from;
        mouseinput::drag(view.get(), Qt::RightButton,
                         {start, start + QPoint(10, -5), start + QPoint(30, -20)});
        QTEST(view->imageRect().topLeft() - before, "shift");
        // A pan does not stick to the pointer after the release.
        mouseinput::moveTo(view.get(), start + QPoint(60, 40), Qt::NoButton);
        QTEST(view->imageRect().topLeft() - before, "shift");
        QCOMPARE(view->history().current(), 0);
    }

private:
    std::unique_ptr<QImageCutoutWidget> view;
};

BRISEL_TEST_MAIN(TestCutoutWidget)
#include "tst_cutoutwidget.moc"
