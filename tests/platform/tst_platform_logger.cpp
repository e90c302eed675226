// The logger: levels, the hook, the rotated log file and many writing threads.

#include "logger.h"
#include "testutils.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>

#include <mutex>
#include <thread>
#include <vector>

namespace {

QStringList readLines(const QString& path)
{
    return QString::fromUtf8(testutils::readFile(path)).split('\n', Qt::SkipEmptyParts);
}

// The log text after the "file:line " prefix.
QString messageOf(const QString& line)
{
    static const QRegularExpression prefix(QStringLiteral("^\\S+ \\S+ L-?\\d+ T[0-9a-f]+ \\S+:\\d+ "));
    const QRegularExpressionMatch match = prefix.match(line);
    return match.hasMatch() ? line.mid(match.capturedLength()) : QString();
}

QString rotated(int index)
{
    return kzl::logger::logFilePath() + "." + QString::number(index);
}

struct Captured
{
    std::mutex mutex;
    std::vector<std::shared_ptr<kzl::LogRecord>> records;
};

} // namespace

class TestPlatformLogger : public QObject
{
    Q_OBJECT

private:
    Captured m_captured;

private slots:
    void init()
    {
        kzl::logger::flush();
        QDir(kzl::logger::logFolder()).removeRecursively();
        kzl::logger::setFileLimits(5 * 1024 * 1024, 3);
        kzl::logger::m_bDebug = false;
        m_captured.records.clear();
        kzl::logger::setCallback([this](const std::shared_ptr<kzl::LogRecord>& record) {
            std::lock_guard<std::mutex> lock(m_captured.mutex);
            m_captured.records.push_back(record);
        });
    }
    void cleanup()
    {
        kzl::logger::setCallback(nullptr);
        kzl::logger::flush();
    }

    void levels_data()
    {
        QTest::addColumn<bool>("debug");
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("delivered");

        QTest::newRow("level 1, normal run") << false << 1 << true;
        QTest::newRow("level 2, normal run") << false << 2 << false;
        QTest::newRow("level 0 counts as important") << false << 0 << true;
        QTest::newRow("level 5, debug") << true << 5 << true;
    }
    void levels()
    {
        QFETCH(bool, debug);
        QFETCH(int, level);
        QFETCH(bool, delivered);

        kzl::logger::m_bDebug = debug;
        BRISEL_LOG(level, QStringLiteral("level test"));
        kzl::logger::flush();
        QCOMPARE(m_captured.records.size(), size_t(delivered ? 1 : 0));
        const QStringList lines = readLines(kzl::logger::logFilePath());
        QCOMPARE(lines.size(), delivered ? 1 : 0);
        if (delivered)
            QCOMPARE(messageOf(lines.first()), QStringLiteral("level test"));
    }

    void hookThatLogsDoesNotDeadlock()
    {
        int calls = 0;
        kzl::logger::setCallback([&calls](const std::shared_ptr<kzl::LogRecord>&) {
            ++calls;
            BRISEL_LOG(1, QStringLiteral("from inside the hook"));
        });
        BRISEL_LOG(1, QStringLiteral("outer"));
        BRISEL_LOG(1, QStringLiteral("outer again"));
        QCOMPARE(calls, 2);
    }

    void rotation_data()
    {
        QTest::addColumn<int>("keep");
        QTest::newRow("keep none") << 0;
        QTest::newRow("keep three") << 3;
    }
    void rotation()
    {
        QFETCH(int, keep);
        const qint64 cap = 2000;
        kzl::logger::setFileLimits(cap, keep);
        const int total = 300; // about 90 bytes a line: many times the cap
        for (int i = 0; i < total; ++i)
            BRISEL_LOG(1, QStringLiteral("line %1").arg(i, 5, 10, QChar('0')));
        kzl::logger::flush();

        // Oldest file first; together they hold an unbroken run of the newest lines.
        QStringList kept;
        for (int i = keep; i >= 1; --i) {
            QVERIFY2(QFile::exists(rotated(i)), qPrintable(rotated(i)));
            QVERIFY(QFile(rotated(i)).size() <= cap);
            kept += readLines(rotated(i));
        }
        QVERIFY(!QFile::exists(rotated(keep + 1)));
        QVERIFY(QFile(kzl::logger::logFilePath()).size() <= cap);
        kept += readLines(kzl::logger::logFilePath());

        QVERIFY(!kept.isEmpty());
        const int first = total - kept.size();
        for (int i = 0; i < kept.size(); ++i)
            QCOMPARE(messageOf(kept[i]), QStringLiteral("line %1").arg(first + i, 5, 10, QChar('0')));
        // Each file was filled to near the cap before it was rotated away.
        QVERIFY(kept.size() * 90 > (keep + 1) * cap - 400 || keep == 0);
    }

    void manyThreads_data()
    {
        QTest::addColumn<qint64>("cap");
        QTest::newRow("one file") << qint64(5 * 1024 * 1024);
        QTest::newRow("rotating while writing") << qint64(8000);
    }
    void manyThreads()
    {
        QFETCH(qint64, cap);
        kzl::logger::setFileLimits(cap, 50);
        constexpr int threads = 8;
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

        QCOMPARE(m_captured.records.size(), size_t(threads * perThread));
        QStringList lines;
        for (int i = 50; i >= 1; --i)
            lines += readLines(rotated(i));
        lines += readLines(kzl::logger::logFilePath());
        QCOMPARE(lines.size(), threads * perThread);

        // No torn or interleaved line, and each thread's lines in its own order.
        static const QRegularExpression body(QStringLiteral("^t(\\d) n(\\d+) z{40}$"));
        std::vector<int> next(threads, 0);
        for (const QString& line : lines) {
            const QRegularExpressionMatch match = body.match(messageOf(line));
            QVERIFY2(match.hasMatch(), qPrintable(line));
            const int t = match.captured(1).toInt();
            QCOMPARE(match.captured(2).toInt(), next[size_t(t)]);
            ++next[size_t(t)];
        }
    }

    void unwritableFolderDoesNotStopTheProgram()
    {
        // A file where the log folder should be.
        QDir().mkpath(QFileInfo(kzl::logger::logFolder()).absolutePath());
        QDir(kzl::logger::logFolder()).removeRecursively();
        QVERIFY(testutils::writeFile(kzl::logger::logFolder().chopped(1), "in the way"));
        BRISEL_LOG(1, QStringLiteral("still reaches the hook"));
        QCOMPARE(m_captured.records.size(), size_t(1));
        QFile::remove(kzl::logger::logFolder().chopped(1));
    }
};

BRISEL_TEST_GUILESS_MAIN(TestPlatformLogger)
#include "tst_platform_logger.moc"
