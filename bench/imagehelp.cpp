// The editor's pixel routines on a 6000 x 4000 photo. Each reports its time as a
// multiple of a reference measured in the same run: a plain memcpy of the bytes it
// produces (counters "x_memcpy", "x_memcpy_wall") or, for the magic brush, the bare
// cv::floodFill call it wraps ("x_floodFill", "x_floodFill_wall").

#include "qmaskops.h"

#include <benchmark/benchmark.h>

#include <time.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
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
// threads only gain in wall time. The reference runs right before every measured
// call, so both see the same load.
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
    return {double(cpu.tv_sec) + double(cpu.tv_nsec) * 1e-9,
            double(wall.tv_sec) + double(wall.tv_nsec) * 1e-9};
}

// A plain memcpy of bytes between two buffers that are already mapped.
std::function<void()> plainMemcpy(size_t bytes)
{
    auto from = std::make_shared<std::vector<char>>(bytes, 1);
    auto to = std::make_shared<std::vector<char>>(bytes, 0);
    return [from, to, bytes] {
        std::memcpy(to->data(), from->data(), bytes);
        benchmark::ClobberMemory();
    };
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

// Runs body in the benchmark loop, each time after an untimed run of reference, and
// reports the ratio of their total costs as counters <name> (processor time) and
// <name>_wall.
template <class F>
void measure(benchmark::State& state, const std::string& name, const std::function<void()>& reference,
             F&& body)
{
    reference(); // warms page tables and builds the shared pictures
    body();
    Cost own;
    Cost other;
    for (auto _ : state) {
        state.PauseTiming();
        const Cost a = now();
        reference();
        const Cost b = now();
        state.ResumeTiming();
        body();
        const Cost c = now();
        other.cpu += b.cpu - a.cpu;
        other.wall += b.wall - a.wall;
        own.cpu += c.cpu - b.cpu;
        own.wall += c.wall - b.wall;
    }
    state.counters[name] = own.cpu / other.cpu;
    state.counters[name + "_wall"] = own.wall / other.wall;
}

void againstMemcpy(benchmark::State& state, size_t bytes, const std::function<void()>& body)
{
    measure(state, "x_memcpy", plainMemcpy(bytes), body);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

const size_t kBgraBytes = size_t(kWidth) * kHeight * 4;

void BM_Memcpy(benchmark::State& state)
{
    againstMemcpy(state, kBgraBytes, plainMemcpy(kBgraBytes));
}

void BM_MakeRedOverlay(benchmark::State& state)
{
    againstMemcpy(state, kBgraBytes, [] { benchmark::DoNotOptimize(QMaskOps::makeRedOverlay(cutout())); });
}

void BM_MergeAlpha(benchmark::State& state)
{
    againstMemcpy(state, kBgraBytes,
                  [] { benchmark::DoNotOptimize(QMaskOps::mergeAlpha(photo(), cutout())); });
}

void BM_ApplyMask(benchmark::State& state)
{
    againstMemcpy(state, kBgraBytes,
                  [] { benchmark::DoNotOptimize(QMaskOps::applyMask(photo(), cutout(), editMask())); });
}

void BM_ContentRect(benchmark::State& state)
{
    againstMemcpy(state, kBgraBytes, [] { benchmark::DoNotOptimize(QMaskOps::contentRect(cutout())); });
}

// The call floodFillMask wraps, with the zeroed mask it needs.
void bareFloodFill()
{
    static cv::Mat mask(kHeight + 2, kWidth + 2, CV_8UC1);
    mask.setTo(0);
    const cv::Scalar diff = cv::Scalar::all(kTolerance);
    cv::floodFill(photo(), mask, cv::Point(kSeed.x(), kSeed.y()), cv::Scalar(0, 0, 255), nullptr, diff, diff,
                  kFloodFlags);
    benchmark::DoNotOptimize(mask.data);
}

void BM_FloodFillMask(benchmark::State& state)
{
    const cv::Mat overlay = QMaskOps::makeRedOverlay(cutout());
    measure(state, "x_floodFill", bareFloodFill, [&] {
        benchmark::DoNotOptimize(QMaskOps::floodFillMask(photo(), overlay, kSeed, kTolerance, false));
    });
}

} // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_MakeRedOverlay)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_MergeAlpha)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_ApplyMask)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_ContentRect)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_FloodFillMask)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

BENCHMARK_MAIN();
