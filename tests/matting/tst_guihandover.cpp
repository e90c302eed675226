// runOnGui(): the function runs later on the GUI thread, whoever calls, and only
// while its guard lives.

#include "guihandover.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QtTest>

#include <thread>

class TestGuiHandover : public QObject
{
    Q_OBJECT

private slots:
    void runsQueuedOnTheGuiThreadWhileGuarded_data()
    {
        QTest::addColumn<bool>("fromWorker");
        QTest::addColumn<bool>("destroyed");
        QTest::newRow("GUI thread, alive") << false << false;
        QTest::newRow("worker, alive") << true << false;
        QTest::newRow("GUI thread, destroyed") << false << true;
        QTest::newRow("worker, destroyed") << true << true;
    }
    void runsQueuedOnTheGuiThreadWhileGuarded()
    {
        QFETCH(bool, fromWorker);
        QFETCH(bool, destroyed);
        auto target = std::make_unique<QObject>();
        const QPointer<QObject> guard(target.get());
        QThread* ranOn = nullptr;
        const auto post = [&] { runOnGui(guard, [&ranOn] { ranOn = QThread::currentThread(); }); };
        if (fromWorker)
            std::thread(post).join();
        else
            post();
        QVERIFY(!ranOn); // queued, not run by the caller
        if (destroyed)
            target.reset();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(ranOn, destroyed ? nullptr : qApp->thread());
    }
};

BRISEL_TEST_GUILESS_MAIN(TestGuiHandover)
#include "tst_guihandover.moc"
