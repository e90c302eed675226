#include "qcutoutcache.h"

#include "cglobal.h"
#include "csetting.h"
#include "logger.h"
#include "qimagefiles.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

// Enough to tell apart two photos that share a name, a size and a time (two
// exports of one camera, a copy edited in place by a tool that keeps the time)
// without reading whole files of tens of megabytes on every open.
constexpr qint64 kFingerprintBytes = 64 * 1024;

// Whole seconds are too coarse: a photo saved twice within a second by an editor
// would keep its old entry.
qint64 modifiedNs(const QString& path)
{
#ifdef Q_OS_UNIX
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#endif
    return QFileInfo(path).lastModified().toMSecsSinceEpoch() * 1000000;
}

QByteArray fingerprint(QFile& photo)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(photo.read(kFingerprintBytes));
    if (photo.size() > kFingerprintBytes &&
        photo.seek(qMax(kFingerprintBytes, photo.size() - kFingerprintBytes)))
        hash.addData(photo.read(kFingerprintBytes));
    return hash.result().toHex();
}

} // namespace

QCutoutCache::QCutoutCache()
    : QCutoutCache(
          CGlobal::getAppDataPath() + QStringLiteral("cache"),
          qint64(qMax(1, CSetting::getInt(QStringLiteral("cache"), QStringLiteral("limitMB"), kDefaultCapMb)))
              << 20)
{
}

QCutoutCache::QCutoutCache(const QString& folder, qint64 capBytes) : m_folder(folder), m_capBytes(capBytes) {}

QString QCutoutCache::entryPath(const QString& photoPath, const QString& variant) const
{
    const QFileInfo info(photoPath);
    QFile photo(photoPath);
    if (!photo.open(QIODevice::ReadOnly))
        return QString();
    QByteArray key = info.canonicalFilePath().toUtf8() + '\n' + QByteArray::number(photo.size()) + '\n' +
                     QByteArray::number(modifiedNs(photoPath)) + '\n' + fingerprint(photo);
    if (!variant.isEmpty()) // plain entries keep the names they always had
        key += '\n' + variant.toUtf8();
    return m_folder + QLatin1Char('/') +
           QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex()) +
           QStringLiteral(".png");
}

QSize QCutoutCache::uprightSize(const QString& photoPath)
{
    QImageReader reader(photoPath);
    QSize size = reader.size();
    if (reader.transformation() & QImageIOHandler::TransformationRotate90)
        size.transpose();
    return size;
}

cv::Mat QCutoutCache::load(const QString& entry, const QSize& size) const
{
    QFile file(entry);
    if (!file.open(QIODevice::ReadOnly))
        return cv::Mat();
    const cv::Mat image = QImageFiles::decode(file.readAll());
    if (image.empty() || image.cols != size.width() || image.rows != size.height()) {
        // Damaged by a full disk or a crash, or not this photo's cut-out at all.
        BRISEL_LOG(1, QStringLiteral("dropping cache entry %1: %2x%3, the photo is %4x%5")
                          .arg(entry)
                          .arg(image.cols)
                          .arg(image.rows)
                          .arg(size.width())
                          .arg(size.height()));
        file.close();
        QFile::remove(entry);
        return cv::Mat();
    }
    // The eviction order: an entry in use is the last to go.
    file.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
    return image;
}

bool QCutoutCache::store(const QString& entry, const QByteArray& png, QString* error) const
{
    if (!QDir().mkpath(m_folder)) {
        *error = tr("The folder %1 could not be created.").arg(QDir::toNativeSeparators(m_folder));
        return false;
    }
    if (!QImageFiles::writeAtomically(entry, png, error))
        return false;
    evict(entry);
    return true;
}

void QCutoutCache::evict(const QString& keep) const
{
    const QFileInfoList entries =
        QDir(m_folder).entryInfoList({QStringLiteral("*.png")}, QDir::Files, QDir::Time | QDir::Reversed);
    const QString kept = QFileInfo(keep).fileName();
    qint64 used = 0;
    for (const QFileInfo& entry : entries)
        used += entry.size();
    for (const QFileInfo& entry : entries) {
        if (used <= m_capBytes)
            break;
        if (entry.fileName() == kept)
            continue;
        // Another worker may have removed it first; its bytes are gone either way.
        const qint64 size = entry.size();
        QFile::remove(entry.filePath());
        used -= size;
    }
}

QCutoutCache::Cleared QCutoutCache::clear() const
{
    Cleared cleared;
    const QFileInfoList entries = QDir(m_folder).entryInfoList({QStringLiteral("*.png")}, QDir::Files);
    for (const QFileInfo& entry : entries) {
        const qint64 size = entry.size();
        if (QFile::remove(entry.filePath())) {
            ++cleared.removed;
            cleared.freed += size;
        } else {
            ++cleared.failed;
        }
    }
    return cleared;
}

qint64 QCutoutCache::usedBytes() const
{
    qint64 used = 0;
    for (const QFileInfo& entry : QDir(m_folder).entryInfoList({QStringLiteral("*.png")}, QDir::Files))
        used += entry.size();
    return used;
}
