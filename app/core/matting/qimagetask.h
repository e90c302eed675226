#pragma once

#include "qcutoutcache.h"
#include "qmattingclient.h"

#include <QMutex>
#include <QObject>
#include <QSize>
#include <QString>

#include <opencv2/core.hpp>

#include <atomic>

// One photo turned into a cut-out (BGRA, alpha keeps only the subject): served from
// the local cache when the photo has not changed since it was last matted,
// otherwise fetched from the matting service by a QMattingClient.
//
// Threads: constructed on the GUI thread (it reads the service address and the
// cache's cap from the settings there); run() blocks a pool worker for the whole exchange and emits
// exactly one of the two signals on that worker. Receivers on the GUI thread get
// them queued. Read cutout() and sourceSize() only after signal_success arrived.
// Always owned through std::shared_ptr (see QTaskManager).
//
// The full-resolution cut-out (48 MB for 12 megapixels) need not stay in memory
// while only a small copy of it is shown: releaseCutout() drops it and
// loadCutout() reads it back from the cache entry this task wrote or read. Both,
// and cutout(), may be called from any thread.
class QImageTask : public QObject
{
    Q_OBJECT

public:
    QImageTask(int type, const QString& filePath, QObject* parent = nullptr);

    void run();
    // Any thread: a run() in progress gives up at its next poll, withdrawing the
    // job from the service, and ends with signal_error.
    void cancel() { m_cancelled = true; }

    QString id() const { return m_id; }
    QString filePath() const { return m_filePath; }
    int type() const { return m_type; }
    // Empty before success and after releaseCutout().
    cv::Mat cutout() const;
    QSize sourceSize() const { return m_sourceSize; }

    // Asks run() to make a copy whose longest side is at most `side` pixels and then
    // to drop the full cut-out (as releaseCutout() does), on the worker and before
    // signal_success, so that a batch never holds all its full cut-outs at once.
    // Call before run().
    void setPreviewSide(int side) { m_previewSide = side; }
    // That copy; empty when none was asked for or before success.
    cv::Mat preview() const;
    // A copy of `cutout` no larger than `side` on its longest side.
    static cv::Mat previewOf(const cv::Mat& cutout, int side);

    // Drops the kept cut-out, but only when the cache holds a copy to read back:
    // false (the cut-out stays) when the entry could not be written.
    bool releaseCutout();
    bool isCutoutReleased() const;
    // The full-resolution cut-out: the kept one, or after releaseCutout() a fresh
    // decode of the cache entry (not kept, so the caller decides how long it
    // lives). A decode of megabytes: call it on a pool worker. Empty with a
    // message for the user in *error when the entry has gone or is damaged; the
    // photo then has to be matted again.
    cv::Mat loadCutout(QString* error = nullptr) const;

    // Asks for the product's shadow to stay in the cut-out; call before run().
    void setKeepShadow(bool keep) { m_keepShadow = keep; }
    bool keepsShadow() const { return m_keepShadow; }
    // Asks for the service's fast engine; call before run().
    void setFast(bool fast) { m_fast = fast; }

    // The cache entry for the photo as it is on disk now (see QCutoutCache).
    static QString cacheFilePath(const QString& photoPath, bool keepShadow = false, bool fast = false);

signals:
    void signal_success(const QString& taskId);
    void signal_error(const QString& message);

private:
    bool loadFromCache(const QString& cachePath);
    void setCutout(const cv::Mat& image);
    void rememberCacheEntry(const QString& cachePath);
    void makePreview();

    QString m_filePath;
    int m_type = Person;
    QString m_id;
    std::atomic<bool> m_cancelled{false};
    cv::Mat m_cutout;
    QSize m_sourceSize{0, 0};
    // The entry holding this result; empty while none was read or written.
    QString m_cachePath;
    bool m_released = false;
    int m_previewSide = 0;
    bool m_keepShadow = false;
    bool m_fast = false;
    cv::Mat m_preview;
    // Guards m_cutout, m_preview, m_cachePath and m_released: a release on the GUI thread may
    // meet a pool job reading the cut-out.
    mutable QMutex m_mutex;
    QString m_serviceUrl;
    QCutoutCache m_cache;
};
