#include "qimagetask.h"

#include "logger.h"
#include "mattingprotocol.h"
#include "qimagefiles.h"
#include "qservicelauncher.h"
#include "quser.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFileInfo>

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace {

QString md5Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

} // namespace

QImageTask::QImageTask(int type, const QString& filePath, QObject* parent)
    : QObject(parent), m_filePath(filePath), m_type(type),
      m_id(md5Hex(filePath.toUtf8() + QByteArray::number(QDateTime::currentSecsSinceEpoch()))),
      m_serviceUrl(QServiceLauncher::serviceUrl())
{
}

namespace {

// The options that change the cut-out, so that each answer has its own entry.
QString cacheVariant(bool keepShadow, bool fast)
{
    namespace proto = mattingprotocol;
    QStringList options;
    if (keepShadow)
        options << QStringLiteral("%1=%2").arg(proto::kShadow, proto::kShadowKeep);
    if (fast)
        options << QStringLiteral("%1=%2").arg(proto::kEngine, proto::kEngineFast);
    return options.join('&');
}

} // namespace

QString QImageTask::cacheFilePath(const QString& photoPath, bool keepShadow, bool fast)
{
    return QCutoutCache().entryPath(photoPath, cacheVariant(keepShadow, fast));
}

void QImageTask::run()
{
    try {
        const QString cachePath = m_cache.entryPath(m_filePath, cacheVariant(m_keepShadow, m_fast));
        if (cachePath.isEmpty() || !loadFromCache(cachePath)) {
            QString error;
            QMattingClient client(m_serviceUrl, QUser::Instance()->getMacCode(), m_type, m_keepShadow,
                                  m_fast);
            client.cancelWhen(&m_cancelled);
            QMattingClient::Cutout fetched;
            // A cancelled photo counts as settled: it is not worth restarting the service for.
            const auto attempt = [&](QString* why) {
                fetched = client.matte(m_filePath, why);
                return !fetched.image.empty() || m_cancelled;
            };
            if (!QServiceLauncher::runWithRestart(m_serviceUrl, attempt, &error) || fetched.image.empty()) {
                emit signal_error(error);
                return;
            }
            setCutout(fetched.image);
            // A cache that cannot be written only costs the next run an upload.
            if (!cachePath.isEmpty() && m_cache.store(cachePath, fetched.png, &error))
                rememberCacheEntry(cachePath);
            else
                BRISEL_LOG(1, QStringLiteral("cut-out not cached at %1: %2").arg(cachePath, error));
        }
        if (m_previewSide > 0)
            makePreview();
        emit signal_success(m_id);
    } catch (const std::exception& e) {
        // Out of memory while decoding a huge cut-out, an OpenCV assertion: the
        // task still ends with exactly one signal.
        BRISEL_LOG(1, QStringLiteral("matting %1: %2").arg(m_filePath, QString::fromLocal8Bit(e.what())));
        emit signal_error(tr("Image matting failed: %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

bool QImageTask::loadFromCache(const QString& cachePath)
{
    const cv::Mat image = m_cache.load(cachePath, QCutoutCache::uprightSize(m_filePath));
    if (image.empty())
        return false;
    setCutout(image);
    rememberCacheEntry(cachePath);
    return true;
}

void QImageTask::setCutout(const cv::Mat& image)
{
    const QMutexLocker lock(&m_mutex);
    m_cutout = image;
    m_sourceSize = QSize(image.cols, image.rows);
}

void QImageTask::rememberCacheEntry(const QString& cachePath)
{
    const QMutexLocker lock(&m_mutex);
    m_cachePath = cachePath;
}

cv::Mat QImageTask::previewOf(const cv::Mat& cutout, int side)
{
    const int longest = std::max(cutout.cols, cutout.rows);
    if (longest <= side)
        return cutout.clone();
    const double scale = double(side) / longest;
    cv::Mat small;
    cv::resize(cutout, small, cv::Size(), scale, scale, cv::INTER_AREA);
    return small;
}

void QImageTask::makePreview()
{
    const cv::Mat small = previewOf(cutout(), m_previewSide);
    {
        const QMutexLocker lock(&m_mutex);
        m_preview = small;
    }
    releaseCutout();
}

cv::Mat QImageTask::preview() const
{
    const QMutexLocker lock(&m_mutex);
    return m_preview;
}

cv::Mat QImageTask::cutout() const
{
    const QMutexLocker lock(&m_mutex);
    return m_cutout;
}

bool QImageTask::releaseCutout()
{
    const QMutexLocker lock(&m_mutex);
    if (m_cutout.empty() || m_cachePath.isEmpty())
        return false;
    m_cutout.release();
    m_released = true;
    return true;
}

bool QImageTask::isCutoutReleased() const
{
    const QMutexLocker lock(&m_mutex);
    return m_released;
}

cv::Mat QImageTask::loadCutout(QString* error) const
{
    QString cachePath;
    {
        const QMutexLocker lock(&m_mutex);
        if (!m_released)
            return m_cutout;
        cachePath = m_cachePath;
    }
    // Read outside the lock: a decode of megabytes must not hold up cutout().
    const cv::Mat image = m_cache.load(cachePath, m_sourceSize);
    if (image.empty()) {
        BRISEL_LOG(1, QStringLiteral("cut-out of %1 not readable from %2").arg(m_filePath, cachePath));
        if (error)
            *error = tr("The result of %1 is no longer in the cache; the photo has to be matted again.")
                         .arg(QFileInfo(m_filePath).fileName());
        return cv::Mat();
    }
    return image;
}
