// The geometry both editing views share: fitting, zoom steps and pixel mapping.
// The zoom bar and Undo button of the batch editor must follow the tile shown now
// (the single-image host zooms its two views in tests/acceptance/tst_accept_editor.cpp),
// and so must the edge options the side panel shows.
// Tasks finish from the cut-out cache.

#include "imagefixtures.h"
#include "mouseinput.h"
#include "qbatchcutwidget.h"
#include "qimagecutoutwidget.h"
#include "qviewport.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QSlider>

Q_DECLARE_METATYPE(cv::Mat)

namespace {
// factor 0: fitted.
QViewport viewport(QSize image, QSize widget, float factor = 0.0f, QPoint pan = QPoint())
{
    QViewport v;
    v.setImageSize(image);
    v.setWidgetSize(widget);
    if (factor > 0.0f)
        v.setFactor(factor);
    v.panBy(pan);
    return v;
}

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

    // Each tile keeps its own edge options; opening a tile, undo and redo show them.
    void edgeFollowsTheTile()
    {
        QEdgeControls::Options shown;
        QVERIFY(open("first.jpg"));
        connect(host.get(), &QBatchCutWidget::signal_edge_shown, [&](const auto& edge) { shown = edge; });
        const QString first = host->taskId();
        const QEdgeControls::Options soft{6, -2, false};
        host->onEdge(soft, true);
        QVERIFY(open("second.jpg"));
        QCOMPARE(shown, QEdgeControls::Options());
        host->onEdge({1, 3, true}, true);
        host->loadTask(first);
        QCOMPARE(shown, soft);
        QTest::mouseClick(host->findChild<QWidget*>("BtnUndo"), Qt::LeftButton);
        QCOMPARE(shown, QEdgeControls::Options());
        QTest::mouseClick(host->findChild<QWidget*>("BtnRestore"), Qt::LeftButton);
        QCOMPARE(shown, soft);
    }

    // The picture's size on screen after zoom steps from fitted: '+' in, '-' out.
    // 100 % is one picture pixel per screen pixel in every view.
    void shownSize_data()
    {
        QTest::addColumn<QSize>("image");
        QTest::addColumn<QSize>("widget");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QSize>("shown");
        const QSize photo(800, 600), view(400, 300);
        QTest::newRow("fitted") << photo << view << "" << view;
        QTest::newRow("small enlarged to fit") << QSize(100, 50) << view << "" << QSize(400, 200);
        QTest::newRow("odd, tall") << QSize(333, 777) << QSize(250, 250) << "" << QSize(107, 250);
        QTest::newRow("odd fit steps onto a tenth")
            << QSize(333, 777) << QSize(250, 250) << "+" << QSize(133, 311);
        QTest::newRow("no view yet") << photo << QSize(0, 0) << "" << QSize();
        QTest::newRow("stops at three times fitted") << photo << view << "++++++++++++" << QSize(1200, 900);
        QTest::newRow("stops at the floor") << photo << view << "-------" << QSize(80, 60);
        QTest::newRow("huge reaches 1:1 and stops")
            << QSize(6000, 4000) << QSize(600, 400) << "++++++++++++" << QSize(6000, 4000);
        QTest::newRow("huge fit is the floor")
            << QSize(6000, 4000) << QSize(300, 200) << "-" << QSize(300, 200);
    }

    void shownSize()
    {
        QFETCH(QSize, image);
        QFETCH(QSize, widget);
        QFETCH(QString, steps);
        QFETCH(QSize, shown);
        QViewport v = viewport(image, widget);
        for (QChar c : steps)
            c == '+' ? v.zoomIn() : v.zoomOut();
        QCOMPARE(v.shownSize(), shown);
        if (!shown.isEmpty()) // centred
            QCOMPARE(v.imageRect().topLeft(),
                     QPoint((widget.width() - shown.width()) / 2, (widget.height() - shown.height()) / 2));
    }

    // Fitted follows the view's size until a zoom; fit() brings it back.
    void fitFollowsTheView()
    {
        QViewport v = viewport(QSize(800, 600), QSize(400, 300));
        v.setWidgetSize(QSize(200, 300));
        QCOMPARE(v.factor(), 0.25f);
        v.zoomIn();
        v.setWidgetSize(QSize(800, 800));
        QVERIFY(!v.isFitted() && qFuzzyCompare(v.factor(), 0.3f));
        v.fit();
        QCOMPARE(v.shownSize(), QSize(800, 600));
    }

    // 800 x 600 in a 400 x 300 view: a view point maps to the picture pixel a hand
    // calculation gives, and back; a zoom step about it keeps it under the pointer
    // to the pixel the pan can be moved by.
    void mapping_data()
    {
        QTest::addColumn<float>("factor");
        QTest::addColumn<QPoint>("pan");
        QTest::addColumn<QPointF>("widgetPos");
        QTest::addColumn<QPointF>("imagePos");
        QTest::addColumn<bool>("in");
        QTest::newRow("fitted") << 0.0f << QPoint() << QPointF(100, 50) << QPointF(200, 100) << true;
        // 0.75: 600 x 450 shown, top-left (-100, -75).
        QTest::newRow("zoomed") << 0.75f << QPoint() << QPointF(0, 0) << QPointF(400, 300) / 3 << false;
        // 1:1: 800 x 600 shown, top-left (-500, -120).
        QTest::newRow("panned, 1:1") << 1.0f << QPoint(-300, 30) << QPointF(100, 80) << QPointF(600, 200)
                                     << true;
    }

    void mapping()
    {
        QFETCH(float, factor);
        QFETCH(QPoint, pan);
        QFETCH(QPointF, widgetPos);
        QFETCH(QPointF, imagePos);
        QFETCH(bool, in);
        QViewport v = viewport(QSize(800, 600), QSize(400, 300), factor, pan);
        QVERIFY(QLineF(v.toImage(widgetPos), imagePos).length() < 1e-3);
        QVERIFY(QLineF(v.toWidget(imagePos), widgetPos).length() < 1e-3);
        v.zoomAbout(widgetPos, in);
        const QPointF after = v.toWidget(imagePos);
        QVERIFY2(qAbs(after.x() - widgetPos.x()) <= 1.5 && qAbs(after.y() - widgetPos.y()) <= 1.5,
                 qPrintable(QString("%1,%2").arg(after.x()).arg(after.y())));
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
