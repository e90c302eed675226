#include "jpegdecoder.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <vector>

#include <jpeglib.h>

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return:
// it jumps back into the decoding function, which gives up.
struct ErrorManager
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void fail(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Counts warnings (corrupt data libjpeg papers over) instead of printing them.
void warn(j_common_ptr info, int level)
{
    if (level < 0)
        ++info->err->num_warnings;
}

struct Layout
{
    int width = 0, height = 0;
    int bandStep = 0; // rows per iMCU row: bands start on these, which a skip passes over undecoded
    bool progressive = false;
};

// Decodes rows [first, last) into `out` (sized for the whole photo) when
// `out` is not empty, else reads the header into `layout`. False on any error,
// warning, or colour model this decoder leaves to OpenCV. No C++ object lives
// across the setjmp: the jump back skips no destructor.
bool run(const unsigned char* data, std::size_t size, int first, int last, cv::Mat& out, Layout* layout)
{
    jpeg_decompress_struct info;
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = fail;
    errors.base.emit_message = warn;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    bool ok = info.data_precision == 8 &&
              (info.jpeg_color_space == JCS_YCbCr || info.jpeg_color_space == JCS_GRAYSCALE);
    if (ok && layout) {
        layout->width = int(info.image_width);
        layout->height = int(info.image_height);
        layout->bandStep = info.max_v_samp_factor * DCTSIZE;
        layout->progressive = jpeg_has_multiple_scans(&info);
    } else if (ok) {
        info.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&info);
        if (first > 0)
            jpeg_skip_scanlines(&info, JDIMENSION(first));
        while (int(info.output_scanline) < last) {
            JSAMPROW row = out.ptr<uchar>(int(info.output_scanline));
            jpeg_read_scanlines(&info, &row, 1);
        }
        ok = errors.base.num_warnings == 0;
        jpeg_abort_decompress(&info); // the rows below are another band's
    }
    jpeg_destroy_decompress(&info);
    return ok;
}

unsigned read16(const unsigned char* p, bool motorola)
{
    return motorola ? unsigned(p[0]) << 8 | p[1] : unsigned(p[1]) << 8 | p[0];
}

std::size_t read32(const unsigned char* p, bool motorola)
{
    return motorola ? std::size_t(read16(p, true)) << 16 | read16(p + 2, true)
                    : std::size_t(read16(p + 2, false)) << 16 | read16(p, false);
}

// The orientation tag in a TIFF block (an EXIF payload after "Exif\0\0").
int tiffOrientation(const unsigned char* tiff, std::size_t size)
{
    if (size < 8 || !((tiff[0] == 'I' && tiff[1] == 'I') || (tiff[0] == 'M' && tiff[1] == 'M')))
        return 1;
    const bool motorola = tiff[0] == 'M';
    const std::size_t ifd = read32(tiff + 4, motorola);
    if (ifd + 2 > size)
        return 1;
    const unsigned entries = read16(tiff + ifd, motorola);
    for (unsigned i = 0; i < entries; ++i) {
        const std::size_t at = ifd + 2 + std::size_t(i) * 12;
        if (at + 12 > size)
            break;
        if (read16(tiff + at, motorola) == 0x0112 && read16(tiff + at + 2, motorola) == 3) {
            const unsigned value = read16(tiff + at + 8, motorola);
            return value >= 1 && value <= 8 ? int(value) : 1;
        }
    }
    return 1;
}

// As cv::imdecode turns a photo for each EXIF orientation.
cv::Mat upright(cv::Mat img, int orientation)
{
    if (orientation >= 5)
        cv::transpose(img, img);
    switch (orientation) {
    case 2:
    case 6:
        cv::flip(img, img, 1);
        break;
    case 3:
    case 7:
        cv::flip(img, img, -1);
        break;
    case 4:
    case 8:
        cv::flip(img, img, 0);
        break;
    default:
        break;
    }
    return img;
}

} // namespace

namespace jpegdecoder {

int exifOrientation(const unsigned char* data, std::size_t size)
{
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return 1;
    std::size_t at = 2;
    // Segments up to the first scan; the EXIF one is an APP1 starting "Exif\0\0".
    while (at + 4 <= size && data[at] == 0xFF) {
        const unsigned char marker = data[at + 1];
        const std::size_t length = read16(data + at + 2, true);
        if (marker == 0xDA || length < 2 || at + 2 + length > size)
            break;
        const unsigned char* payload = data + at + 4;
        if (marker == 0xE1 && length >= 8 && std::equal(payload, payload + 6, "Exif\0\0"))
            return tiffOrientation(payload + 6, length - 8);
        at += 2 + length;
    }
    return 1;
}

cv::Mat decode(const unsigned char* data, std::size_t size)
{
    Layout layout;
    cv::Mat none;
    if (size < 3 || data[0] != 0xFF || data[1] != 0xD8 || !run(data, size, 0, 0, none, &layout))
        return {};
    cv::Mat out(layout.height, layout.width, CV_8UC3);
    const int steps = (layout.height + layout.bandStep - 1) / layout.bandStep;
    const int bands = layout.progressive ? 1 : std::clamp(cv::getNumThreads(), 1, std::min(4, steps));
    std::vector<char> ok(std::size_t(bands), 0);
    cv::parallel_for_(
        cv::Range(0, bands),
        [&](const cv::Range& range) {
            for (int b = range.start; b < range.end; ++b) {
                const int first = std::min(layout.height, steps * b / bands * layout.bandStep);
                const int last = std::min(layout.height, steps * (b + 1) / bands * layout.bandStep);
                ok[std::size_t(b)] = run(data, size, first, last, out, nullptr);
            }
        },
        bands);
    if (std::find(ok.begin(), ok.end(), 0) != ok.end())
        return {};
    return upright(out, exifOrientation(data, size));
}

} // namespace jpegdecoder
