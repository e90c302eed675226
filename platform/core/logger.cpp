#include "logger.h"

#include "cglobal.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <vector>

namespace kzl {

std::atomic<bool> logger::m_bDebug{false};
logger::Callback logger::m_callback;

namespace {

// The sink outlives every static object: destructors of other singletons (the work
// pool, for one) may still log while the program exits, so it is never destroyed.
struct Sink
{
    std::mutex mutex; // guards everything here and the hook calls
    QFile file;
    qint64 maxBytes = 5 * 1024 * 1024;
    int keep = 3;
};

Sink& sink()
{
    static Sink* const instance = new Sink;
    return *instance;
}

// A hook that logs would otherwise deadlock on the sink's mutex.
thread_local bool t_inLogger = false;

QString rotatedName(const QString& base, int index)
{
    return QStringLiteral("%1.%2").arg(base).arg(index);
}

void rotate(Sink& out)
{
    const QString base = out.file.fileName();
    out.file.close();
    if (out.keep <= 0) {
        QFile::remove(base);
        return;
    }
    QFile::remove(rotatedName(base, out.keep));
    for (int i = out.keep - 1; i >= 1; --i)
        QFile::rename(rotatedName(base, i), rotatedName(base, i + 1));
    QFile::rename(base, rotatedName(base, 1));
}

bool openFile(Sink& out)
{
    if (out.file.isOpen())
        return true;
    const QString path = logger::logFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    out.file.setFileName(path);
    return out.file.open(QIODevice::WriteOnly | QIODevice::Append);
}

// Without a usable log file the line goes to stderr rather than nowhere.
void writeLine(Sink& out, const QByteArray& line)
{
    bool ready = openFile(out);
    if (ready && out.file.size() > 0 && out.file.size() + line.size() > out.maxBytes) {
        rotate(out);
        ready = openFile(out);
    }
    if (!ready) {
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        return;
    }
    out.file.write(line);
    out.file.flush();
}

QByteArray formatLine(const LogRecord& record, const QString& message)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
    const QString file = QFileInfo(QString::fromStdString(record.file)).fileName();
    return QStringLiteral("%1 L%2 T%3 %4:%5 %6\n")
        .arg(stamp)
        .arg(record.level)
        .arg(quintptr(QThread::currentThreadId()), 0, 16)
        .arg(file)
        .arg(record.line)
        .arg(message)
        .toUtf8();
}

} // namespace

void logger::setCallback(Callback callback)
{
    std::lock_guard<std::mutex> lock(sink().mutex);
    m_callback = std::move(callback);
}

std::wstring logger::_format(const wchar_t* format, ...)
{
    // vswprintf reports only failure, not the size needed, so grow until it fits.
    std::vector<wchar_t> buffer(256);
    for (;;) {
        va_list args;
        va_start(args, format);
        const int n = std::vswprintf(buffer.data(), buffer.size(), format, args);
        va_end(args);
        if (n >= 0)
            return std::wstring(buffer.data(), size_t(n));
        if (buffer.size() >= (1u << 20))
            return std::wstring(format); // a malformed format, not a long text
        buffer.resize(buffer.size() * 2);
    }
}

void logger::log(int level, const char* file, int line, const QString& message)
{
    if (level >= 2 && !m_bDebug)
        return;
    if (t_inLogger)
        return;
    t_inLogger = true;

    auto record = std::make_shared<LogRecord>();
    record->level = level;
    record->line = line;
    record->time = QDateTime::currentSecsSinceEpoch();
    record->file = file ? file : "";
    record->message = message.toStdWString();

    {
        Sink& out = sink();
        std::lock_guard<std::mutex> lock(out.mutex);
        writeLine(out, formatLine(*record, message));
        if (m_callback)
            m_callback(record);
    }
    t_inLogger = false;
}

QString logger::logFolder()
{
    return CGlobal::getAppDataPath() + "logs/";
}

QString logger::logFilePath()
{
    return logFolder() + "brisel.log";
}

void logger::setFileLimits(qint64 maxBytes, int keep)
{
    Sink& out = sink();
    std::lock_guard<std::mutex> lock(out.mutex);
    out.maxBytes = maxBytes;
    out.keep = keep;
}

void logger::flush()
{
    Sink& out = sink();
    std::lock_guard<std::mutex> lock(out.mutex);
    out.file.close();
}

void write(int level, const char* file, int line, const QString& message)
{
    logger::log(level, file, line, message);
}

} // namespace kzl
