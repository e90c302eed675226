// The custom button base, the home entry card's drop and the tab button, driven
// with real mouse and hover events.

#include "qenterbutton.h"
#include "qtabbutton.h"
#include "tbutton.h"
#include "testutils.h"

#include <QApplication>
#include <QLabel>
#include <QMimeData>
#include <QSignalSpy>
#include <QUrl>

namespace {

void sendHover(QWidget* widget, QEvent::Type type)
{
    QEvent event(type);
    QApplication::sendEvent(widget, &event);
}

} // namespace

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
        QTest::newRow("one press, two releases") << true << "prr" << QList<bool>{true};
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
        b.setChecked(false);
        QVERIFY(b.toggle());
        QVERIFY(b.isChecked());
        // A checked button made plain is forced unchecked by the next toggle.
        b.setCheckable(false);
        QVERIFY(!b.toggle());
        QVERIFY(!b.isChecked());
        QCOMPARE(plainClicks.count() + clicks.count(), 0);
    }

    void enterCardDrop_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QString>("expected");

        QTest::newRow("one photo") << QList<QUrl>{QUrl::fromLocalFile("/tmp/a photo.jpg")}
                                   << "/tmp/a photo.jpg";
        QTest::newRow("two photos") << QList<QUrl>{QUrl::fromLocalFile("/tmp/a.jpg"),
                                                   QUrl::fromLocalFile("/tmp/b.jpg")}
                                    << QString();
        QTest::newRow("web address") << QList<QUrl>{QUrl("https://example.com/a.jpg")} << QString();
    }
    void enterCardDrop()
    {
        QFETCH(QList<QUrl>, urls);
        QFETCH(QString, expected);

        QEnterButton card(":/image/label.card.normal.png", ":/image/label.card.hover.png");
        QMimeData mime;
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&card, &enter);
        QCOMPARE(enter.isAccepted(), !expected.isEmpty());

        QSignalSpy spy(&card, &QEnterButton::signal_drop_file);
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&card, &drop);
        QCOMPARE(spy.count(), expected.isEmpty() ? 0 : 1);
        if (!expected.isEmpty())
            QCOMPARE(spy.at(0).at(0).toString(), expected);
    }

    // The hover look reaches the icon and text too, and a checked tab keeps it.
    void tabHover_data()
    {
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QString>("status");
        QTest::newRow("hovered then left") << false << "normal";
        QTest::newRow("checked keeps hover after leaving") << true << "hover";
    }
    void tabHover()
    {
        QFETCH(bool, checked);
        QFETCH(QString, status);
        QTabButton tab;
        tab.setCheckable(true);
        tab.setIcons(":/image/btn.crop.png", ":/image/btn.crop.hover.png");
        tab.setChecked(checked);
        sendHover(&tab, QEvent::Enter);
        QCOMPARE(tab.textLabel()->property("status").toString(), QString("hover"));
        sendHover(&tab, QEvent::Leave);
        for (QWidget* w : QList<QWidget*>{&tab, tab.iconLabel(), tab.textLabel()})
            QCOMPARE(w->property("status").toString(), status);
    }

    // A click reports the tab's index and its new state; "More" is not checkable.
    void tabClickReportsIndex()
    {
        for (const bool checkable : {true, false}) {
            QTabButton tab;
            tab.setCheckable(checkable);
            tab.setTabIndex(checkable ? 2 : 5);
            tab.resize(100, 90);
            QSignalSpy spy(&tab, &QTabButton::signal_tab_clicked);
            QTest::mouseClick(&tab, Qt::LeftButton, {}, QPoint(50, 40));
            QTest::mouseClick(&tab, Qt::LeftButton, {}, QPoint(50, 40));
            QCOMPARE(spy.count(), 2);
            for (int i = 0; i < 2; ++i) {
                QCOMPARE(spy.at(i).at(0).toInt(), checkable ? 2 : 5);
                QCOMPARE(spy.at(i).at(1).toBool(), checkable && i == 0);
                QCOMPARE(spy.at(i).at(2).value<QTabButton*>(), &tab);
            }
        }
    }
};

BRISEL_TEST_MAIN(TestButtons)
#include "tst_buttons.moc"
