// The geometry both editing views share: fitting, zoom steps and pixel mapping.

#include "qviewport.h"
#include "testutils.h"

#include <QGuiApplication>

using Fit = QViewport::Fit;
Q_DECLARE_METATYPE(QViewport::Fit)

namespace {
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

class TestViewport : public QObject
{
    Q_OBJECT

private slots:
    // The picture's size on screen after zoom steps from 1.0: '+' in, '-' out.
    void shownSize_data()
    {
        QTest::addColumn<Fit>("fit");
        QTest::addColumn<QSize>("image");
        QTest::addColumn<QSize>("widget");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QSize>("shown");
        const Fit shrink = Fit::ShrinkOnly, enlarge = Fit::Enlarge;
        const QSize photo(800, 600), view(400, 300);
        QTest::newRow("small stays 1:1") << shrink << QSize(100, 50) << view << "" << QSize(100, 50);
        QTest::newRow("small enlarged") << enlarge << QSize(100, 50) << view << "" << QSize(400, 200);
        QTest::newRow("odd, tall") << shrink << QSize(333, 777) << QSize(250, 250) << "" << QSize(107, 250);
        QTest::newRow("no view yet") << shrink << photo << QSize(0, 0) << "" << QSize();
        QTest::newRow("tenth up jumps, then down")
            << shrink << photo << view << "++++++++++-" << QSize(1160, 870);
        QTest::newRow("stops at the top") << shrink << photo << view << "++++++++++++" << QSize(1200, 900);
        QTest::newRow("stops at the floor") << enlarge << photo << view << "-------" << QSize(160, 120);
    }

    void shownSize()
    {
        QFETCH(Fit, fit);
        QFETCH(QSize, image);
        QFETCH(QSize, widget);
        QFETCH(QString, steps);
        QFETCH(QSize, shown);
        QViewport v = viewport(fit, image, widget);
        for (QChar c : steps) {
            const float reached = c == '+' ? v.zoomIn() : v.zoomOut();
            QCOMPARE(reached, v.factor());
        }
        QCOMPARE(v.shownSize(), shown);
        if (!shown.isEmpty()) // centred
            QCOMPARE(v.imageRect().topLeft(),
                     QPoint((widget.width() - shown.width()) / 2, (widget.height() - shown.height()) / 2));
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
        QTest::newRow("fitted") << 1.0f << QPoint() << QPointF(100, 50) << QPointF(200, 100) << true;
        // 1.5: 600 x 450 shown, top-left (-100, -75).
        QTest::newRow("zoomed") << 1.5f << QPoint() << QPointF(0, 0) << QPointF(400, 300) / 3 << false;
        // 2.0: 800 x 600 shown, top-left (-500, -120).
        QTest::newRow("panned, jumps to the top")
            << 2.0f << QPoint(-300, 30) << QPointF(100, 80) << QPointF(600, 200) << true;
    }

    void mapping()
    {
        QFETCH(float, factor);
        QFETCH(QPoint, pan);
        QFETCH(QPointF, widgetPos);
        QFETCH(QPointF, imagePos);
        QFETCH(bool, in);
        QViewport v = viewport(Fit::ShrinkOnly, QSize(800, 600), QSize(400, 300), factor, pan);
        QVERIFY(QLineF(v.toImage(widgetPos), imagePos).length() < 1e-3);
        QVERIFY(QLineF(v.toWidget(imagePos), widgetPos).length() < 1e-3);
        const float reached = v.zoomAbout(widgetPos, in);
        QCOMPARE(reached, v.factor());
        const QPointF after = v.toWidget(imagePos);
        QVERIFY2(qAbs(after.x() - widgetPos.x()) <= 1.5 && qAbs(after.y() - widgetPos.y()) <= 1.5,
                 qPrintable(QString("%1,%2").arg(after.x()).arg(after.y())));
    }
};

BRISEL_TEST_GUILESS_MAIN(TestViewport)
#include "tst_viewport.moc"
