// What only the brush view does with the mouse: mapping to photo pixels, panning.

#include "mouseinput.h"
#include "qimagecutoutwidget.h"
#include "qimagesettings.h"
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
        // Left half grey, right half green; the service kept the left half.
        cv::Mat photo(600, 800, CV_8UC3, cv::Scalar(128, 128, 128)),
            cutout(600, 800, CV_8UC4, cv::Scalar::all(0));
        photo(cv::Rect(400, 0, 400, 600)).setTo(cv::Scalar(0, 200, 0));
        cutout(cv::Rect(0, 0, 400, 600)).setTo(cv::Scalar(128, 128, 128, 255));
        QSignalSpy ready(view.get(), &QImageCutoutWidget::signal_ready);
        view->setImages(photo, cutout);
        QVERIFY(ready.wait(10000));
    }

    // Right drags pan from on the photo only, with either brush, and never edit.
    void panning_data()
    {
        QTest::addColumn<bool>("magic");
        QTest::addColumn<QPoint>("from"); // from the photo's top-left corner
        QTest::addColumn<QPoint>("shift");
        QTest::newRow("on the photo") << false << QPoint(25, 25) << QPoint(30, -20);
        QTest::newRow("beside the photo") << false << QPoint(-5, -5) << QPoint();
        QTest::newRow("magic brush") << true << QPoint(25, 25) << QPoint(30, -20);
    }

    void panning()
    {
        QFETCH(bool, magic);
        QFETCH(QPoint, from);
        view->setFactor(0.25f); // the photo no longer fills the view
        view->setMagicMode(magic);
        const QPoint before = view->imageRect().topLeft(), start = before + from;
        mouseinput::drag(view.get(), Qt::RightButton,
                         {start, start + QPoint(10, -5), start + QPoint(30, -20)});
        QTEST(view->imageRect().topLeft() - before, "shift");
        // A pan does not stick to the pointer after the release.
        mouseinput::moveTo(view.get(), start + QPoint(60, 40), Qt::NoButton);
        QTEST(view->imageRect().topLeft() - before, "shift");
        QCOMPARE(view->history().current(), 0);
    }

    // The magic brush floods from the photo pixel under the pointer at any zoom.
    void magicClickFloodsWhereClicked()
    {
        view->setFactor(0.85f);
        view->resize(500, 350);
        view->setKeepMode(true);
        view->setMagicMode(true);
        QImageSettings::setTolerance(10);
        QTest::mouseClick(view.get(), Qt::LeftButton, Qt::NoModifier,
                          view->viewport().toWidget(QPointF(600, 300)).toPoint());
        QCOMPARE(view->mask().pixel(600, 500), QMaskStroke::kTagPixel);
        QCOMPARE(qAlpha(view->mask().pixel(100, 100)), 100); // the service's cut-out
    }

private:
    std::unique_ptr<QImageCutoutWidget> view;
};

BRISEL_TEST_MAIN(TestCutoutWidget)
#include "tst_cutoutwidget.moc"
