// The save notice's "Open folder" when no file manager can be started: a plain
// statement in the bar, not silence.

#include "qsavenotice.h"
#include "testutils.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>

class TestSaveNotice : public QObject
{
    Q_OBJECT

private slots:
    // With a file manager the folder opens: tests/acceptance/tst_accept_window.cpp.
    void noFileManagerSaysSo()
    {
        // No launcher to find and no session bus: as on a machine without a desktop.
        const QString empty = testutils::sandboxPath() + "/nothing";
        QVERIFY(QDir().mkpath(empty));
        qputenv("PATH", empty.toUtf8());
        for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "BROWSER", "DEFAULT_BROWSER"})
            qunsetenv(name);
        const QString folder = testutils::sandboxPath() + "/out";
        QVERIFY(testutils::writeFile(folder + "/a_2026-12-06_21-35-12.png", "png"));
        QSaveNotice notice;
        notice.showSaved(folder + "/a_2026-12-06_21-35-12.png");
        auto* text = notice.findChild<QLabel*>("labelSaveNotice");
        QTest::mouseClick(notice.findChild<QPushButton*>("btnOpenFolder"), Qt::LeftButton);
        QVERIFY(notice.isVisible());
        QVERIFY2(text->text().contains("could not be opened") &&
                     text->text().contains(QDir::toNativeSeparators(folder)),
                 qPrintable(text->text()));
    }
};

BRISEL_TEST_MAIN(TestSaveNotice)
#include "tst_savenotice.moc"
