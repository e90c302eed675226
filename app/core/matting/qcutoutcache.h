#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QSize>
#include <QString>

#include <opencv2/core.hpp>

// The cut-outs already matted, one PNG per version of a photo, so that a photo
// opened again costs no upload. An entry is named by the photo's canonical path,
// size, modification time in nanoseconds and a hash of its first and last 64 KB,
// and is served only when its size is the photo's upright size: a renamed, edited
// or swapped photo, or a damaged or foreign entry, is a miss and gets replaced.
// The folder is kept under a size cap by dropping the entries used least recently
// (a use touches the entry's modification time).
//
// Threads: a value object without shared state; every function may run on any
// thread and several workers may use the same folder at once. Entries are written
// atomically, so a reader sees a whole entry or none; an entry evicted while
// another thread reads it is simply a miss there.
class QCutoutCache
{
    Q_DECLARE_TR_FUNCTIONS(QCutoutCache)

public:
    static constexpr int kDefaultCapMb = 2048;

    // The folder under the application data and the cap from the settings
    // ("cache/limitMB"). Reads the settings: construct it on the GUI thread.
    QCutoutCache();
    QCutoutCache(const QString& folder, qint64 capBytes);

    QString folder() const { return m_folder; }
    qint64 capBytes() const { return m_capBytes; }

    // The entry for the photo as it is on disk now; empty when it cannot be read.
    // A cut-out asked for with options (`variant`, e.g. "shadow=keep") has an
    // entry of its own.
    QString entryPath(const QString& photoPath, const QString& variant = QString()) const;
    // The photo's size with its EXIF orientation applied, invalid when its header
    // cannot be read.
    static QSize uprightSize(const QString& photoPath);

    // The entry's cut-out when it decodes to `size`; otherwise empty, and an entry
    // that is there but wrong is removed.
    cv::Mat load(const QString& entry, const QSize& size) const;
    // Writes the entry and then evicts down to the cap; false with a reason for
    // the log in *error.
    bool store(const QString& entry, const QByteArray& png, QString* error) const;
    // Drops the least recently used entries until the folder fits the cap; never
    // the one named `keep`.
    void evict(const QString& keep = QString()) const;
    struct Cleared
    {
        int removed = 0;
        int failed = 0; // still open elsewhere, or the folder is read-only
        qint64 freed = 0;
    };
    // Removes every entry.
    Cleared clear() const;
    // Bytes held by the entries now.
    qint64 usedBytes() const;

private:
    QString m_folder;
    qint64 m_capBytes = qint64(kDefaultCapMb) << 20;
};
