#pragma once
// Smooth per-pixel colour maps estimated on a small copy of the photo and read
// back at full resolution. Plain functions: callers own every Mat.

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace colourmaps {

// Local mean colour of the pixels selected by `weight` (CV_32F, 0..1) within
// `radius`, and the global mean where none is near; with `spread`, also the sum
// over the channels of their variance there (0 where none is near). False when
// nothing is selected.
bool weightedMean(const cv::Mat& img, const cv::Mat& weight, int radius, cv::Mat& mean,
                  cv::Mat* spread = nullptr);

// Colour of the pixels selected by `weight` (CV_32F, 0..1) pushed into the
// unselected ones: the weighted mean within a small radius, falling back smoothly
// on the means at ever larger radii where little is selected nearby.
cv::Mat pushedMean(const cv::Mat& img, const cv::Mat& weight);

// cv::blur (default border) of `src` (CV_32F, up to four channels) into
// `dst`, in row strips on the OpenCV thread pool: running sums in double as
// cv::blur keeps them, so the same result to the bit, several times faster for
// the small boxes of pushedMean (cv::blur took 12 ms for a 5 x 5 box over a
// four-channel work map).
void blur(const cv::Mat& src, cv::Mat& dst, int radius);

// cv::resize(INTER_AREA) of `src` down to `size`. While `src` has even sides at
// least twice those of `size` it is first halved on OpenCV's integer-factor path,
// which on a whole photo is several times faster than the general path and
// averages nearly the same pixels. (An odd side would be cropped, moving the
// far edge.) A factor left that is no whole number is done here, two to four
// times faster than OpenCV's general path for CV_8U and CV_32F; the result is
// within a level or two of cv::resize's.
cv::Mat shrink(const cv::Mat& src, cv::Size size);
// The same to `f` (at most 1) times the size of `src`, rounded as cv::resize does.
cv::Mat shrink(const cv::Mat& src, double f);

// Bilinear read of a CV_32FC3 map at (fx, fy), clamped to its border. Inline:
// the full-size loops call it for every pixel of the band.
inline cv::Vec3f sampleBilinear(const cv::Mat& map, float fx, float fy)
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

// Maps a full-resolution pixel to the coordinates of a map `scale` times smaller
// (scale = map size / photo size), pixel centres aligned.
inline float toMap(int v, float scale)
{
    return (float(v) + 0.5f) * scale - 0.5f;
}

// The cell nearest to map coordinate `v`, clamped into a map `size` cells long.
inline int nearest(float v, int size)
{
    return std::clamp(int(std::lround(v)), 0, size - 1);
}

// nearest(toMap(x, scale), size) for each of `photoSide` photo pixels, for the
// full-size loops to look up.
std::vector<int> nearestCells(int photoSide, float scale, int size);

// Median colour of a CV_8UC3 photo's border (a band 2% of the
// shorter side wide), and whether the border is one flat colour, as on a studio sheet.
bool flatBorder(const cv::Mat& img, cv::Vec3f& median);

} // namespace colourmaps
