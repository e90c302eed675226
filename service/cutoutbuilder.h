#pragma once
// Turns a photo and a soft subject mask into the cut-out the client downloads.

#include <opencv2/core.hpp>

class CutoutBuilder
{
public:
    // BGRA at the photo's size. `alpha` is CV_32F in [0, 1] or CV_8U, at any size; it is
    // scaled to the photo. In semi-transparent pixels the colour is re-estimated
    // as the subject's own, so the old background does not show as a fringe when
    // the cut-out is put on a new one. Fully transparent pixels carry none of the
    // removed background (a brush that brings pixels back takes them from the
    // photo): near the subject they hold its colour, elsewhere (0, 0, 0, 0).
    static cv::Mat compose(const cv::Mat& bgr, const cv::Mat& alpha);

    // Colour maps are estimated at this many pixels on the longer side.
    static constexpr int kColourSide = 512;
};
