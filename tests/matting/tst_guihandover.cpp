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
        QTest::addColumn<bool>("destroyed");
        QTest::newRow("from a worker, guard alive") << false;
        QTest::newRow("from a worker, guard destroyed") << true;
    }
    void runsQueuedOnTheGuiThreadWhileGuarded()
    {
        QFETCH(bool, destroyed);
        auto target = std::make_unique<QObject>();
        const QPointer<QObject> guard(target.get());
        QThread* ranOn = nullptr;
        std::thread([&] { runOnGui(guard, [&ranOn] { ranOn = QThread::currentThread(); }); }).join();
        QVERIFY(!ranOn); // queued, not run by the caller
        if (destroyed)
            target.reset();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(ranOn, destroyed ? nullptr : qApp->thread());
    }
};

BRISEL_TEST_GUILESS_MAIN(TestGuiHandover)
#include "tst_guihandover.moc"
