#include "colourmaps.h"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace colourmaps {

namespace {
// Nine border pixels in ten within this many levels (of 255) of the median.
constexpr float kFlatSpread = 12.0f;
// pushedMean: the finest radius, and the weight a coarser mean has against the
// selected pixels at the next finer one.
constexpr int kFinest = 2;
constexpr float kCoarsePull = 0.05f;
// One axis of an area shrink: output i is the mean of the input cells under
// [i, i + 1) * scale, each weighted by how much of it lies there. Every output
// reads `count` taps; the ones past its span have weight 0.
struct AreaTaps
{
    int count = 0;
    std::vector<int> index;    // count per output
    std::vector<float> weight; // count per output
};

AreaTaps areaTaps(int from, int to)
{
    const double scale = double(from) / to;
    AreaTaps taps;
    taps.count = int(std::ceil(scale)) + 1;
    taps.index.resize(std::size_t(to) * std::size_t(taps.count));
    taps.weight.resize(taps.index.size());
    for (int i = 0; i < to; ++i) {
        const double lo = i * scale, hi = std::min(double(from), lo + scale);
        for (int k = 0; k < taps.count; ++k) {
            const int cell = int(lo) + k;
            const double cover = std::min(double(cell + 1), hi) - std::max(double(cell), lo);
            const std::size_t at = std::size_t(i) * std::size_t(taps.count) + std::size_t(k);
            taps.index[at] = std::min(cell, from - 1);
            taps.weight[at] = cell < from && cover > 0 ? float(cover / (hi - lo)) : 0.0f;
        }
    }
    return taps;
}

// Outputs [from, width) of one row through the horizontal taps: CN channels
// and K taps, or (when 0) those of `cn` and `taps` at run time.
template <int CN, int K, typename T>
void shrinkRow(const float* in, const AreaTaps& taps, int cn, int from, int width, T* out)
{
    cn = CN ? CN : cn;
    const int count = K ? K : taps.count;
    const int* index = taps.index.data() + from * count;
    const float* weight = taps.weight.data() + from * count;
    for (int x = from; x < width; ++x, index += count, weight += count)
        for (int c = 0; c < cn; ++c) {
            float sum = 0;
            for (int k = 0; k < count; ++k)
                sum += weight[k] * in[index[k] * cn + c];
            out[x * cn + c] = cv::saturate_cast<T>(sum);
        }
}

// Three channels, three taps: a pixel's taps are nine floats in a row, blended
// as three vectors of four whose last lane (the next pixel's) is dropped.
// Returns the first output left to do: those whose vectors would read past
// the row's `inPixels`.
template <typename T> int shrinkRgbRow(const float* in, const AreaTaps& taps, int inPixels, int width, T* out)
{
    int x = 0;
#if CV_SIMD128
    for (; x < width && taps.index[std::size_t(x) * 3] + 3 < inPixels; ++x) {
        const float* w = &taps.weight[std::size_t(x) * 3];
        const float* p = in + taps.index[std::size_t(x) * 3] * 3;
        float sum[4];
        cv::v_store(sum, cv::v_load(p) * cv::v_setall_f32(w[0]) + cv::v_load(p + 3) * cv::v_setall_f32(w[1]) +
                             cv::v_load(p + 6) * cv::v_setall_f32(w[2]));
        for (int c = 0; c < 3; ++c)
            out[x * 3 + c] = cv::saturate_cast<T>(sum[c]);
    }
#endif
    return x;
}

template <typename T>
void shrinkRow(const float* in, const AreaTaps& taps, int cn, int inPixels, int width, T* out)
{
    // Three taps: any factor under 2, which is what follows the halving.
    if (taps.count == 3 && cn == 3)
        return shrinkRow<3, 3>(in, taps, cn, shrinkRgbRow(in, taps, inPixels, width, out), width, out);
    if (taps.count == 3 && cn == 1)
        return shrinkRow<1, 3>(in, taps, cn, 0, width, out);
    return shrinkRow<0, 0>(in, taps, cn, 0, width, out);
}

// cv::resize(INTER_AREA) to a size that does not divide the source's, which
// OpenCV does one tap at a time: each output row blends its input rows whole
// (contiguous, so vectorised) and then shrinks the one row, in row bands on
// the OpenCV thread pool. CV_8U and CV_32F, any channel count.
void areaShrink(const cv::Mat& src, cv::Mat& dst, cv::Size size)
{
    const AreaTaps across = areaTaps(src.cols, size.width), down = areaTaps(src.rows, size.height);
    const int cn = src.channels(), inValues = src.cols * cn;
    dst.create(size, src.type());
    cv::parallel_for_(cv::Range(0, size.height), [&](const cv::Range& rows) {
        std::vector<float> blend(static_cast<std::size_t>(inValues));
        for (int y = rows.start; y < rows.end; ++y) {
            std::fill(blend.begin(), blend.end(), 0.0f);
            float* b = blend.data();
            for (int k = 0; k < down.count; ++k) {
                const std::size_t at = std::size_t(y) * std::size_t(down.count) + std::size_t(k);
                const float w = down.weight[at];
                if (w == 0.0f)
                    continue;
                if (src.depth() == CV_8U) {
                    const uchar* in = src.ptr<uchar>(down.index[at]);
                    for (int v = 0; v < inValues; ++v)
                        b[v] += w * float(in[v]);
                } else {
                    const float* in = src.ptr<float>(down.index[at]);
                    for (int v = 0; v < inValues; ++v)
                        b[v] += w * in[v];
                }
            }
            if (src.depth() == CV_8U)
                shrinkRow(b, across, cn, src.cols, size.width, dst.ptr<uchar>(y));
            else
                shrinkRow(b, across, cn, src.cols, size.width, dst.ptr<float>(y));
        }
    });
}

// CV_32FC4: the colour of `img` times `weight` beside the weight, which a blur
// turns into a weighted mean; with `squares`, also the squared colour times it.
cv::Mat weighted(const cv::Mat& img, const cv::Mat& weight, cv::Mat* squares)
{
    cv::Mat sums(img.size(), CV_32FC4);
    if (squares)
        squares->create(img.size(), CV_32FC4);
    cv::parallel_for_(cv::Range(0, img.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const auto* px = img.ptr<cv::Vec3f>(y);
            const float* w = weight.ptr<float>(y);
            auto* s = sums.ptr<cv::Vec4f>(y);
            for (int x = 0; x < img.cols; ++x)
                s[x] = {px[x][0] * w[x], px[x][1] * w[x], px[x][2] * w[x], w[x]};
            if (!squares)
                continue;
            auto* q = squares->ptr<cv::Vec4f>(y);
            for (int x = 0; x < img.cols; ++x)
                q[x] = {px[x][0] * px[x][0] * w[x], px[x][1] * px[x][1] * w[x], px[x][2] * px[x][2] * w[x],
                        0.0f};
        }
    });
    return sums;
}

} // namespace

bool weightedMean(const cv::Mat& img, const cv::Mat& weight, int radius, cv::Mat& mean, cv::Mat* spread)
{
    // The weighted colour beside the weight, and the weighted squares, each
    // blurred in one pass.
    cv::Mat squares;
    const cv::Mat sums = weighted(img, weight, spread ? &squares : nullptr);
    const cv::Scalar total = cv::sum(sums);
    if (total[3] < 1.0)
        return false;
    const cv::Vec3f global(float(total[0] / total[3]), float(total[1] / total[3]),
                           float(total[2] / total[3]));
    cv::Mat blurred, blurredSquares;
    blur(sums, blurred, radius);
    if (spread) {
        blur(squares, blurredSquares, radius);
        spread->create(img.size(), CV_32F);
    }
    mean.create(img.size(), CV_32FC3);
    cv::parallel_for_(cv::Range(0, img.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const auto* s = blurred.ptr<cv::Vec4f>(y);
            auto* m = mean.ptr<cv::Vec3f>(y);
            for (int x = 0; x < img.cols; ++x) {
                const float w = s[x][3];
                m[x] = w > 1e-3f ? cv::Vec3f(s[x][0], s[x][1], s[x][2]) / w : global;
            }
            if (!spread)
                continue;
            const auto* q = blurredSquares.ptr<cv::Vec4f>(y);
            float* out = spread->ptr<float>(y);
            for (int x = 0; x < img.cols; ++x) {
                const float w = s[x][3];
                float v = 0;
                if (w > 1e-3f)
                    for (int c = 0; c < 3; ++c)
                        v += std::max(0.0f, q[x][c] / w - m[x][c] * m[x][c]);
                out[x] = v;
            }
        }
    });
    return true;
}

cv::Mat pushedMean(const cv::Mat& img, const cv::Mat& weight)
{
    // The weighted colour and the weight side by side, halved level by level: a
    // radius twice as large is the finest radius one level coarser.
    std::vector<cv::Mat> levels(1, weighted(img, weight, nullptr));
    const cv::Scalar sum = cv::sum(levels[0]); // colour, then weight
    while (4 * kFinest < std::max(levels.back().cols, levels.back().rows)) {
        cv::Mat half;
        cv::resize(levels.back(), half, cv::Size((levels.back().cols + 1) / 2, (levels.back().rows + 1) / 2),
                   0, 0, cv::INTER_AREA);
        levels.push_back(std::move(half));
    }
    const double n = std::max(sum[3], 1e-6);
    cv::Mat mean(levels.back().size(), CV_32FC3, cv::Scalar(sum[0] / n, sum[1] / n, sum[2] / n));
    cv::Mat sums;
    for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
        if (mean.size() != level->size())
            cv::resize(mean, mean, level->size(), 0, 0, cv::INTER_LINEAR);
        blur(*level, sums, kFinest);
        cv::parallel_for_(cv::Range(0, mean.rows), [&](const cv::Range& rows) {
            for (int y = rows.start; y < rows.end; ++y) {
                const auto* s = sums.ptr<cv::Vec4f>(y);
                auto* m = mean.ptr<cv::Vec3f>(y);
                for (int x = 0; x < mean.cols; ++x)
                    for (int ch = 0; ch < 3; ++ch)
                        m[x][ch] = (s[x][ch] + m[x][ch] * kCoarsePull) / (s[x][3] + kCoarsePull);
            }
        });
    }
    return mean;
}

void blur(const cv::Mat& src, cv::Mat& dst, int radius)
{
    CV_Assert(src.depth() == CV_32F && src.channels() <= 4 && radius >= 0);
    const int width = src.cols, cn = src.channels(), values = width * cn, box = 2 * radius + 1;
    dst.create(src.size(), src.type());
    // Padded position i reads row or column i - radius - 1, reflected at the
    // borders as cv::blur does (for any radius).
    std::vector<int> across(std::size_t(width + box)), down(std::size_t(src.rows + box));
    for (int i = 0; i < width + box; ++i)
        across[std::size_t(i)] = cv::borderInterpolate(i - radius - 1, width, cv::BORDER_REFLECT_101) * cn;
    for (int i = 0; i < src.rows + box; ++i)
        down[std::size_t(i)] = cv::borderInterpolate(i - radius - 1, src.rows, cv::BORDER_REFLECT_101);
    const double scale = 1.0 / (double(box) * double(box));
    // One strip per thread: each starts its column sums afresh.
    cv::parallel_for_(
        cv::Range(0, src.rows),
        [&](const cv::Range& rows) {
            std::vector<double> column(static_cast<std::size_t>(values), 0.0);
            for (int i = rows.start + 1; i <= rows.start + box; ++i) {
                const float* in = src.ptr<float>(down[std::size_t(i)]);
                for (int v = 0; v < values; ++v)
                    column[std::size_t(v)] += in[v];
            }
            for (int y = rows.start; y < rows.end; ++y) {
                if (y > rows.start) {
                    const float* enter = src.ptr<float>(down[std::size_t(y + box)]);
                    const float* leave = src.ptr<float>(down[std::size_t(y)]);
                    for (int v = 0; v < values; ++v)
                        column[std::size_t(v)] += double(enter[v]) - double(leave[v]);
                }
                float* out = dst.ptr<float>(y);
                double sum[4] = {};
                for (int i = 1; i <= box; ++i)
                    for (int c = 0; c < cn; ++c)
                        sum[c] += column[std::size_t(across[std::size_t(i)] + c)];
                for (int x = 0; x < width; ++x) {
                    if (x > 0) {
                        const double* enter = &column[std::size_t(across[std::size_t(x + box)])];
                        const double* leave = &column[std::size_t(across[std::size_t(x)])];
                        for (int c = 0; c < cn; ++c)
                            sum[c] += enter[c] - leave[c];
                    }
                    for (int c = 0; c < cn; ++c)
                        out[x * cn + c] = float(sum[c] * scale);
                }
            }
        },
        std::max(1, cv::getNumThreads()));
}

std::vector<int> nearestCells(int photoSide, float scale, int size)
{
    std::vector<int> cells(static_cast<std::size_t>(photoSide));
    for (int v = 0; v < photoSide; ++v)
        cells[std::size_t(v)] = nearest(toMap(v, scale), size);
    return cells;
}

cv::Mat shrink(const cv::Mat& src, cv::Size size)
{
    cv::Mat from = src;
    while (from.cols % 2 == 0 && from.rows % 2 == 0 && from.cols >= 2 * size.width &&
           from.rows >= 2 * size.height) {
        cv::Mat half;
        cv::resize(from, half, cv::Size(from.cols / 2, from.rows / 2), 0, 0, cv::INTER_AREA);
        from = half;
    }
    cv::Mat out;
    const bool whole = from.cols % size.width == 0 && from.rows % size.height == 0;
    if (whole || (from.depth() != CV_8U && from.depth() != CV_32F))
        cv::resize(from, out, size, 0, 0, cv::INTER_AREA);
    else
        areaShrink(from, out, size);
    return out;
}

cv::Mat shrink(const cv::Mat& src, double f)
{
    return shrink(src, cv::Size(std::max(1, cvRound(src.cols * f)), std::max(1, cvRound(src.rows * f))));
}

bool flatBorder(const cv::Mat& img, cv::Vec3f& median)
{
    cv::Mat f;
    img.convertTo(f, CV_32FC3);
    const int band = std::max(1, std::min(f.cols, f.rows) / 50);
    std::vector<float> ch[3];
    for (int y = 0; y < f.rows; ++y) {
        const auto* row = f.ptr<cv::Vec3f>(y);
        const bool edgeRow = y < band || y >= f.rows - band;
        for (int x = 0; x < f.cols; ++x)
            if (edgeRow || x < band || x >= f.cols - band)
                for (int c = 0; c < 3; ++c)
                    ch[c].push_back(row[x][c]);
    }
    // Flat: most border pixels lie within a few levels of the median in every channel.
    bool flat = true;
    for (int c = 0; c < 3; ++c) {
        auto mid = ch[c].begin() + std::ptrdiff_t(ch[c].size() / 2);
        std::nth_element(ch[c].begin(), mid, ch[c].end());
        median[c] = *mid;
        for (float& v : ch[c])
            v = std::abs(v - median[c]);
        auto q = ch[c].begin() + std::ptrdiff_t(ch[c].size() * 9 / 10);
        std::nth_element(ch[c].begin(), q, ch[c].end());
        flat = flat && *q < kFlatSpread;
    }
    return flat;
}

} // namespace colourmaps
