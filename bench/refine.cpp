// Brush-guided refine and the edge controls on a 12-megapixel photo (4000 x 3000),
// timed on the work the pool does for one user action. The target for refine is a
// ratio to a plain 9 x 9 Gaussian blur of the same photo, measured in the same run,
// so a slower machine moves both.

#include "benchmain.h"
#include "qedgecontrols.h"
#include "qmaskrefine.h"

#include <benchmark/benchmark.h>

#include <opencv2/imgproc.hpp>

#include <chrono>
#include <functional>

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// A textured field with a subject ellipse in the middle and, beside it, a smaller
// object the mask missed; a Keep stroke runs across that object.
struct Scene
{
    cv::Mat photo, subject, strokes;
};

const Scene& scene()
{
    static const Scene s = [] {
        Scene out;
        out.photo.create(kHeight, kWidth, CV_8UC3);
        cv::randu(out.photo, cv::Scalar::all(60), cv::Scalar::all(120));
        cv::GaussianBlur(out.photo, out.photo, cv::Size(9, 9), 0);
        out.subject = cv::Mat::zeros(kHeight, kWidth, CV_8UC1);
        cv::ellipse(out.subject, cv::Point(1600, 1500), cv::Size(900, 1200), 0, 0, 360, 255, cv::FILLED);
        out.photo.setTo(cv::Scalar(40, 40, 200), out.subject);
        cv::circle(out.photo, cv::Point(3200, 1200), 300, cv::Scalar(200, 160, 30), cv::FILLED);
        out.strokes = cv::Mat::zeros(kHeight, kWidth, CV_8UC1);
        cv::line(out.strokes, cv::Point(2950, 1200), cv::Point(3450, 1200), QMaskRefine::KeepStroke, 48);
        out.subject.setTo(255, out.strokes);
        return out;
    }();
    return s;
}

double secondsOf(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double blurSeconds()
{
    cv::Mat blurred;
    return secondsOf([&] { cv::GaussianBlur(scene().photo, blurred, cv::Size(9, 9), 0); });
}

void BM_GaussianBlurBaseline(benchmark::State& state)
{
    for (auto _ : state)
        state.SetIterationTime(blurSeconds());
}
BENCHMARK(BM_GaussianBlurBaseline)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// Target: at most 1.5 s; the counter is the time over the baseline's.
void BM_RefineKeepStroke(benchmark::State& state)
{
    const Scene& s = scene();
    double total = 0;
    for (auto _ : state) {
        const double seconds =
            secondsOf([&] { benchmark::DoNotOptimize(QMaskRefine::refine(s.photo, s.subject, s.strokes)); });
        state.SetIterationTime(seconds);
        total += seconds;
    }
    state.counters["x_blur"] = total / double(state.iterations()) / blurSeconds();
}
BENCHMARK(BM_RefineKeepStroke)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// The full-size apply after a slider is let go: shift, feather and the photo's colours.
void BM_EdgeControlsApply(benchmark::State& state)
{
    const Scene& s = scene();
    cv::Mat cutout;
    cv::cvtColor(s.photo, cutout, cv::COLOR_BGR2BGRA);
    cutout.setTo(cv::Scalar::all(0), s.subject == 0);
    for (auto _ : state)
        state.SetIterationTime(secondsOf([&] {
            benchmark::DoNotOptimize(QEdgeControls::apply(cutout, s.photo, {12, 3, false}));
        }));
}
BENCHMARK(BM_EdgeControlsApply)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BRISEL_BENCH_MAIN_WITH_POOL()
