#include "testutils.h"

#include "cglobal.h"
#include "csetting.h"
#include "cwinapp.h"
#include "qappsettings.h"
#include "qsingleinstance.h"
#include "uexception.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>
#include <memory>

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

const QString kInstanceName = QStringLiteral("BRISEL_1_1");
const char* const kWarning = "Brisel is already running.";

// The real program, unattended: it answers message boxes itself (printing them)
// and quits closeMs after its window shows.
std::unique_ptr<QProcess> startBrisel(int closeMs)
{
    auto process = std::make_unique<testutils::ChildProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("BRISEL_AUTO_CLOSE_MS"), QString::number(closeMs));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process->setProcessEnvironment(env);
    process->start(testutils::binPath(QStringLiteral("brisel")), QStringList());
    return process;
}

QString finish(QProcess& process)
{
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardError());
}

QString lockPath(const QString& name)
{
    return qEnvironmentVariable("XDG_RUNTIME_DIR") + '/' + name + ".lock";
}

// True once holder has the single-instance lock. Watches the pid the holder writes
// into the lock file rather than trying the lock, which could make the starting
// program believe another copy runs.
bool waitUntilLocked(QProcess& holder)
{
    const QByteArray pid = QByteArray::number(holder.processId()) + '\n';
    for (int i = 0; i < 600 && holder.state() != QProcess::NotRunning; ++i) {
        if (testutils::readFile(lockPath(kInstanceName)) == pid)
            return QSingleInstance(kInstanceName).isAnotherRunning();
        QTest::qWait(50);
    }
    return false;
}

} // namespace

class TestShell : public QObject
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
        const QStringList reports = QDir(folder).entryList({QStringLiteral("*.dmp")}, QDir::Files);
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

    // A language code from the editable settings file never names a file outside
    // the language folder.
    void translatorStaysInItsFolder()
    {
        QVERIFY(!CWinApp::createTranslator(testutils::binPath(), "zh")->isEmpty());
        QVERIFY(CWinApp::createTranslator(testutils::binPath(), "../language/brisel_zh")->isEmpty());
    }

    // A lock file left by a copy that crashed does not keep the program from starting.
    void leftoverLockTakenOver()
    {
        const QString name = QStringLiteral("BRISEL_TEST_LEFTOVER");
        QVERIFY(testutils::writeFile(lockPath(name), "99999\n"));
        QSingleInstance probe(name);
        QVERIFY(!probe.isAnotherRunning());
        QCOMPARE(testutils::readFile(lockPath(name)),
                 QByteArray::number(QCoreApplication::applicationPid()) + '\n');
    }

    // The real program starts in Chinese by default, and a second copy is turned
    // away without disturbing the first.
    void secondCopyRefused()
    {
        QFile::remove(CSetting::filePath());
        auto first = startBrisel(8000);
        QVERIFY(first->waitForStarted());
        if (!waitUntilLocked(*first))
            QFAIL(qPrintable(QStringLiteral("never took the lock: ") + finish(*first)));

        auto second = startBrisel(0);
        const QString secondLog = finish(*second);
        const QString warning =
            CWinApp::createTranslator(testutils::binPath(), "zh")->translate("CWinApp", kWarning);
        QCOMPARE(second->exitCode(), 0);
        QVERIFY2(
            secondLog.contains(QStringLiteral("message box: ") + (warning.isEmpty() ? kWarning : warning)),
            qPrintable(secondLog));
        QVERIFY2(!secondLog.contains(QStringLiteral("closing window")), qPrintable(secondLog));

        QCOMPARE(first->state(), QProcess::Running);
        finish(*first);
        QCOMPARE(first->exitCode(), 0);
    }

    // The report a user sends keeps the failed check, its place and a non-Latin message.
    void checkMacro()
    {
        const int iRet = 3;
        const int OK = 0;
        int thrownAt = 0;
        try {
            U_CHECK(iRet == 3, QStringLiteral("never"));
            thrownAt = __LINE__ + 1;
            U_CHECK(OK == iRet, QStringLiteral("文件无法读取"));
            QFAIL("a failed check must throw");
        } catch (const UException& e) {
            const QString description = QString::fromStdWString(e.description());
            QVERIFY2(description.contains(QStringLiteral("tst_shell.cpp(%1)\r\nexpress: OK == iRet\r\n"
                                                         "message: 文件无法读取\r\n")
                                              .arg(thrownAt)),
                     qPrintable(description));
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("文件无法读取"));
        }
    }

    // Whatever the store holds, the output format reads as one of the choices.
    void outputFormat_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("format");

        QTest::newRow("absent") << QVariant() << int(SaveFormat::Png);
        QTest::newRow("older version's number") << QVariant(7) << int(SaveFormat::Jpg);
        QTest::newRow("garbage") << QVariant("jpeg please") << int(SaveFormat::Png);
        QTest::newRow("webp") << QVariant(" WebP") << int(SaveFormat::Webp);
    }
    void outputFormat()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, format);
        QFile::remove(CSetting::filePath());
        if (stored.isValid())
            QVERIFY(CSetting::setValue("output", "format", stored));
        QCOMPARE(int(QAppSettings::outputFormat()), format);
        QAppSettings::setOutputFormat(SaveFormat(format));
        QCOMPARE(int(QAppSettings::outputFormat()), format);
    }
};

BRISEL_TEST_MAIN(TestShell)
#include "tst_shell.moc"
