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

// "enter" and "leave" steps, comma separated.
void sendHovers(QWidget* widget, const QString& sequence)
{
    for (const QString& step : sequence.split(',', Qt::SkipEmptyParts)) {
        QEvent event(step == QLatin1String("enter") ? QEvent::Enter : QEvent::Leave);
        QApplication::sendEvent(widget, &event);
    }
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

    void setCheckedRules_data()
    {
        QTest::addColumn<bool>("checkable");
        QTest::addColumn<QList<bool>>("calls");
        QTest::addColumn<bool>("expected");
        QTest::addColumn<bool>("plainAfter");
        QTest::addColumn<bool>("afterToggle");

        QTest::newRow("plain button ignores setChecked")
            << false << QList<bool>{true} << false << false << false;
        QTest::newRow("same value twice") << true << QList<bool>{true, true} << true << false << false;
        QTest::newRow("back to false") << true << QList<bool>{true, false} << false << false << true;
        // A checked button made plain is forced unchecked by the next toggle.
        QTest::newRow("checked, then made plain") << true << QList<bool>{true} << true << true << false;
    }
    void setCheckedRules()
    {
        QFETCH(bool, checkable);
        QFETCH(QList<bool>, calls);
        QFETCH(bool, expected);
        QFETCH(bool, plainAfter);
        QFETCH(bool, afterToggle);

        TButton b;
        b.setCheckable(checkable);
        QSignalSpy spy(&b, &TButton::clicked);
        for (bool value : calls)
            b.setChecked(value);
        QCOMPARE(b.isChecked(), expected);
        if (plainAfter)
            b.setCheckable(false);
        QCOMPARE(b.toggle(), afterToggle);
        QCOMPARE(b.isChecked(), afterToggle);
        QCOMPARE(spy.count(), 0); // only the mouse clicks
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

    void tabHover_data()
    {
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("status");

        QTest::newRow("hovered") << false << "enter"
                                 << "hover";
        QTest::newRow("hovered then left") << false << "enter,leave"
                                           << "normal";
        QTest::newRow("checked keeps hover after leaving") << true << "enter,leave"
                                                           << "hover";
    }
    void tabHover()
    {
        QFETCH(bool, checked);
        QFETCH(QString, events);
        QFETCH(QString, status);

        QTabButton tab;
        tab.setCheckable(true);
        tab.setIcons(":/image/btn.crop.png", ":/image/btn.crop.hover.png");
        tab.setChecked(checked);
        sendHovers(&tab, events);

        for (QWidget* w : QList<QWidget*>{&tab, tab.iconLabel(), tab.textLabel()})
            QCOMPARE(w->property("status").toString(), status);
    }

    void tabClickReportsIndex_data()
    {
        QTest::addColumn<bool>("checkable");
        QTest::addColumn<int>("index");
        QTest::addColumn<QList<bool>>("states");

        QTest::newRow("checkable tab") << true << 2 << QList<bool>{true, false};
        QTest::newRow("More is not checkable") << false << 5 << QList<bool>{false, false};
    }
    void tabClickReportsIndex()
    {
        QFETCH(bool, checkable);
        QFETCH(int, index);
        QFETCH(QList<bool>, states);

        QTabButton tab;
        tab.setCheckable(checkable);
        tab.setTabIndex(index);
        tab.resize(100, 90);
        QSignalSpy spy(&tab, &QTabButton::signal_tab_clicked);
        for (int i = 0; i < states.size(); ++i)
            QTest::mouseClick(&tab, Qt::LeftButton, {}, QPoint(50, 40));
        QCOMPARE(spy.count(), states.size());
        for (int i = 0; i < states.size(); ++i) {
            QCOMPARE(spy.at(i).at(0).toInt(), index);
            QCOMPARE(spy.at(i).at(1).toBool(), states.at(i));
            QCOMPARE(spy.at(i).at(2).value<QTabButton*>(), &tab);
        }
    }
};

BRISEL_TEST_MAIN(TestButtons)
#include "tst_buttons.moc"
