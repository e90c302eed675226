#include "testutils.h"

#include "cglobal.h"
#include "csetting.h"
#include "cwinapp.h"
#include "logger.h"
#include "qappsettings.h"
#include "qopenrequest.h"
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

// The real program, unattended: it answers message boxes itself (printing them)
// and quits closeMs after its window shows.
std::unique_ptr<QProcess> startBrisel(int closeMs, const QStringList& arguments = {})
{
    auto process = std::make_unique<testutils::ChildProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("BRISEL_AUTO_CLOSE_MS"), QString::number(closeMs));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process->setProcessEnvironment(env);
    process->setWorkingDirectory(testutils::sandboxPath());
    process->start(testutils::binPath(QStringLiteral("brisel")), arguments);
    return process;
}

QString finish(QProcess& process)
{
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardError());
}

QString runtimePath(const QString& file)
{
    return qEnvironmentVariable("XDG_RUNTIME_DIR") + '/' + file;
}

// True once holder listens for a second start. Watches the pid the holder writes
// into the lock file and the socket file rather than trying either, which could
// make the starting program believe another copy runs.
bool waitUntilListening(QProcess& holder)
{
    const QByteArray pid = QByteArray::number(holder.processId()) + '\n';
    for (int i = 0; i < 600 && holder.state() != QProcess::NotRunning; ++i) {
        if (testutils::readFile(runtimePath(kInstanceName + ".lock")) == pid &&
            QFile::exists(runtimePath(kInstanceName + ".socket")))
            return true;
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
        QVERIFY(testutils::writeFile(runtimePath(name + ".lock"), "99999\n"));
        QSingleInstance probe(name);
        QVERIFY(!probe.isAnotherRunning());
        QCOMPARE(testutils::readFile(runtimePath(name + ".lock")),
                 QByteArray::number(QCoreApplication::applicationPid()) + '\n');
    }

    // A second start hands its photos to the running copy and ends at once, also
    // after a copy was killed and left its socket behind. The running copy opens
    // them, and speaks Chinese by default.
    void secondStartHandsOver_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("killedBefore");
        QTest::addColumn<QString>("seen"); // in the first copy's log or messages
        QTest::newRow("no photo, after a killed copy") << QStringList() << true << "";
        QTest::newRow("product photo, relative path")
            << QStringList{"--type", "product", "p.png"} << false
            << "opening 1 photo(s) of type 1: " + testutils::sandboxPath() + "/p.png";
        const char* missing = "These files could not be opened:\n%1";
        QTest::newRow("missing photo") << QStringList{"/no/such.jpg"} << false
                                       << CWinApp::createTranslator(testutils::binPath(), "zh")
                                              ->translate("QOpenWith", missing)
                                              .arg("/no/such.jpg");
    }
    void secondStartHandsOver()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, killedBefore);
        QFile::remove(CSetting::filePath());
        // Nothing answers there, so no service is started for the photo.
        QVERIFY(CSetting::setValue("service", "url", "http://127.0.0.1:1"));
        QVERIFY(QImage(8, 8, QImage::Format_RGB32).save(testutils::sandboxPath() + "/p.png"));
        if (killedBefore) {
            auto killed = startBrisel(60000);
            QVERIFY(waitUntilListening(*killed));
            killed->kill();
            QVERIFY(killed->waitForFinished() && QFile::exists(runtimePath(kInstanceName + ".socket")));
        }
        auto first = startBrisel(5000);
        if (!waitUntilListening(*first))
            QFAIL(qPrintable(QStringLiteral("never listened: ") + finish(*first)));

        auto second = startBrisel(0, arguments);
        QVERIFY(second->waitForFinished(15000));
        QCOMPARE(second->exitCode(), 0);
        const QString secondLog = finish(*second);
        QVERIFY2(!secondLog.contains("message box") && !secondLog.contains("closing window"),
                 qPrintable(secondLog));

        const QString firstLog = finish(*first);
        QCOMPARE(first->exitCode(), 0);
        QFETCH(QString, seen);
        QVERIFY2((firstLog + testutils::readFile(kzl::logger::logFilePath())).contains(seen),
                 qPrintable(firstLog));
    }

    // The command line, and the request as it travels to a running copy.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("type"); // -1: the request stays untouched
        QTest::addColumn<QStringList>("paths");
        const QString here = QDir::currentPath() + '/';
        const int open = QOpenRequest::Open, usage = QOpenRequest::UsageError;
        QTest::newRow("nothing") << QStringList() << open << 0 << QStringList();
        QTest::newRow("relative and absolute")
            << QStringList{"a.jpg", "/b/c d.png", "file:///e%20f.png"} << open << 0
            << QStringList{here + "a.jpg", "/b/c d.png", "/e f.png"};
        QTest::newRow("product") << QStringList{"--type", "product", "a.jpg"} << open << 1
                                 << QStringList{here + "a.jpg"};
        QTest::newRow("ID in capitals")
            << QStringList{"--type=ID", "a.jpg"} << open << 2 << QStringList{here + "a.jpg"};
        QTest::newRow("unknown type")
            << QStringList{"--type", "cat", "a.jpg"} << usage << -1 << QStringList();
        QTest::newRow("type without value") << QStringList{"--type"} << usage << -1 << QStringList();
        QTest::newRow("help") << QStringList{"a.jpg", "--help"} << int(QOpenRequest::Help) << -1
                              << QStringList();
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QOpenRequest request{-1, {}}, back;
        QString text;
        QTEST(int(QOpenRequest::parse(QStringList{"brisel"} + arguments, &request, &text)), "outcome");
        QTEST(request.type, "type");
        QTEST(request.paths, "paths");
        QCOMPARE(text.contains("--type"), request.type < 0); // usage follows every complaint
        QCOMPARE(QOpenRequest::decode(request.encode(), &back), request.type >= 0);
        QCOMPARE(back.paths, request.type >= 0 ? request.paths : QStringList());
        QVERIFY(!QOpenRequest::decode(request.encode().chopped(1), &back));
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
