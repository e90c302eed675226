#include "qmetadata.h"

#include "logger.h"

#include <QFile>

#include <exiv2/exiv2.hpp>

#include <mutex>
#include <set>
#include <string>

namespace {

// IFDs of the photo itself; the rest (thumbnail, sub-images) describe other pictures.
const std::set<std::string> kPhotoGroups{"Image", "Photo", "Iop", "GPSInfo"};
// Tags that were true of the photo's file and are wrong for the result's.
const std::set<std::string> kFileTags{"Exif.Image.Orientation",     "Exif.Image.ImageWidth",
                                      "Exif.Image.ImageLength",     "Exif.Photo.PixelXDimension",
                                      "Exif.Photo.PixelYDimension", "Exif.Image.XResolution",
                                      "Exif.Image.YResolution",     "Exif.Image.ResolutionUnit"};
const std::set<std::string> kSerialTags{"Exif.Photo.BodySerialNumber", "Exif.Photo.LensSerialNumber",
                                        "Exif.Image.CameraSerialNumber", "Exif.Photo.MakerNote"};

void prepareExiv2()
{
    // The XMP toolkit a photo's XMP packet wakes up is not safe to start from two
    // threads at once; Exiv2's warnings about odd makers' tags belong in no terminal.
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::XmpParser::initialize();
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::enableBMFF(true);
    });
}

bool isMakerNote(const std::string& group)
{
    return group == "MakerNote" || Exiv2::ExifTags::isMakerGroup(group);
}

bool kept(const Exiv2::Exifdatum& tag, bool keepPrivate)
{
    const std::string group = tag.groupName();
    if (kFileTags.count(tag.key()))
        return false;
    if (keepPrivate)
        return kPhotoGroups.count(group) || isMakerNote(group);
    return kPhotoGroups.count(group) && group != "GPSInfo" && !kSerialTags.count(tag.key());
}

} // namespace

QMetadata::Carried QMetadata::carry(const QByteArray& encoded, const QString& photoPath, bool keepPrivate)
{
    Carried result;
    result.bytes = encoded;
    if (photoPath.isEmpty() || encoded.isEmpty())
        return result;
    prepareExiv2();
    try {
        const auto photo = Exiv2::ImageFactory::open(QFile::encodeName(photoPath).toStdString());
        photo->readMetadata();
        Exiv2::ExifData exif;
        for (const Exiv2::Exifdatum& tag : photo->exifData())
            if (kept(tag, keepPrivate))
                exif.add(tag);
        if (!exif.empty())
            exif["Exif.Image.Orientation"] = uint16_t(1);

        const auto target = Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte*>(encoded.constData()), encoded.size());
        target->readMetadata();
        target->setExifData(exif);
        if (photo->iccProfileDefined()) {
            target->setIccProfile(*photo->iccProfile(), true);
            result.profile = true;
        }
        if (exif.empty() && !result.profile)
            return result;
        target->writeMetadata();
        Exiv2::BasicIo& io = target->io();
        io.open();
        const Exiv2::DataBuf written = io.read(long(io.size()));
        io.close();
        result.bytes = QByteArray(reinterpret_cast<const char*>(written.pData_), int(written.size_));
    } catch (const std::exception& e) {
        // Exiv2's own errors and a bad_alloc alike: the result goes out without.
        BRISEL_LOG(1, QStringLiteral("metadata of %1 not carried: %2")
                          .arg(photoPath, QString::fromLocal8Bit(e.what())));
        result = Carried{encoded, false};
    }
    return result;
}
