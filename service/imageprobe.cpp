#include "imageprobe.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

using Info = ImageProbe::Info;
using Format = ImageProbe::Format;

std::uint32_t be32(const unsigned char* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}
std::uint32_t be16(const unsigned char* p)
{
    return (std::uint32_t(p[0]) << 8) | p[1];
}
std::uint32_t le16(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8);
}
std::uint32_t le24(const unsigned char* p)
{
    return le16(p) | (std::uint32_t(p[2]) << 16);
}
std::uint32_t le32(const unsigned char* p)
{
    return le24(p) | (std::uint32_t(p[3]) << 24);
}

// Dimensions that do not fit an int are refused like any other broken header.
bool setSize(Info& info, std::uint64_t w, std::uint64_t h)
{
    if (w == 0 || h == 0 || w > 0x7fffffff || h > 0x7fffffff)
        return false;
    info.width = int(w);
    info.height = int(h);
    return true;
}

Info probePng(const unsigned char* d, std::size_t n)
{
    Info info;
    if (n < 33 || be32(d + 8) != 13 || std::memcmp(d + 12, "IHDR", 4) != 0)
        return info;
    if (!setSize(info, be32(d + 16), be32(d + 20)))
        return info;
    info.format = Format::Png;
    std::size_t pos = 8;
    while (pos + 12 <= n) {
        const std::uint64_t end = pos + 12 + std::uint64_t(be32(d + pos));
        if (end > n)
            return info;
        if (std::memcmp(d + pos + 4, "IEND", 4) == 0) {
            info.complete = true;
            return info;
        }
        pos = std::size_t(end);
    }
    return info;
}

bool isStartOfFrame(unsigned char m)
{
    return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

// Walks the marker segments; after each start-of-scan it skips the entropy-coded
// data (where 0xFF is followed by 0x00 or a restart marker) to the next marker. The
// file is complete only when the end-of-image marker is reached this way.
Info probeJpeg(const unsigned char* d, std::size_t n)
{
    Info info;
    bool sawFrame = false;
    std::size_t pos = 2;
    while (pos + 1 < n) {
        if (d[pos] != 0xFF)
            return info;
        const unsigned char m = d[pos + 1];
        if (m == 0xFF) { // fill byte
            ++pos;
            continue;
        }
        if (m == 0xD9) {
            info.complete = sawFrame;
            return info;
        }
        if ((m >= 0xD0 && m <= 0xD7) || m == 0x01) {
            pos += 2;
            continue;
        }
        if (pos + 4 > n)
            return info;
        const std::size_t segEnd = pos + 2 + be16(d + pos + 2);
        if (segEnd > n)
            return info;
        if (isStartOfFrame(m) && !sawFrame) {
            if (segEnd < pos + 9 || !setSize(info, be16(d + pos + 7), be16(d + pos + 5)))
                return info;
            info.format = Format::Jpeg;
            sawFrame = true;
        }
        pos = segEnd;
        if (m == 0xDA) {
            if (!sawFrame)
                return info;
            while (pos + 1 < n &&
                   !(d[pos] == 0xFF && d[pos + 1] != 0 && (d[pos + 1] < 0xD0 || d[pos + 1] > 0xD7)))
                ++pos;
        }
    }
    return info;
}

Info probeBmp(const unsigned char* d, std::size_t n)
{
    Info info;
    if (n < 26)
        return info;
    const std::uint32_t dataOffset = le32(d + 10);
    const std::uint32_t headerSize = le32(d + 14);
    std::int64_t w = 0, h = 0;
    std::uint32_t bpp = 0, compression = 0;
    if (headerSize == 12) {
        w = le16(d + 18);
        h = le16(d + 20);
        bpp = le16(d + 24);
    } else if (headerSize >= 40 && n >= 34) {
        w = std::int32_t(le32(d + 18));
        h = std::int32_t(le32(d + 22));
        bpp = le16(d + 28);
        compression = le32(d + 30);
    } else {
        return info;
    }
    if (w <= 0 || !setSize(info, std::uint64_t(w), std::uint64_t(std::llabs(h))))
        return info;
    info.format = Format::Bmp;
    if (compression == 0 || compression == 3) { // uncompressed rows padded to 4 bytes
        const std::uint64_t stride = ((std::uint64_t(w) * bpp + 31) / 32) * 4;
        info.complete = bpp > 0 && std::uint64_t(dataOffset) + stride * std::uint64_t(info.height) <= n;
    } else {
        const std::uint32_t declared = le32(d + 2);
        info.complete = declared > dataOffset && declared <= n;
    }
    return info;
}

Info probeWebp(const unsigned char* d, std::size_t n)
{
    Info info;
    if (n < 30)
        return info;
    const unsigned char* chunk = d + 12;
    bool ok = false;
    if (std::memcmp(chunk, "VP8 ", 4) == 0 && d[23] == 0x9D && d[24] == 0x01 && d[25] == 0x2A)
        ok = setSize(info, le16(d + 26) & 0x3FFF, le16(d + 28) & 0x3FFF);
    else if (std::memcmp(chunk, "VP8L", 4) == 0 && d[20] == 0x2F) {
        const std::uint32_t bits = le32(d + 21);
        ok = setSize(info, (bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1);
    } else if (std::memcmp(chunk, "VP8X", 4) == 0)
        ok = setSize(info, le24(d + 24) + 1, le24(d + 27) + 1);
    if (!ok)
        return info;
    info.format = Format::Webp;
    info.complete = std::uint64_t(le32(d + 4)) + 8 <= n;
    return info;
}

} // namespace

ImageProbe::Info ImageProbe::probe(const unsigned char* data, std::size_t size)
{
    static const unsigned char pngSig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (size >= 8 && std::memcmp(data, pngSig, 8) == 0)
        return probePng(data, size);
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF)
        return probeJpeg(data, size);
    if (size >= 2 && data[0] == 'B' && data[1] == 'M')
        return probeBmp(data, size);
    if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0)
        return probeWebp(data, size);
    return Info();
}
