// The main window's stored settings, hand-edited ones too, and the frameless
// window's grip: the edge under the cursor and the geometry a drag of it gives,
// never below the minimum size. The user flows themselves are in tests/acceptance.

#include "cglobal.h"
#include "csetting.h"
#include "qmainwidget.h"
#include "qwindowgrip.h"
#include "testutils.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    // A stored output size outside the list (a hand-edited or older settings file)
    // falls back to the default instead of selecting nothing; an empty stored output
    // folder would put results beside the program.
    void storedOutput_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("last size") << "size" << QVariant(3) << "3";
        QTest::newRow("size one past the list") << "size" << QVariant(4) << "1";
        QTest::newRow("negative size") << "size" << QVariant(-1) << "1";
        QTest::newRow("chosen folder") << "path" << QVariant("/srv/photos") << "/srv/photos";
        QTest::newRow("empty folder") << "path" << QVariant("") << CGlobal::getOutputPath();
        QTest::newRow("blank folder") << "path" << QVariant("  ") << CGlobal::getOutputPath();
    }

    void storedOutput()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QString, shown);
        CSetting::setValue("output", key, stored);
        QMainWidget fresh;
        if (key == "size")
            QCOMPARE(QString::number(fresh.findChild<QComboBox*>("comboOutputSize")->currentIndex()), shown);
        else
            QCOMPARE(fresh.findChild<QLineEdit*>("lineEditOutput")->text(), QDir::toNativeSeparators(shown));
    }

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

BRISEL_TEST_MAIN(TestWindow)
#include "tst_window.moc"
