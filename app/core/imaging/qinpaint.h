#pragma once

#include <opencv2/core.hpp>

// Fills the painted part of a photo from its surroundings: a watermark, a date
// stamp or a stray object painted over disappears. Only the mask's bounding box
// plus kMargin of context is handed to the algorithm, and only the masked pixels
// are written back, so a fill on a 12-megapixel photo costs what its strokes
// cover and every pixel outside the mask keeps its bytes.
//
// Threads: pure functions of their arguments; they run on a work pool thread
// (a large area takes a second or more).
class QInpaint
{
public:
    enum class Method
    {
        Auto,  // Fsr, but Telea for thin strokes and areas above kMaxFsrArea
        Fsr,   // frequency selective reconstruction (xphoto, fast profile): texture and edges
        Telea, // fast marching (cv::inpaint): smooth, quick, good on thin lines
    };
    // Context around the mask that the algorithms may read.
    static constexpr int kMargin = 32;
    static constexpr double kTeleaRadius = 5.0;
    // Strokes at most this wide gain nothing from the slower reconstruction.
    static constexpr int kThinStroke = 8;
    // The reconstruction's time grows faster than the area it fills: 200 x 60
    // pixels take about 0.6 s of one core. Auto fills more than this many pixels at
    // once with Telea, so that no stroke makes the user wait for seconds.
    static constexpr int kMaxFsrArea = 16000;

    // image: CV_8UC3 or CV_8UC4 (the alpha channel is left as it is); mask: CV_8UC1
    // of the image's size, non-zero where to fill. Changes image in place (it must
    // not share pixels with anything that expects them unchanged) and returns the
    // rectangle that holds every changed pixel; empty when the mask is empty or
    // the arguments do not fit, image then untouched.
    static cv::Rect fill(cv::Mat& image, const cv::Mat& mask, Method method = Method::Auto);

    // The mask's bounding box, empty for an empty mask.
    static cv::Rect bounds(const cv::Mat& mask);
    // What Auto picks for this part of a mask (the region the algorithm sees).
    static Method choose(const cv::Mat& regionMask);
};
