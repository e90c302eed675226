#include "mattingpipeline.h"

#include "cutoutbuilder.h"
#include "pngwriter.h"
#include "servicelog.h"

#include <opencv2/imgcodecs.hpp>

#include <chrono>
#include <stdexcept>

MattingPipeline::MattingPipeline(std::unique_ptr<MattingEngine> engine) : m_engine(std::move(engine)) {}

std::vector<uchar> MattingPipeline::run(const std::string& photo, bool isBody)
{
    using Clock = std::chrono::steady_clock;
    Clock::time_point mark = Clock::now();
    std::string stages;
    auto lap = [&](const char* name) {
        const Clock::time_point now = Clock::now();
        stages += std::string(stages.empty() ? "" : ", ") + name + " " +
                  std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(now - mark).count()) +
                  " ms";
        mark = now;
    };

    const cv::Mat raw(1, int(photo.size()), CV_8U, const_cast<char*>(photo.data()));
    // IMREAD_COLOR applies the EXIF orientation, so the result is upright.
    const cv::Mat bgr = cv::imdecode(raw, cv::IMREAD_COLOR);
    if (bgr.empty())
        throw std::runtime_error("The photo could not be read. Please check that the file is a valid image.");
    lap("decode");
    cv::Mat alpha;
    try {
        alpha = m_engine->alpha(bgr, isBody);
    } catch (const std::exception& e) {
        servicelog::error(std::string("engine failed: ") + e.what());
        throw std::runtime_error("The photo could not be processed. Please try again.");
    }
    lap("segment");
    const cv::Mat cutout = CutoutBuilder::compose(bgr, alpha);
    lap("compose");
    std::vector<uchar> png = PngWriter::encode(cutout);
    lap("encode");
    servicelog::debug(std::to_string(bgr.cols) + "x" + std::to_string(bgr.rows) + ": " + stages);
    return png;
}
