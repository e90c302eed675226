#include "qmaskops.h"

#include "qbufferrecycler.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>

// The 32-bit routines read a BGRA pixel as one little-endian word: B in the low
// byte, alpha in the high byte, the same layout QImage::Format_ARGB32 has.
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "BGRA pixels are read as little-endian words");

namespace {

constexpr quint32 bgra(quint32 b, quint32 g, quint32 r, quint32 a)
{
    return b | (g << 8) | (r << 16) | (a << 24);
}

constexpr quint32 kOverlayShown = bgra(0, 0, 255, 100);
constexpr quint32 kOverlayHidden = bgra(0, 0, 255, 0);
constexpr int kOverlayAlphaFrom = 100;
constexpr quint32 kKeepColour = bgra(10, 0, 255, 100);
constexpr quint32 kEraseColour = bgra(0, 0, 0, 0);

// A copy in recycled storage (see QBufferRecycler).
cv::Mat recycledCopy(const cv::Mat& mat)
{
    cv::Mat copy = QBufferRecycler::createMat(mat.rows, mat.cols, mat.type());
    mat.copyTo(copy);
    return copy;
}

// One row of applyMask over the columns image, base and mask share.
template <int Channels>
void maskRow(const uchar* image, const quint32* base, const quint32* mask, quint32* out, int cols)
{
    for (int c = 0; c < cols; ++c) {
        const uchar* p = image + Channels * c;
        const quint32 taken = bgra(p[0], p[1], p[2], Channels == 4 ? p[3] : 255);
        const quint32 kept = (mask[c] >> 24) == 0 ? (base[c] & 0x00FFFFFFu) : base[c];
        out[c] = (mask[c] & 0xFFu) ? taken : kept;
    }
}

} // namespace

cv::Mat QMaskOps::floodFillMask(const cv::Mat& image, const cv::Mat& overlay, const QPoint& seed,
                                int tolerance, bool erase)
{
    if (image.empty() || overlay.type() != CV_8UC4 || !QRect(0, 0, image.cols, image.rows).contains(seed))
        return recycledCopy(overlay);
    cv::Mat mask = QBufferRecycler::createMat(image.rows + 2, image.cols + 2, CV_8UC1);
    mask.setTo(0);
    const cv::Scalar diff(tolerance, tolerance, tolerance, 0);
    const int flags = 4 | (255 << 8) | cv::FLOODFILL_FIXED_RANGE | cv::FLOODFILL_MASK_ONLY;
    cv::Rect filled;
    cv::floodFill(image, mask, cv::Point(seed.x(), seed.y()), cv::Scalar(0, 0, 255), &filled, diff, diff,
                  flags);
    filled &= cv::Rect(0, 0, overlay.cols, overlay.rows);

    // Copy the overlay and paint the flood in one pass; marked cells lie only inside
    // the flood's bounding box (mask cell (r + 1, c + 1) belongs to pixel (r, c)).
    // The user waits for this click, so the pass is split over OpenCV's threads.
    const quint32 paint = erase ? kEraseColour : kKeepColour;
    cv::Mat result = QBufferRecycler::createMat(overlay.rows, overlay.cols, CV_8UC4);
    cv::parallel_for_(cv::Range(0, overlay.rows), [&](const cv::Range& rows) {
        for (int r = rows.start; r < rows.end; ++r) {
            const auto* in = overlay.ptr<quint32>(r);
            auto* out = result.ptr<quint32>(r);
            const bool flooded = r >= filled.y && r < filled.y + filled.height;
            const int from = flooded ? filled.x : overlay.cols;
            const int to = flooded ? filled.x + filled.width : overlay.cols;
            const uchar* marked = mask.ptr<uchar>(r + 1) + 1;
            std::memcpy(out, in, size_t(from) * sizeof(quint32));
            for (int c = from; c < to; ++c) { // branch-free so that it vectorises
                const quint32 select = 0u - quint32(marked[c] != 0);
                out[c] = (in[c] & ~select) | (paint & select);
            }
            std::memcpy(out + to, in + to, size_t(overlay.cols - to) * sizeof(quint32));
        }
    });
    return result;
}

cv::Mat QMaskOps::makeRedOverlay(const cv::Mat& cutout)
{
    if (cutout.type() != CV_8UC4)
        return {};
    constexpr quint32 shownFrom = quint32(kOverlayAlphaFrom) << 24;
    cv::Mat result = QBufferRecycler::createMat(cutout.rows, cutout.cols, CV_8UC4);
    const int cols = cutout.cols; // a local: the writes below could alias the member
    for (int r = 0; r < cutout.rows; ++r) {
        const auto* in = cutout.ptr<quint32>(r);
        auto* out = result.ptr<quint32>(r);
        for (int c = 0; c < cols; ++c)
            out[c] = in[c] >= shownFrom ? kOverlayShown : kOverlayHidden;
    }
    return result;
}

cv::Mat QMaskOps::mergeAlpha(const cv::Mat& colour, const cv::Mat& alphaSource)
{
    if (colour.type() != CV_8UC3 || alphaSource.type() != CV_8UC4 || alphaSource.rows < colour.rows ||
        alphaSource.cols < colour.cols)
        return {};
    cv::Mat result = QBufferRecycler::createMat(colour.rows, colour.cols, CV_8UC4);
    // OpenCV's vectorised conversion spreads the colour to four bytes, then the alpha
    // bytes are replaced word by word, band by band while the band is still in cache.
    constexpr int bandRows = 32;
    const int cols = colour.cols; // a local: the writes below could alias the member
    for (int top = 0; top < colour.rows; top += bandRows) {
        const cv::Range band(top, std::min(colour.rows, top + bandRows));
        cv::Mat out = result.rowRange(band);
        cv::cvtColor(colour.rowRange(band), out, cv::COLOR_BGR2BGRA);
        for (int r = band.start; r < band.end; ++r) {
            const auto* alpha = alphaSource.ptr<quint32>(r);
            auto* merged = result.ptr<quint32>(r);
            for (int c = 0; c < cols; ++c)
                merged[c] = (merged[c] & 0x00FFFFFFu) | (alpha[c] & 0xFF000000u);
        }
    }
    return result;
}

cv::Mat QMaskOps::takeChanges(const cv::Mat& photo, const cv::Mat& before, const cv::Mat& after)
{
    cv::Mat result = photo.clone(), changed;
    if (photo.size() != after.size() || before.size() != after.size())
        return result;
    cv::absdiff(after, before, changed);
    cv::transform(changed, changed, cv::Matx14f(1, 1, 1, 0));
    dropAlpha(after).copyTo(result, changed);
    return result;
}

cv::Mat QMaskOps::dropAlpha(const cv::Mat& mat)
{
    if (mat.type() != CV_8UC4)
        return {};
    cv::Mat result = QBufferRecycler::createMat(mat.rows, mat.cols, CV_8UC3);
    cv::cvtColor(mat, result, cv::COLOR_BGRA2BGR);
    return result;
}

cv::Mat QMaskOps::applyMask(const cv::Mat& image, const cv::Mat& base, const cv::Mat& mask)
{
    const int channels = image.type() == CV_8UC3 ? 3 : image.type() == CV_8UC4 ? 4 : 0;
    if (base.type() != CV_8UC4 || mask.type() != CV_8UC4 || channels == 0)
        return recycledCopy(base);
    const int rows = std::min({mask.rows, image.rows, base.rows});
    const int cols = std::min({mask.cols, image.cols, base.cols});
    // One pass: masked pixels are computed, the rest copied from base.
    cv::Mat result = QBufferRecycler::createMat(base.rows, base.cols, CV_8UC4);
    for (int r = 0; r < base.rows; ++r) {
        const auto* in = base.ptr<quint32>(r);
        auto* out = result.ptr<quint32>(r);
        const int done = r < rows ? cols : 0;
        if (channels == 3 && done > 0)
            maskRow<3>(image.ptr<uchar>(r), in, mask.ptr<quint32>(r), out, done);
        else if (done > 0)
            maskRow<4>(image.ptr<uchar>(r), in, mask.ptr<quint32>(r), out, done);
        std::memcpy(out + done, in + done, size_t(base.cols - done) * sizeof(quint32));
    }
    return result;
}

QRect QMaskOps::contentRect(const cv::Mat& mat)
{
    if (mat.type() != CV_8UC4 || mat.empty())
        return {};
    // As a word, a pixel is subject when it exceeds threshold alpha with all colour bits set.
    constexpr quint32 limit = (quint32(kSubjectThreshold) << 24) | 0x00FFFFFFu;
    int minRow = mat.rows, minCol = mat.cols, maxRow = 0, maxCol = 0;
    for (int r = 0; r < mat.rows; ++r) {
        const auto* p = mat.ptr<quint32>(r);
        int first = 0;
        while (first < mat.cols && p[first] <= limit)
            ++first;
        if (first == mat.cols)
            continue;
        int last = mat.cols - 1;
        while (p[last] <= limit)
            --last;
        minRow = std::min(minRow, r);
        maxRow = r;
        minCol = std::min(minCol, first);
        maxCol = std::max(maxCol, last);
    }
    if (minRow == mat.rows) // no subject at all
        return QRect(0, 0, mat.cols, mat.rows);
    return QRect(minCol, minRow, maxCol - minCol, maxRow - minRow);
}
