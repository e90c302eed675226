#pragma once
// Keys out a flat background, as in product shots on a plain sheet: the background
// colour comes from the photo's border, the subject is the connected region that
// clearly differs from it, and its edge is unmixed linearly between the local
// subject colour and the background colour, which gives a soft alpha.

#include "mattingengine.h"

class KeyEngine : public MattingEngine
{
public:
    cv::Mat alpha(const cv::Mat& bgr, bool isBody) override;

    // Work is done at this many pixels on the longer side at most.
    static constexpr int kWorkSide = 800;
};
