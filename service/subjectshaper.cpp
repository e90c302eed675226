#include "subjectshaper.h"

#include "colourmaps.h"
#include "keyengine.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <vector>

namespace {

// A figure is what alpha holds together above this; its core is above kCore.
constexpr float kTouch = 0.05f;
constexpr float kCore = 0.5f;
// The key and the model agree where they differ by less than this.
constexpr float kAgree = 0.35f;

} // namespace

cv::Mat SubjectShaper::shape(const cv::Mat& bgr, const cv::Mat& alpha, Mode mode)
{
    switch (mode) {
    case Mode::Person:
        return keepLargestFigure(alpha);
    case Mode::Id:
        return blendFlatKey(bgr, fillEnclosedHoles(keepLargestFigure(alpha)));
    case Mode::Product:
        break;
    }
    return blendFlatKey(bgr, alpha);
}

cv::Mat SubjectShaper::keepLargestFigure(const cv::Mat& alpha)
{
    cv::Mat labels;
    const int n = cv::connectedComponents(alpha > kTouch, labels, 8, CV_32S);
    if (n <= 2)
        return alpha.clone();
    // The figure whose core is largest, not whose faint fringe is.
    std::vector<int> core(size_t(n), 0);
    for (int y = 0; y < alpha.rows; ++y) {
        const float* a = alpha.ptr<float>(y);
        const int* l = labels.ptr<int>(y);
        for (int x = 0; x < alpha.cols; ++x)
            core[size_t(l[x])] += a[x] > kCore;
    }
    const int keep = int(std::max_element(core.begin() + 1, core.end()) - core.begin());
    cv::Mat out = alpha.clone();
    out.setTo(0, labels != keep);
    return out;
}

cv::Mat SubjectShaper::fillEnclosedHoles(const cv::Mat& alpha)
{
    // Background reachable from the border stays; every other non-core pixel is a hole.
    cv::Mat outside = alpha <= kCore;
    cv::Mat padded;
    cv::copyMakeBorder(outside, padded, 1, 1, 1, 1, cv::BORDER_CONSTANT, 255);
    cv::floodFill(padded, cv::Point(0, 0), 128);
    cv::Mat out = alpha.clone();
    out.setTo(1.0f, padded(cv::Rect(1, 1, alpha.cols, alpha.rows)) == 255);
    return out;
}

cv::Mat SubjectShaper::blendFlatKey(const cv::Mat& bgr, const cv::Mat& alpha)
{
    const cv::Mat small = colourmaps::shrink(bgr, std::min(1.0, 512.0 / std::max(bgr.cols, bgr.rows)));
    cv::Vec3f sheet;
    if (!colourmaps::flatBorder(small, sheet))
        return alpha;
    cv::Mat key = KeyEngine().alpha(bgr, false);
    cv::resize(key, key, alpha.size(), 0, 0, cv::INTER_LINEAR);
    cv::Mat out(alpha.size(), CV_32F);
    for (int y = 0; y < alpha.rows; ++y) {
        const float* a = alpha.ptr<float>(y);
        const float* k = key.ptr<float>(y);
        float* o = out.ptr<float>(y);
        for (int x = 0; x < alpha.cols; ++x) {
            const float w = std::max(0.0f, 1.0f - std::abs(k[x] - a[x]) / kAgree);
            o[x] = w * k[x] + (1.0f - w) * a[x];
        }
    }
    return out;
}
