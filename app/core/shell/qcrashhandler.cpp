#include "qcrashhandler.h"

#include "qcrashhandler_p.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace crashhandler {

Settings g_settings;
std::atomic<const char*> g_fallbackFolder{nullptr};

} // namespace crashhandler

using namespace crashhandler;

namespace {

char g_fallbackBuffer[kPathSize] = {};

void copyText(char* out, std::size_t size, const QByteArray& text)
{
    Text(out, size).add(text.constData());
}

QByteArray folderBytes(const QString& folder)
{
    if (folder.isEmpty())
        return {};
    const QString clean = QDir::fromNativeSeparators(folder);
    return QFile::encodeName(clean.endsWith('/') ? clean : clean + '/');
}

struct CivilTime
{
    long long year;
    int month, day, hour, minute, second;
};

// Days since 1970-01-01 to a proleptic Gregorian date (era arithmetic, valid for
// negative days too), so the crash path needs no localtime().
CivilTime civilFromSeconds(long long seconds)
{
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153;
    CivilTime t{};
    t.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    t.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    t.year = yearOfEra + era * 400 + (t.month <= 2 ? 1 : 0);
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

void formatName(Text& text, const char* version, int buildDate, const CivilTime& t, long pid, long tid)
{
    text.add("v").add(version).add("-").number(buildDate).add("-");
    text.number(t.year, 4).number(t.month, 2).number(t.day, 2).add("-");
    text.number(t.hour, 2).number(t.minute, 2).number(t.second, 2).add("-");
    text.number(pid).add("-").number(tid).add(".dmp");
}

} // namespace

void QCrashHandler::install(const QString& reportFolder, const char* version, int buildDate)
{
    copyText(g_settings.version, sizeof(g_settings.version), QByteArray(version));
    g_settings.buildDate = buildDate;
    copyText(g_settings.reportFolder, sizeof(g_settings.reportFolder), folderBytes(reportFolder));
    installFaultHandlers();
}

void QCrashHandler::setFallbackFolder(const QString& folder)
{
    // Unpublish first so a crash meanwhile never reads a half-written folder.
    g_fallbackFolder.store(nullptr, std::memory_order_release);
    copyText(g_fallbackBuffer, sizeof(g_fallbackBuffer), folderBytes(folder));
    if (g_fallbackBuffer[0])
        g_fallbackFolder.store(g_fallbackBuffer, std::memory_order_release);
}

QString QCrashHandler::programFolder(const char* argv0)
{
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    if (self.exists())
        return QFileInfo(self.symLinkTarget()).absolutePath() + '/';
    if (argv0 && *argv0)
        return QFileInfo(QFile::decodeName(argv0)).absolutePath() + '/';
    return QString();
}

std::size_t QCrashHandler::formatReportName(char* out, std::size_t size, const char* version, int buildDate,
                                            long long localSeconds, long pid, long tid)
{
    if (!out || size == 0)
        return 0;
    Text text(out, size);
    formatName(text, version, buildDate, civilFromSeconds(localSeconds), pid, tid);
    return text.length();
}
