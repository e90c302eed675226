#include "testutils.h"

#include "csetting.h"
#include "cwinapp.h"
#include "qappsettings.h"
#include "qsingleinstance.h"
#include "uexception.h"

#include <QApplication>
#include <QFile>

#include <memory>

namespace {

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

QString chinese(const char* source)
{
    const QString text = CWinApp::createTranslator(testutils::binPath(), "zh")->translate("CWinApp", source);
    return text.isEmpty() ? QString::fromUtf8(source) : text;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
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
        QCOMPARE(second->exitCode(), 0);
        QVERIFY2(secondLog.contains(QStringLiteral("message box: ") + chinese(kWarning)),
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
            QVERIFY2(description.contains(QStringLiteral("tst_startup.cpp(%1)\r\nexpress: OK == iRet\r\n"
                                                         "message: 文件无法读取\r\n")
                                              .arg(thrownAt)),
                     qPrintable(description));
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("文件无法读取"));
        }
    }

    // Whatever the store holds, the output format reads as one of the two choices.
    void outputFormat_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("jpg");

        QTest::newRow("absent") << QVariant() << false;
        QTest::newRow("older version's number") << QVariant(7) << true;
        QTest::newRow("garbage") << QVariant("jpeg please") << false;
    }
    void outputFormat()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, jpg);
        QFile::remove(CSetting::filePath());
        if (stored.isValid())
            QVERIFY(CSetting::setValue("output", "format", stored));
        QCOMPARE(QAppSettings::outputAsJpg(), jpg);
    }
};

BRISEL_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
