#include "testutils.h"

#include "cglobal.h"

#include <QDir>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>

namespace {

struct ProbeRun
{
    int signal = -1; // -1 unless it died of a signal
    qint64 pid = 0;
    long faultingThread = 0;
};

ProbeRun runProbe(const QStringList& arguments, const QByteArray& timeZone = "UTC0")
{
    testutils::ChildProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QString::fromLatin1(timeZone));
    probe.setProcessEnvironment(env);
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe.start(testutils::binPath(QStringLiteral("shellprobe")), arguments);
    ProbeRun run;
    if (!probe.waitForStarted(10000))
        return run;
    run.pid = probe.processId();
    probe.waitForFinished(30000);
    run.signal = probe.exitStatus() == QProcess::CrashExit ? probe.exitCode() : -1;
    const QRegularExpressionMatch thread = QRegularExpression(QStringLiteral("thread (\\d+)"))
                                               .match(QString::fromUtf8(probe.readAllStandardOutput()));
    run.faultingThread = thread.captured(1).toLong();
    return run;
}

QStringList reportsIn(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("*.dmp")}, QDir::Files);
}

} // namespace

class TestCrashHandler : public QObject
{
    Q_OBJECT

private slots:
    void crashReport_data()
    {
        QTest::addColumn<QString>("fault"); // how, and on which thread
        QTest::addColumn<int>("signal");
        QTest::addColumn<QByteArray>("timeZone");
        QTest::addColumn<int>("utcOffset");
        QTest::addColumn<bool>("unwritable"); // a file where the report folder should be

        // Only reported if the handler runs on its own stack.
        QTest::newRow("stack overflow, main thread, UTC+8")
            << "overflow main" << SIGSEGV << QByteArray("CST-8") << 8 * 3600 << false;
        QTest::newRow("abort in a worker, UTC-5")
            << "abort worker" << SIGABRT << QByteArray("EST5") << -5 * 3600 << false;
        QTest::newRow("division by zero, UTC+5:30")
            << "fpe worker" << SIGFPE << QByteArray("<+0530>-5:30") << 19800 << false;
        QTest::newRow("abort, report folder unwritable")
            << "abort worker" << SIGABRT << QByteArray("UTC0") << 0 << true;
    }
    void crashReport()
    {
        QFETCH(QString, fault);
        QFETCH(int, signal);
        QFETCH(QByteArray, timeZone);
        QFETCH(int, utcOffset);
        QFETCH(bool, unwritable);

        QTemporaryDir root;
        const QString program = root.filePath("program"), fallback = root.filePath("dumps");
        QVERIFY(unwritable ? testutils::writeFile(program, "x") : QDir().mkpath(program));
        const QDateTime before = QDateTime::currentDateTimeUtc();
        const ProbeRun run = runProbe(fault.split(' ') + QStringList{program, fallback}, timeZone);
        const QDateTime after = QDateTime::currentDateTimeUtc();

        // The process still dies of its signal, as it would without the handler.
        QCOMPARE(run.signal, signal);
        QCOMPARE(qint64(run.faultingThread) == run.pid, fault.endsWith("main"));

        const QString folder = unwritable ? fallback : program;
        const QStringList reports = reportsIn(folder);
        QCOMPARE(reports.size(), 1);
        const QRegularExpressionMatch name =
            QRegularExpression(
                QStringLiteral("^v2\\.0\\.0\\.2-(\\d+)-(\\d{8})-(\\d{6})-(\\d+)-(\\d+)\\.dmp$"))
                .match(reports.first());
        QVERIFY2(name.hasMatch(), qPrintable(reports.first()));
        QCOMPARE(name.captured(1).toInt(), CGlobal::getBuildDate());
        QCOMPARE(name.captured(4).toLongLong(), run.pid);
        QCOMPARE(name.captured(5).toLong(), run.faultingThread);

        // The digits are wall-clock time in the child's zone.
        QDateTime wallClock =
            QDateTime::fromString(name.captured(2) + name.captured(3), QStringLiteral("yyyyMMddHHmmss"));
        wallClock.setTimeSpec(Qt::UTC);
        const QDateTime faultUtc = wallClock.addSecs(-utcOffset);
        QVERIFY2(faultUtc >= before.addSecs(-1) && faultUtc <= after.addSecs(1), qPrintable(reports.first()));

        const QString report = QString::fromUtf8(testutils::readFile(folder + "/" + reports.first()));
        QVERIFY(report.contains(QStringLiteral("signal: %1 (").arg(signal)));
        QVERIFY(report.contains(QStringLiteral("thread: %1\n").arg(run.faultingThread)));
        QVERIFY2(report.mid(report.indexOf(QStringLiteral("backtrace:\n"))).count('\n') >= 3,
                 qPrintable(report));
    }
};

BRISEL_TEST_GUILESS_MAIN(TestCrashHandler)
#include "tst_crashhandler.moc"
