// The geometry both editing views share: fitting, zoom steps and pixel mapping.

#include "qviewport.h"
#include "testutils.h"

#include <QGuiApplication>

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
} // namespace

class TestViewport : public QObject
{
    Q_OBJECT

private slots:
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
};

BRISEL_TEST_GUILESS_MAIN(TestViewport)
#include "tst_viewport.moc"
