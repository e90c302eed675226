// The settings store and the program folders.

#include "cglobal.h"
#include "csetting.h"
#include "logcapture.h"
#include "testutils.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QSettings>

#include <thread>
#include <vector>

namespace {

QString runProbe(const QStringList& args, int* exitCode = nullptr)
{
    testutils::ChildProcess probe;
    probe.start(testutils::binPath("settingsprobe"), args);
    probe.waitForFinished(30000);
    if (exitCode)
        *exitCode = probe.exitStatus() == QProcess::NormalExit ? probe.exitCode() : -1;
    return QString::fromUtf8(probe.readAllStandardOutput());
}

// Replaces the store file as an editor would. Qt notices a changed file by size and
// time stamp, so each replacement gets its own time stamp, as edits by hand do.
void replaceStore(const QByteArray& content)
{
    static QDateTime stamp = QDateTime::currentDateTime().addDays(-1);
    stamp = stamp.addSecs(1);
    const QString path = CSetting::filePath();
    QDir(path).removeRecursively(); // a directory left by an earlier case
    QFile::remove(path);
    QFile::remove(path + ".bad");
    QVERIFY(testutils::writeFile(path, content));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
}

} // namespace

class TestPlatformSettings : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        const QString path = CSetting::filePath();
        QDir(path).removeRecursively();
        QFile::remove(path);
        QFile::remove(path + ".bad");
    }

    void valueSurvivesRestart_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");

        QTest::newRow("chinese folder") << "default"
                                        << "path" << QStringLiteral("/home/用户/桌面/照片 2024");
        QTest::newRow("comma stays text") << "template"
                                          << "path"
                                          << "/tmp/a, b";
        QTest::newRow("leading and trailing spaces") << "language"
                                                     << "type"
                                                     << "  en  ";
    }
    void valueSurvivesRestart()
    {
        QFETCH(QString, group);
        QFETCH(QString, key);
        QFETCH(QString, value);

        // Written here, read by a second process.
        QVERIFY(CSetting::setValue(group, key, value));
        QCOMPARE(runProbe({"get", group, key, "<absent>"}), value);

        // Written by a second process, read here.
        const QString other = value + QStringLiteral("-2");
        int exitCode = -1;
        runProbe({"set", group, key, other}, &exitCode);
        QCOMPARE(exitCode, 0);
        QCOMPARE(CSetting::getString(group, key, "<absent>"), other);

        // And it is an ordinary INI file that a plain QSettings reads too.
        QSettings raw(CSetting::filePath(), QSettings::IniFormat);
        raw.setIniCodec("UTF-8");
        QCOMPARE(raw.value(group + "/" + key).toString(), other);
    }

    void handEditedValue_data()
    {
        QTest::addColumn<QByteArray>("stored"); // null: no store file at all
        QTest::addColumn<int>("asInt");
        QTest::addColumn<QString>("asText"); // null: not checked

        QTest::newRow("no store") << QByteArray() << 99 << "zh";
        QTest::newRow("number") << QByteArray("2") << 2 << "2";
        QTest::newRow("not a number") << QByteArray("abc") << 99 << "abc";
        QTest::newRow("trailing junk") << QByteArray("12abc") << 99 << "12abc";
        QTest::newRow("beyond int") << QByteArray("99999999999") << 99 << QString();
        QTest::newRow("list reads as text") << QByteArray("/a, /b") << 99 << "/a, /b";
        QTest::newRow("boolean true") << QByteArray("true") << 1 << "true";
    }
    void handEditedValue()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, asInt);
        QFETCH(QString, asText);
        if (!stored.isNull())
            replaceStore("[output]\nsize=" + stored + "\n");
        QCOMPARE(CSetting::getInt("output", "size", 99), asInt);
        if (!asText.isNull())
            QCOMPARE(CSetting::getString("output", "size", "zh"), asText);
        QCOMPARE(QFile::exists(CSetting::filePath()), !stored.isNull()); // reading creates nothing
    }

    void damagedStore_data()
    {
        QTest::addColumn<QByteArray>("content");

        QTest::newRow("unclosed section") << QByteArray("[language\ntype=en\n");
        QTest::newRow("bad section after good one") << QByteArray("[language]\ntype=en\n[oops\n");
        QTest::newRow("binary") << QByteArray("\x01\x02\x00\xff[language]\ntype=en", 20);
        QTest::newRow("one huge line") << QByteArray(4 * 1024 * 1024, '[');
    }
    void damagedStore()
    {
        QFETCH(QByteArray, content);
        replaceStore(content);
        LogCapture log;

        QCOMPARE(CSetting::getString("language", "type", "zh"), QStringLiteral("zh"));
        QVERIFY2(log.text().contains("corrupt"), qPrintable(log.text()));
        QVERIFY(QFile::exists(CSetting::filePath() + ".bad")); // kept aside for the user

        // The store works again at once, also for the next run.
        QVERIFY(CSetting::setValue("language", "type", "en"));
        QCOMPARE(CSetting::getString("language", "type", "zh"), QStringLiteral("en"));
        QCOMPARE(runProbe({"get", "language", "type", "zh"}), QStringLiteral("en"));
    }

    void unreadableStore()
    {
        // A folder where the file should be: cannot be read nor replaced.
        QVERIFY(QDir().mkpath(CSetting::filePath()));
        LogCapture log;
        QCOMPARE(CSetting::getString("language", "type", "zh"), QStringLiteral("zh"));
        QCOMPARE(CSetting::getInt("output", "size", 1), 1);
        QVERIFY(!CSetting::setValue("language", "type", "en"));
        QVERIFY2(log.text().contains("could not be saved"), qPrintable(log.text()));
        QVERIFY(QFileInfo(CSetting::filePath()).isDir());
    }

    void concurrentWritersLoseNothing()
    {
        constexpr int threads = 4;
        constexpr int rounds = 25;
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([t] {
                for (int i = 0; i < rounds; ++i)
                    CSetting::setValue("threads", QStringLiteral("t%1").arg(t), i);
            });
        }
        for (auto& w : workers)
            w.join();
        for (int t = 0; t < threads; ++t)
            QCOMPARE(runProbe({"getint", "threads", QStringLiteral("t%1").arg(t), "-1"}).toInt(), rounds - 1);
    }

    void foldersEndInSlash_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("expected");
        const QString home = testutils::sandboxPath();
        QTest::newRow("app") << CGlobal::getAppPath() << testutils::binPath();
        QTest::newRow("app data") << CGlobal::getAppDataPath() << home + "/.local/share/brisel/";
        QTest::newRow("output") << CGlobal::getOutputPath() << CGlobal::getPicturesPath() + "Brisel/";
    }
    void foldersEndInSlash()
    {
        QFETCH(QString, folder);
        QFETCH(QString, expected);
        QVERIFY2(folder.endsWith('/') && !folder.endsWith("//"), qPrintable(folder));
        if (!expected.isEmpty())
            QCOMPARE(folder, expected);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestPlatformSettings)
#include "tst_platform_settings.moc"
