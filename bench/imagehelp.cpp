// The editor's pixel routines on a 6000 x 4000 photo. Each reports its time as a
// multiple of a reference measured in the same run: a plain memcpy of the bytes it
// produces (counters "x_memcpy", "x_memcpy_wall") or, for the magic brush, the bare
// cv::floodFill call it wraps ("x_floodFill", "x_floodFill_wall").

#include "qimagehelp.h"

#include <benchmark/benchmark.h>

#include <time.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
const QPoint kSeed(1000, 2000);
constexpr int kTolerance = 12;
constexpr int kFloodFlags = 4 | (255 << 8) | cv::FLOODFILL_FIXED_RANGE | cv::FLOODFILL_MASK_ONLY;

// Both the processor time of this process (all threads, page faults included) and
// the wall time are reported: the machine running the benchmarks is often busy with
// builds, which blurs wall-clock figures, while helpers that split work over
// threads only gain in wall time.
struct Cost
{
    double cpu = 0;
    double wall = 0;
};

Cost now()
{
    timespec cpu{};
    timespec wall{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    clock_gettime(CLOCK_MONOTONIC, &wall);
    return {double(cpu.tv_sec) + double(cpu.tv_nsec) * 1e-9, double(wall.tv_sec) + double(wall.tv_nsec) * 1e-9};
}

// Mean cost of a call, after one to warm caches and page tables.
template <class F>
Cost meanCost(F&& f, int runs = 20)
{
    f();
    const Cost start = now();
    for (int i = 0; i < runs; ++i)
        f();
    const Cost end = now();
    return {(end.cpu - start.cpu) / runs, (end.wall - start.wall) / runs};
}

Cost memcpyCost(size_t bytes)
{
    static std::map<size_t, Cost> measured;
    auto it = measured.find(bytes);
    if (it == measured.end()) {
        std::vector<char> from(bytes, 1);
        std::vector<char> to(bytes, 0);
        const Cost c = meanCost([&] {
            std::memcpy(to.data(), from.data(), bytes);
            benchmark::ClobberMemory();
        });
        it = measured.emplace(bytes, c).first;
    }
    return it->second;
}

// A matted photo: an opaque ellipse (the subject) on a transparent field.
const cv::Mat& cutout()
{
    static const cv::Mat m = [] {
        cv::Mat c(kHeight, kWidth, CV_8UC4, cv::Scalar(90, 120, 150, 0));
        cv::ellipse(c, cv::Point(kWidth / 2, kHeight / 2), cv::Size(kWidth / 3, kHeight / 3), 0, 0, 360,
                    cv::Scalar(60, 80, 200, 255), cv::FILLED);
        return c;
    }();
    return m;
}

// The photo: a flat wall on the left (what the magic brush floods), texture on the right.
const cv::Mat& photo()
{
    static const cv::Mat m = [] {
        cv::Mat p(kHeight, kWidth, CV_8UC3);
        cv::randu(p, cv::Scalar::all(0), cv::Scalar::all(255));
        p(cv::Rect(0, 0, kWidth / 2, kHeight)).setTo(cv::Scalar(100, 110, 120));
        return p;
    }();
    return m;
}

// An edit mask with stripes of kept, removed and service pixels.
const cv::Mat& editMask()
{
    static const cv::Mat m = [] {
        cv::Mat mask(kHeight, kWidth, CV_8UC4, cv::Scalar(0, 0, 255, 100));
        for (int x = 0; x < kWidth; x += 90) {
            mask.colRange(x, std::min(kWidth, x + 30)).setTo(cv::Scalar(10, 0, 255, 100));
            mask.colRange(std::min(kWidth, x + 30), std::min(kWidth, x + 60)).setTo(cv::Scalar(0, 0, 0, 0));
        }
        return mask;
    }();
    return m;
}

// Runs body in the benchmark loop and reports its mean cost over reference's as
// counters <name> (processor time) and <name>_wall.
template <class F>
void measure(benchmark::State& state, const std::string& name, const Cost& reference, F&& body)
{
    body(); // builds the shared pictures outside the timing
    const Cost start = now();
    for (auto _ : state)
        body();
    const Cost end = now();
    const double n = double(state.iterations());
    state.counters[name] = (end.cpu - start.cpu) / n / reference.cpu;
    state.counters[name + "_wall"] = (end.wall - start.wall) / n / reference.wall;
}

void againstMemcpy(benchmark::State& state, size_t bytes, const std::function<void()>& body)
{
    measure(state, "x_memcpy", memcpyCost(bytes), body);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

const size_t kBgraBytes = size_t(kWidth) * kHeight * 4;
const size_t kBgrBytes = size_t(kWidth) * kHeight * 3;

void BM_Memcpy(benchmark::State& state)
{
    std::vector<char> from(kBgraBytes, 1);
    std::vector<char> to(kBgraBytes, 0);
    againstMemcpy(state, kBgraBytes, [&] {
        std::memcpy(to.data(), from.data(), kBgraBytes);
        benchmark::ClobberMemory();
    });
}

void BM_MakeRedOverlay(benchmark::State& state)
{
    againstMemcpy(state, kBgraBytes,
                  [] { benchmark::DoNotOptimize(QImageHelp::makeRedOverlay(cutout())); });
}

void BM_MergeAlpha(benchmark::State& state)
{
    againstMemcpy(state, kBgraBytes,
                  [] { benchmark::DoNotOptimize(QImageHelp::mergeAlpha(photo(), cutout())); });
}

void BM_ApplyMask(benchmark::State& state)
{
    againstMemcpy(state, kBgraBytes,
                  [] { benchmark::DoNotOptimize(QImageHelp::applyMask(photo(), cutout(), editMask())); });
}

void BM_ContentRect(benchmark::State& state)
{
    againstMemcpy(state, kBgraBytes, [] { benchmark::DoNotOptimize(QImageHelp::contentRect(cutout())); });
}

void BM_PercentImageToMat(benchmark::State& state)
{
    const QImage image = QImageHelp::matToImage(editMask());
    againstMemcpy(state, kBgraBytes,
                  [&] { benchmark::DoNotOptimize(QImageHelp::percentImageToMat(image)); });
}

void BM_MatToImageBgra(benchmark::State& state)
{
    againstMemcpy(state, kBgraBytes, [] { benchmark::DoNotOptimize(QImageHelp::matToImage(cutout())); });
}

void BM_MatToImageBgr(benchmark::State& state)
{
    againstMemcpy(state, kBgrBytes, [] { benchmark::DoNotOptimize(QImageHelp::matToImage(photo())); });
}

void bareFloodFill()
{
    cv::Mat mask = cv::Mat::zeros(kHeight + 2, kWidth + 2, CV_8UC1);
    const cv::Scalar diff = cv::Scalar::all(kTolerance);
    cv::floodFill(photo(), mask, cv::Point(kSeed.x(), kSeed.y()), cv::Scalar(0, 0, 255), nullptr, diff,
                  diff, kFloodFlags);
    benchmark::DoNotOptimize(mask.data);
}

const Cost& bareFloodFillCost()
{
    static const Cost cost = meanCost(bareFloodFill, 10);
    return cost;
}

void BM_FloodFillBare(benchmark::State& state)
{
    measure(state, "x_floodFill", bareFloodFillCost(), bareFloodFill);
}

void BM_FloodFillMask(benchmark::State& state)
{
    const cv::Mat overlay = QImageHelp::makeRedOverlay(cutout());
    measure(state, "x_floodFill", bareFloodFillCost(), [&] {
        benchmark::DoNotOptimize(QImageHelp::floodFillMask(photo(), overlay, kSeed, kTolerance, false));
    });
}

} // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_MakeRedOverlay)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_MergeAlpha)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_ApplyMask)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_ContentRect)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_PercentImageToMat)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_MatToImageBgra)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_MatToImageBgr)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_FloodFillBare)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_FloodFillMask)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

BENCHMARK_MAIN();
