#include "testutils.h"

#include "csetting.h"
#include "cwinapp.h"
#include "qsingleinstance.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <memory>

namespace {

const QString kInstanceName = QStringLiteral("BRISEL_1_1");
const char* const kWarning = "The software has been started, please do not run it again!";

// The real program, unattended: it answers message boxes itself (printing them)
// and quits closeMs after its window shows.
std::unique_ptr<QProcess> startBrisel(int closeMs, const QStringList& arguments = {})
{
    auto process = std::make_unique<testutils::ChildProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("BRISEL_AUTO_CLOSE_MS"), QString::number(closeMs));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process->setProcessEnvironment(env);
    process->start(testutils::binPath(QStringLiteral("brisel")), arguments);
    return process;
}

QString finish(QProcess& process)
{
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardError());
}

QString runtimeLockPath(const QString& name)
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
        QFile file(runtimeLockPath(kInstanceName));
        if (file.open(QIODevice::ReadOnly) && file.readAll() == pid)
            return QSingleInstance(kInstanceName).isAnotherRunning();
        QTest::qWait(50);
    }
    return false;
}

QString translatedWith(const QString& language, const char* context, const char* source)
{
    const auto translator = CWinApp::createTranslator(testutils::binPath(), language);
    const QString text = translator->translate(context, source);
    return text.isEmpty() ? QString::fromUtf8(source) : text;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init() { QFile::remove(CSetting::filePath()); }

    void translator_data()
    {
        QTest::addColumn<QString>("appPath");
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("translated");

        QTest::newRow("chinese") << testutils::binPath() << "zh" << true;
        QTest::newRow("code leaving the folder") << testutils::binPath() << "../language/brisel_zh" << false;
        QTest::newRow("program folder without translations") << testutils::sandboxPath() + "/"
                                                             << "zh" << false;
    }
    void translator()
    {
        QFETCH(QString, appPath);
        QFETCH(QString, language);
        QFETCH(bool, translated);
        QVERIFY2(QFileInfo::exists(testutils::binPath("language/brisel_zh.qm")), "translation not built");

        const auto translator = CWinApp::createTranslator(appPath, language);
        QVERIFY(translator);
        const QString title = translator->translate("CWinApp", "Brisel");
        const QString warning = translator->translate("CWinApp", kWarning);
        QCOMPARE(translator->isEmpty(), !translated);
        if (translated) {
            QVERIFY(!title.isEmpty() && title != QLatin1String("Brisel"));
            QVERIFY(!warning.isEmpty() && warning != QLatin1String(kWarning));
        } else {
            QVERIFY(title.isEmpty());
        }
    }

    void lock_data()
    {
        QTest::addColumn<bool>("holdFirst");
        QTest::addColumn<QByteArray>("leftover");
        QTest::addColumn<bool>("expectRunning");

        QTest::newRow("nobody running") << false << QByteArray() << false;
        QTest::newRow("held by another copy") << true << QByteArray() << true;
        QTest::newRow("leftover file of a dead copy") << false << QByteArray("99999\n") << false;
        QTest::newRow("leftover file with garbage") << false << QByteArray("\x01\x02 not a pid") << false;
    }
    void lock()
    {
        QFETCH(bool, holdFirst);
        QFETCH(QByteArray, leftover);
        QFETCH(bool, expectRunning);

        const QString name = QStringLiteral("BRISEL_TEST_%1").arg(QTest::currentDataTag()).replace(' ', '_');
        const QString path = runtimeLockPath(name);
        if (!leftover.isNull())
            QVERIFY(testutils::writeFile(path, leftover));
        std::unique_ptr<QSingleInstance> first;
        if (holdFirst) {
            first = std::make_unique<QSingleInstance>(name);
            QVERIFY(!first->isAnotherRunning());
        }

        QSingleInstance probe(name);
        QCOMPARE(probe.lockPath(), path);
        QCOMPARE(probe.isAnotherRunning(), expectRunning);
        if (!expectRunning) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray::number(QCoreApplication::applicationPid()) + '\n');
        }
    }

    void lockNotInheritedByChildren()
    {
        auto holder = std::make_unique<QSingleInstance>(QStringLiteral("BRISEL_TEST_INHERIT"));
        QVERIFY(!holder->isAnotherRunning());
        testutils::ChildProcess child;
        child.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(child.waitForStarted());
        holder.reset();
        // The child lives on; the lock must not have gone with it.
        QVERIFY(!QSingleInstance(QStringLiteral("BRISEL_TEST_INHERIT")).isAnotherRunning());
        child.kill();
        child.waitForFinished();
    }

    void secondCopyRefused()
    {
        auto first = startBrisel(15000);
        QVERIFY(first->waitForStarted());
        if (!waitUntilLocked(*first))
            QFAIL(qPrintable(QStringLiteral("never took the lock: ") + finish(*first)));

        auto second = startBrisel(0);
        const QString secondLog = finish(*second);
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        const QString warning = translatedWith("zh", "CWinApp", kWarning);
        QVERIFY2(secondLog.contains(QStringLiteral("message box: ") + warning), qPrintable(secondLog));
        QVERIFY2(!secondLog.contains(QStringLiteral("closing window")), qPrintable(secondLog));

        // The first copy did not notice.
        QCOMPARE(first->state(), QProcess::Running);
        first->terminate();
        first->waitForFinished();
    }

    void windowTitle_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("chinese");

        QTest::newRow("default language") << QString() << true;
        QTest::newRow("language without a file") << "xx" << false;
    }
    void windowTitle()
    {
        QFETCH(QString, language);
        QFETCH(bool, chinese);
        if (!language.isNull())
            QVERIFY(CSetting::setValue("language", "type", language));

        auto brisel = startBrisel(0);
        const QString log = finish(*brisel);
        QCOMPARE(brisel->exitCode(), 0);
        const QString expected =
            chinese ? translatedWith("zh", "CWinApp", "Brisel") : QStringLiteral("Brisel");
        QVERIFY(!chinese || expected != QLatin1String("Brisel"));
        QVERIFY2(log.contains(QStringLiteral("closing window: ") + expected + '\n'), qPrintable(log));
    }
};

BRISEL_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
