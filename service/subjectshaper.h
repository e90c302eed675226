#pragma once
// What the requested mode keeps of the model's mask, decided on the model's own
// (small) alpha before the edge is refined. Stateless; any thread.

#include "mattingprotocol.h"

#include <opencv2/core.hpp>

class SubjectShaper
{
public:
    using Mode = mattingprotocol::Options::Mode;

    // `alpha`: CV_32F in [0, 1] at any size; the result has its size.
    //  person: only what hangs together with the largest figure;
    //  product: every object, with the flat-background key's edge where the
    //           border is a flat sheet and the key agrees with the model;
    //  id: person, holes enclosed by the figure filled, and the key's edge on a
    //      flat backdrop.
    static cv::Mat shape(const cv::Mat& bgr, const cv::Mat& alpha, Mode mode);

    static cv::Mat keepLargestFigure(const cv::Mat& alpha);
    static cv::Mat fillEnclosedHoles(const cv::Mat& alpha);
    // Blends in the key engine's alpha where the border is flat and the two agree.
    static cv::Mat blendFlatKey(const cv::Mat& bgr, const cv::Mat& alpha);
};
