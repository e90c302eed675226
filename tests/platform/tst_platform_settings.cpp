// The settings store: damaged files and many writers.

#include "csetting.h"
#include "logcapture.h"
#include "testutils.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>

#include <thread>
#include <vector>

namespace {

// What a second run of the program reads.
QString readInOtherProcess(const QString& group, const QString& key)
{
    testutils::ChildProcess probe;
    probe.start(testutils::binPath("settingsprobe"), {group, key, "<absent>"});
    probe.waitForFinished(30000);
    return QString::fromUtf8(probe.readAllStandardOutput());
}

} // namespace

class TestPlatformSettings : public QObject
{
    Q_OBJECT

private slots:
    void damagedStore_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("bad section after good one") << QByteArray("[language]\ntype=en\n[oops\n");
        QTest::newRow("binary") << QByteArray("\x01\x02\x00\xff[language]\ntype=en", 20);
    }
    void damagedStore()
    {
        QFETCH(QByteArray, content);
        // Qt notices a replaced file by size and time stamp: each case gets its own stamp.
        static QDateTime stamp = QDateTime::currentDateTime().addDays(-1);
        stamp = stamp.addSecs(1);
        const QString path = CSetting::filePath();
        QVERIFY(testutils::writeFile(path, content));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite) &&
                file.setFileTime(stamp, QFileDevice::FileModificationTime));
        LogCapture log;

        QCOMPARE(CSetting::getString("language", "type", "zh"), QStringLiteral("zh"));
        QVERIFY2(log.text().contains("corrupt"), qPrintable(log.text()));
        QCOMPARE(testutils::readFile(path + ".bad"), content); // kept aside for the user
        // The store works again at once, also for the next run.
        QVERIFY(CSetting::setValue("language", "type", "en"));
        QCOMPARE(CSetting::getString("language", "type", "zh"), QStringLiteral("en"));
        QCOMPARE(readInOtherProcess("language", "type"), QStringLiteral("en"));
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
            QCOMPARE(readInOtherProcess("threads", QStringLiteral("t%1").arg(t)),
                     QString::number(rounds - 1));
    }
};

BRISEL_TEST_GUILESS_MAIN(TestPlatformSettings)
#include "tst_platform_settings.moc"
