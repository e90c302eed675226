// The shared widgets: the frameless dialog's dragging, the button base's checked
// state, the photo filter and start folder of the pickers, and the save notice.
//
// The photo filter as Qt's own file dialog applies it: the user must see the
// photos of a folder, in any letter case, and nothing else. And the folder a
// picker starts in, never the program's own when a remembered one is gone.

#include "mouseinput.h"
#include "qbasedialog.h"
#include "qfilechooser.h"
#include "qsavenotice.h"
#include "tbutton.h"
#include "testutils.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QVBoxLayout>

namespace {
// Mouse input at a screen position, wherever the dialog has moved meanwhile.
void sendMouse(QWidget* target, QEvent::Type type, const QPoint& global, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    mouseinput::send(target, type, target->mapFromGlobal(global), button, buttons);
}
} // namespace

class TestCommonUi : public QObject
{
    Q_OBJECT

private slots:
    void dragging_data()
    {
        QTest::addColumn<QString>("pressOn");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("moves");
        QTest::newRow("background, left button") << "dialog" << int(Qt::LeftButton) << true;
        QTest::newRow("background, right button") << "dialog" << int(Qt::RightButton) << false;
        QTest::newRow("push button child") << "ok" << int(Qt::LeftButton) << false;
        // A label takes no clicks, so pressing on it is pressing on the background.
        QTest::newRow("title label") << "title" << int(Qt::LeftButton) << true;
    }

    void dragging()
    {
        QFETCH(QString, pressOn);
        QFETCH(int, button);
        QFETCH(bool, moves);
        QBaseDialog dialog;
        dialog.init(QString());
        auto* layout = new QVBoxLayout(&dialog);
        layout->setContentsMargins(20, 20, 20, 20);
        auto* title = new QLabel("Title", &dialog);
        auto* ok = new QPushButton("OK", &dialog);
        layout->addWidget(title);
        layout->addWidget(ok);
        dialog.setGeometry(100, 100, 240, 160);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QPoint start = dialog.pos();

        QWidget* target = pressOn == "ok" ? ok : pressOn == "title" ? static_cast<QWidget*>(title) : &dialog;
        const QPoint grab = target == &dialog ? dialog.mapToGlobal(QPoint(5, 5))
                                              : target->mapToGlobal(target->rect().center());
        const QPoint delta(37, -21);
        const auto b = Qt::MouseButton(button);
        sendMouse(target, QEvent::MouseButtonPress, grab, b, b);
        // The moves reach the dialog itself, as they would when the child ignores them.
        sendMouse(&dialog, QEvent::MouseMove, grab + delta / 2, Qt::NoButton, b);
        sendMouse(&dialog, QEvent::MouseMove, grab + delta, Qt::NoButton, b);
        sendMouse(&dialog, QEvent::MouseButtonRelease, grab + delta, b, Qt::NoButton);
        QCOMPARE(dialog.pos(), moves ? start + delta : start);
        // After the release, moving with no button held leaves the dialog where it is.
        sendMouse(&dialog, QEvent::MouseMove, grab + delta * 2, Qt::NoButton, Qt::NoButton);
        QCOMPARE(dialog.pos(), moves ? start + delta : start);
    }

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

    void dialogListsOnlyPhotos()
    {
        const QString folder = testutils::sandboxPath() + "/photos";
        QVERIFY(QDir().mkpath(folder));
        const QStringList photos{"a.jpg", "b.JPEG", "c.png", "d.bmp", "g.webp", "h.HEIC"};
        for (const QString& name : photos + QStringList{"notes.txt", "e.gif", "f.jpg.part"}) {
            QFile file(folder + "/" + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QFileDialog dialog(nullptr, QString(), folder, QFileChooser::imageFilter());
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.show();
        auto* list = dialog.findChild<QListView*>("listView");
        QVERIFY(list);
        QStringList shown;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                shown.clear();
                for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row)
                    shown << list->model()->index(row, 0, list->rootIndex()).data().toString();
                shown.sort(Qt::CaseInsensitive);
                return shown == photos;
            }(),
            5000);
    }

    void startFolder_data()
    {
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QStringList>("present"); // under home
        QTest::addColumn<QString>("shown");
        QTest::newRow("remembered is gone") << "last" << QStringList{"Desktop", "Pictures"} << "Desktop";
        QTest::newRow("no desktop") << "last" << QStringList{"Pictures"} << "Pictures";
        QTest::newRow("no desktop, no pictures") << "last" << QStringList{} << "";
    }

    void startFolder()
    {
        QFETCH(QString, asked);
        QFETCH(QStringList, present);
        QFETCH(QString, shown);
        const QString home = QDir::homePath();
        for (const QString name : {"last", "Desktop", "Pictures"})
            QVERIFY(QDir(home + "/" + name).removeRecursively());
        for (const QString& name : present)
            QVERIFY(QDir().mkpath(home + "/" + name));
        QString seen;
        QFileChooser::setFolderHook([&seen](const QString&, const QString& folder) { return seen = folder; });
        QFileChooser::existingFolder(nullptr, QString(), asked.isEmpty() ? asked : home + "/" + asked);
        QFileChooser::setFolderHook(nullptr);
        QCOMPARE(QDir(seen).absolutePath(), QDir(home + "/" + shown).absolutePath());
    }

    // Last: it takes PATH and the session bus away. With a file manager the folder opens:
    // tests/acceptance/tst_accept_window.cpp.
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

BRISEL_TEST_MAIN(TestCommonUi)
#include "tst_commonui.moc"
