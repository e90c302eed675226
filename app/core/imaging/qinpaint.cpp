#include "qinpaint.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/photo.hpp>
#include <opencv2/xphoto.hpp>

cv::Rect QInpaint::bounds(const cv::Mat& mask)
{
    if (mask.empty())
        return cv::Rect();
    return cv::boundingRect(mask);
}

QInpaint::Method QInpaint::choose(const cv::Mat& regionMask)
{
    if (cv::countNonZero(regionMask) > kMaxFsrArea)
        return Method::Telea;
    // The distance from the middle of the widest stroke to its edge is half its width.
    cv::Mat distance;
    cv::distanceTransform(regionMask, distance, cv::DIST_L2, 3);
    double widest = 0;
    cv::minMaxLoc(distance, nullptr, &widest);
    return 2 * widest <= kThinStroke ? Method::Telea : Method::Fsr;
}

cv::Rect QInpaint::fill(cv::Mat& image, const cv::Mat& mask, Method method)
{
    if (image.empty() || (image.type() != CV_8UC3 && image.type() != CV_8UC4) || mask.type() != CV_8UC1 ||
        mask.size() != image.size())
        return cv::Rect();
    const cv::Rect box = bounds(mask);
    if (box.empty())
        return cv::Rect();
    const cv::Rect region = (box - cv::Point(kMargin, kMargin) + cv::Size(2 * kMargin, 2 * kMargin)) &
                            cv::Rect(0, 0, image.cols, image.rows);
    const cv::Mat regionMask = mask(region) != 0;
    cv::Mat colour;
    if (image.channels() == 4)
        cv::cvtColor(image(region), colour, cv::COLOR_BGRA2BGR);
    else
        colour = image(region).clone();

    cv::Mat filled;
    if (method == Method::Auto)
        method = choose(regionMask);
    if (method == Method::Fsr)
        cv::xphoto::inpaint(colour, regionMask == 0, filled, cv::xphoto::INPAINT_FSR_FAST);
    else
        cv::inpaint(colour, regionMask, filled, kTeleaRadius, cv::INPAINT_TELEA);

    cv::Mat target = image(region);
    if (image.channels() == 4) {
        cv::Mat withAlpha = target.clone();
        const int channels[] = {0, 0, 1, 1, 2, 2};
        cv::mixChannels(&filled, 1, &withAlpha, 1, channels, 3);
        filled = withAlpha;
    }
    filled.copyTo(target, regionMask);
    return box;
}
