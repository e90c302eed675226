#include "testutils.h"

#include "cglobal.h"
#include "qcrashhandler.h"

#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <ctime>

namespace {

const QRegularExpression
    kReportName(QStringLiteral("^v2\\.0\\.0\\.2-(\\d+)-(\\d{8})-(\\d{6})-(\\d+)-(\\d+)\\.dmp$"));

struct ProbeRun
{
    int exitStatus = -1;
    int exitCode = -1;
    qint64 pid = 0;
    long faultingThread = 0;
    QString output;
};

ProbeRun runProbe(const QStringList& arguments, const QByteArray& timeZone = QByteArray())
{
    testutils::ChildProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!timeZone.isEmpty())
        env.insert(QStringLiteral("TZ"), QString::fromLatin1(timeZone));
    probe.setProcessEnvironment(env);
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe.start(testutils::binPath(QStringLiteral("shellprobe")), arguments);
    ProbeRun run;
    if (!probe.waitForStarted(10000))
        return run;
    run.pid = probe.processId();
    probe.waitForFinished(30000);
    run.exitStatus = probe.exitStatus();
    run.exitCode = probe.exitCode();
    run.output = QString::fromUtf8(probe.readAllStandardOutput());
    const QRegularExpressionMatch thread =
        QRegularExpression(QStringLiteral("thread (\\d+)")).match(run.output);
    if (thread.hasMatch())
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
    void reportName_data()
    {
        QTest::addColumn<qlonglong>("localSeconds");
        QTest::addColumn<long>("pid");
        QTest::addColumn<long>("tid");
        QTest::addColumn<int>("bufferSize");

        QTest::newRow("epoch") << 0LL << 1L << 1L << 260;
        QTest::newRow("leap day, last second") << 1709251199LL << 4242L << 4243L << 260;
        QTest::newRow("before 1970") << -86401LL << 3L << 4L << 260;
        QTest::newRow("year 9999") << 253402300799LL << 2147483647L << 2147483647L << 260;
        QTest::newRow("buffer too small") << 0LL << 1L << 1L << 10;
    }
    // The hand-made formatter must agree with the C library on the exact pattern, and
    // cut the name short like it rather than write past the buffer.
    void reportName()
    {
        QFETCH(qlonglong, localSeconds);
        QFETCH(long, pid);
        QFETCH(long, tid);
        QFETCH(int, bufferSize);

        const time_t seconds = static_cast<time_t>(localSeconds);
        struct tm civil = {};
        QVERIFY(gmtime_r(&seconds, &civil));
        char expected[260];
        std::snprintf(expected, size_t(bufferSize), "v%s-%d-%04d%02d%02d-%02d%02d%02d-%ld-%ld.dmp", "2.0.0.2",
                      20261205, civil.tm_year + 1900, civil.tm_mon + 1, civil.tm_mday, civil.tm_hour,
                      civil.tm_min, civil.tm_sec, pid, tid);

        char name[262];
        std::memset(name, 'x', sizeof(name));
        const std::size_t length = QCrashHandler::formatReportName(name, size_t(bufferSize), "2.0.0.2",
                                                                   20261205, localSeconds, pid, tid);
        QCOMPARE(QString::fromLatin1(name), QString::fromLatin1(expected));
        QCOMPARE(length, std::strlen(expected));
        QCOMPARE(name[bufferSize], 'x'); // nothing written past the given size
    }

    void crashReport_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("signal");
        QTest::addColumn<QByteArray>("timeZone");
        QTest::addColumn<int>("utcOffset");

        QTest::newRow("segv in a worker, UTC+8") << "segv"
                                                 << "worker" << SIGSEGV << QByteArray("CST-8") << 8 * 3600;
        // Only reported if the handler runs on its own stack.
        QTest::newRow("stack overflow on the main thread") << "overflow"
                                                           << "main" << SIGSEGV << QByteArray("UTC0") << 0;
        QTest::newRow("abort in a worker, UTC-5") << "abort"
                                                  << "worker" << SIGABRT << QByteArray("EST5") << -5 * 3600;
        QTest::newRow("division by zero") << "fpe"
                                          << "worker" << SIGFPE << QByteArray("<+0530>-5:30") << 19800;
        QTest::newRow("illegal instruction") << "ill"
                                             << "worker" << SIGILL << QByteArray("UTC0") << 0;
        QTest::newRow("bus error") << "bus"
                                   << "worker" << SIGBUS << QByteArray("UTC0") << 0;
    }
    void crashReport()
    {
        QFETCH(QString, mode);
        QFETCH(QString, where);
        QFETCH(int, signal);
        QFETCH(QByteArray, timeZone);
        QFETCH(int, utcOffset);

        QTemporaryDir folder;
        const QDateTime before = QDateTime::currentDateTimeUtc();
        const ProbeRun run = runProbe({"crash", mode, where, folder.path()}, timeZone);
        const QDateTime after = QDateTime::currentDateTimeUtc();

        // The process still dies of its signal, as it would without the handler.
        QCOMPARE(run.exitStatus, int(QProcess::CrashExit));
        QCOMPARE(run.exitCode, signal);
        QVERIFY2(run.faultingThread > 0, qPrintable(run.output));
        if (where == QLatin1String("worker"))
            QVERIFY(run.faultingThread != run.pid);
        else
            QCOMPARE(qint64(run.faultingThread), run.pid);

        const QStringList reports = reportsIn(folder.path());
        QCOMPARE(reports.size(), 1);
        const QRegularExpressionMatch name = kReportName.match(reports.first());
        QVERIFY2(name.hasMatch(), qPrintable(reports.first()));
        QCOMPARE(name.captured(1).toInt(), CGlobal::getBuildDate());
        QCOMPARE(name.captured(4).toLongLong(), run.pid);
        QCOMPARE(name.captured(5).toLong(), run.faultingThread);

        // The digits are wall-clock time in the child's zone: read them as UTC, then
        // shift by the zone's offset to get the moment of the fault.
        QDateTime wallClock =
            QDateTime::fromString(name.captured(2) + name.captured(3), QStringLiteral("yyyyMMddHHmmss"));
        QVERIFY(wallClock.isValid());
        wallClock.setTimeSpec(Qt::UTC);
        const QDateTime faultUtc = wallClock.addSecs(-utcOffset);
        QVERIFY2(faultUtc >= before.addSecs(-1) && faultUtc <= after.addSecs(1),
                 qPrintable(reports.first() + " vs " + before.toString(Qt::ISODate)));

        const QString report = QString::fromUtf8(testutils::readFile(folder.filePath(reports.first())));
        QVERIFY(report.contains(QStringLiteral("signal: %1 (").arg(signal)));
        QVERIFY(report.contains(QStringLiteral("thread: %1\n").arg(run.faultingThread)));
        const int trace = report.indexOf(QStringLiteral("backtrace:\n"));
        QVERIFY(trace > 0);
        QVERIFY2(report.mid(trace).count('\n') >= 3, qPrintable(report)); // several frames
    }

    void unwritableFolderFallsBack()
    {
        QTemporaryDir root;
        // A regular file where the program's folder should be: nothing can go there.
        const QString notAFolder = root.filePath(QStringLiteral("program"));
        QVERIFY(testutils::writeFile(notAFolder, "x"));
        const QString fallback = root.filePath(QStringLiteral("dumps"));
        QVERIFY(!QDir(fallback).exists());

        const ProbeRun run = runProbe({"crash", "segv", "worker", notAFolder, fallback});
        QCOMPARE(run.exitStatus, int(QProcess::CrashExit));
        const QStringList reports = reportsIn(fallback);
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports.first().endsWith(QStringLiteral("-%1.dmp").arg(run.faultingThread)));
    }

    void noReportWhenTraced()
    {
        QTemporaryDir folder;
        const ProbeRun run = runProbe({"traced", folder.path()});
        if (run.exitCode == 77)
            QSKIP("ptrace is not permitted here");
        QCOMPARE(run.exitStatus, int(QProcess::NormalExit));
        QVERIFY2(run.output.contains(QStringLiteral("child signal %1").arg(SIGSEGV)), qPrintable(run.output));
        QVERIFY(run.faultingThread > 0); // it did reach the fault
        QCOMPARE(reportsIn(folder.path()), QStringList());
    }
};

BRISEL_TEST_GUILESS_MAIN(TestCrashHandler)
#include "tst_crashhandler.moc"
