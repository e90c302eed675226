#include "qimagefiles.h"

#include "qimageconvert.h"
#include "qimageheader.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLocale>
#include <QSaveFile>
#include <QStorageInfo>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>
#include <cstring>
#include <iterator>

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

bool hasHeifBrand(const uchar* data, size_t size)
{
    static const char* const kBrands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1"};
    if (size < 12 || std::memcmp(data + 4, "ftyp", 4) != 0)
        return false;
    return std::any_of(std::begin(kBrands), std::end(kBrands),
                       [data](const char* brand) { return std::memcmp(data + 8, brand, 4) == 0; });
}

// A HEIF picture through Qt's plugin, turned upright by its own transformations,
// refused above the pixel limit before any pixel is decoded.
QImage decodeHeif(const std::vector<uchar>& bytes)
{
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), int(bytes.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer, "heif");
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > QImageHeader::kMaxPixels)
        return {};
    return reader.read().convertToFormat(QImage::Format_ARGB32);
}

QImage scaledTo(const QImage& image, int maxSide)
{
    if (maxSide <= 0 || std::max(image.width(), image.height()) <= maxSide)
        return image;
    return image.scaled(maxSide, maxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// The decode flags for a colour picture of `stored` size shown at most maxSide
// large: a JPEG decodes at an eighth, quarter or half when that still covers it.
int colourFlags(bool jpeg, QSize stored, int maxSide)
{
    struct Reduced
    {
        int factor;
        int flags;
    };
    constexpr Reduced kReduced[] = {
        {8, cv::IMREAD_REDUCED_COLOR_8}, {4, cv::IMREAD_REDUCED_COLOR_4}, {2, cv::IMREAD_REDUCED_COLOR_2}};
    if (jpeg && maxSide > 0)
        for (const Reduced& r : kReduced)
            if (std::max(stored.width(), stored.height()) / r.factor >= maxSide)
                return r.flags;
    return cv::IMREAD_COLOR;
}

} // namespace

cv::Mat QImageFiles::read(const QString& path)
{
    std::vector<uchar> bytes;
    if (!readWholeFile(path, &bytes))
        return {};
    if (!hasHeifBrand(bytes.data(), bytes.size()))
        return decodeChecked(bytes.data(), bytes.size(), cv::IMREAD_COLOR);
    const QImage heif = decodeHeif(bytes);
    cv::Mat bgr;
    if (!heif.isNull())
        cv::cvtColor(QImageConvert::imageToMat(heif), bgr, cv::COLOR_BGRA2BGR);
    return bgr;
}

QImage QImageFiles::readImage(const QString& path, int maxSide)
{
    std::vector<uchar> bytes;
    if (!readWholeFile(path, &bytes))
        return {};
    if (hasHeifBrand(bytes.data(), bytes.size()))
        return scaledTo(decodeHeif(bytes), maxSide);
    const bool jpeg = bytes.size() > 3 && bytes[0] == 0xFF && bytes[1] == 0xD8;
    // OpenCV turns a picture upright only when asked for colour, which drops alpha;
    // a JPEG has none, so it skips the first decode, and may be decoded reduced.
    cv::Mat image;
    if (!jpeg)
        image = decodeChecked(bytes.data(), bytes.size(), cv::IMREAD_UNCHANGED);
    if (image.empty() || image.channels() != 4)
        image = decodeChecked(bytes.data(), bytes.size(),
                              colourFlags(jpeg, QImageHeader::probe(bytes.data(), bytes.size()), maxSide));
    if (image.empty())
        return {};
    try {
        cv::Mat bgra = image;
        if (image.channels() != 4)
            cv::cvtColor(image, bgra, cv::COLOR_BGR2BGRA);
        if (maxSide > 0 && std::max(bgra.cols, bgra.rows) > maxSide) {
            const double s = double(maxSide) / std::max(bgra.cols, bgra.rows);
            cv::resize(bgra, bgra, cv::Size(), s, s, cv::INTER_AREA);
        }
        return QImage(bgra.data, bgra.cols, bgra.rows, int(bgra.step), QImage::Format_ARGB32).copy();
    } catch (const cv::Exception&) {
        return {}; // out of memory for the copy
    }
}

QStringList QImageFiles::photoSuffixes()
{
    return {QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("png"), QStringLiteral("bmp"),
            QStringLiteral("webp"), QStringLiteral("heic"), QStringLiteral("heif")};
}

bool QImageFiles::isHeif(const QString& path)
{
    QFile file(path);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(12) : QByteArray();
    return hasHeifBrand(reinterpret_cast<const uchar*>(head.constData()), size_t(head.size()));
}

bool QImageFiles::heifReadable()
{
    return QImageReader::supportedImageFormats().contains("heif");
}

QString QImageFiles::missingReader(const QString& path)
{
    if (!isHeif(path) || heifReadable())
        return QString();
    return tr(
        "HEIC photos need the package kimageformat-plugins (or qt-heif-image-plugin). Please install it "
        "and start Brisel again, or save the photo as JPG first.");
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
