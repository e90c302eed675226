#pragma once
// Re-solves the soft edge of a cut-out at the photo's full resolution: the
// model's alpha is coarse (a fixed, small input), and colours taken from the photo
// as they are keep the old background in hair and fur.
//
// Every step checks the deadline given at construction and throws
// std::runtime_error once it has passed, so the caller can fall back to the
// unrefined result. Holds the photo (shared, not copied; the caller keeps it
// unchanged) and a small copy of it for both steps; const methods, any thread.

#include <opencv2/core.hpp>

#include <chrono>

class EdgeRefiner
{
public:
    using Clock = std::chrono::steady_clock;

    // `bgr`: the photo, CV_8UC3.
    EdgeRefiner(const cv::Mat& bgr, Clock::time_point deadline);

    // CV_8U at the photo's size from a CV_32F alpha at any size. Away from the model's
    // soft band the alpha is the model's, scaled up; in the band each pixel is
    // unmixed between the nearby subject and background colours, as far as the
    // two differ more than the background's own texture does.
    cv::Mat refineAlpha(const cv::Mat& alpha) const;

    // BGRA cut-out for a full-size CV_8U alpha. Semi-transparent pixels get the
    // subject's own colour, solved per pixel at full size through the background
    // behind them (the clear background nearby, carried into the band). Where the
    // alpha is low that solve is noise, and a smooth foreground takes over, solved
    // on a small copy level by level (coarse to fine, each level smoothing along
    // the alpha). Opaque pixels keep the photo's colour; transparent ones are
    // as CutoutBuilder::compose makes them, with the smooth foreground near the band.
    cv::Mat compose(const cv::Mat& alpha) const;

    // Work maps are this many pixels on the longer side at most.
    static constexpr int kWorkSide = 1024;

    // Throws when the deadline has passed.
    void checkDeadline() const;

private:
    cv::Mat m_photo;
    cv::Mat m_small; // at most kWorkSide on the longer side, CV_8UC3
    Clock::time_point m_deadline;
};
