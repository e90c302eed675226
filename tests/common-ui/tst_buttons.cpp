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
#include <QTranslator>
#include <QUrl>

namespace {

void sendHover(QWidget* widget, QEvent::Type type)
{
    QEvent event(type);
    QApplication::sendEvent(widget, &event);
}

void sendHovers(QWidget* widget, const QString& sequence)
{
    for (const QString& step : sequence.split(QLatin1Char(','), Qt::SkipEmptyParts))
        sendHover(widget, step == QLatin1String("enter") ? QEvent::Enter : QEvent::Leave);
}

QColor centreColour(QWidget* widget)
{
    const QImage image = widget->grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

} // namespace

class TestButtons : public QObject
{
    Q_OBJECT
private slots:
    void clickSequence_data();
    void clickSequence();
    void releaseOutsideStillClicks();
    void releaseWithoutPressDoesNothing();
    void setCheckedRules_data();
    void setCheckedRules();
    void statusRepolishes();

    void enterCardHover_data();
    void enterCardHover();
    void enterCardTexts();
    void enterCardSpeaksChinese();
    void enterCardDrop_data();
    void enterCardDrop();

    void tabHover_data();
    void tabHover();
    void tabClickReportsIndex_data();
    void tabClickReportsIndex();
    void tabSheetIsFilled();
};

void TestButtons::clickSequence_data()
{
    QTest::addColumn<bool>("checkable");
    QTest::addColumn<int>("button");
    QTest::addColumn<QList<bool>>("expected");

    QTest::newRow("plain button never reports checked") << false << int(Qt::LeftButton) << QList<bool>{false, false, false};
    QTest::newRow("checkable alternates") << true << int(Qt::LeftButton) << QList<bool>{true, false, true, false};
    QTest::newRow("right button clicks too") << true << int(Qt::RightButton) << QList<bool>{true, false};
}

void TestButtons::clickSequence()
{
    QFETCH(bool, checkable);
    QFETCH(int, button);
    QFETCH(QList<bool>, expected);

    TButton b;
    b.resize(40, 20);
    b.setCheckable(checkable);
    QSignalSpy spy(&b, &TButton::clicked);
    for (int i = 0; i < expected.size(); ++i)
        QTest::mouseClick(&b, Qt::MouseButton(button), {}, QPoint(10, 10));
    QCOMPARE(spy.count(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(spy.at(i).at(0).toBool(), expected.at(i));
    }
    QCOMPARE(b.isChecked(), expected.last());
    QCOMPARE(b.objectName(), QStringLiteral("TButton"));
}

void TestButtons::releaseOutsideStillClicks()
{
    TButton b;
    b.resize(40, 20);
    b.setCheckable(true);
    QSignalSpy spy(&b, &TButton::clicked);
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(400, 300));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
}

void TestButtons::releaseWithoutPressDoesNothing()
{
    TButton b;
    b.resize(40, 20);
    b.setCheckable(true);
    QSignalSpy spy(&b, &TButton::clicked);
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(spy.count(), 0);
    QVERIFY(!b.isChecked());
    // One press gives exactly one click even if two releases arrive.
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(spy.count(), 1);
}

void TestButtons::setCheckedRules_data()
{
    QTest::addColumn<bool>("checkable");
    QTest::addColumn<QList<bool>>("calls");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<bool>("plainAfter");
    QTest::addColumn<bool>("afterToggle");

    QTest::newRow("plain button ignores setChecked") << false << QList<bool>{true} << false << false << false;
    QTest::newRow("checkable takes the value") << true << QList<bool>{true} << true << false << false;
    QTest::newRow("same value twice") << true << QList<bool>{true, true} << true << false << false;
    QTest::newRow("back to false") << true << QList<bool>{true, false} << false << false << true;
    // A checked button made plain is forced unchecked by the next toggle.
    QTest::newRow("checked, then made plain") << true << QList<bool>{true} << true << true << false;
}

void TestButtons::setCheckedRules()
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
    QCOMPARE(spy.count(), 0);
    if (plainAfter) {
        b.setCheckable(false);
        QVERIFY(!b.isCheckable());
    }
    QCOMPARE(b.toggle(), afterToggle);
    QCOMPARE(b.isChecked(), afterToggle);
    QCOMPARE(spy.count(), 0);
}

void TestButtons::statusRepolishes()
{
    TButton b;
    b.setStyleSheet(QStringLiteral("TButton { background-color: rgb(0, 0, 255); }"
                                   "TButton[status=\"hover\"] { background-color: rgb(255, 0, 0); }"));
    b.resize(30, 30);
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    QCOMPARE(centreColour(&b), QColor(0, 0, 255));
    b.setStatus(QStringLiteral("hover"));
    QCOMPARE(b.property("status").toString(), QStringLiteral("hover"));
    QCOMPARE(centreColour(&b), QColor(255, 0, 0));
    b.setStatus(QStringLiteral("normal"));
    QCOMPARE(centreColour(&b), QColor(0, 0, 255));
}

void TestButtons::enterCardHover_data()
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

void TestButtons::enterCardHover()
{
    QFETCH(QString, events);
    QFETCH(bool, showsHover);
    QFETCH(int, pictureY);
    QFETCH(int, startY);

    const QString normal = QStringLiteral(":/image/label.person.normal.png");
    const QString hover = QStringLiteral(":/image/label.person.hover.png");
    QEnterButton card(normal, hover);
    card.show();
    QVERIFY(QTest::qWaitForWindowExposed(&card));
    auto* picture = card.findChild<QLabel*>(QStringLiteral("labelButtonImage"));
    QVERIFY(picture);
    QCOMPARE(picture->y(), QEnterButton::liftDistance);
    const QSize size = picture->size();

    sendHovers(&card, events);
    QCOMPARE(picture->y(), startY);
    const QString style = picture->styleSheet();
    QVERIFY2(style.contains(showsHover ? hover : normal), qPrintable(style));
    QVERIFY(!style.contains(showsHover ? normal : hover));
    QTRY_COMPARE_WITH_TIMEOUT(picture->y(), pictureY, 2000);
    QCOMPARE(picture->x(), 0);
    QCOMPARE(picture->size(), size);
}

void TestButtons::enterCardTexts()
{
    QEnterButton card(QStringLiteral(":/image/label.goods.normal.png"), QStringLiteral(":/image/label.goods.hover.png"));
    card.setName(QStringLiteral("Remove Product Backaround"));
    card.setText(QStringLiteral("For Products, Clothes, Animals, Cars, etc"));
    QCOMPARE(card.size(), QSize(354, 230));
    QCOMPARE(card.objectName(), QStringLiteral("QEnterButton"));
    QCOMPARE(card.findChild<QLabel*>(QStringLiteral("labelButtonName"))->text(), QStringLiteral("Remove Product Backaround"));
    QCOMPARE(card.findChild<QLabel*>(QStringLiteral("labelImageText"))->text(),
             QStringLiteral("For Products, Clothes, Animals, Cars, etc"));
    QVERIFY(!card.styleSheet().isEmpty());
    QSignalSpy spy(&card, &TButton::clicked);
    QTest::mouseClick(&card, Qt::LeftButton, {}, QPoint(100, 100));
    QCOMPARE(spy.count(), 1);
}

void TestButtons::enterCardSpeaksChinese()
{
    QTranslator translator;
    QVERIFY(translator.load(testutils::binPath(QStringLiteral("language/brisel_zh.qm"))));
    QCoreApplication::installTranslator(&translator);
    QEnterButton card(QStringLiteral(":/image/label.person.normal.png"), QStringLiteral(":/image/label.person.hover.png"));
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(card.findChild<QLabel*>(QStringLiteral("labelUploadImage"))->text(), QStringLiteral("上传图片"));
}

void TestButtons::enterCardDrop_data()
{
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one photo") << QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/tmp/a photo.jpg"))}
                               << QStringLiteral("/tmp/a photo.jpg");
    QTest::newRow("two photos") << QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/tmp/a.jpg")),
                                               QUrl::fromLocalFile(QStringLiteral("/tmp/b.jpg"))}
                                << QString();
    QTest::newRow("web address") << QList<QUrl>{QUrl(QStringLiteral("https://example.com/a.jpg"))} << QString();
    QTest::newRow("no urls") << QList<QUrl>{} << QString();
}

void TestButtons::enterCardDrop()
{
    QFETCH(QList<QUrl>, urls);
    QFETCH(QString, expected);

    QEnterButton card(QStringLiteral(":/image/label.card.normal.png"), QStringLiteral(":/image/label.card.hover.png"));
    QVERIFY(card.acceptDrops());
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

void TestButtons::tabHover_data()
{
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("status");

    QTest::newRow("at rest") << false << "" << "normal";
    QTest::newRow("hovered") << false << "enter" << "hover";
    QTest::newRow("hovered then left") << false << "enter,leave" << "normal";
    QTest::newRow("checked keeps hover after leaving") << true << "enter,leave" << "hover";
    QTest::newRow("checked at rest") << true << "" << "hover";
}

void TestButtons::tabHover()
{
    QFETCH(bool, checked);
    QFETCH(QString, events);
    QFETCH(QString, status);

    QTabButton tab;
    tab.setCheckable(true);
    tab.setIcons(QStringLiteral(":/image/btn.crop.png"), QStringLiteral(":/image/btn.crop.hover.png"));
    tab.setChecked(checked);
    tab.setFixedWidth(100);
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    sendHovers(&tab, events);

    QCOMPARE(tab.property("status").toString(), status);
    QCOMPARE(tab.iconLabel()->property("status").toString(), status);
    QCOMPARE(tab.textLabel()->property("status").toString(), status);
    // The style sheet gives a hovered or checked tab the accent background.
    const QImage image = tab.grab().toImage();
    const QColor corner = image.pixelColor(image.width() / 2, 4);
    QCOMPARE(corner == QColor(0x34, 0x7A, 0xEB), status == QLatin1String("hover"));
}

void TestButtons::tabClickReportsIndex_data()
{
    QTest::addColumn<bool>("checkable");
    QTest::addColumn<int>("index");
    QTest::addColumn<QList<bool>>("states");

    QTest::newRow("checkable tab") << true << 2 << QList<bool>{true, false};
    QTest::newRow("More is not checkable") << false << 5 << QList<bool>{false, false};
}

void TestButtons::tabClickReportsIndex()
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

void TestButtons::tabSheetIsFilled()
{
    QTabButton tab;
    tab.setIcons(QStringLiteral(":/image/btn.beautify.png"), QStringLiteral(":/image/btn.beautify.hover.png"));
    tab.setText(QStringLiteral("Beautify"));
    tab.setIconSize(QSize(46, 46));
    const QString sheet = tab.styleSheet();
    QVERIFY(sheet.contains(QStringLiteral("url(:/image/btn.beautify.png)")));
    QVERIFY(sheet.contains(QStringLiteral("url(:/image/btn.beautify.hover.png)")));
    QVERIFY2(!sheet.contains(QLatin1Char('%')), qPrintable(sheet));
    QCOMPARE(tab.text(), QStringLiteral("Beautify"));
    QCOMPARE(tab.iconLabel()->size(), QSize(46, 46));
    QCOMPARE(tab.cursor().shape(), Qt::PointingHandCursor);
}

BRISEL_TEST_MAIN(TestButtons)
#include "tst_buttons.moc"
