#include "edgerefiner.h"

#include "colourmaps.h"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

using colourmaps::nearest;
using colourmaps::sampleBilinear;
using colourmaps::toMap;

namespace {

// The model's alpha counts as sure outside (kSure, 1 - kSure).
constexpr float kSure = 0.02f;
// How far (in work pixels) the band reaches past the model's soft zone: fine
// strands the coarse model missed lie just outside it.
constexpr int kBandReach = 3;
// Unmixing is trusted by how far apart the subject and background colours are
// against their local spread (units: squared levels of 255).
constexpr float kSpreadWeight = 0.5f;
constexpr float kMinSeparation = 30.0f;
// Model alpha below which a pixel shows the background alone, for the colour step.
constexpr float kKnownBackground = 0.1f;
// The colour solved through the background is trusted fully from alpha
// 1 / kSolveTrust up; below, the smooth subject colour takes over.
constexpr float kSolveTrust = 4.0f;

double scaleFor(const cv::Mat& img)
{
    return std::min(1.0, double(EdgeRefiner::kWorkSide) / std::max(img.cols, img.rows));
}

// One sweep of the foreground/background solve at one level: each pixel's F and
// B fit the photo through alpha and stay close to their neighbours', the less so
// across an alpha edge. Pixels are visited as the squares of a checkerboard, all
// of one colour and then all of the other: a pixel's four neighbours have the
// other colour, so each half runs on every core and still sees its neighbours'
// new values. Only pixels where `active` (CV_8U) is set are visited; an empty
// `active` visits all.
void solveSweep(const cv::Mat& img, const cv::Mat& alpha, const cv::Mat& active, cv::Mat& fg, cv::Mat& bg)
{
    constexpr float kRegular = 1e-5f, kAlphaEdge = 1.0f;
    const int last = img.cols - 1;
    // The coarse levels' sweeps cost less than handing them to the pool.
    const double stripes = img.total() < 64 * 64 ? 1.0 : -1.0;
    for (int colour = 0; colour < 2; ++colour)
        cv::parallel_for_(
            cv::Range(0, img.rows),
            [&](const cv::Range& range) {
                for (int y = range.start; y < range.end; ++y) {
                    // Neighbour rows (clamped at the border), then left, right, up, down.
                    const int rows[4] = {y, y, std::max(y - 1, 0), std::min(y + 1, img.rows - 1)};
                    const float* ar[4];
                    const cv::Vec3f *fr[4], *br[4];
                    for (int d = 0; d < 4; ++d) {
                        ar[d] = alpha.ptr<float>(rows[d]);
                        fr[d] = fg.ptr<cv::Vec3f>(rows[d]);
                        br[d] = bg.ptr<cv::Vec3f>(rows[d]);
                    }
                    const auto* pxRow = img.ptr<cv::Vec3f>(y);
                    auto* fRow = fg.ptr<cv::Vec3f>(y);
                    auto* bRow = bg.ptr<cv::Vec3f>(y);
                    const uchar* on = active.empty() ? nullptr : active.ptr<uchar>(y);
                    for (int x = (y + colour) & 1; x <= last; x += 2) {
                        if (on && !on[x])
                            continue;
                        const int cols[4] = {std::max(x - 1, 0), std::min(x + 1, last), x, x};
                        const float a0 = ar[0][x], a1 = 1.0f - a0;
                        float a00 = a0 * a0, a01 = a0 * a1, a11 = a1 * a1;
                        const cv::Vec3f& px = pxRow[x];
                        cv::Vec3f b0 = px * a0, b1 = px * a1;
                        for (int d = 0; d < 4; ++d) {
                            const float w = kRegular + kAlphaEdge * std::abs(a0 - ar[d][cols[d]]);
                            a00 += w;
                            a11 += w;
                            b0 += fr[d][cols[d]] * w;
                            b1 += br[d][cols[d]] * w;
                        }
                        const float inv = 1.0f / (a00 * a11 - a01 * a01);
                        cv::Vec3f& f = fRow[x];
                        cv::Vec3f& b = bRow[x];
                        for (int c = 0; c < 3; ++c) {
                            f[c] = std::clamp(inv * (a11 * b0[c] - a01 * b1[c]), 0.0f, 1.0f);
                            b[c] = std::clamp(inv * (a00 * b1[c] - a01 * b0[c]), 0.0f, 1.0f);
                        }
                    }
                }
            },
            stripes);
}

// The pixels of a solve level within `reach` of its band: the pixels whose alpha
// would be neither 0 nor 255 in the cut-out, where the final step reads F
// (bilinearly, so a pixel around).
cv::Mat nearBand(const cv::Mat& alpha, int reach)
{
    constexpr float kClear = 0.5f / 255.0f;
    cv::Mat band = (alpha >= kClear) & (alpha < 1.0f - kClear);
    cv::dilate(band, band, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(2 * reach + 1, 2 * reach + 1)));
    return band;
}

} // namespace

void EdgeRefiner::checkDeadline() const
{
    if (Clock::now() > m_deadline)
        throw std::runtime_error("over its time budget");
}

EdgeRefiner::EdgeRefiner(const cv::Mat& bgr, Clock::time_point deadline) : m_photo(bgr), m_deadline(deadline)
{
    CV_Assert(bgr.type() == CV_8UC3 && !bgr.empty());
    m_small = colourmaps::shrink(bgr, scaleFor(bgr));
}

cv::Mat EdgeRefiner::refineAlpha(const cv::Mat& alpha) const
{
    CV_Assert(alpha.type() == CV_32F && !alpha.empty());
    const cv::Mat& bgr = m_photo;
    // Where the model is sure, so is the cut-out: a subject at 0.99 would let a
    // new background tint it. Eight bits, as the cut-out stores it: a quarter of
    // the memory to write here and to read in compose().
    cv::Mat full;
    alpha.convertTo(full, CV_8U, 255.0);
    full.setTo(255, alpha >= 1.0f - kSure);
    full.setTo(0, alpha <= kSure);
    cv::resize(full, full, bgr.size(), 0, 0, cv::INTER_LINEAR);
    cv::Mat small, smallAlpha;
    m_small.convertTo(small, CV_32FC3);
    cv::resize(alpha, smallAlpha, small.size(), 0, 0, cv::INTER_AREA);
    checkDeadline();

    cv::Mat fgWeight, bgWeight, band;
    cv::threshold(smallAlpha, fgWeight, 1.0 - kSure, 1.0, cv::THRESH_BINARY);
    cv::threshold(smallAlpha, bgWeight, kSure, 1.0, cv::THRESH_BINARY_INV);
    cv::dilate(
        (smallAlpha > kSure) & (smallAlpha < 1.0f - kSure), band,
        cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * kBandReach + 1, 2 * kBandReach + 1)));
    // The colour maps are means over a wide box: at half the work size they are
    // as smooth, for a quarter of the cost. The band keeps the work size.
    const cv::Mat coarse = colourmaps::shrink(small, 0.5);
    const int radius = std::max(2, std::max(coarse.cols, coarse.rows) / 20);
    cv::Mat fgMean, bgMean, spread, bgSpread;
    if (!colourmaps::weightedMean(coarse, colourmaps::shrink(fgWeight, 0.5), radius, fgMean, &spread) ||
        !colourmaps::weightedMean(coarse, colourmaps::shrink(bgWeight, 0.5), radius, bgMean, &bgSpread))
        return full;
    spread += bgSpread;
    checkDeadline();

    // Most of a photo lies outside the band: each column's positions are worked
    // out once, and a row visits only its band's runs.
    const float sx = float(small.cols) / float(bgr.cols), sy = float(small.rows) / float(bgr.rows);
    const float cx = float(coarse.cols) / float(bgr.cols), cy = float(coarse.rows) / float(bgr.rows);
    // A band pixel's photo columns are [bandStart[c], bandStart[c + 1]).
    std::vector<float> mapX(std::size_t(bgr.cols));
    std::vector<int> spreadX(std::size_t(bgr.cols)), bandStart(std::size_t(band.cols) + 1, bgr.cols);
    for (int x = bgr.cols - 1; x >= 0; --x) {
        const std::size_t i = std::size_t(x);
        mapX[i] = toMap(x, cx);
        spreadX[i] = nearest(mapX[i], spread.cols);
        bandStart[std::size_t(nearest(toMap(x, sx), band.cols))] = x;
    }
    for (int c = band.cols - 1; c >= 0; --c) // band pixels no photo column maps to
        bandStart[std::size_t(c)] = std::min(bandStart[std::size_t(c)], bandStart[std::size_t(c) + 1]);
    cv::parallel_for_(cv::Range(0, bgr.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const uchar* inBand = band.ptr<uchar>(nearest(toMap(y, sy), band.rows));
            const float fy = toMap(y, cy);
            const float* spreadRow = spread.ptr<float>(nearest(fy, spread.rows));
            const auto* px = bgr.ptr<cv::Vec3b>(y);
            uchar* a = full.ptr<uchar>(y);
            const auto unmix = [&](int x) {
                const std::size_t i = std::size_t(x);
                const cv::Vec3f fg = sampleBilinear(fgMean, mapX[i], fy),
                                bg = sampleBilinear(bgMean, mapX[i], fy);
                const cv::Vec3f span = fg - bg;
                const float len2 = span.dot(span);
                if (len2 < 1.0f)
                    return;
                const float unmixed = std::clamp((cv::Vec3f(px[x]) - bg).dot(span) / len2, 0.0f, 1.0f);
                const float trust = len2 / (len2 + kSpreadWeight * spreadRow[spreadX[i]] + kMinSeparation);
                a[x] = cv::saturate_cast<uchar>(trust * 255.0f * unmixed + (1.0f - trust) * float(a[x]));
            };
            // The band's runs in this row, each over the photo columns it covers.
            for (int c = 0, end = 0; c < band.cols; c = end) {
                for (end = c + 1; inBand[c] && end < band.cols && inBand[end];)
                    ++end;
                if (inBand[c])
                    for (int x = bandStart[std::size_t(c)]; x < bandStart[std::size_t(end)]; ++x)
                        unmix(x);
            }
        }
    });
    return full;
}

cv::Mat EdgeRefiner::compose(const cv::Mat& alpha) const
{
    const cv::Mat& bgr = m_photo;
    CV_Assert(alpha.type() == CV_8U && alpha.size() == bgr.size());
    cv::Mat small, smallAlpha;
    m_small.convertTo(small, CV_32FC3, 1.0 / 255.0);
    colourmaps::shrink(alpha, small.size()).convertTo(smallAlpha, CV_32F, 1.0 / 255.0);

    const cv::Scalar mean = cv::mean(small);
    cv::Mat fg(1, 1, CV_32FC3, mean), bg(1, 1, CV_32FC3, mean);
    const int levels = int(std::ceil(std::log2(std::max(small.cols, small.rows))));
    // Each level is made from the next finer one: they are about twice as small
    // per side, and reading the whole photo for each cost more than the sweeps.
    std::vector<std::pair<cv::Mat, cv::Mat>> pyramid(std::size_t(levels) + 1);
    pyramid[std::size_t(levels)] = {small, smallAlpha};
    for (int i = levels - 1; i >= 1; --i) {
        const cv::Size size(std::max(1, int(std::lround(std::pow(small.cols, double(i) / levels)))),
                            std::max(1, int(std::lround(std::pow(small.rows, double(i) / levels)))));
        const auto& finer = pyramid[std::size_t(i) + 1];
        auto& level = pyramid[std::size_t(i)];
        level = {colourmaps::shrink(finer.first, size), colourmaps::shrink(finer.second, size)};
    }
    for (int i = 1; i <= levels; ++i) {
        const auto& [img, a] = pyramid[std::size_t(i)];
        cv::resize(fg, fg, img.size(), 0, 0, cv::INTER_NEAREST);
        cv::resize(bg, bg, img.size(), 0, 0, cv::INTER_NEAREST);
        const bool coarse = img.cols <= 32 && img.rows <= 32;
        // Most of a fine level is far from the band and never read. Two sweeps
        // carry a value four half-steps; the finer level starts within half its
        // reach plus a pixel of rounding from here: 12 covers both.
        const cv::Mat active = coarse ? cv::Mat() : nearBand(a, 12);
        for (int s = 0; s < (coarse ? 10 : 2); ++s)
            solveSweep(img, a, active, fg, bg);
        checkDeadline();
    }
    // The background behind the band: the photo where the subject is absent,
    // carried inward from both sides.
    cv::Mat known;
    cv::threshold(smallAlpha, known, kKnownBackground, 1.0, cv::THRESH_BINARY_INV);
    const cv::Mat background = colourmaps::pushedMean(small, known);

    // Transparent pixels a few pixels around the band take the smooth F: a
    // program that scales the cut-out without premultiplying then blends in the
    // subject's colour, not the old background's nor black. The rest are
    // (0, 0, 0, 0), which also codes to almost nothing.
    const cv::Mat bleed = nearBand(smallAlpha, 2);
    cv::Mat out(bgr.size(), CV_8UC4);
    const float sx = float(small.cols) / float(bgr.cols), sy = float(small.rows) / float(bgr.rows);
    const std::vector<int> nearX = colourmaps::nearestCells(bgr.cols, sx, small.cols);
    cv::parallel_for_(cv::Range(0, bgr.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const uchar* a = alpha.ptr<uchar>(y);
            const auto* p = bgr.ptr<cv::Vec3b>(y);
            auto* o = out.ptr<cv::Vec4b>(y);
            const float fy = toMap(y, sy);
            const uchar* nearRow = bleed.ptr<uchar>(nearest(fy, small.rows));
            const auto pixel = [&](int x) {
                const uchar a8 = a[x];
                if (a8 == 255) {
                    o[x] = {p[x][0], p[x][1], p[x][2], a8};
                    return;
                }
                if (a8 == 0 && !nearRow[nearX[std::size_t(x)]]) {
                    o[x] = {};
                    return;
                }
                const float fx = toMap(x, sx);
                cv::Vec3f colour = sampleBilinear(fg, fx, fy);
                if (a8 > 0) {
                    // The photo is al * F + (1 - al) * B with B known nearby: solve
                    // for F, which gets noisy as al falls, where the smooth F takes over.
                    const float al = float(a8) / 255.0f;
                    const cv::Vec3f px = cv::Vec3f(p[x]) / 255.0f;
                    cv::Vec3f solved = (px - sampleBilinear(background, fx, fy) * (1.0f - al)) / al;
                    for (int c = 0; c < 3; ++c)
                        solved[c] = std::clamp(solved[c], 0.0f, 1.0f);
                    const float trust = std::min(1.0f, kSolveTrust * al);
                    colour = solved * trust + colour * (1.0f - trust);
                }
                for (int c = 0; c < 3; ++c)
                    o[x][c] = cv::saturate_cast<uchar>(colour[c] * 255.0f);
                o[x][3] = a8;
            };
            int x = 0;
#if CV_SIMD128
            // Most of a photo is opaque or clear away from the band: sixteen such
            // pixels at a time.
            for (; x + 16 <= bgr.cols; x += 16) {
                const cv::v_uint8x16 a16 = cv::v_load(a + x);
                if (cv::v_check_all(a16 == cv::v_setall_u8(255))) {
                    cv::v_uint8x16 b, g, r;
                    cv::v_load_deinterleave(&p[x][0], b, g, r);
                    cv::v_store_interleave(&o[x][0], b, g, r, a16);
                } else if (cv::v_check_all(a16 == cv::v_setzero_u8()) &&
                           std::all_of(nearRow + nearX[std::size_t(x)],
                                       nearRow + nearX[std::size_t(x) + 15] + 1,
                                       [](uchar near) { return near == 0; })) {
                    cv::v_store(&o[x][0], cv::v_setzero_u8());
                    cv::v_store(&o[x + 4][0], cv::v_setzero_u8());
                    cv::v_store(&o[x + 8][0], cv::v_setzero_u8());
                    cv::v_store(&o[x + 12][0], cv::v_setzero_u8());
                } else {
                    for (int i = x; i < x + 16; ++i)
                        pixel(i);
                }
            }
#endif
            for (; x < bgr.cols; ++x)
                pixel(x);
        }
    });
    return out;
}
