// The custom button base's checked state, driven with real mouse events.

#include "tbutton.h"
#include "testutils.h"

#include <QApplication>
#include <QSignalSpy>

class TestButtons : public QObject
{
    Q_OBJECT
private slots:
    void mouseSequence_data()
    {
        QTest::addColumn<bool>("checkable");
        QTest::addColumn<QString>("events"); // p: press inside, r: release inside, o: release far outside
        QTest::addColumn<QList<bool>>("clicks");
        QTest::newRow("plain button never reports checked") << false << "prpr" << QList<bool>{false, false};
        QTest::newRow("checkable alternates") << true << "prprpr" << QList<bool>{true, false, true};
        QTest::newRow("release outside still clicks") << true << "po" << QList<bool>{true};
        QTest::newRow("release without press") << true << "r" << QList<bool>{};
    }
    void mouseSequence()
    {
        QFETCH(bool, checkable);
        QFETCH(QString, events);
        QFETCH(QList<bool>, clicks);
        TButton b;
        b.resize(40, 20);
        b.setCheckable(checkable);
        QSignalSpy spy(&b, &TButton::clicked);
        for (const QChar e : events) {
            if (e == 'p')
                QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(10, 10));
            else
                QTest::mouseRelease(&b, Qt::LeftButton, {}, e == 'r' ? QPoint(10, 10) : QPoint(400, 300));
        }
        QList<bool> seen;
        for (const QList<QVariant>& call : spy)
            seen << call.at(0).toBool();
        QCOMPARE(seen, clicks);
        QCOMPARE(b.isChecked(), !clicks.isEmpty() && clicks.last());
    }

    // setChecked and toggle never report a click; only the mouse does.
    void setCheckedRules()
    {
        TButton plain, b;
        b.setCheckable(true);
        QSignalSpy plainClicks(&plain, &TButton::clicked), clicks(&b, &TButton::clicked);
        plain.setChecked(true);
        QVERIFY(!plain.isChecked());
        QVERIFY(!plain.toggle());
        b.setChecked(true);
        // A checked button made plain is forced unchecked by the next toggle.
        b.setCheckable(false);
        QVERIFY(!b.toggle());
        QVERIFY(!b.isChecked());
        QCOMPARE(plainClicks.count() + clicks.count(), 0);
    }
};

BRISEL_TEST_MAIN(TestButtons)
#include "tst_buttons.moc"
