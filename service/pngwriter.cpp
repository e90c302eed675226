#include "pngwriter.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

struct Strip
{
    std::vector<uchar> deflated;
    uLong adler = 1;
    uLong rawBytes = 0;
    bool ok = false;
};

void putBe32(std::vector<uchar>& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uchar((v >> shift) & 0xFF));
}

void putChunk(std::vector<uchar>& out, const char* type, const uchar* data, std::size_t size)
{
    putBe32(out, std::uint32_t(size));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + size);
    const uLong crc = crc32(0L, out.data() + start, uInt(size + 4));
    putBe32(out, std::uint32_t(crc));
}

// Filtered rows [first, last) of the image, raw-deflated; the last strip of the
// image ends the stream, the others end on a byte boundary (sync flush) so the
// pieces concatenate.
void compressStrip(const cv::Mat& bgra, int first, int last, bool final, Strip& strip)
{
    const std::size_t rowBytes = std::size_t(bgra.cols) * 4 + 1;
    std::vector<uchar> raw(rowBytes * std::size_t(last - first));
    uchar* dst = raw.data();
    for (int y = first; y < last; ++y) {
        const uchar* src = bgra.ptr<uchar>(y);
        *dst++ = 1; // Sub: each byte minus the same channel of the pixel to its left
        uchar prev[4] = {0, 0, 0, 0};
        for (int x = 0; x < bgra.cols; ++x, src += 4, dst += 4) {
            const uchar rgba[4] = {src[2], src[1], src[0], src[3]};
            for (int c = 0; c < 4; ++c) {
                dst[c] = uchar(rgba[c] - prev[c]);
                prev[c] = rgba[c];
            }
        }
    }
    strip.rawBytes = uLong(raw.size());
    strip.adler = adler32(1L, raw.data(), uInt(raw.size()));

    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_RLE) != Z_OK)
        return;
    strip.deflated.resize(deflateBound(&z, uLong(raw.size())) + 16);
    z.next_in = raw.data();
    z.avail_in = uInt(raw.size());
    z.next_out = strip.deflated.data();
    z.avail_out = uInt(strip.deflated.size());
    const int rc = deflate(&z, final ? Z_FINISH : Z_SYNC_FLUSH);
    strip.ok = final ? rc == Z_STREAM_END : (rc == Z_OK && z.avail_in == 0);
    strip.deflated.resize(z.total_out);
    deflateEnd(&z);
}

} // namespace

std::vector<uchar> PngWriter::encode(const cv::Mat& bgra)
{
    CV_Assert(bgra.type() == CV_8UC4 && !bgra.empty());
    const int strips = (bgra.rows + kStripRows - 1) / kStripRows;
    std::vector<Strip> parts(static_cast<std::size_t>(strips));
    cv::parallel_for_(cv::Range(0, strips), [&](const cv::Range& r) {
        for (int i = r.start; i < r.end; ++i)
            compressStrip(bgra, i * kStripRows, std::min(bgra.rows, (i + 1) * kStripRows), i == strips - 1,
                          parts[std::size_t(i)]);
    });

    // The IDAT chunk is assembled in place: the zlib header, the strips, the
    // adler32 trailer, its CRC taken over the pieces as they are appended.
    std::size_t idatSize = 2 + 4;
    uLong adler = 1;
    for (const Strip& s : parts) {
        if (!s.ok)
            throw std::runtime_error("PNG compression failed");
        idatSize += s.deflated.size();
        adler = adler32_combine(adler, s.adler, z_off_t(s.rawBytes));
    }

    static const uchar signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uchar> png(signature, signature + 8);
    png.reserve(8 + 25 + idatSize + 12 + 12);
    std::vector<uchar> header;
    putBe32(header, std::uint32_t(bgra.cols));
    putBe32(header, std::uint32_t(bgra.rows));
    header.insert(header.end(), {8, 6, 0, 0, 0}); // 8-bit RGBA, deflate, adaptive filters, no interlace
    putChunk(png, "IHDR", header.data(), header.size());

    putBe32(png, std::uint32_t(idatSize));
    const std::size_t crcStart = png.size();
    png.insert(png.end(), {'I', 'D', 'A', 'T', 0x78, 0x01}); // zlib header: deflate, 32 KB window, fastest
    for (const Strip& s : parts)
        png.insert(png.end(), s.deflated.begin(), s.deflated.end());
    putBe32(png, std::uint32_t(adler));
    putBe32(png, std::uint32_t(crc32(0L, png.data() + crcStart, uInt(png.size() - crcStart))));

    putChunk(png, "IEND", nullptr, 0);
    return png;
}
