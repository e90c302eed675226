#include "qsavefilewriter.h"

#include "csetting.h"
#include "qimagefiles.h"
#include "qmetadata.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QSet>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <array>
#include <vector>

namespace {

constexpr double kMetresPerInch = 0.0254;
constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";
constexpr int kPngSignatureSize = 8;
constexpr int kJfifUnitsOffset = 13; // after SOI, marker, length, "JFIF\0", version
constexpr int kWebpQuality = 90;

quint32 crc32(const char* data, int size)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 c = 0xFFFFFFFFu;
    for (int i = 0; i < size; ++i)
        c = table[(c ^ quint8(data[i])) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void appendBigEndian(QByteArray& out, quint32 value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

quint32 readBigEndian(const QByteArray& in, int at, int bytes)
{
    quint32 value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | quint8(in.at(at + i));
    return value;
}

bool isJfif(const QByteArray& b)
{
    return b.size() > kJfifUnitsOffset + 4 && quint8(b[0]) == 0xFF && quint8(b[1]) == 0xD8 &&
           quint8(b[2]) == 0xFF && quint8(b[3]) == 0xE0 && b.mid(6, 5) == QByteArray("JFIF\0", 5);
}

QByteArray jpegWithDensity(QByteArray bytes, int dpi)
{
    if (!isJfif(bytes)) {
        // No JFIF segment to amend: put a standard one right after the start marker.
        QByteArray app0("\xFF\xE0\x00\x10JFIF\x00\x01\x01", 11);
        app0.append(char(1));
        appendBigEndian(app0, quint32(dpi), 2);
        appendBigEndian(app0, quint32(dpi), 2);
        app0.append(2, char(0)); // no thumbnail
        return bytes.insert(2, app0);
    }
    bytes[kJfifUnitsOffset] = char(1); // dots per inch
    QByteArray density;
    appendBigEndian(density, quint32(dpi), 2);
    appendBigEndian(density, quint32(dpi), 2);
    return bytes.replace(kJfifUnitsOffset + 1, 4, density);
}

// The same PNG with one chunk of `type` holding data. Chunks are copied in order; the
// new one follows IHDR (density and colour chunks must come before the image data)
// and any chunk of that type the encoder wrote is dropped.
QByteArray pngWithChunk(const QByteArray& bytes, const QByteArray& type, const QByteArray& data)
{
    const QByteArray body = type + data;
    QByteArray chunk;
    appendBigEndian(chunk, quint32(data.size()), 4);
    chunk.append(body);
    appendBigEndian(chunk, crc32(body.constData(), body.size()), 4);

    QByteArray out = bytes.left(kPngSignatureSize);
    int at = kPngSignatureSize;
    while (at + 12 <= bytes.size()) {
        const int length = int(readBigEndian(bytes, at, 4));
        if (length < 0 || at + 12 + length > bytes.size())
            return bytes; // damaged: leave it to the reader to complain
        const QByteArray found = bytes.mid(at + 4, 4);
        if (found != type)
            out.append(bytes.constData() + at, 12 + length);
        if (found == "IHDR")
            out.append(chunk);
        at += 12 + length;
    }
    return at == bytes.size() ? out : bytes;
}

QByteArray pngWithDensity(const QByteArray& bytes, int dpi)
{
    const quint32 perMetre = quint32(dpi / kMetresPerInch + 0.5);
    QByteArray phys;
    appendBigEndian(phys, perMetre, 4);
    appendBigEndian(phys, perMetre, 4);
    phys.append(char(1)); // unit: metre
    return pngWithChunk(bytes, "pHYs", phys);
}

bool encodeJpg(const cv::Mat& image, int quality, QByteArray* out)
{
    return QImageFiles::encode(image, ".jpg", {cv::IMWRITE_JPEG_QUALITY, quality}, out);
}

// The limit left for the pixels once the photo's metadata, which does not shrink
// with the quality, is in the file: measured on a tiny JPG, rounded up to a kilobyte.
int pixelKilobytes(const QSaveFileWriter::Options& options)
{
    if (options.format != SaveFormat::Jpg || options.maxKilobytes <= 0 || options.photoPath.isEmpty())
        return options.maxKilobytes;
    QByteArray tiny;
    if (!encodeJpg(cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(128)), 50, &tiny))
        return options.maxKilobytes;
    const qint64 overhead =
        QMetadata::carry(tiny, options.photoPath, options.keepPrivate).bytes.size() - tiny.size();
    return qMax(1, options.maxKilobytes - int((overhead + 1023) / 1024));
}

QByteArray withMetadata(const QByteArray& bytes, const QSaveFileWriter::Options& options)
{
    const QMetadata::Carried carried = QMetadata::carry(bytes, options.photoPath, options.keepPrivate);
    if (carried.profile || options.format != SaveFormat::Png)
        return carried.bytes;
    return pngWithChunk(carried.bytes, "sRGB", QByteArray(1, '\0')); // perceptual intent
}

} // namespace

bool QSaveFileWriter::encode(const cv::Mat& image, const Options& options, Result* result, QString* error)
{
    Result local;
    Result& r = result ? *result : local;
    r = Result();
    cv::Mat pixels = image;
    bool encoded = false;
    if (options.format == SaveFormat::Jpg) {
        if (image.type() == CV_8UC4)
            cv::cvtColor(image, pixels, cv::COLOR_BGRA2BGR);
        const qint64 limit = qint64(options.maxKilobytes) * 1024;
        const qint64 least = qint64(options.minKilobytes) * 1024;
        if (limit <= 0) {
            r.quality = 95; // the encoder's own default
            encoded = encodeJpg(pixels, r.quality, &r.bytes);
            r.encoderRuns = 1;
            if (encoded && r.bytes.size() < least) {
                r.quality = kMaxQuality;
                encoded = encodeJpg(pixels, r.quality, &r.bytes);
                r.encoderRuns = 2;
            }
        } else {
            // The file shrinks as the quality falls: find the highest quality that
            // fits, keeping the smallest file seen in case none does.
            int low = kMinQuality;
            int high = kMaxQuality;
            QByteArray smallest;
            int smallestQuality = 0;
            while (low <= high) {
                const int quality = (low + high) / 2;
                QByteArray bytes;
                ++r.encoderRuns;
                if (!encodeJpg(pixels, quality, &bytes))
                    break;
                encoded = true;
                if (smallest.isEmpty() || bytes.size() < smallest.size()) {
                    smallest = bytes;
                    smallestQuality = quality;
                }
                if (bytes.size() <= limit) {
                    r.bytes = bytes;
                    r.quality = quality;
                    low = quality + 1;
                } else {
                    high = quality - 1;
                }
            }
            if (encoded && r.bytes.isEmpty()) {
                r.bytes = smallest;
                r.quality = smallestQuality;
                r.overLimit = true;
            }
        }
        // The highest quality under the limit makes the largest file that fits, so
        // one smaller than the range means none lies inside it.
        r.underLimit = encoded && !r.overLimit && r.bytes.size() < least;
    } else if (options.format == SaveFormat::Webp) {
        r.quality = kWebpQuality;
        encoded = QImageFiles::encode(pixels, ".webp", {cv::IMWRITE_WEBP_QUALITY, r.quality}, &r.bytes);
        r.encoderRuns = 1;
    } else {
        encoded = QImageFiles::encode(pixels, ".png", {}, &r.bytes);
        r.encoderRuns = 1;
    }
    if (!encoded || r.bytes.isEmpty()) {
        if (error)
            *error = tr("The picture could not be encoded as %1.").arg(extension(options.format).toUpper());
        return false;
    }
    if (options.dpi > 0)
        r.bytes = withDensity(r.bytes, options.dpi);
    return true;
}

bool QSaveFileWriter::write(const QString& path, const cv::Mat& image, const Options& options, Result* result,
                            QString* error)
{
    Result local;
    Result& r = result ? *result : local;
    Options pixels = options;
    pixels.maxKilobytes = pixelKilobytes(options);
    if (!encode(image, pixels, &r, error))
        return false;
    r.bytes = withMetadata(r.bytes, options);
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = tr("Could not save \"%1\": the folder \"%2\" cannot be created.")
                         .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(folder));
        return false;
    }
    return QImageFiles::writeAtomically(path, r.bytes, error);
}

QByteArray QSaveFileWriter::withDensity(const QByteArray& encoded, int dpi)
{
    if (dpi <= 0 || dpi > 0xFFFF)
        return encoded;
    if (encoded.startsWith(QByteArray(kPngSignature, kPngSignatureSize)))
        return pngWithDensity(encoded, dpi);
    if (encoded.size() > 3 && quint8(encoded[0]) == 0xFF && quint8(encoded[1]) == 0xD8)
        return jpegWithDensity(encoded, dpi);
    return encoded;
}

QString QSaveFileWriter::extension(SaveFormat format)
{
    switch (format) {
    case SaveFormat::Jpg:
        return QStringLiteral("jpg");
    case SaveFormat::Webp:
        return QStringLiteral("webp");
    case SaveFormat::Png:
        break;
    }
    return QStringLiteral("png");
}

QString QSaveFileWriter::outputPath(const QString& folder, const QString& photoPath, const QString& ext,
                                    const QDateTime& when)
{
    // A name is written some time after it is handed out, so existence alone does
    // not keep two saves of the same second apart. Names of earlier seconds cannot
    // collide with later ones, so only the current second's are kept.
    static QMutex mutex;
    static QString reservedStamp;
    static QSet<QString> reserved;
    const QString stamp = when.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    const QString stem = QStringLiteral("%1/%2_%3")
                             .arg(QDir::cleanPath(folder), QFileInfo(photoPath).completeBaseName(), stamp);
    QMutexLocker lock(&mutex);
    if (stamp != reservedStamp) {
        reservedStamp = stamp;
        reserved.clear();
    }
    QString path = stem + '.' + ext;
    for (int n = 2; reserved.contains(path) || QFileInfo::exists(path); ++n)
        path = QStringLiteral("%1 (%2).%3").arg(stem, QString::number(n), ext);
    reserved.insert(path);
    return path;
}

int QSaveFileWriter::maxKilobytes()
{
    return qMax(0, CSetting::getInt("output", "kilobytes", 0));
}

void QSaveFileWriter::setMaxKilobytes(int kilobytes)
{
    CSetting::setValue("output", "kilobytes", qMax(0, kilobytes));
}

int QSaveFileWriter::minKilobytes()
{
    return qMax(0, CSetting::getInt("output", "minKilobytes", 0));
}

void QSaveFileWriter::setMinKilobytes(int kilobytes)
{
    CSetting::setValue("output", "minKilobytes", qMax(0, kilobytes));
}

QString QSaveFileWriter::rangeMessage(const Options& options, const Result& result)
{
    const int reached = int((result.bytes.size() + 1023) / 1024);
    if (result.overLimit)
        return tr("Even at the lowest quality the picture takes %1 KB, more than the %2 KB set for the "
                  "output file size. It was saved at that smallest size.")
            .arg(reached)
            .arg(options.maxKilobytes);
    if (result.underLimit)
        return tr("Even at the best quality the picture takes only %1 KB, less than the %2 KB set for the "
                  "output file size. It was saved at that nearest size.")
            .arg(reached)
            .arg(options.minKilobytes);
    return QString();
}
