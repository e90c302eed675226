#include "keyengine.h"

#include "colourmaps.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <vector>

namespace {

// Per-channel median of the pixels in a band `band` wide along the border.
cv::Vec3f borderMedian(const cv::Mat& img, int band)
{
    std::vector<float> ch[3];
    for (int y = 0; y < img.rows; ++y) {
        const auto* row = img.ptr<cv::Vec3f>(y);
        const bool edgeRow = y < band || y >= img.rows - band;
        for (int x = 0; x < img.cols; ++x) {
            if (edgeRow || x < band || x >= img.cols - band)
                for (int c = 0; c < 3; ++c)
                    ch[c].push_back(row[x][c]);
        }
    }
    cv::Vec3f median;
    for (int c = 0; c < 3; ++c) {
        auto mid = ch[c].begin() + std::ptrdiff_t(ch[c].size() / 2);
        std::nth_element(ch[c].begin(), mid, ch[c].end());
        median[c] = *mid;
    }
    return median;
}

float borderPercentile(const cv::Mat& dist, int band, double q)
{
    std::vector<float> v;
    for (int y = 0; y < dist.rows; ++y) {
        const float* row = dist.ptr<float>(y);
        const bool edgeRow = y < band || y >= dist.rows - band;
        for (int x = 0; x < dist.cols; ++x)
            if (edgeRow || x < band || x >= dist.cols - band)
                v.push_back(row[x]);
    }
    auto at = v.begin() + std::ptrdiff_t(double(v.size() - 1) * q);
    std::nth_element(v.begin(), at, v.end());
    return *at;
}

// Keeps the largest connected region of `mask` and any other region at least a
// tenth of its size (a pair of shoes is two regions); specks of noise go.
cv::Mat keepSubject(const cv::Mat& mask)
{
    cv::Mat labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(mask, labels, stats, centroids, 8, CV_32S);
    int largest = 0;
    for (int i = 1; i < n; ++i)
        largest = std::max(largest, stats.at<int>(i, cv::CC_STAT_AREA));
    std::vector<uchar> keep(size_t(std::max(n, 1)), 0);
    for (int i = 1; i < n; ++i)
        keep[size_t(i)] = stats.at<int>(i, cv::CC_STAT_AREA) * 10 >= largest ? 255 : 0;
    cv::Mat out(mask.size(), CV_8U);
    for (int y = 0; y < mask.rows; ++y) {
        const int* l = labels.ptr<int>(y);
        uchar* o = out.ptr<uchar>(y);
        for (int x = 0; x < mask.cols; ++x)
            o[x] = keep[size_t(l[x])];
    }
    return out;
}

} // namespace

cv::Mat KeyEngine::alpha(const cv::Mat& bgr, bool /*isBody*/)
{
    CV_Assert(bgr.type() == CV_8UC3 && !bgr.empty());
    cv::Mat small = bgr;
    const int side = std::max(bgr.cols, bgr.rows);
    if (side > kWorkSide)
        small = colourmaps::shrink(bgr, double(kWorkSide) / side);
    cv::Mat img, lab;
    small.convertTo(img, CV_32FC3, 1.0 / 255.0);
    cv::cvtColor(img, lab, cv::COLOR_BGR2Lab);

    const int band = std::max(1, std::min(img.cols, img.rows) / 50);
    const cv::Vec3f bgLab = borderMedian(lab, band);
    const cv::Vec3f bg = borderMedian(img, band);

    cv::Mat diff = lab - cv::Scalar(bgLab[0], bgLab[1], bgLab[2]);
    cv::Mat sq;
    cv::multiply(diff, diff, sq);
    cv::Mat dist;
    cv::transform(sq, dist, cv::Matx13f(1, 1, 1));
    cv::sqrt(dist, dist);
    // Sensor noise would punch pinholes into a pale subject; a median keeps edges.
    cv::medianBlur(dist, dist, 3);

    // Thresholds in Lab units (delta E) follow the border's own noise, so grainy
    // paper is not mistaken for the subject.
    const float lo = std::max(6.0f, 1.5f * borderPercentile(dist, band, 0.95));
    const float hi = lo + 12.0f;
    cv::Mat sure = dist > hi;
    cv::morphologyEx(sure, sure, cv::MORPH_CLOSE,
                     cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(5, 5)));
    const cv::Mat subject = keepSubject(sure);

    const int radius = std::max(2, std::min(img.cols, img.rows) / 60);
    const cv::Size box(2 * radius + 1, 2 * radius + 1);
    cv::Mat weight, weightSum, colourSum;
    subject.convertTo(weight, CV_32F, 1.0 / 255.0);
    cv::blur(weight, weightSum, box);
    cv::Mat weighted;
    cv::cvtColor(weight, weighted, cv::COLOR_GRAY2BGR);
    cv::multiply(img, weighted, weighted);
    cv::blur(weighted, colourSum, box);
    cv::Mat near;
    cv::dilate(subject, near, cv::getStructuringElement(cv::MORPH_ELLIPSE, box));

    cv::Mat alpha(img.size(), CV_32F, cv::Scalar(0));
    for (int y = 0; y < img.rows; ++y) {
        const auto* px = img.ptr<cv::Vec3f>(y);
        const auto* cs = colourSum.ptr<cv::Vec3f>(y);
        const float* ws = weightSum.ptr<float>(y);
        const float* d = dist.ptr<float>(y);
        const uchar* s = subject.ptr<uchar>(y);
        const uchar* nr = near.ptr<uchar>(y);
        float* a = alpha.ptr<float>(y);
        for (int x = 0; x < img.cols; ++x) {
            if (s[x]) {
                a[x] = 1.0f;
            } else if (nr[x] && d[x] >= lo && ws[x] > 1e-4f) {
                // Mixed pixel: project it onto the line from the background colour
                // to the nearby subject colour.
                const cv::Vec3f fg = cs[x] / ws[x];
                const cv::Vec3f span = fg - bg;
                const float len2 = span.dot(span);
                a[x] = len2 > 1e-4f ? std::clamp((px[x] - bg).dot(span) / len2, 0.0f, 1.0f) : 1.0f;
            }
        }
    }
    return alpha;
}
