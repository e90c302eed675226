// The cut-out cache as a user meets it: a photo opened again is served only its
// own cut-out, and "Clear cache" in the menu says what it freed.

#include "acceptance.h"
#include "cglobal.h"
#include "qmainwidget.h"

using namespace acceptance;

namespace {

QString cacheFolder()
{
    return CGlobal::getAppDataPath() + "cache";
}

} // namespace

class TestAcceptCache : public Scenarios
{
    Q_OBJECT

private slots:
    // An entry that is not this photo's cut-out (here a valid 10 x 10 PNG) is a
    // miss: the photo is matted again and saved whole.
    void foreignEntryIsMattedAgain()
    {
        const QString photo = productPhoto("again.jpg");
        window = openWindow();
        QVERIFY(openPhoto(window.get(), "EnterGoods", photo));
        window.reset();
        const QStringList entries = listFiles(cacheFolder(), "*.png");
        QCOMPARE(entries.size(), 1);
        QVERIFY(QImage(10, 10, QImage::Format_ARGB32).save(cacheFolder() + "/" + entries.first()));

        window = openWindow();
        QVERIFY(openPhoto(window.get(), "EnterGoods", photo) && chooseOutputFolder(window.get(), out));
        QVERIFY(choose(window.get(), "comboOutputSize", 3));
        const QImage saved = decode(save(window.get(), out, false));
        QCOMPARE(saved.size(), kSmall);
        QVERIFY(cornersTransparent(saved));
    }

    void clearCacheSaysWhatWasFreed()
    {
        window = openWindow();
        QVERIFY(openPhoto(window.get(), "EnterGoods", productPhoto("clear.jpg")));
        QVERIFY(!listFiles(cacheFolder(), "*.png").isEmpty());
        clearMessages();
        pressInDialog("btnOk"); // "Delete all cached cut-outs?"
        QVERIFY(pickFromMenu(window.get(), {"actionClearCache"}));
        QVERIFY(waitFor([] { return !messages().isEmpty(); }));
        QVERIFY2(messages().last().contains("freed"), qPrintable(messages().join('\n')));
        QVERIFY(listFiles(cacheFolder(), "*.png").isEmpty());
        clearMessages();
    }
};

ACCEPTANCE_MAIN(TestAcceptCache)
#include "tst_accept_cache.moc"
