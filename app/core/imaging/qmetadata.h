#pragma once

#include <QByteArray>
#include <QString>

// Carries what a result should keep of its photo's metadata into the result's
// encoded bytes (PNG, JPEG or WebP), before they reach the disk:
// - the colour profile, since the pixels are still in the photo's colour space
//   (a result of a photo without one is sRGB: the caller marks a PNG so);
// - the Exif tags, with the orientation set to 1 (the pixels were turned upright
//   when the photo was read) and the tags that describe the old file dropped
//   (thumbnail, pixel size, resolution: the writer's density is the one that counts);
// - unless keepPrivate, without the location (the GPS tags) and without whatever
//   names the camera (body, lens and camera serial numbers, and the whole maker note,
//   where makers keep their own serials).
// XMP and IPTC are not carried: both can repeat the location and serials.
//
// Threads: stateless; any thread.
class QMetadata
{
public:
    QMetadata() = delete;

    struct Carried
    {
        QByteArray bytes;
        // The photo's colour profile went into bytes.
        bool profile = false;
    };

    // encoded with photoPath's metadata. A photo without readable metadata, or a
    // result Exiv2 cannot rewrite, gives encoded unchanged (a save never fails for
    // its metadata's sake; the log says why).
    static Carried carry(const QByteArray& encoded, const QString& photoPath, bool keepPrivate);
};
