#pragma once
// A camera's metadata put into and read out of picture files with Exiv2, for the
// suites that check what a saved file keeps. Header-only; link PkgConfig::EXIV2.

#include <QByteArray>
#include <QColorSpace>
#include <QFile>
#include <QString>

#include <exiv2/exiv2.hpp>
#include <opencv2/core.hpp>

#include <utility>

namespace photometadata {

const char* const kTaken = "2024:05:01 10:20:30";

// The upright picture stored as a camera turned against EXIF `orientation` (1-8):
// per tag, a transpose or not, then a cv::flip code (2: none).
inline cv::Mat turnedAgainst(const cv::Mat& upright, int orientation)
{
    static const std::pair<bool, int> undo[] = {{false, 2}, {false, 1}, {false, -1}, {false, 0},
                                                {true, 2},  {true, 0},  {true, -1},  {true, 1}};
    const auto [transpose, flip] = undo[qBound(1, orientation, 8) - 1];
    cv::Mat stored = transpose ? cv::Mat(upright.t()) : upright.clone();
    if (flip != 2)
        cv::flip(stored.clone(), stored, flip);
    return stored;
}

inline QByteArray displayP3()
{
    return QColorSpace(QColorSpace::DisplayP3).iccProfile();
}

// Tags the picture at path: its orientation (1-8) and capture date, unless
// orientation is 0; with privateTags a latitude and body and lens serials; with
// profile the Display P3 profile.
inline void tag(const QString& path, int orientation, bool profile, bool privateTags)
{
    const auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    Exiv2::ExifData& exif = image->exifData();
    if (orientation > 0) {
        exif["Exif.Image.Orientation"] = uint16_t(orientation);
        exif["Exif.Photo.DateTimeOriginal"] = kTaken;
    }
    if (privateTags) {
        exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
        exif["Exif.GPSInfo.GPSLatitude"] = "48/1 51/1 24/1";
        exif["Exif.Photo.BodySerialNumber"] = "BODY-0042";
        exif["Exif.Photo.LensSerialNumber"] = "LENS-0042";
    }
    if (profile) {
        const QByteArray icc = displayP3();
        Exiv2::DataBuf buffer(reinterpret_cast<const Exiv2::byte*>(icc.constData()), icc.size());
        image->setIccProfile(buffer);
    }
    image->writeMetadata();
}

// What a saved file says; empty strings for absent tags.
struct Found
{
    QString orientation, taken, latitude, bodySerial, lensSerial;
    QByteArray profile;
};

inline Found read(const QString& path)
{
    const auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    const Exiv2::ExifData& exif = image->exifData();
    const auto value = [&exif](const char* key) {
        const auto tag = exif.findKey(Exiv2::ExifKey(key));
        return tag == exif.end() ? QString() : QString::fromStdString(tag->toString());
    };
    const Exiv2::DataBuf* icc = image->iccProfile();
    return {value("Exif.Image.Orientation"),
            value("Exif.Photo.DateTimeOriginal"),
            value("Exif.GPSInfo.GPSLatitude"),
            value("Exif.Photo.BodySerialNumber"),
            value("Exif.Photo.LensSerialNumber"),
            QByteArray(reinterpret_cast<const char*>(icc->pData_), int(icc->size_))};
}

} // namespace photometadata
