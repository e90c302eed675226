#pragma once
// A photo with a date stamp drawn over it, the brush mask a user paints over the
// stamp, the blur fill every real fill must beat and the error to compare them by.
// Shared by the fill's unit suite, its scenario and its benchmark; OpenCV only.

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <string>
#include <vector>

namespace inpaintfixtures {

struct Marked
{
    cv::Mat clean, marked;
    cv::Mat mask; // CV_8UC1, 255 under the brush
};

// White text with a dark outline across `box` of `clean`; the mask covers the text
// and a few pixels around it, as a brush does.
inline Marked markText(const cv::Mat& clean, cv::Rect box)
{
    Marked m{clean, clean.clone(), cv::Mat()};
    const std::string text = "2026 MARK";
    const cv::Size unit = cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, 1.0, 2, nullptr);
    const double scale = std::min(box.width / double(unit.width), box.height / double(unit.height)) * 0.9;
    const cv::Point origin(box.x + 2, box.y + box.height * 4 / 5);
    for (const auto& [colour, width] : {std::pair{20.0, 4.0}, std::pair{250.0, 2.0}})
        cv::putText(m.marked, text, origin, cv::FONT_HERSHEY_SIMPLEX, scale,
                    cv::Scalar(colour, colour, colour, 255), std::max(int(width / 2), int(width * scale)));
    std::vector<cv::Mat> diff(4);
    cv::absdiff(m.marked, clean, diff[3]);
    cv::split(diff[3], diff);
    m.mask = (diff[0] | diff[1] | diff[2]) > 0;
    cv::dilate(m.mask, m.mask, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(7, 7)));
    return m;
}

// Every masked pixel replaced by the average of the unmasked ones around it.
inline cv::Mat blurFill(const cv::Mat& image, const cv::Mat& mask)
{
    cv::Mat zeroed, weight, average, result = image.clone();
    image.copyTo(zeroed, mask == 0);
    zeroed.convertTo(zeroed, CV_32F);
    cv::Mat(mask == 0).convertTo(weight, CV_32F, 1.0 / 255);
    cv::blur(zeroed, zeroed, cv::Size(41, 41));
    cv::blur(weight, weight, cv::Size(41, 41));
    cv::merge(std::vector<cv::Mat>(size_t(image.channels()), cv::max(weight, 1e-3)), weight);
    cv::divide(zeroed, weight, average, 1, image.type());
    average.copyTo(result, mask);
    return result;
}

// Mean absolute error per colour value over the masked pixels.
inline double meanAbsError(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask)
{
    cv::Mat diff;
    cv::absdiff(a, b, diff);
    const cv::Scalar mean = cv::mean(diff, mask);
    return (mean[0] + mean[1] + mean[2]) / 3;
}

} // namespace inpaintfixtures
