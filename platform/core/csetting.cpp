#include "csetting.h"

#include "logger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <memory>
#include <mutex>

namespace {

// One QSettings per call keeps each caller's view private; Qt shares the parsed
// file between them and re-reads it when it changed on disk. The mutex makes a
// read-modify-write of the file and the problem bookkeeping atomic.
std::mutex g_mutex;
// An unreadable file stays unreadable for every read that follows; say so once
// until it reads again.
bool g_unreadableReported = false;

// A file Qt cannot parse is moved aside (kept for whoever wants to look at it) so
// the next write starts a clean file instead of merging into the damage.
void setAsideCorruptFile(const QString& path)
{
    const QString aside = path + ".bad";
    QFile::remove(aside);
    const bool moved = QFile::rename(path, aside);
    BRISEL_LOG(1, QStringLiteral("settings file %1 is corrupt; using defaults%2")
                      .arg(path, moved ? QStringLiteral(", old file kept as ") + aside : QString()));
}

std::unique_ptr<QSettings> openStore()
{
    const QString path = CSetting::filePath();
    auto store = std::make_unique<QSettings>(path, QSettings::IniFormat);
    store->setIniCodec("UTF-8");
    // Qt parses sections lazily and reports bad ones only then; parse them all now
    // so damage is found before any value is trusted.
    store->allKeys();
    switch (store->status()) {
    case QSettings::NoError:
        g_unreadableReported = false;
        break;
    case QSettings::FormatError:
        setAsideCorruptFile(path);
        store = std::make_unique<QSettings>(path, QSettings::IniFormat);
        store->setIniCodec("UTF-8");
        break;
    case QSettings::AccessError:
        if (!g_unreadableReported)
            BRISEL_LOG(1, QStringLiteral("settings file %1 cannot be read; using defaults").arg(path));
        g_unreadableReported = true;
        break;
    }
    return store;
}

QVariant readValue(const QString& group, const QString& key)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto store = openStore();
    store->beginGroup(group);
    return store->value(key);
}

} // namespace

QString CSetting::getString(const QString& group, const QString& key, const QString& defaultValue)
{
    const QVariant value = readValue(group, key);
    if (!value.isValid())
        return defaultValue;
    // An unquoted text with commas in a hand-edited file reads as a list.
    if (value.type() == QVariant::StringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.canConvert<QString>() ? value.toString() : defaultValue;
}

int CSetting::getInt(const QString& group, const QString& key, int defaultValue)
{
    const QVariant value = readValue(group, key);
    if (!value.isValid())
        return defaultValue;
    // Flags are written as booleans ("true"/"false") and read back as numbers.
    const QString text = value.toString().trimmed();
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return 1;
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return 0;
    bool ok = false;
    const int number = text.toInt(&ok);
    return ok ? number : defaultValue;
}

bool CSetting::setValue(const QString& group, const QString& key, const QVariant& value)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const QString path = filePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    const auto store = openStore();
    store->beginGroup(group);
    store->setValue(key, value);
    store->endGroup();
    store->sync();
    if (store->status() != QSettings::NoError) {
        BRISEL_LOG(1, QStringLiteral("settings %1/%2 could not be saved to %3").arg(group, key, path));
        return false;
    }
    return true;
}

QString CSetting::filePath()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (folder.isEmpty())
        folder = QDir::homePath() + "/.config";
    return QDir::fromNativeSeparators(folder) + "/brisel/brisel.ini";
}
