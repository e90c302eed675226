#include "colourmaps.h"

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
} // namespace

bool weightedMean(const cv::Mat& img, const cv::Mat& weight, int radius, cv::Mat& mean)
{
    const double total = cv::sum(weight)[0];
    if (total < 1.0)
        return false;
    cv::Mat w3, sumC, sumW;
    cv::cvtColor(weight, w3, cv::COLOR_GRAY2BGR);
    cv::multiply(img, w3, w3);
    const cv::Scalar g = cv::sum(w3) / total;
    const cv::Vec3f global{float(g[0]), float(g[1]), float(g[2])};
    blur(w3, sumC, radius);
    blur(weight, sumW, radius);
    mean.create(img.size(), CV_32FC3);
    cv::parallel_for_(cv::Range(0, img.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const auto* c = sumC.ptr<cv::Vec3f>(y);
            const float* w = sumW.ptr<float>(y);
            auto* m = mean.ptr<cv::Vec3f>(y);
            for (int x = 0; x < img.cols; ++x)
                m[x] = w[x] > 1e-3f ? c[x] / w[x] : global;
        }
    });
    return true;
}

cv::Mat pushedMean(const cv::Mat& img, const cv::Mat& weight)
{
    // The weighted colour and the weight side by side, blurred in one pass per radius.
    cv::Mat selected, weighted;
    cv::cvtColor(weight, selected, cv::COLOR_GRAY2BGR);
    cv::multiply(img, selected, selected);
    cv::merge(std::vector<cv::Mat>{selected, weight}, weighted);
    const cv::Scalar total = cv::sum(weight), sum = cv::sum(selected);
    const double n = std::max(total[0], 1e-6);
    cv::Mat mean(img.size(), CV_32FC3, cv::Scalar(sum[0] / n, sum[1] / n, sum[2] / n));
    int top = kFinest;
    while (2 * top < std::max(img.cols, img.rows))
        top *= 2;
    cv::Mat sums;
    for (int radius = top; radius >= kFinest; radius /= 2) {
        blur(weighted, sums, radius);
        cv::parallel_for_(cv::Range(0, img.rows), [&](const cv::Range& rows) {
            for (int y = rows.start; y < rows.end; ++y) {
                const auto* s = sums.ptr<cv::Vec4f>(y);
                auto* m = mean.ptr<cv::Vec3f>(y);
                for (int x = 0; x < img.cols; ++x)
                    for (int ch = 0; ch < 3; ++ch)
                        m[x][ch] = (s[x][ch] + m[x][ch] * kCoarsePull) / (s[x][3] + kCoarsePull);
            }
        });
    }
    return mean;
}

void blur(const cv::Mat& src, cv::Mat& dst, int radius)
{
    dst.create(src.size(), src.type());
    const cv::Size box(2 * radius + 1, 2 * radius + 1);
    // A strip also filters the `radius` rows on either side of it: one strip per thread.
    cv::parallel_for_(
        cv::Range(0, src.rows),
        [&](const cv::Range& rows) {
            cv::Mat out = dst.rowRange(rows.start, rows.end);
            cv::blur(src.rowRange(rows.start, rows.end), out, box);
        },
        std::max(1, cv::getNumThreads()));
}

cv::Vec3f sampleBilinear(const cv::Mat& map, float fx, float fy)
{
    fx = std::clamp(fx, 0.0f, float(map.cols - 1));
    fy = std::clamp(fy, 0.0f, float(map.rows - 1));
    const int x0 = int(fx), y0 = int(fy);
    const int x1 = std::min(x0 + 1, map.cols - 1), y1 = std::min(y0 + 1, map.rows - 1);
    const float ax = fx - float(x0), ay = fy - float(y0);
    const auto* r0 = map.ptr<cv::Vec3f>(y0);
    const auto* r1 = map.ptr<cv::Vec3f>(y1);
    return (r0[x0] * (1 - ax) + r0[x1] * ax) * (1 - ay) + (r1[x0] * (1 - ax) + r1[x1] * ax) * ay;
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
