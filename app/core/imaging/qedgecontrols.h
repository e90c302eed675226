#pragma once

#include <opencv2/core.hpp>

// The cut-out's edge as the user tunes it after matting: feathered (softened over
// a number of pixels), shifted in or out, and with the service's re-estimated edge
// colours or the photo's own. Options are in photo pixels; a smaller picture (the
// editor's preview) passes its scale and gets the same look at its size.
//
// Stateless; runs on any thread.
class QEdgeControls
{
public:
    QEdgeControls() = delete;

    static constexpr int kMaxFeather = 20;
    static constexpr int kMaxShift = 5;

    struct Options
    {
        int feather = 0;           // 0..kMaxFeather
        int shift = 0;             // -kMaxShift (in) .. kMaxShift (out)
        bool decontaminate = true; // false: the photo's colours under the alpha
        bool operator==(const Options& o) const
        {
            return feather == o.feather && shift == o.shift && decontaminate == o.decontaminate;
        }
        bool operator!=(const Options& o) const { return !(*this == o); }
    };

    // The alpha (CV_8UC1) shifted and then feathered, at `scale` of photo pixels.
    static cv::Mat alpha(const cv::Mat& alpha, const Options& options, double scale = 1.0);
    // A copy of `cutout` (CV_8UC4) with its alpha through alpha(). Its colours stay
    // unless decontamination is off, or a pixel had no alpha before (shifted out):
    // those take `photo`'s (CV_8UC3 or CV_8UC4 of the cut-out's size). Default
    // options, or a photo that does not fit, return the cut-out itself.
    static cv::Mat apply(const cv::Mat& cutout, const cv::Mat& photo, const Options& options);
};
