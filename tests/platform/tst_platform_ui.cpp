// Message boxes asked for from any thread, and the menu saying so when the
// desktop cannot open what it asked for.

#include "qmsgbox.h"
#include "quserhelp.h"
#include "testutils.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <thread>

class TestPlatformUi : public QObject
{
    Q_OBJECT

private slots:
    void boxFromWorkerThreadShowsOnGuiThread()
    {
        QThread* boxThread = nullptr;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                poll.stop();
                boxThread = box->thread();
                box->findChild<QPushButton*>("btnOk")->click();
            }
        });
        poll.start(10);
        std::atomic<int> result{-1};
        std::thread worker([&] { result = QMsgBox::showError(QStringLiteral("from a worker"), 1); });
        QTRY_COMPARE_WITH_TIMEOUT(result.load(), 1, 10000);
        worker.join();
        QCOMPARE(boxThread, qApp->thread());
    }

    // The offscreen platform opens nothing, as a machine without a desktop.
    void menuSaysWhatCouldNotOpen_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("said");
        QTest::newRow("output folder") << "actionOutputFolder"
                                       << "Pictures/Brisel";
        QTest::newRow("log folder") << "actionLogFolder"
                                    << "logs";
        QTest::newRow("shortcuts") << "actionShortcuts"
                                   << "help page";
    }
    void menuSaysWhatCouldNotOpen()
    {
        QFETCH(QString, action);
        QFETCH(QString, said);
        QStringList warnings;
        QMsgBox::setTestHook([&](QMsgBox::Kind, const QString& text) {
            warnings << text;
            return 1;
        });
        QWidget window;
        QUserHelp help(&window);
        help.initMenu()->findChild<QAction*>(action)->trigger();
        QMsgBox::setTestHook(nullptr);
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings.first().contains(said), qPrintable(warnings.first()));
    }
};

BRISEL_TEST_MAIN(TestPlatformUi)
#include "tst_platform_ui.moc"
