#include "qimageheader.h"

#include <climits>
#include <cstring>

namespace {

using Bytes = const unsigned char*;

quint32 be16(Bytes p)
{
    return (quint32(p[0]) << 8) | p[1];
}
quint32 be32(Bytes p)
{
    return (be16(p) << 16) | be16(p + 2);
}
quint32 le16(Bytes p)
{
    return p[0] | (quint32(p[1]) << 8);
}
quint32 le24(Bytes p)
{
    return le16(p) | (quint32(p[2]) << 16);
}
quint32 le32(Bytes p)
{
    return le16(p) | (le16(p + 2) << 16);
}

bool hasAt(Bytes data, std::size_t size, std::size_t offset, const char* magic, std::size_t length)
{
    return size >= offset + length && std::memcmp(data + offset, magic, length) == 0;
}

QSize sizeOf(qint64 width, qint64 height)
{
    if (width <= 0 || height <= 0 || width > INT_MAX || height > INT_MAX)
        return {};
    return QSize(int(width), int(height));
}

QSize probePng(Bytes d, std::size_t n)
{
    // The first chunk is always IHDR: length, type, then width and height.
    if (!hasAt(d, n, 12, "IHDR", 4) || n < 24)
        return {};
    return sizeOf(be32(d + 16), be32(d + 20));
}

bool isJpegFrame(unsigned marker)
{
    // SOF0..SOF15 except DHT (C4), JPG (C8) and DAC (CC), which share the range.
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool jpegEndsAfter(Bytes d, std::size_t n, std::size_t scanStart)
{
    // Inside entropy-coded data 0xFF is always followed by 0x00 or a restart marker,
    // so an FF D9 after the first scan header is the real end of the image.
    for (std::size_t i = n - 1; i > scanStart + 1; --i) {
        if (d[i] == 0xD9 && d[i - 1] == 0xFF)
            return true;
    }
    return false;
}

QSize probeJpeg(Bytes d, std::size_t n)
{
    QSize frame;
    std::size_t pos = 2;
    while (pos + 4 <= n) {
        if (d[pos] != 0xFF)
            return {};
        const unsigned marker = d[pos + 1];
        if (marker == 0xFF) { // fill byte before a marker
            ++pos;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { // no length field
            pos += 2;
            continue;
        }
        if (marker == 0xD8 || marker == 0xD9)
            return {};
        const std::size_t length = be16(d + pos + 2);
        if (length < 2 || pos + 2 + length > n)
            return {};
        if (isJpegFrame(marker)) {
            if (length < 7)
                return {};
            frame = sizeOf(be16(d + pos + 7), be16(d + pos + 5));
        } else if (marker == 0xDA) {
            return frame.isValid() && jpegEndsAfter(d, n, pos) ? frame : QSize();
        }
        pos += 2 + length;
    }
    return {};
}

QSize probeBmp(Bytes d, std::size_t n)
{
    if (n < 26)
        return {};
    if (le32(d + 14) == 12) // OS/2 header with 16-bit sizes
        return sizeOf(le16(d + 18), le16(d + 20));
    const qint64 height = qint32(le32(d + 22)); // negative: rows stored top-down
    return sizeOf(qint32(le32(d + 18)), height < 0 ? -height : height);
}

QSize probeWebp(Bytes d, std::size_t n)
{
    // RIFF header (12 bytes), then the first chunk's type and size; its data at 20.
    if (n < 30)
        return {};
    if (hasAt(d, n, 12, "VP8X", 4))
        return sizeOf(le24(d + 24) + 1, le24(d + 27) + 1);
    if (hasAt(d, n, 12, "VP8L", 4)) {
        if (d[20] != 0x2F)
            return {};
        const quint32 bits = le32(d + 21);
        return sizeOf((bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1);
    }
    if (hasAt(d, n, 12, "VP8 ", 4) && hasAt(d, n, 23, "\x9D\x01\x2A", 3))
        return sizeOf(le16(d + 26) & 0x3FFF, le16(d + 28) & 0x3FFF);
    return {};
}

QSize probeTiff(Bytes d, std::size_t n)
{
    const bool little = d[0] == 'I';
    auto u16 = [&](std::size_t at) { return little ? le16(d + at) : be16(d + at); };
    auto u32 = [&](std::size_t at) { return little ? le32(d + at) : be32(d + at); };
    const std::size_t ifd = u32(4);
    if (ifd < 8 || ifd + 2 > n)
        return {};
    qint64 width = 0;
    qint64 height = 0;
    const std::size_t count = u16(ifd);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = ifd + 2 + 12 * i;
        if (entry + 12 > n)
            return {};
        const unsigned type = u16(entry + 2); // 3 SHORT, 4 LONG
        const qint64 value = type == 3 ? u16(entry + 8) : type == 4 ? u32(entry + 8) : 0;
        if (u16(entry) == 256)
            width = value;
        else if (u16(entry) == 257)
            height = value;
    }
    return sizeOf(width, height);
}

} // namespace

QSize QImageHeader::probe(const unsigned char* data, std::size_t size)
{
    if (!data || size < 8)
        return {};
    if (hasAt(data, size, 0, "\x89PNG\r\n\x1A\n", 8))
        return probePng(data, size);
    if (hasAt(data, size, 0, "\xFF\xD8\xFF", 3))
        return probeJpeg(data, size);
    if (hasAt(data, size, 0, "BM", 2))
        return probeBmp(data, size);
    if (hasAt(data, size, 0, "RIFF", 4) && hasAt(data, size, 8, "WEBP", 4))
        return probeWebp(data, size);
    if (hasAt(data, size, 0, "II*\0", 4) || hasAt(data, size, 0, "MM\0*", 4))
        return probeTiff(data, size);
    return {};
}

bool QImageHeader::acceptable(const unsigned char* data, std::size_t size)
{
    const QSize s = probe(data, size);
    return s.isValid() && qint64(s.width()) * s.height() <= kMaxPixels;
}
