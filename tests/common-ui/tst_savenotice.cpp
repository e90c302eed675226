// The save notice's "Open folder": the folder shown with the file, and a plain
// statement in the bar when no file manager can be started.

#include "qsavenotice.h"
#include "testutils.h"

#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QPushButton>

class TestSaveNotice : public QObject
{
    Q_OBJECT

    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }

private slots:
    void initTestCase()
    {
        // No launcher to find and no session bus: as on a machine without a desktop.
        const QString empty = testutils::sandboxPath() + "/nothing";
        QVERIFY(QDir().mkpath(empty));
        qputenv("PATH", empty.toUtf8());
        for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "BROWSER", "DEFAULT_BROWSER"})
            qunsetenv(name);
    }

    void openFolder_data()
    {
        QTest::addColumn<bool>("fileManager");
        QTest::newRow("file manager answers") << true;
        QTest::newRow("no file manager") << false;
    }
    void openFolder()
    {
        QFETCH(bool, fileManager);
        const QString folder = testutils::sandboxPath() + "/out";
        QVERIFY(testutils::writeFile(folder + "/a_2026-12-06_21-35-12.png", "png"));
        if (fileManager)
            QDesktopServices::setUrlHandler("file", this, "open");
        opened.clear();
        QSaveNotice notice;
        notice.showSaved(folder + "/a_2026-12-06_21-35-12.png");
        auto* text = notice.findChild<QLabel*>("labelSaveNotice");
        QVERIFY(text->text().contains("a_2026-12-06_21-35-12.png"));
        QTest::mouseClick(notice.findChild<QPushButton*>("btnOpenFolder"), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(opened, fileManager ? QList<QUrl>{QUrl::fromLocalFile(folder)} : QList<QUrl>{});
        QCOMPARE(text->text().contains("could not be opened"), !fileManager);
        QVERIFY(notice.isVisible());
        QVERIFY(text->text().contains(QDir::toNativeSeparators(folder)));
    }
};

BRISEL_TEST_MAIN(TestSaveNotice)
#include "tst_savenotice.moc"
