#pragma once
// The persistent settings store: an INI file "brisel.ini" in the per-user config
// folder. Reads never fail: an absent key, a value of the wrong type, or an
// unreadable or corrupt file all give the caller's default (and a log line). Each
// write is flushed at once so a crash loses nothing. Callable from any thread,
// though the program uses it on the GUI thread only.

#include <QString>
#include <QVariant>

class CSetting
{
public:
    static QString getString(const QString& group, const QString& key,
                             const QString& defaultValue = QString());
    // A stored boolean reads as 1 or 0; any other value that is not a whole number
    // reads as the default.
    static int getInt(const QString& group, const QString& key, int defaultValue = 0);
    // Returns false (and logs) when the value could not be written to disk.
    static bool setValue(const QString& group, const QString& key, const QVariant& value);

    // Full path of the INI file.
    static QString filePath();
};
