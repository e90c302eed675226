// The small pieces of the main window: the progress spinner's timer, and the edge
// and corner rules of the frameless window.

#include "qloadingctrl.h"
#include "qwindowgrip.h"
#include "testutils.h"

#include <QApplication>

class TestWindowParts : public QObject
{
    Q_OBJECT

private slots:
    void spinnerStopsTicking()
    {
        QLoadingCtrl spinner;
        spinner.start();
        QTRY_VERIFY_WITH_TIMEOUT(spinner.frame() >= 2, 2000);
        spinner.stop();
        QVERIFY(!spinner.isRunning());
        const int frozen = spinner.frame();
        QTest::qWait(3 * QLoadingCtrl::IntervalMs);
        QCOMPARE(spinner.frame(), frozen);
    }

    void edgeAt_data()
    {
        QTest::addColumn<QPoint>("cursor");
        QTest::addColumn<int>("edges");
        QTest::addColumn<int>("shape");
        // Window (100, 100) 400 x 300: right 499, bottom 399.
        using G = QWindowGrip;
        QTest::newRow("top-left corner")
            << QPoint(102, 102) << int(G::Left | G::Top) << int(Qt::SizeFDiagCursor);
        QTest::newRow("top-right corner")
            << QPoint(499, 100) << int(G::Right | G::Top) << int(Qt::SizeBDiagCursor);
        QTest::newRow("bottom-right corner")
            << QPoint(498, 398) << int(G::Right | G::Bottom) << int(Qt::SizeFDiagCursor);
        QTest::newRow("left edge") << QPoint(101, 250) << int(G::Left) << int(Qt::SizeHorCursor);
        QTest::newRow("bottom edge") << QPoint(300, 399) << int(G::Bottom) << int(Qt::SizeVerCursor);
        QTest::newRow("just inside left") << QPoint(103, 250) << int(G::None) << int(Qt::ArrowCursor);
        QTest::newRow("outside left") << QPoint(99, 250) << int(G::None) << int(Qt::ArrowCursor);
        QTest::newRow("outside below") << QPoint(300, 400) << int(G::None) << int(Qt::ArrowCursor);
    }

    void edgeAt()
    {
        QFETCH(QPoint, cursor);
        QFETCH(int, edges);
        QFETCH(int, shape);
        const int found = QWindowGrip::edgeAt(QRect(100, 100, 400, 300), cursor);
        QCOMPARE(found, edges);
        QCOMPARE(int(QWindowGrip::cursorFor(found)), shape);
    }

    void resized_data()
    {
        QTest::addColumn<int>("edges");
        QTest::addColumn<QPoint>("travel");
        QTest::addColumn<QRect>("expected");
        using G = QWindowGrip;
        // Start (100, 100) 400 x 300, minimum 200 x 150.
        QTest::newRow("right wider") << int(G::Right) << QPoint(50, 7) << QRect(100, 100, 450, 300);
        QTest::newRow("left wider moves x") << int(G::Left) << QPoint(-30, 0) << QRect(70, 100, 430, 300);
        QTest::newRow("left stops at minimum") << int(G::Left) << QPoint(300, 0) << QRect(300, 100, 200, 300);
        QTest::newRow("top stops at minimum") << int(G::Top) << QPoint(0, 290) << QRect(100, 250, 400, 150);
        QTest::newRow("top-right corner")
            << int(G::Right | G::Top) << QPoint(25, 40) << QRect(100, 140, 425, 260);
        QTest::newRow("nothing grabbed") << int(G::None) << QPoint(25, 40) << QRect(100, 100, 400, 300);
    }

    void resized()
    {
        QFETCH(int, edges);
        QFETCH(QPoint, travel);
        QFETCH(QRect, expected);
        QCOMPARE(QWindowGrip::resized(QRect(100, 100, 400, 300), edges, travel, QSize(200, 150)), expected);
    }
};

BRISEL_TEST_MAIN(TestWindowParts)
#include "tst_windowparts.moc"
