#pragma once
// The contact shadow an object casts on a flat studio sheet, kept as a black
// semi-transparent layer in the cut-out so that it darkens any new background.
// Stateless; any thread.

#include <opencv2/core.hpp>

class ShadowLayer
{
public:
    // Shadow strength (CV_32F in [0, 1], 1 - shade / sheet) at a small size, for
    // pixels near the subject that are a darker copy of the sheet's colour; empty
    // when the photo's border is not one flat colour. `alpha`: the subject's, any size.
    static cv::Mat strength(const cv::Mat& bgr, const cv::Mat& alpha);

    // Lays `strength` (any size) under the subject of a BGRA cut-out: a pixel's
    // alpha becomes a + s(1 - a) and its colour a F / that, so over a background
    // B it shows a F + (1 - a)(1 - s) B.
    static void apply(cv::Mat& bgra, const cv::Mat& strength);

    static constexpr int kWorkSide = 512;
};
