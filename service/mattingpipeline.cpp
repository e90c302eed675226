#include "mattingpipeline.h"

#include "cutoutbuilder.h"
#include "servicelog.h"

#include <opencv2/imgcodecs.hpp>

#include <stdexcept>

MattingPipeline::MattingPipeline(std::unique_ptr<MattingEngine> engine) : m_engine(std::move(engine))
{
}

std::vector<uchar> MattingPipeline::run(const std::string& photo, bool isBody)
{
    const cv::Mat raw(1, int(photo.size()), CV_8U, const_cast<char*>(photo.data()));
    // IMREAD_COLOR applies the EXIF orientation, so the result is upright.
    const cv::Mat bgr = cv::imdecode(raw, cv::IMREAD_COLOR);
    if (bgr.empty())
        throw std::runtime_error("The photo could not be read. Please check that the file is a valid image.");
    cv::Mat alpha;
    try {
        alpha = m_engine->alpha(bgr, isBody);
    } catch (const std::exception& e) {
        servicelog::error(std::string("engine failed: ") + e.what());
        throw std::runtime_error("The photo could not be processed. Please try again.");
    }
    return CutoutBuilder::encodePng(CutoutBuilder::compose(bgr, alpha));
}
