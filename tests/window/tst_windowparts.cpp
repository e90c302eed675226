// The small pieces of the main window: the progress spinner's geometry and
// animation, the edge and corner rules of the frameless window, and the home
// page's tool entries.

#include "qhometoolbutton.h"
#include "qloadingctrl.h"
#include "qwindowgrip.h"
#include "testutils.h"

#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QtMath>

class TestWindowParts : public QObject
{
    Q_OBJECT

private slots:
    void spinnerRing_data();
    void spinnerRing();
    void spinnerDotSizes_data();
    void spinnerDotSizes();
    void spinnerTimer();
    void spinnerPaintsDots();

    void edgeAt_data();
    void edgeAt();
    void cursorFor_data();
    void cursorFor();
    void resized_data();
    void resized();

    void toolButtonHover();
};

void TestWindowParts::spinnerRing_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<qreal>("radius");
    // side / 2 - largest dot / 2 - 1; the shorter side decides.
    QTest::newRow("square") << QSize(120, 120) << qreal(47);
    QTest::newRow("wide") << QSize(200, 100) << qreal(37);
    QTest::newRow("tall") << QSize(90, 300) << qreal(32);
    QTest::newRow("odd side") << QSize(121, 121) << qreal(47.5);
}

void TestWindowParts::spinnerRing()
{
    QFETCH(QSize, size);
    QFETCH(qreal, radius);
    QLoadingCtrl spinner;
    spinner.resize(size);
    QCOMPARE(spinner.ringRadius(), radius);
    const QPointF centre(size.width() / 2.0, size.height() / 2.0);
    const qreal step = 360.0 / QLoadingCtrl::DotCount;
    for (int i = 0; i < QLoadingCtrl::DotCount; ++i) {
        const QPointF at = spinner.dotRect(i).center();
        QVERIFY2(qAbs(QLineF(centre, at).length() - radius) < 1e-6, qPrintable(QString::number(i)));
        // Dot i sits at -i steps, y growing downwards on screen.
        const qreal angle = qRadiansToDegrees(qAtan2(-(at.y() - centre.y()), at.x() - centre.x()));
        const qreal expected = -i * step;
        const qreal diff = std::fmod(angle - expected + 720.0, 360.0);
        QVERIFY2(diff < 1e-6 || diff > 360.0 - 1e-6, qPrintable(QString("dot %1 at %2").arg(i).arg(angle)));
    }
    // The biggest dot stays inside the widget.
    QVERIFY(QRectF(QPointF(), QSizeF(size)).contains(spinner.dotRect(0)));
}

void TestWindowParts::spinnerDotSizes_data()
{
    QTest::addColumn<int>("ticks");
    QTest::addColumn<int>("head");
    QTest::newRow("at rest") << 0 << 0;
    QTest::newRow("one tick") << 1 << 13;
    QTest::newRow("five ticks") << 5 << 9;
    QTest::newRow("full turn") << QLoadingCtrl::DotCount << 0;
    QTest::newRow("turn and a half") << QLoadingCtrl::DotCount + 7 << 7;
}

void TestWindowParts::spinnerDotSizes()
{
    QFETCH(int, ticks);
    QFETCH(int, head);
    QLoadingCtrl spinner;
    spinner.resize(120, 120);
    for (int i = 0; i < ticks; ++i)
        spinner.refresh();
    QCOMPARE(spinner.frame(), ticks);
    QCOMPARE(spinner.headPosition(), head);
    // From the head on, following the ring's numbering, diameters fall linearly
    // from 24 to 5, one step of 19/13 per dot.
    const qreal step = (QLoadingCtrl::LargestDot - QLoadingCtrl::SmallestDot) / (QLoadingCtrl::DotCount - 1);
    for (int rank = 0; rank < QLoadingCtrl::DotCount; ++rank) {
        const int position = (head + rank) % QLoadingCtrl::DotCount;
        const QRectF dot = spinner.dotRect(position);
        QVERIFY(qAbs(dot.width() - (QLoadingCtrl::LargestDot - rank * step)) < 1e-9);
        QCOMPARE(dot.width(), dot.height());
    }
}

void TestWindowParts::spinnerTimer()
{
    QLoadingCtrl spinner;
    QVERIFY(!spinner.isRunning());
    spinner.start();
    QVERIFY(spinner.isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(spinner.frame() >= 2, 2000);
    spinner.stop();
    QVERIFY(!spinner.isRunning());
    const int frozen = spinner.frame();
    QTest::qWait(3 * QLoadingCtrl::IntervalMs);
    QCOMPARE(spinner.frame(), frozen);
}

void TestWindowParts::spinnerPaintsDots()
{
    QLoadingCtrl spinner;
    spinner.setAttribute(Qt::WA_TranslucentBackground);
    spinner.setAutoFillBackground(false);
    spinner.resize(120, 120);
    const QColor accent(52, 122, 235);
    spinner.setColor(accent);
    const QImage image = spinner.grab().toImage();
    // Every dot's centre is painted in the dot colour; the middle of the ring is not.
    for (int i = 0; i < QLoadingCtrl::DotCount; ++i) {
        const QPoint at = spinner.dotRect(i).center().toPoint();
        QCOMPARE(QColor(image.pixel(at)).rgb() & 0xFFFFFF, accent.rgb() & 0xFFFFFF);
    }
    QVERIFY(QColor(image.pixel(60, 60)).rgb() != accent.rgb());
}

void TestWindowParts::edgeAt_data()
{
    QTest::addColumn<QPoint>("cursor");
    QTest::addColumn<int>("edges");
    // Window (100, 100) 400 x 300: right 499, bottom 399.
    using G = QWindowGrip;
    QTest::newRow("top-left corner") << QPoint(100, 100) << int(G::Left | G::Top);
    QTest::newRow("near top-left") << QPoint(102, 102) << int(G::Left | G::Top);
    QTest::newRow("top-right corner") << QPoint(499, 100) << int(G::Right | G::Top);
    QTest::newRow("bottom-left corner") << QPoint(100, 399) << int(G::Left | G::Bottom);
    QTest::newRow("bottom-right corner") << QPoint(498, 398) << int(G::Right | G::Bottom);
    QTest::newRow("left edge") << QPoint(101, 250) << int(G::Left);
    QTest::newRow("right edge") << QPoint(497, 250) << int(G::Right);
    QTest::newRow("top edge") << QPoint(300, 102) << int(G::Top);
    QTest::newRow("bottom edge") << QPoint(300, 399) << int(G::Bottom);
    QTest::newRow("just inside left") << QPoint(103, 250) << int(G::None);
    QTest::newRow("just inside bottom") << QPoint(300, 396) << int(G::None);
    QTest::newRow("middle") << QPoint(300, 250) << int(G::None);
    QTest::newRow("outside left") << QPoint(99, 250) << int(G::None);
    QTest::newRow("outside below") << QPoint(300, 400) << int(G::None);
}

void TestWindowParts::edgeAt()
{
    QFETCH(QPoint, cursor);
    QFETCH(int, edges);
    QCOMPARE(QWindowGrip::edgeAt(QRect(100, 100, 400, 300), cursor), edges);
}

void TestWindowParts::cursorFor_data()
{
    QTest::addColumn<int>("edges");
    QTest::addColumn<int>("shape");
    using G = QWindowGrip;
    QTest::newRow("top-left") << int(G::Left | G::Top) << int(Qt::SizeFDiagCursor);
    QTest::newRow("bottom-right") << int(G::Right | G::Bottom) << int(Qt::SizeFDiagCursor);
    QTest::newRow("top-right") << int(G::Right | G::Top) << int(Qt::SizeBDiagCursor);
    QTest::newRow("bottom-left") << int(G::Left | G::Bottom) << int(Qt::SizeBDiagCursor);
    QTest::newRow("left") << int(G::Left) << int(Qt::SizeHorCursor);
    QTest::newRow("right") << int(G::Right) << int(Qt::SizeHorCursor);
    QTest::newRow("top") << int(G::Top) << int(Qt::SizeVerCursor);
    QTest::newRow("bottom") << int(G::Bottom) << int(Qt::SizeVerCursor);
    QTest::newRow("none") << int(G::None) << int(Qt::ArrowCursor);
}

void TestWindowParts::cursorFor()
{
    QFETCH(int, edges);
    QFETCH(int, shape);
    QCOMPARE(int(QWindowGrip::cursorFor(edges)), shape);
}

void TestWindowParts::resized_data()
{
    QTest::addColumn<int>("edges");
    QTest::addColumn<QPoint>("travel");
    QTest::addColumn<QRect>("expected");
    using G = QWindowGrip;
    // Start (100, 100) 400 x 300, minimum 200 x 150.
    QTest::newRow("right wider") << int(G::Right) << QPoint(50, 7) << QRect(100, 100, 450, 300);
    QTest::newRow("left narrower moves x") << int(G::Left) << QPoint(50, 0) << QRect(150, 100, 350, 300);
    QTest::newRow("left wider moves x") << int(G::Left) << QPoint(-30, 0) << QRect(70, 100, 430, 300);
    QTest::newRow("left stops at minimum") << int(G::Left) << QPoint(300, 0) << QRect(300, 100, 200, 300);
    QTest::newRow("right stops at minimum") << int(G::Right) << QPoint(-500, 0) << QRect(100, 100, 200, 300);
    QTest::newRow("top taller moves y") << int(G::Top) << QPoint(9, -20) << QRect(100, 80, 400, 320);
    QTest::newRow("top stops at minimum") << int(G::Top) << QPoint(0, 290) << QRect(100, 250, 400, 150);
    QTest::newRow("bottom stops at minimum")
        << int(G::Bottom) << QPoint(0, -500) << QRect(100, 100, 400, 150);
    QTest::newRow("bottom-right corner")
        << int(G::Right | G::Bottom) << QPoint(10, 20) << QRect(100, 100, 410, 320);
    QTest::newRow("top-left corner") << int(G::Left | G::Top) << QPoint(-10, -10) << QRect(90, 90, 410, 310);
    QTest::newRow("top-right corner")
        << int(G::Right | G::Top) << QPoint(25, 40) << QRect(100, 140, 425, 260);
    QTest::newRow("nothing grabbed") << int(G::None) << QPoint(25, 40) << QRect(100, 100, 400, 300);
}

void TestWindowParts::resized()
{
    QFETCH(int, edges);
    QFETCH(QPoint, travel);
    QFETCH(QRect, expected);
    QCOMPARE(QWindowGrip::resized(QRect(100, 100, 400, 300), edges, travel, QSize(200, 150)), expected);
}

void TestWindowParts::toolButtonHover()
{
    QHomeToolButton button(":/image/btn.batch.person.normal.png", ":/image/btn.batch.person.hover.png");
    button.setText("Bulk");
    auto* label = button.findChild<QLabel*>("labelToolText");
    QVERIFY(label);
    QVERIFY(label->styleSheet().contains("#313131"));
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(&button, &enter);
    QVERIFY(button.isHovered());
    QVERIFY(label->styleSheet().contains("#347AEB"));
    QCOMPARE(button.property("status").toString(), QString("hover"));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    QVERIFY(!button.isHovered());
    QVERIFY(label->styleSheet().contains("#313131"));

    QSignalSpy clicked(&button, &TButton::clicked);
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
}

BRISEL_TEST_MAIN(TestWindowParts)
#include "tst_windowparts.moc"
