#include "shadowlayer.h"

#include "colourmaps.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

// A shade keeps the sheet's hue: its channels darken alike within this much.
constexpr float kHueDrift = 0.08f;
// Fainter than this is the sheet's own unevenness.
constexpr float kFaint = 0.04f;

} // namespace

cv::Mat ShadowLayer::strength(const cv::Mat& bgr, const cv::Mat& alpha)
{
    const double f = std::min(1.0, double(kWorkSide) / std::max(bgr.cols, bgr.rows));
    const cv::Mat small = colourmaps::shrink(bgr, f);
    cv::Vec3f sheet;
    if (!colourmaps::flatBorder(small, sheet) || std::min({sheet[0], sheet[1], sheet[2]}) < 20.0f)
        return cv::Mat();
    cv::Mat a;
    cv::resize(alpha, a, small.size(), 0, 0, cv::INTER_AREA);
    // Contact shadows lie within a tenth of the photo of the object.
    const int reach = std::max(3, std::max(small.cols, small.rows) / 10);
    cv::Mat near;
    cv::dilate(a > 0.5f, near,
               cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * reach + 1, 2 * reach + 1)));
    cv::Mat s(small.size(), CV_32F, cv::Scalar(0));
    for (int y = 0; y < small.rows; ++y) {
        const auto* px = small.ptr<cv::Vec3b>(y);
        const uchar* n = near.ptr<uchar>(y);
        float* out = s.ptr<float>(y);
        for (int x = 0; x < small.cols; ++x) {
            if (!n[x])
                continue;
            float r[3];
            for (int c = 0; c < 3; ++c)
                r[c] = float(px[x][c]) / sheet[c];
            const float mean = (r[0] + r[1] + r[2]) / 3.0f;
            const float drift =
                std::max({std::abs(r[0] - mean), std::abs(r[1] - mean), std::abs(r[2] - mean)});
            if (drift < kHueDrift * std::max(mean, 0.2f) && 1.0f - mean > kFaint)
                out[x] = std::min(1.0f, 1.0f - mean);
        }
    }
    cv::GaussianBlur(s, s, cv::Size(0, 0), 1.0);
    return s;
}

void ShadowLayer::apply(cv::Mat& bgra, const cv::Mat& strength)
{
    CV_Assert(bgra.type() == CV_8UC4 && strength.type() == CV_32F);
    cv::Mat s;
    cv::resize(strength, s, bgra.size(), 0, 0, cv::INTER_LINEAR);
    cv::parallel_for_(cv::Range(0, bgra.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const float* sh = s.ptr<float>(y);
            auto* o = bgra.ptr<cv::Vec4b>(y);
            for (int x = 0; x < bgra.cols; ++x) {
                if (sh[x] <= 0.0f || o[x][3] == 255)
                    continue;
                const float a = float(o[x][3]) / 255.0f;
                const float total = a + sh[x] * (1.0f - a);
                const float keep = total > 0.0f ? a / total : 0.0f;
                for (int c = 0; c < 3; ++c)
                    o[x][c] = cv::saturate_cast<uchar>(float(o[x][c]) * keep);
                o[x][3] = cv::saturate_cast<uchar>(total * 255.0f);
            }
        }
    });
}
