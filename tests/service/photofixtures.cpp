#include "photofixtures.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <stdexcept>
#include <vector>

namespace photofixtures {

cv::Mat discOnGreen(int w, int h)
{
    cv::Mat img(h, w, CV_8UC3, cv::Scalar(40, 190, 40));
    cv::circle(img, cv::Point(w / 2, h / 2), std::min(w, h) / 4, cv::Scalar(30, 30, 220), cv::FILLED,
               cv::LINE_AA);
    cv::GaussianBlur(img, img, cv::Size(0, 0), 2.0);
    return img;
}

std::string encode(const cv::Mat& img, const std::string& ext)
{
    std::vector<uchar> buf;
    if (!cv::imencode(ext, img, buf))
        throw std::runtime_error("cannot encode " + ext);
    return std::string(buf.begin(), buf.end());
}

std::string pngClaiming(unsigned w, unsigned h)
{
    std::string png = encode(cv::Mat(4, 4, CV_8UC3, cv::Scalar::all(128)), ".png");
    // IHDR width and height sit at bytes 16..23, big-endian. The CRC no longer
    // matches, which a header-only check must not care about.
    for (int i = 0; i < 4; ++i) {
        png[size_t(16 + i)] = char((w >> (24 - 8 * i)) & 0xFF);
        png[size_t(20 + i)] = char((h >> (24 - 8 * i)) & 0xFF);
    }
    return png;
}

} // namespace photofixtures
