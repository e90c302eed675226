#pragma once
// One whole job, photo bytes in and cut-out PNG bytes out: decode (upright, as
// EXIF says), segment, shape the mask as the mode asks, refine the soft edge at
// full size, estimate edge colours, add a kept shadow, encode. The refinements
// share a time budget; one that throws or overruns it is skipped, logged, and
// the job goes on with what came before it. A kept shadow, which the user asked
// for, is added whatever the time.
// A pipeline owns its engine and is used by one worker thread at a time. It may
// also hold a fast engine for requests asking for one, made by `makeFast` on the
// first such job (so its memory is spent only when used); without it, or when it
// does not load, those requests run on the normal engine.

#include "mattingengine.h"
#include "mattingprotocol.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class MattingPipeline
{
public:
    using Options = mattingprotocol::Options;

    using EngineMaker = std::function<std::unique_ptr<MattingEngine>()>;
    explicit MattingPipeline(std::unique_ptr<MattingEngine> engine, EngineMaker makeFast = {});

    // Throws std::runtime_error whose what() is a message for the user.
    std::vector<uchar> run(const std::string& photo, const Options& options);

    // The cut-out after each step, for measuring them: "raw" (the model's alpha
    // scaled up, colours as before refinement), "mode", "alpha", "colour" and,
    // when kept, "shadow". A skipped step repeats the one before.
    using Trace = std::vector<std::pair<std::string, cv::Mat>>;
    // BGRA cut-out of a decoded photo; throws std::exception when the engine fails.
    cv::Mat cutout(const cv::Mat& bgr, const Options& options, Trace* trace = nullptr);

    // Refinements may take `share` of the segmentation's time, and never less than `floor`.
    void setRefineBudget(double share, std::chrono::milliseconds floor);

    // A quiet spell: the engines give their caches back and the fast engine is
    // unloaded (the next fast job loads it again), so a batch once run fast does not
    // keep its memory. Thread of the jobs.
    void releaseCaches();

private:
    class Laps; // each step's time, for the debug log
    cv::Mat cutout(const cv::Mat& bgr, const Options& options, Trace* trace, Laps* laps);
    MattingEngine& engineFor(const Options& options);

    std::unique_ptr<MattingEngine> m_engine;
    EngineMaker m_makeFast;
    std::unique_ptr<MattingEngine> m_fast;
    double m_budgetShare = 0.25;
    std::chrono::milliseconds m_budgetFloor{400};
};
