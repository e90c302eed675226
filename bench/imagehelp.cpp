// The editor's pixel routines on a 6000 x 4000 photo. Each reports its time as a
// multiple of a reference measured in the same run: a plain memcpy of the bytes it
// produces (counter "x_memcpy") or, for the magic brush, the bare cv::floodFill
// call it wraps (counter "x_floodFill").

#include "qimagehelp.h"

#include <benchmark/benchmark.h>

#include <time.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <vector>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
const QPoint kSeed(1000, 2000);
constexpr int kTolerance = 12;
constexpr int kFloodFlags = 4 | (255 << 8) | cv::FLOODFILL_FIXED_RANGE | cv::FLOODFILL_MASK_ONLY;

// Processor time of this process (all threads, page faults included): the machine
// running the benchmarks is often busy with builds, which would blur wall-clock ratios.
double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Best of a few runs, after one to warm caches and page tables.
template <class F>
double bestSeconds(F&& f)
{
    f();
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < 5; ++i) {
        const double start = cpuSeconds();
        f();
        best = std::min(best, cpuSeconds() - start);
    }
    return best;
}

double memcpySeconds(size_t bytes)
{
    static std::map<size_t, double> measured;
    auto it = measured.find(bytes);
    if (it == measured.end()) {
        std::vector<char> from(bytes, 1);
        std::vector<char> to(bytes, 0);
        const double s = bestSeconds([&] {
            std::memcpy(to.data(), from.data(), bytes);
            benchmark::ClobberMemory();
        });
        it = measured.emplace(bytes, s).first;
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

template <class F>
void measure(benchmark::State& state, const char* counter, double reference, F&& body)
{
    body(); // builds the shared pictures outside the timing
    double total = 0;
    for (auto _ : state) {
        const double start = cpuSeconds();
        body();
        total += cpuSeconds() - start;
    }
    state.counters[counter] = total / double(state.iterations()) / reference;
}

void againstMemcpy(benchmark::State& state, size_t bytes, const std::function<void()>& body)
{
    measure(state, "x_memcpy", memcpySeconds(bytes), body);
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

void BM_FloodFillBare(benchmark::State& state)
{
    static const double reference = bestSeconds(bareFloodFill);
    measure(state, "x_floodFill", reference, bareFloodFill);
}

void BM_FloodFillMask(benchmark::State& state)
{
    static const double reference = bestSeconds(bareFloodFill);
    const cv::Mat overlay = QImageHelp::makeRedOverlay(cutout());
    measure(state, "x_floodFill", reference, [&] {
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
