#pragma once

#include <QSize>

#include <cstddef>

// Reads the picture size an encoded image claims, without decoding it. Decoders
// allocate the whole output from the header before they look at the pixel data, so
// a few hundred bytes claiming 100000 x 100000 pixels would cost gigabytes; the
// helpers check the claim here first and refuse what is too large.
//
// Known formats: PNG, JPEG, BMP, WebP and TIFF. Anything else, a header that is cut
// short, or a JPEG whose data stops before its end marker (the decoder would fill
// the missing rows with grey instead of failing) gives an invalid size.
class QImageHeader
{
public:
    // Largest picture the program decodes: about a 300-megapixel panorama, whose
    // colour matrix is already close to a gigabyte.
    static constexpr qint64 kMaxPixels = 300000000;

    static QSize probe(const unsigned char* data, std::size_t size);
    // probe() found a known, complete header within kMaxPixels.
    static bool acceptable(const unsigned char* data, std::size_t size);
};
