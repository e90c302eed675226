#pragma once
// Smooth per-pixel colour maps estimated on a small copy of the photo and read
// back at full resolution. Plain functions: callers own every Mat.

#include <opencv2/core.hpp>

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

// cv::blur (default border) of `src` into `dst`, in row strips on the OpenCV
// thread pool. Each strip reads the rows around it from the whole image, so the
// result is the same as one cv::blur call.
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

// Bilinear read of a CV_32FC3 map at (fx, fy), clamped to its border.
cv::Vec3f sampleBilinear(const cv::Mat& map, float fx, float fy);

// Maps a full-resolution pixel to the coordinates of a map `scale` times smaller
// (scale = map size / photo size), pixel centres aligned.
inline float toMap(int v, float scale)
{
    return (float(v) + 0.5f) * scale - 0.5f;
}

// Median colour of a CV_8UC3 photo's border (a band 2% of the
// shorter side wide), and whether the border is one flat colour, as on a studio sheet.
bool flatBorder(const cv::Mat& img, cv::Vec3f& median);

} // namespace colourmaps
