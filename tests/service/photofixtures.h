#pragma once
// Photos made on the fly for the service tests, so every case states exactly what
// it feeds in.

#include <opencv2/core.hpp>

#include <string>

namespace photofixtures {

// A flat green sheet with a soft-edged red disc in the middle: the key engine's
// home ground, and a fringe test (green must not show in the disc's edge).
cv::Mat discOnGreen(int w, int h);
std::string encode(const cv::Mat& img, const std::string& ext);
// A PNG header that claims w x h pixels, followed by a tiny valid body.
std::string pngClaiming(unsigned w, unsigned h);

} // namespace photofixtures
