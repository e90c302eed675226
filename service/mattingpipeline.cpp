#include "mattingpipeline.h"

#include "cutoutbuilder.h"
#include "edgerefiner.h"
#include "jpegdecoder.h"
#include "pngwriter.h"
#include "servicelog.h"
#include "shadowlayer.h"
#include "subjectshaper.h"

#include <opencv2/imgcodecs.hpp>

#include <atomic>
#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;

// Runs one refinement; when it throws (or overruns the budget, which it reports
// by throwing) the job keeps `fallback` and the log says why.
template <class Step> cv::Mat refined(const char* name, const cv::Mat& fallback, Step step)
{
    try {
        return step();
    } catch (const std::exception& e) {
        servicelog::warning(std::string(name) + " refinement skipped: " + e.what());
        return fallback;
    }
}

} // namespace

class MattingPipeline::Laps
{
public:
    void operator()(const char* step)
    {
        const Clock::time_point now = Clock::now();
        m_text +=
            std::string(m_text.empty() ? "" : ", ") + step + " " +
            std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(now - m_mark).count()) +
            " ms";
        m_mark = now;
    }
    const std::string& text() const { return m_text; }

private:
    Clock::time_point m_mark = Clock::now();
    std::string m_text;
};

MattingPipeline::MattingPipeline(std::unique_ptr<MattingEngine> engine, EngineMaker makeFast)
    : m_engine(std::move(engine)), m_makeFast(std::move(makeFast))
{
}

MattingEngine& MattingPipeline::engineFor(const Options& options)
{
    if (!options.fast || m_fast)
        return options.fast ? *m_fast : *m_engine;
    if (m_makeFast) {
        try {
            m_fast = m_makeFast();
            return *m_fast;
        } catch (const std::exception& e) {
            servicelog::error(std::string("cannot load the fast engine: ") + e.what());
            m_makeFast = nullptr;
        }
    }
    // Every pipeline of the process would say the same, and on every fast job.
    static std::atomic<bool> told{false};
    if (!told.exchange(true))
        servicelog::warning("no fast model loaded; fast requests run on the normal engine");
    return *m_engine;
}

void MattingPipeline::releaseCaches()
{
    m_fast.reset();
    m_engine->releaseCaches();
}

void MattingPipeline::setRefineBudget(double share, std::chrono::milliseconds floor)
{
    m_budgetShare = share;
    m_budgetFloor = floor;
}

cv::Mat MattingPipeline::cutout(const cv::Mat& bgr, const Options& options, Trace* trace)
{
    return cutout(bgr, options, trace, nullptr);
}

cv::Mat MattingPipeline::cutout(const cv::Mat& bgr, const Options& options, Trace* trace, Laps* laps)
{
    const auto lap = [&](const char* step) {
        if (laps)
            (*laps)(step);
    };
    const Clock::time_point start = Clock::now();
    const cv::Mat alpha = engineFor(options).alpha(bgr, options.mode != Options::Mode::Product);
    const Clock::duration segment = Clock::now() - start;
    lap("network");
    const EdgeRefiner refiner(
        bgr, Clock::now() +
                 std::max<Clock::duration>(
                     m_budgetFloor, std::chrono::duration_cast<Clock::duration>(segment * m_budgetShare)));
    auto note = [&](const char* stage, const cv::Mat& bgra) {
        if (trace)
            trace->emplace_back(stage, bgra.clone());
    };
    if (trace)
        note("raw", CutoutBuilder::compose(bgr, alpha));

    const cv::Mat shaped = refined("mode", alpha, [&] {
        refiner.checkDeadline();
        return SubjectShaper::shape(bgr, alpha, options.mode);
    });
    if (trace)
        note("mode", CutoutBuilder::compose(bgr, shaped));
    lap("shape");
    const cv::Mat full = refined("edge", shaped, [&] { return refiner.refineAlpha(shaped); });
    lap("edge");
    if (trace)
        note("alpha", CutoutBuilder::compose(bgr, full));
    cv::Mat out = refined("colour", cv::Mat(),
                          [&] { return full.size() == bgr.size() ? refiner.compose(full) : cv::Mat(); });
    if (out.empty())
        out = CutoutBuilder::compose(bgr, full);
    note("colour", out);
    lap("colour");
    // The user asked for the shadow: it is no refinement the budget may drop.
    if (options.keepShadow && options.mode == Options::Mode::Product) {
        out = refined("shadow", out, [&] {
            const cv::Mat shade = ShadowLayer::strength(bgr, shaped);
            cv::Mat withShadow = out.clone();
            if (!shade.empty())
                ShadowLayer::apply(withShadow, shade);
            return withShadow;
        });
        note("shadow", out);
        lap("shadow");
    }
    return out;
}

std::vector<uchar> MattingPipeline::run(const std::string& photo, const Options& options)
{
    Laps laps;
    // Both decoders apply the EXIF orientation, so the photo is upright.
    cv::Mat bgr = jpegdecoder::decode(reinterpret_cast<const unsigned char*>(photo.data()), photo.size());
    if (bgr.empty())
        bgr = cv::imdecode(cv::Mat(1, int(photo.size()), CV_8U, const_cast<char*>(photo.data())),
                           cv::IMREAD_COLOR);
    if (bgr.empty())
        throw std::runtime_error("The photo could not be read. Please check that the file is a valid image.");
    laps("decode");
    cv::Mat cut;
    try {
        cut = cutout(bgr, options, nullptr, &laps);
    } catch (const std::exception& e) {
        servicelog::error(std::string("engine failed: ") + e.what());
        throw std::runtime_error("The photo could not be processed. Please try again.");
    }
    std::vector<uchar> png = PngWriter::encode(cut);
    laps("encode");
    servicelog::debug(std::to_string(bgr.cols) + "x" + std::to_string(bgr.rows) + ": " + laps.text());
    return png;
}
