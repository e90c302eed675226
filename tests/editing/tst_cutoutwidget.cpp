#include "mouseinput.h"
#include "qimagecutoutwidget.h"
#include "qimagesettings.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QSignalSpy>

Q_DECLARE_METATYPE(cv::Mat)

namespace {

constexpr QRgb kService = 0x64FF0000u;
const QSize kPhoto(800, 600);

// Left half grey, right half green; the service kept the left half.
cv::Mat photo()
{
    cv::Mat m(kPhoto.height(), kPhoto.width(), CV_8UC3, cv::Scalar(128, 128, 128));
    m(cv::Rect(400, 0, 400, 600)).setTo(cv::Scalar(0, 200, 0));
    return m;
}

cv::Mat cutout()
{
    cv::Mat m(kPhoto.height(), kPhoto.width(), CV_8UC4, cv::Scalar(0, 0, 0, 0));
    m(cv::Rect(0, 0, 400, 600)).setTo(cv::Scalar(128, 128, 128, 255));
    return m;
}

using mouseinput::drag;
using mouseinput::moveTo;

} // namespace

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
        view = new QImageCutoutWidget;
        view->resize(400, 300); // the photo fits at half size
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view));
        QSignalSpy ready(view, &QImageCutoutWidget::signal_ready);
        view->setImages(photo(), cutout());
        QVERIFY(ready.wait(10000));
        QCOMPARE(view->imageRect(), QRect(0, 0, 400, 300));
        view->setBrushSize(10);
    }

    void cleanup()
    {
        delete view;
        view = nullptr;
    }

    // The steps themselves are the viewport's; the view reports each notch and
    // shows the photo at factor x the fitted half size.
    void wheelZooms()
    {
        QSignalSpy reported(view, &QImageCutoutWidget::signal_factor_changed);
        for (int notch : {120, 120, -120, 0})
            mouseinput::wheel(view, QPoint(50, 50), QPoint(0, notch));
        QCOMPARE(reported.size(), 3); // a sideways scroll is no zoom
        QCOMPARE(reported.last().at(0).toFloat(), view->factor());
        QVERIFY(qAbs(view->factor() - 1.1f) < 1e-5f);
        QVERIFY(qAbs(view->imageRect().width() - int(kPhoto.width() * view->factor() * 0.5f)) <= 1);
        QCOMPARE(view->displayMask().size(), view->imageRect().size());
    }

    void removeStrokeClears()
    {
        view->setKeepMode(true);
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, pointerFor({420, 300}));
        view->setKeepMode(false);
        drag(view, Qt::LeftButton, {pointerFor({360, 300}), pointerFor({440, 300})});
        for (int x : {360, 390, 420, 440}) // service, service, kept, kept
            QCOMPARE(qAlpha(view->mask().pixel(x, 300)), 0);
        QCOMPARE(view->mask().pixel(100, 300), kService);
    }

    void panning_data()
    {
        QTest::addColumn<bool>("magic");
        QTest::addColumn<int>("button");
        QTest::addColumn<QPoint>("from"); // from the photo's top-left corner
        QTest::addColumn<QPoint>("expectedShift");
        QTest::newRow("right drag on the photo")
            << false << int(Qt::RightButton) << QPoint(25, 25) << QPoint(30, -20);
        QTest::newRow("right drag beside the photo")
            << false << int(Qt::RightButton) << QPoint(-5, -5) << QPoint();
        QTest::newRow("left drag paints") << false << int(Qt::LeftButton) << QPoint(25, 25) << QPoint();
        QTest::newRow("magic right drag") << true << int(Qt::RightButton) << QPoint(25, 25) << QPoint();
    }

    void panning()
    {
        QFETCH(bool, magic);
        QFETCH(int, button);
        QFETCH(QPoint, from);
        QFETCH(QPoint, expectedShift);
        view->setFactor(0.5f); // the photo no longer fills the view
        view->setMagicMode(magic);
        const QPoint before = view->imageRect().topLeft();
        const QPoint start = before + from;
        drag(view, Qt::MouseButton(button), {start, start + QPoint(10, -5), start + QPoint(30, -20)});
        QCOMPARE(view->imageRect().topLeft() - before, expectedShift);
        // A pan does not stick to the pointer after the release.
        moveTo(view, start + QPoint(60, 40), Qt::NoButton);
        QCOMPARE(view->imageRect().topLeft() - before, expectedShift);
    }

    void hideHandsOverOnlyAfterAChange()
    {
        QSignalSpy handedOver(view, &QImageCutoutWidget::signal_image_cutout);
        view->zoomIn();
        view->hide();
        QCOMPARE(handedOver.count(), 0);
        view->show();
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, view->imageRect().center());
        view->hide();
        QCOMPARE(handedOver.count(), 1);
        QCOMPARE(handedOver.at(0).at(0).value<cv::Mat>().size(), cv::Size(kPhoto.width(), kPhoto.height()));
        view->show();
        view->hide();
        view->show();
        view->undo(); // undo is a change too
        view->hide();
        QCOMPARE(handedOver.count(), 2); // and only an undo: showing and hiding was not
    }

    // The magic brush floods from the photo pixel under the pointer, at any zoom
    // and view size.
    void magicClickFloodsWhereClicked()
    {
        view->setFactor(1.7f);
        view->resize(500, 350);
        view->setKeepMode(true);
        view->setMagicMode(true);
        QImageSettings::setTolerance(10);
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier,
                          view->viewport().toWidget(QPointF(600, 300)).toPoint());
        QCOMPARE(view->mask().pixel(600, 500), QMaskStroke::kTagPixel);
        QCOMPARE(view->mask().pixel(100, 100), kService);
        QCOMPARE(view->history().count(), 2);
    }

private:
    // Widget position whose brush lands on source pixel `p` (the brush hangs half
    // its size below the pointer).
    QPoint pointerFor(QPoint p) const
    {
        const double s = double(view->imageRect().width()) / kPhoto.width();
        return view->imageRect().topLeft() + QPoint(int(p.x() * s), int(p.y() * s) - view->brushSize() / 2);
    }

    QImageCutoutWidget* view = nullptr;
};

BRISEL_TEST_MAIN(TestCutoutWidget)
#include "tst_cutoutwidget.moc"
