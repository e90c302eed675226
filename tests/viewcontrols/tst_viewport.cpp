// The geometry both editing views share, without a widget: fitting, zoom steps,
// zooming about the pointer and the mapping between view and picture pixels.

#include "qviewport.h"
#include "testutils.h"

#include <QGuiApplication>

namespace {

using Fit = QViewport::Fit;

QViewport viewport(Fit fit, QSize image, QSize widget, float factor = 1.0f, QPoint pan = QPoint())
{
    QViewport v(fit);
    v.setImageSize(image);
    v.setWidgetSize(widget);
    v.setFactor(factor);
    v.panBy(pan);
    return v;
}

} // namespace

Q_DECLARE_METATYPE(QViewport::Fit)

class TestViewport : public QObject
{
    Q_OBJECT

private slots:
    void shownSize_data()
    {
        QTest::addColumn<Fit>("fit");
        QTest::addColumn<QSize>("image");
        QTest::addColumn<QSize>("widget");
        QTest::addColumn<float>("factor");
        QTest::addColumn<QSize>("shown");
        const Fit shrink = Fit::ShrinkOnly, enlarge = Fit::Enlarge;
        QTest::newRow("half size fits")
            << shrink << QSize(800, 600) << QSize(400, 300) << 1.0f << QSize(400, 300);
        QTest::newRow("small stays 1:1")
            << shrink << QSize(100, 50) << QSize(400, 300) << 1.0f << QSize(100, 50);
        QTest::newRow("small enlarged")
            << enlarge << QSize(100, 50) << QSize(400, 300) << 1.0f << QSize(400, 200);
        // 333 x 777 into 250 high: 333 * 250 / 777 = 107.1.
        QTest::newRow("odd, tall") << shrink << QSize(333, 777) << QSize(250, 250) << 1.0f << QSize(107, 250);
        QTest::newRow("odd, wide") << enlarge << QSize(777, 333) << QSize(251, 999) << 1.0f
                                   << QSize(251, 107);
        QTest::newRow("double") << shrink << QSize(800, 600) << QSize(400, 300) << 2.0f << QSize(800, 600);
        QTest::newRow("floor") << enlarge << QSize(800, 600) << QSize(400, 300) << 0.4f << QSize(160, 120);
        QTest::newRow("no view yet") << shrink << QSize(800, 600) << QSize(0, 0) << 1.0f << QSize();
        QTest::newRow("no picture") << enlarge << QSize() << QSize(400, 300) << 1.0f << QSize();
    }

    void shownSize()
    {
        QFETCH(Fit, fit);
        QFETCH(QSize, image);
        QFETCH(QSize, widget);
        QFETCH(float, factor);
        QFETCH(QSize, shown);
        const QViewport v = viewport(fit, image, widget, factor);
        QCOMPARE(v.shownSize(), shown);
        if (!shown.isEmpty()) // centred
            QCOMPARE(v.imageRect().topLeft(),
                     QPoint((widget.width() - shown.width()) / 2, (widget.height() - shown.height()) / 2));
    }

    // '+' and '-' are steps from 1.0; '=' sets the factor it already has.
    void zoomSteps_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<float>("expected");
        QTest::newRow("nine up") << "+++++++++" << 1.9f;
        QTest::newRow("tenth up jumps") << "++++++++++" << 3.0f;
        QTest::newRow("down from the top") << "++++++++++-" << 2.9f;
        QTest::newRow("stops at the top") << "++++++++++++" << 3.0f;
        QTest::newRow("stops at the floor") << "-------" << 0.4f;
        QTest::newRow("same factor is no change") << "+=" << 1.1f;
    }

    void zoomSteps()
    {
        QFETCH(QString, steps);
        QFETCH(float, expected);
        QViewport v(Fit::ShrinkOnly);
        for (QChar c : steps) {
            if (c == '=')
                QVERIFY(!v.setFactor(v.factor()));
            else if (const float reached = c == '+' ? v.zoomIn() : v.zoomOut(); reached != v.factor())
                QFAIL("a step returns another factor than it reached");
        }
        QVERIFY2(qAbs(v.factor() - expected) < 1e-5f, qPrintable(QString::number(v.factor())));
    }

    // A view point maps to the picture pixel a hand calculation gives, and back.
    void mapping_data()
    {
        QTest::addColumn<QSize>("widget");
        QTest::addColumn<float>("factor");
        QTest::addColumn<QPoint>("pan");
        QTest::addColumn<QPointF>("widgetPos");
        QTest::addColumn<QPointF>("imagePos");
        // 800 x 600 at half size in 400 x 300: top-left (0, 0), 2 picture px a view px.
        QTest::newRow("fitted") << QSize(400, 300) << 1.0f << QPoint() << QPointF(100, 50)
                                << QPointF(200, 100);
        // 1.5: 600 x 450 shown, top-left (-100, -75).
        QTest::newRow("zoomed") << QSize(400, 300) << 1.5f << QPoint() << QPointF(0, 0)
                                << QPointF(400, 300) / 3;
        // Taller view: 400 x 300 shown from y 50, then panned far off the view.
        QTest::newRow("panned off the view")
            << QSize(400, 400) << 1.0f << QPoint(-900, 30) << QPointF(-900, 80) << QPointF(0, 0);
        QTest::newRow("left of the picture")
            << QSize(500, 300) << 1.0f << QPoint() << QPointF(0, 0) << QPointF(-100, 0);
    }

    void mapping()
    {
        QFETCH(QSize, widget);
        QFETCH(float, factor);
        QFETCH(QPoint, pan);
        QFETCH(QPointF, widgetPos);
        QFETCH(QPointF, imagePos);
        const QViewport v = viewport(Fit::ShrinkOnly, QSize(800, 600), widget, factor, pan);
        const QPointF mapped = v.toImage(widgetPos);
        QVERIFY2(QLineF(mapped, imagePos).length() < 1e-3,
                 qPrintable(QString("%1,%2").arg(mapped.x()).arg(mapped.y())));
        QVERIFY(QLineF(v.toWidget(mapped), widgetPos).length() < 1e-3);
    }

    // The picture point under the pointer before a wheel notch is under it after,
    // to the pixel the pan can be moved by.
    void zoomAboutKeepsThePoint_data()
    {
        QTest::addColumn<QPoint>("pan");
        QTest::addColumn<float>("factor");
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<bool>("in");
        QTest::newRow("centre in") << QPoint() << 1.0f << QPointF(200, 150) << true;
        QTest::newRow("corner in") << QPoint() << 1.0f << QPointF(10, 290) << true;
        QTest::newRow("panned, out") << QPoint(-70, 40) << 2.0f << QPointF(330, 20) << false;
        QTest::newRow("jump to the top") << QPoint(15, 0) << 2.0f << QPointF(50, 60) << true;
        QTest::newRow("at the floor") << QPoint() << 0.4f << QPointF(180, 140) << false;
    }

    void zoomAboutKeepsThePoint()
    {
        QFETCH(QPoint, pan);
        QFETCH(float, factor);
        QFETCH(QPointF, pointer);
        QFETCH(bool, in);
        QViewport v = viewport(Fit::Enlarge, QSize(1001, 751), QSize(400, 300), factor, pan);
        const QPointF under = v.toImage(pointer);
        const float reached = v.zoomAbout(pointer, in);
        QCOMPARE(reached, v.factor());
        const QPointF after = v.toWidget(under);
        QVERIFY2(qAbs(after.x() - pointer.x()) <= 1.5 && qAbs(after.y() - pointer.y()) <= 1.5,
                 qPrintable(QString("%1,%2").arg(after.x()).arg(after.y())));
    }
};

BRISEL_TEST_GUILESS_MAIN(TestViewport)
#include "tst_viewport.moc"
