#pragma once

#include "qappsettings.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QString>

#include <opencv2/core.hpp>

// Turns a finished picture into its file: PNG, JPG or WebP, a JPG squeezed under a
// size limit by choosing the encoder quality, a printing density written into the
// header, and the metadata of the photo it came from (QMetadata). The caller chooses
// the limit, the density and the photo; this class knows nothing of what the picture
// is. A WebP is lossy at quality 90 with its alpha kept losslessly: a photo's size
// at a quality nobody tells from the original, edges that stay exact.
//
// Threads: encode() and write() touch only their arguments and may run on a work
// pool thread (a 24-megapixel JPG takes a few hundred milliseconds per encoder
// run). The size-limit setting may be read from any thread (CSetting locks).
class QSaveFileWriter
{
    Q_DECLARE_TR_FUNCTIONS(QSaveFileWriter)

public:
    // Binary search over the qualities 1..100 needs at most seven runs.
    static constexpr int kMaxEncoderRuns = 8;
    static constexpr int kMinQuality = 1;
    static constexpr int kMaxQuality = 100;

    // A JPG file-size range in kilobytes (1024 bytes); 0 for no bound.
    struct Kilobytes
    {
        int min = 0;
        int max = 0;
    };
    // Ranges offered beside a typed one, the commonest an ID form asks for.
    static constexpr Kilobytes kCommonRanges[] = {{20, 50}, {10, 30}, {100, 500}};

    struct Options
    {
        SaveFormat format = SaveFormat::Png;
        // Largest JPG file in kilobytes (1024 bytes); 0 for no limit. PNG ignores it.
        int maxKilobytes = 0;
        // Dots per inch written into the header; 0 leaves the encoder's default.
        int dpi = 0;
        // The photo the picture was made from, whose colour profile and Exif tags the
        // file keeps; empty for none. Without a profile the file is sRGB (a PNG says
        // so in an sRGB chunk; a JPG or WebP without a profile is sRGB by convention).
        QString photoPath;
        // Keep the photo's location and camera serial numbers
        // (QAppSettings::keepLocationAndSerials, read on the GUI thread).
        bool keepPrivate = false;
        // Smallest JPG file in kilobytes, reached by raising the quality; 0 for none.
        int minKilobytes = 0;
    };

    struct Result
    {
        QByteArray bytes;
        // JPG or WebP quality of the bytes; 0 for PNG.
        int quality = 0;
        int encoderRuns = 0;
        // Even the lowest quality exceeds the limit: bytes hold that smallest file.
        bool overLimit = false;
        // The best quality within the largest size is still smaller than the
        // smallest: bytes hold that file, the nearest to the range there is.
        bool underLimit = false;
    };

    // image: CV_8UC3 or CV_8UC4 (a JPG drops the alpha). The bytes carry no metadata.
    // False with a message for
    // the user in *error when the encoder refuses the picture.
    static bool encode(const cv::Mat& image, const Options& options, Result* result,
                       QString* error = nullptr);
    // encode(), the photo's metadata (counted against the size limit) and an atomic
    // write to path (its folder is created when missing): the path keeps what it
    // held before unless the whole file was written. result->bytes are the file's.
    static bool write(const QString& path, const cv::Mat& image, const Options& options,
                      Result* result = nullptr, QString* error = nullptr);

    // The same JPEG (JFIF APP0) or PNG (pHYs chunk) with the density set to dpi;
    // other bytes come back unchanged.
    static QByteArray withDensity(const QByteArray& encoded, int dpi);
    // The file name extension of a format: "png", "jpg" or "webp".
    static QString extension(SaveFormat format);

    // Where a result of photoPath goes in folder: the photo's name without its last
    // extension, the local time and ext ("messi5_2026-12-06_21-35-12.png"), with
    // " (2)", " (3)"... when that name exists or was handed out before in this
    // second (a batch of two photos of one name). Single and batch saves both name
    // their files here; any thread.
    static QString outputPath(const QString& folder, const QString& photoPath, const QString& ext,
                              const QDateTime& when = QDateTime::currentDateTime());

    // "output"/"kilobytes" and "output"/"minKilobytes": the size range of saved JPG
    // files, 0 for no bound.
    static int maxKilobytes();
    static void setMaxKilobytes(int kilobytes);
    static int minKilobytes();
    static void setMinKilobytes(int kilobytes);
    static Kilobytes kilobytes() { return {minKilobytes(), maxKilobytes()}; }
    // The message for a result outside options' range; empty when it is inside.
    static QString rangeMessage(const Options& options, const Result& result);
};
