#include "qimagefiles.h"

#include "qimageheader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStorageInfo>

#include <opencv2/imgcodecs.hpp>

#include <climits>

namespace {

// A photo file larger than this is not read into memory at all.
constexpr qint64 kMaxFileBytes = qint64(1) << 30;

bool readWholeFile(const QString& path, std::vector<uchar>* bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    if (size <= 0 || size > kMaxFileBytes)
        return false;
    bytes->resize(size_t(size));
    qint64 done = 0;
    while (done < size) {
        const qint64 n = file.read(reinterpret_cast<char*>(bytes->data()) + done, size - done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Decodes only what the header check lets through, so a forged or cut-off header
// never reaches the decoder's allocation; anything the decoder still rejects gives
// an empty matrix instead of an exception.
cv::Mat decodeChecked(const uchar* data, size_t size, int flags)
{
    if (!QImageHeader::acceptable(data, size))
        return {};
    cv::Mat image;
    try {
        image = cv::imdecode(cv::Mat(1, int(size), CV_8UC1, const_cast<uchar*>(data)), flags);
    } catch (const cv::Exception&) {
        return {};
    }
    if (image.empty() || image.depth() == CV_8U)
        return image;
    if (image.depth() != CV_16U) // floating-point TIFFs and the like: not a photo
        return {};
    cv::Mat eightBit;
    image.convertTo(eightBit, CV_8U, 1.0 / 257.0);
    return eightBit;
}

} // namespace

cv::Mat QImageFiles::read(const QString& path)
{
    std::vector<uchar> bytes;
    if (!readWholeFile(path, &bytes))
        return {};
    return decodeChecked(bytes.data(), bytes.size(), cv::IMREAD_COLOR);
}

cv::Mat QImageFiles::decode(const QByteArray& bytes)
{
    return decodeChecked(reinterpret_cast<const uchar*>(bytes.constData()), size_t(bytes.size()),
                         cv::IMREAD_UNCHANGED);
}

bool QImageFiles::encode(const cv::Mat& mat, const std::string& ext, std::vector<int> params, QByteArray* out)
{
    if (mat.empty() || !out)
        return false;
    // Settings store the format without the dot ("png"); the encoder wants ".png".
    const std::string dotted = !ext.empty() && ext[0] == '.' ? ext : "." + ext;
    std::vector<uchar> buffer;
    try {
        if (!cv::imencode(dotted, mat, buffer, params))
            return false;
    } catch (const cv::Exception&) {
        return false;
    }
    if (buffer.size() > size_t(INT_MAX))
        return false;
    *out = QByteArray(reinterpret_cast<const char*>(buffer.data()), int(buffer.size()));
    return true;
}

bool QImageFiles::writeAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    // QSaveFile writes beside the target and renames on commit; a failed write or
    // commit removes the temporary file and leaves the target as it was.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (error) {
        *error = noRoomMessage(path, bytes.size());
        if (error->isEmpty())
            *error = tr("Could not save \"%1\": %2").arg(QDir::toNativeSeparators(path), file.errorString());
    }
    return false;
}

QString QImageFiles::noRoomMessage(const QString& path, qint64 needed)
{
    const QString folder = QFileInfo(path).absolutePath();
    const QStorageInfo disk(folder);
    if (!disk.isValid() || disk.bytesAvailable() >= needed)
        return QString();
    const QLocale locale;
    return tr("The disk holding %1 is full: \"%2\" needs %3, only %4 are free.")
        .arg(QDir::toNativeSeparators(folder), QFileInfo(path).fileName(), locale.formattedDataSize(needed),
             locale.formattedDataSize(qMax<qint64>(0, disk.bytesAvailable())));
}
