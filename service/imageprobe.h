#pragma once
// Reads an uploaded photo's format and size from its header and checks that the
// file is not cut short, without decoding any pixels. OpenCV happily decodes a
// JPEG that stops mid-scan (grey streaks and all), and decoding a 400-megapixel
// bomb only to refuse it would cost gigabytes, so both checks come first.

#include <cstddef>
#include <string>

class ImageProbe
{
public:
    enum class Format
    {
        Unknown,
        Png,
        Jpeg,
        Bmp,
        Webp
    };

    struct Info
    {
        Format format = Format::Unknown;
        int width = 0; // as stored, before any EXIF rotation
        int height = 0;
        bool complete = false; // every declared segment is present up to the end marker
        double megapixels() const { return double(width) * double(height) / 1e6; }
    };

    static Info probe(const unsigned char* data, std::size_t size);
    static Info probe(const std::string& bytes)
    {
        return probe(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    }
};
