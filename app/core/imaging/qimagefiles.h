#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QImage>
#include <QString>
#include <QStringList>

#include <opencv2/core.hpp>

#include <string>
#include <vector>

// Image files and bytes through Qt's file layer, so any path works. Stateless;
// every function touches only its arguments and may run on any thread.
// Matrices are 8 bits per channel, blue-green-red(-alpha).
class QImageFiles
{
    Q_DECLARE_TR_FUNCTIONS(QImageFiles)

public:
    QImageFiles() = delete;

    // The photo at path as CV_8UC3, turned upright by its EXIF orientation; empty
    // when the file cannot be read or is not a complete PNG, JPEG, BMP, WebP or TIFF
    // of at most QImageHeader::kMaxPixels pixels, nor a HEIC/HEIF of that size that
    // the system's Qt image plugins read (heifReadable()).
    static cv::Mat read(const QString& path);
    // The picture at path for showing it: turned upright exactly as read() turns it,
    // alpha kept (a file with alpha carries no orientation worth turning), in
    // QImage::Format_ARGB32. With maxSide > 0 a larger picture comes back scaled to
    // that long side, a JPEG decoded at a reduced size on the way. Null on read()'s
    // failures. Every view of a photo or background picture reads through here or
    // read(), so all of them agree which way up it is.
    static QImage readImage(const QString& path, int maxSide = 0);
    // The extensions (lower case, no dot) of the photos the program opens: what the
    // pickers offer and what a drop may bring. HEIC and HEIF are among them even
    // without a reader, so the user learns what to install (missingReader()).
    static QStringList photoSuffixes();
    // The file at path starts like a HEIC/HEIF picture (an ISO "ftyp" box of a HEIF
    // brand), which OpenCV and the matting service do not decode.
    static bool isHeif(const QString& path);
    // A Qt image plugin for HEIF is installed.
    static bool heifReadable();
    // Why the picture at path cannot be opened on this system before anything is
    // decoded, naming what to install (a HEIC without a HEIF plugin); empty otherwise.
    static QString missingReader(const QString& path);
    // The image as stored (alpha kept, no EXIF turn), 8 bits per channel; empty on
    // the same failures as read.
    static cv::Mat decode(const QByteArray& bytes);

    // Encodes mat into *out by the extension (".png", ".jpg"; "png" works too);
    // false (and *out untouched) when the matrix is empty, the extension unknown or
    // the encoder refuses it.
    static bool encode(const cv::Mat& mat, const std::string& ext, std::vector<int> params, QByteArray* out);
    // Writes bytes to a temporary file in path's folder and renames it over path,
    // so path holds either its old content or all of bytes, never a part. On failure
    // returns false with a readable, translated reason in *error.
    static bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);
    // What a failed write of `needed` bytes to path tells the user when the disk
    // lacks the room (the folder, the space needed and free); empty when the room
    // is there and the failure had another cause.
    static QString noRoomMessage(const QString& path, qint64 needed);
};
