// The settings store and the rotated log: damaged files and many writers.

#include "csetting.h"
#include "logcapture.h"
#include "logger.h"
#include "testutils.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>

#include <atomic>
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

    void rotation_data()
    {
        QTest::addColumn<int>("threads");
        QTest::addColumn<qint64>("cap");
        QTest::addColumn<int>("keep");
        QTest::newRow("keep none") << 1 << qint64(2000) << 0;
        QTest::newRow("keep three") << 1 << qint64(2000) << 3;
        QTest::newRow("many threads, rotating while writing") << 8 << qint64(8000) << 10;
    }
    void rotation()
    {
        QFETCH(int, threads);
        QFETCH(qint64, cap);
        QFETCH(int, keep);
        kzl::logger::flush();
        QDir(kzl::logger::logFolder()).removeRecursively();
        kzl::logger::setFileLimits(cap, keep);
        std::atomic<int> hooked{0};
        kzl::logger::setCallback([&hooked](const std::shared_ptr<kzl::LogRecord>&) { ++hooked; });
        constexpr int perThread = 200;
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([t] {
                for (int i = 0; i < perThread; ++i)
                    BRISEL_LOG(1, QStringLiteral("t%1 n%2 %3").arg(t).arg(i).arg(QString(40, QChar('z'))));
            });
        }
        for (auto& w : workers)
            w.join();
        kzl::logger::flush();
        kzl::logger::setCallback(nullptr);
        QCOMPARE(hooked.load(), threads * perThread);

        // Oldest file first, each within the cap and, when rotated away, filled to near it.
        QStringList lines;
        for (int i = keep + 1; i >= 0; --i) {
            const QString path = kzl::logger::logFilePath() + (i ? "." + QString::number(i) : QString());
            QCOMPARE(QFile::exists(path), i <= keep);
            const qint64 size = QFile(path).size();
            QVERIFY2(size <= cap && (i == 0 || i > keep || size > cap - 200), qPrintable(path));
            lines += QString::fromUtf8(testutils::readFile(path)).split('\n', Qt::SkipEmptyParts);
        }
        // No torn or interleaved line; each thread's newest lines in an unbroken run.
        static const QRegularExpression line(
            QStringLiteral("^\\S+ \\S+ L-?\\d+ T[0-9a-f]+ \\S+:\\d+ t(\\d) n(\\d+) z{40}$"));
        std::vector<int> last(size_t(threads), -1);
        for (const QString& text : lines) {
            const QRegularExpressionMatch match = line.match(text);
            QVERIFY2(match.hasMatch(), qPrintable(text));
            int& previous = last[size_t(match.captured(1).toInt())];
            const int n = match.captured(2).toInt();
            QVERIFY2(previous < 0 || n == previous + 1, qPrintable(text));
            previous = n;
        }
        QVERIFY(!lines.isEmpty());
        for (int n : last) // a thread that finished early may have rotated away entirely
            QVERIFY2(n < 0 || n == perThread - 1, qPrintable(QString::number(n)));
    }
};

BRISEL_TEST_GUILESS_MAIN(TestPlatformSettings)
#include "tst_platform_settings.moc"
