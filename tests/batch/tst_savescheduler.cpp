// QSaveScheduler with saves that finish on later turns of the event loop (as the
// pool's saves do), at once, or not at all: never more than `parallel` at a time,
// failures listed while the rest still save, cancel stops the queued ones, and the
// end is reported exactly once.

#include "qsavescheduler.h"
#include "testutils.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

namespace {
// One save per letter: o saves, f fails later, i fails at once, s has nothing to save.
struct Saves
{
    int running = 0;
    int peak = 0;
    int started = 0;

    QList<QSaveScheduler::Save> make(const QString& plan)
    {
        QList<QSaveScheduler::Save> saves;
        for (int i = 0; i < plan.size(); ++i) {
            const char c = plan.at(i).toLatin1();
            saves << [this, c, i](const QSaveScheduler::Done& done) {
                if (c == 's')
                    return false;
                ++started;
                peak = qMax(peak, ++running);
                auto finish = [this, c, i, done] {
                    --running;
                    done(c == 'o', QString("/out/photo%1.png").arg(i), "disk full");
                };
                if (c == 'i')
                    finish();
                else
                    QTimer::singleShot(5 + i % 3, finish);
                return true;
            };
        }
        return saves;
    }
};
} // namespace

class TestSaveScheduler : public QObject
{
    Q_OBJECT

private slots:
    void runsThrough_data()
    {
        QTest::addColumn<QString>("plan");
        QTest::addColumn<int>("parallel");
        QTest::addColumn<int>("cancelAt"); // handled saves at which to cancel; -1 never
        QTest::addColumn<int>("saved");
        QTest::addColumn<QStringList>("failures");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<int>("started");
        QTest::addColumn<int>("peak");
        QTest::newRow("two at a time") << "oooooo" << 2 << -1 << 6 << QStringList() << 0 << 6 << 2;
        QTest::newRow("one at a time") << "ooo" << 1 << -1 << 3 << QStringList() << 0 << 3 << 1;
        QTest::newRow("failure listed, rest saved")
            << "ofoso" << 2 << -1 << 3 << QStringList{"photo1.png: disk full"} << 1 << 4 << 2;
        QTest::newRow("saves ending at once")
            << "iio" << 2 << -1 << 1 << QStringList{"photo0.png: disk full", "photo1.png: disk full"} << 0
            << 3 << 1;
        QTest::newRow("nothing to save") << "sss" << 2 << -1 << 0 << QStringList() << 3 << 0 << 0;
        // The two running finish; none of the queued four starts.
        QTest::newRow("cancelled") << "oooooo" << 2 << 1 << 2 << QStringList() << 0 << 2 << 2;
        QTest::newRow("cancelled before any ends") << "oooo" << 3 << 0 << 3 << QStringList() << 0 << 3 << 3;
    }

    void runsThrough()
    {
        QFETCH(QString, plan);
        QFETCH(int, parallel);
        QFETCH(int, cancelAt);
        Saves saves;
        QSaveScheduler scheduler(saves.make(plan), parallel);
        QSignalSpy finished(&scheduler, &QSaveScheduler::signal_finished);
        QList<int> progress;
        connect(&scheduler, &QSaveScheduler::signal_progress, [&](int handled) {
            progress << handled;
            if (handled == cancelAt)
                scheduler.cancel();
        });
        scheduler.start();
        QTRY_COMPARE(finished.size(), 1);
        QTest::qWait(30);
        QCOMPARE(finished.size(), 1);
        QTEST(finished.first().at(0).toInt(), "saved");
        QTEST(finished.first().at(1).toStringList(), "failures");
        QTEST(finished.first().at(2).toInt(), "skipped");
        QTEST(saves.started, "started");
        QTEST(saves.peak, "peak");
        QCOMPARE(saves.running, 0);
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));
    }
};

BRISEL_TEST_MAIN(TestSaveScheduler)
#include "tst_savescheduler.moc"
