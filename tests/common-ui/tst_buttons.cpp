// The custom button base, the home entry card and the tab button, driven with real
// mouse and hover events.

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

QColor colourAt(QWidget* widget, int y)
{
    const QImage image = widget->grab().toImage();
    return image.pixelColor(image.width() / 2, y);
}

} // namespace

class TestButtons : public QObject
{
    Q_OBJECT
private slots:
    void mouseSequence_data()
    {
        QTest::addColumn<bool>("checkable");
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("events"); // p: press inside, r: release inside, o: release far outside
        QTest::addColumn<QList<bool>>("clicks");

        QTest::newRow("plain button never reports checked") << false << int(Qt::LeftButton) << "prprpr"
                                                            << QList<bool>{false, false, false};
        QTest::newRow("checkable alternates") << true << int(Qt::LeftButton) << "prprprpr"
                                              << QList<bool>{true, false, true, false};
        QTest::newRow("right button clicks too") << true << int(Qt::RightButton) << "prpr" << QList<bool>{true, false};
        QTest::newRow("release outside still clicks") << true << int(Qt::LeftButton) << "po" << QList<bool>{true};
        QTest::newRow("release without press") << true << int(Qt::LeftButton) << "r" << QList<bool>{};
        QTest::newRow("one press, two releases") << true << int(Qt::LeftButton) << "prr" << QList<bool>{true};
    }
    void mouseSequence()
    {
        QFETCH(bool, checkable);
        QFETCH(int, button);
        QFETCH(QString, events);
        QFETCH(QList<bool>, clicks);

        TButton b;
        b.resize(40, 20);
        b.setCheckable(checkable);
        QSignalSpy spy(&b, &TButton::clicked);
        const auto mouse = Qt::MouseButton(button);
        for (const QChar e : events) {
            if (e == 'p')
                QTest::mousePress(&b, mouse, {}, QPoint(10, 10));
            else
                QTest::mouseRelease(&b, mouse, {}, e == 'r' ? QPoint(10, 10) : QPoint(400, 300));
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

        QTest::newRow("plain button ignores setChecked") << false << QList<bool>{true} << false << false << false;
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

    void enterCardHover_data()
    {
        QTest::addColumn<QString>("events");
        QTest::addColumn<bool>("showsHover");
        QTest::addColumn<int>("pictureY");
        QTest::addColumn<int>("startY");

        // Every hover change restarts the animation from its own start position, even
        // when the previous one has not finished.
        const int low = QEnterButton::liftDistance;
        QTest::newRow("enter lifts and swaps") << "enter" << true << 0 << low;
        QTest::newRow("leave lowers and restores") << "enter,leave" << false << low << 0;
        QTest::newRow("quick back and forth") << "enter,leave,enter" << true << 0 << low;
        QTest::newRow("leave without enter") << "leave" << false << low << 0;
    }
    void enterCardHover()
    {
        QFETCH(QString, events);
        QFETCH(bool, showsHover);
        QFETCH(int, pictureY);
        QFETCH(int, startY);

        const QString normal = ":/image/label.person.normal.png";
        const QString hover = ":/image/label.person.hover.png";
        QEnterButton card(normal, hover);
        card.show();
        QVERIFY(QTest::qWaitForWindowExposed(&card));
        auto* picture = card.findChild<QLabel*>("labelButtonImage");
        QVERIFY(picture);
        QCOMPARE(picture->y(), QEnterButton::liftDistance);
        const QSize size = picture->size();

        sendHovers(&card, events);
        QCOMPARE(picture->y(), startY);
        const QString style = picture->styleSheet();
        QVERIFY2(style.contains(showsHover ? hover : normal) && !style.contains(showsHover ? normal : hover),
                 qPrintable(style));
        QTRY_COMPARE_WITH_TIMEOUT(picture->y(), pictureY, 2000);
        QCOMPARE(picture->size(), size);
    }

    void enterCardDrop_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QString>("expected");

        QTest::newRow("one photo") << QList<QUrl>{QUrl::fromLocalFile("/tmp/a photo.jpg")} << "/tmp/a photo.jpg";
        QTest::newRow("two photos") << QList<QUrl>{QUrl::fromLocalFile("/tmp/a.jpg"), QUrl::fromLocalFile("/tmp/b.jpg")}
                                    << QString();
        QTest::newRow("web address") << QList<QUrl>{QUrl("https://example.com/a.jpg")} << QString();
        QTest::newRow("no urls") << QList<QUrl>{} << QString();
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

        QTest::newRow("at rest") << false << "" << "normal";
        QTest::newRow("hovered") << false << "enter" << "hover";
        QTest::newRow("hovered then left") << false << "enter,leave" << "normal";
        QTest::newRow("checked keeps hover after leaving") << true << "enter,leave" << "hover";
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
        tab.setFixedWidth(100);
        tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tab));
        sendHovers(&tab, events);

        for (QWidget* w : QList<QWidget*>{&tab, tab.iconLabel(), tab.textLabel()})
            QCOMPARE(w->property("status").toString(), status);
        // The style sheet gives a hovered or checked tab the accent background.
        QCOMPARE(colourAt(&tab, 4) == QColor(0x34, 0x7A, 0xEB), status == QLatin1String("hover"));
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
