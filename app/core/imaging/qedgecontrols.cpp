#include "qedgecontrols.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

cv::Mat QEdgeControls::alpha(const cv::Mat& alpha, const Options& options, double scale)
{
    cv::Mat out = alpha.clone();
    const int shift = int(std::lround(std::clamp(options.shift, -kMaxShift, kMaxShift) * scale));
    if (shift != 0) {
        const int side = 2 * std::abs(shift) + 1;
        const cv::Mat disc = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(side, side));
        if (shift > 0)
            cv::dilate(out, out, disc);
        else
            cv::erode(out, out, disc);
    }
    // The feather is the width of the ramp, about two sigmas each side of the edge.
    const double sigma = std::clamp(options.feather, 0, kMaxFeather) * scale / 4.0;
    if (sigma > 0.1)
        cv::GaussianBlur(out, out, cv::Size(), sigma);
    return out;
}

cv::Mat QEdgeControls::apply(const cv::Mat& cutout, const cv::Mat& photo, const Options& options)
{
    const bool fits = (photo.type() == CV_8UC3 || photo.type() == CV_8UC4) && photo.size() == cutout.size();
    if (cutout.type() != CV_8UC4 || !fits || options == Options())
        return cutout;
    cv::Mat before;
    cv::extractChannel(cutout, before, 3);
    const cv::Mat after = alpha(before, options);
    cv::Mat colour;
    if (photo.channels() == 4)
        cv::cvtColor(photo, colour, cv::COLOR_BGRA2BGR);
    else
        colour = photo;
    cv::Mat out(cutout.size(), CV_8UC4);
    for (int r = 0; r < out.rows; ++r) {
        const auto* in = cutout.ptr<cv::Vec4b>(r);
        const auto* own = colour.ptr<cv::Vec3b>(r);
        const uchar* was = before.ptr<uchar>(r);
        const uchar* a = after.ptr<uchar>(r);
        auto* o = out.ptr<cv::Vec4b>(r);
        for (int c = 0; c < out.cols; ++c) {
            const bool photoColour = !options.decontaminate || was[c] == 0;
            o[c] = photoColour ? cv::Vec4b(own[c][0], own[c][1], own[c][2], a[c])
                               : cv::Vec4b(in[c][0], in[c][1], in[c][2], a[c]);
        }
    }
    return out;
}
