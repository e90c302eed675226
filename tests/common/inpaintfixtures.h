#pragma once
// A photo with a mark drawn over it, the brush mask a user paints over the mark,
// the blur fill every real fill must beat, and the errors to compare them by.
// Shared by the fill's unit suite and its benchmark; OpenCV only.

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <string>

namespace inpaintfixtures {

struct Marked
{
    cv::Mat clean;
    cv::Mat marked;
    cv::Mat mask; // CV_8UC1, 255 under the brush
};

// White text with a dark outline, like a date stamp, filling `box` of `clean`; the
// mask covers the text and a few pixels around it, as a brush does.
inline Marked markText(const cv::Mat& clean, cv::Rect box)
{
    Marked m{clean, clean.clone(), cv::Mat()};
    const std::string text = "2026 MARK";
    const cv::Size unit = cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, 1.0, 2, nullptr);
    const double scale = std::min(box.width / double(unit.width), box.height / double(unit.height)) * 0.9;
    const cv::Point origin(box.x + 2, box.y + box.height * 4 / 5);
    const cv::Scalar dark = cv::Scalar(20, 20, 20, 255), white = cv::Scalar(250, 250, 250, 255);
    cv::putText(m.marked, text, origin, cv::FONT_HERSHEY_SIMPLEX, scale, dark, std::max(2, int(4 * scale)));
    cv::putText(m.marked, text, origin, cv::FONT_HERSHEY_SIMPLEX, scale, white, std::max(1, int(2 * scale)));
    cv::Mat diff;
    cv::absdiff(m.marked, clean, diff);
    std::vector<cv::Mat> planes;
    cv::split(diff, planes);
    m.mask = (planes[0] | planes[1] | planes[2]) > 0;
    cv::dilate(m.mask, m.mask, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(7, 7)));
    return m;
}

// Every masked pixel replaced by the average of the unmasked ones around it: the
// cheap fill a real one has to beat.
inline cv::Mat blurFill(const cv::Mat& image, const cv::Mat& mask)
{
    const cv::Size kernel(41, 41);
    cv::Mat valid, sum, weight, average;
    cv::Mat(mask == 0).convertTo(valid, CV_32F, 1.0 / 255);
    image.convertTo(average, CV_32F);
    cv::Mat weighted, validN;
    cv::merge(std::vector<cv::Mat>(size_t(image.channels()), valid), validN);
    cv::multiply(average, validN, weighted);
    cv::boxFilter(weighted, sum, -1, kernel, cv::Point(-1, -1), false);
    cv::boxFilter(validN, weight, -1, kernel, cv::Point(-1, -1), false);
    cv::divide(sum, cv::max(weight, 1e-3), average);
    cv::Mat result = image.clone(), converted;
    average.convertTo(converted, image.type());
    converted.copyTo(result, mask);
    return result;
}

// Mean absolute error per channel value over the masked pixels.
inline double meanAbsError(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask)
{
    cv::Mat diff;
    cv::absdiff(a, b, diff);
    const cv::Scalar mean = cv::mean(diff, mask);
    return (mean[0] + mean[1] + mean[2]) / 3;
}

// Peak signal-to-noise ratio in dB over the masked pixels.
inline double psnr(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask)
{
    cv::Mat diff;
    cv::absdiff(a, b, diff);
    diff.convertTo(diff, CV_32F);
    diff = diff.mul(diff);
    const cv::Scalar mean = cv::mean(diff, mask);
    const double mse = (mean[0] + mean[1] + mean[2]) / 3;
    return 10 * std::log10(255.0 * 255.0 / std::max(mse, 1e-10));
}

} // namespace inpaintfixtures
