// The cut-out cache as a user meets it: a photo opened again is served only its
// own cut-out, and "Clear cache" in the menu says what it freed.

#include "acceptance.h"
#include "cglobal.h"
#include "cwinapp.h"
#include "qmainwidget.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QTimer>

using namespace acceptance;

namespace {

QString cacheFolder()
{
    return CGlobal::getAppDataPath() + "cache";
}

// Clicks the menu button and then, once the menu is open in its own event loop,
// the entry called `action` with the mouse.
bool pickFromMenu(QMainWidget* window, const QString& action)
{
    bool picked = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QAction* entry = menu ? menu->findChild<QAction*>(action) : nullptr;
        if (!entry || picked)
            return;
        picked = true;
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(entry).center());
    });
    poll.start(50);
    return click(window, "BtnMenu") && waitFor([&] { return picked; }, 5000);
}

} // namespace

class TestAcceptCache : public QObject
{
    Q_OBJECT

    Service service;
    const QString out = testutils::sandboxPath() + "/out";

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(service.start(&error), qPrintable(error));
        QVERIFY(QDir().mkpath(out));
    }

    // An entry that is not this photo's cut-out (here a valid 10 x 10 PNG) is a
    // miss: the photo is matted again and saved whole.
    void foreignEntryIsMattedAgain()
    {
        const QString photo = productPhoto("again.jpg");
        {
            auto window = openWindow();
            QVERIFY(openPhoto(window.get(), "EnterGoods", photo));
        }
        const QStringList entries = listFiles(cacheFolder(), "*.png");
        QCOMPARE(entries.size(), 1);
        QVERIFY(QImage(10, 10, QImage::Format_ARGB32).save(cacheFolder() + "/" + entries.first()));

        auto window = openWindow();
        QVERIFY(openPhoto(window.get(), "EnterGoods", photo) && chooseOutputFolder(window.get(), out));
        QVERIFY(choose(window.get(), "comboOutputSize", 3));
        const QImage saved = decode(save(window.get(), out, false));
        QCOMPARE(saved.size(), kSmall);
        QVERIFY(cornersTransparent(saved));
        QVERIFY(messages().isEmpty());
    }

    void clearCacheSaysWhatWasFreed()
    {
        auto window = openWindow();
        QVERIFY(openPhoto(window.get(), "EnterGoods", productPhoto("clear.jpg")));
        QVERIFY(!listFiles(cacheFolder(), "*.png").isEmpty());
        clearMessages();
        pressInDialog("btnOk"); // "Delete all cached cut-outs?"
        QVERIFY(pickFromMenu(window.get(), "actionClearCache"));
        QVERIFY(waitFor([] { return !messages().isEmpty(); }));
        QVERIFY2(messages().last().contains("freed"), qPrintable(messages().join('\n')));
        QVERIFY(listFiles(cacheFolder(), "*.png").isEmpty());
        clearMessages();
    }
};

ACCEPTANCE_MAIN(TestAcceptCache)
#include "tst_accept_cache.moc"
