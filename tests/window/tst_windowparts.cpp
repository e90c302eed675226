// The frameless window's grip: the edge under the cursor and the geometry a drag
// of it gives, never below the minimum size.

#include "qwindowgrip.h"
#include "testutils.h"

class TestWindowParts : public QObject
{
    Q_OBJECT

private slots:
    void resizedByGrip_data()
    {
        QTest::addColumn<QPoint>("cursor");
        QTest::addColumn<QPoint>("travel");
        QTest::addColumn<QRect>("expected");
        // Window (100, 100) 400 x 300: right 499, bottom 399; minimum 200 x 150.
        QTest::newRow("right edge") << QPoint(499, 250) << QPoint(50, 7) << QRect(100, 100, 450, 300);
        QTest::newRow("left edge moves x") << QPoint(101, 250) << QPoint(-30, 0) << QRect(70, 100, 430, 300);
        QTest::newRow("left stops at minimum")
            << QPoint(101, 250) << QPoint(300, 0) << QRect(300, 100, 200, 300);
        QTest::newRow("top stops at minimum")
            << QPoint(300, 100) << QPoint(0, 290) << QRect(100, 250, 400, 150);
        QTest::newRow("bottom-right corner")
            << QPoint(498, 398) << QPoint(10, 5) << QRect(100, 100, 410, 305);
        QTest::newRow("just inside") << QPoint(103, 250) << QPoint(25, 40) << QRect(100, 100, 400, 300);
        QTest::newRow("outside below") << QPoint(300, 400) << QPoint(25, 40) << QRect(100, 100, 400, 300);
    }

    void resizedByGrip()
    {
        QFETCH(QPoint, cursor);
        QFETCH(QPoint, travel);
        const QRect start(100, 100, 400, 300);
        const int edges = QWindowGrip::edgeAt(start, cursor);
        QCOMPARE(QWindowGrip::cursorFor(edges) == Qt::ArrowCursor, edges == QWindowGrip::None);
        QTEST(QWindowGrip::resized(start, edges, travel, QSize(200, 150)), "expected");
    }
};

BRISEL_TEST_MAIN(TestWindowParts)
#include "tst_windowparts.moc"
