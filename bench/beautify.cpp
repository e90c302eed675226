// Beautify on a 12 MP portrait (3000 x 4000, the astronaut of tests/data scaled up)
// with both sliders at 30, as the crop view runs it: one work-pool job while the
// GUI thread keeps turning its event loop. Wall-clock milliseconds per run; the
// counter "gui_stall_ms" is the longest the event loop waited for a turn during the
// runs (it stays near the timer tick when the job leaves the GUI thread free).
// The face search and the smoothing alone are measured beside it. The machine is
// often busy with builds, so "cpu_s" gives the processor seconds of all threads
// per run as well: on an otherwise idle 2-core machine the job takes about half of
// that, as its filters run on both cores.

#include "qbeautify.h"
#include "qfacedetector.h"
#include "qimagefiles.h"
#include "qmaskops.h"
#include "qworkpool.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <opencv2/imgproc.hpp>

#include <time.h>

#include <algorithm>
#include <atomic>

namespace {

constexpr int kWidth = 3000;
constexpr int kHeight = 4000;
constexpr int kLevel = 30;

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The portrait as a cut-out: the photo scaled to the width, the missing rows
// mirrored in, fully opaque.
const cv::Mat& portrait()
{
    static const cv::Mat cutout = [] {
        const QString path = QStringLiteral(BRISEL_SOURCE_DIR "/tests/data/astronaut.png");
        const cv::Mat photo = QImageFiles::read(path);
        if (photo.empty())
            return cv::Mat();
        cv::Mat scaled;
        cv::resize(photo, scaled, cv::Size(kWidth, kWidth), 0, 0, cv::INTER_CUBIC);
        const int pad = (kHeight - kWidth) / 2;
        cv::copyMakeBorder(scaled, scaled, pad, kHeight - kWidth - pad, 0, 0, cv::BORDER_REFLECT);
        cv::Mat bgra;
        cv::cvtColor(scaled, bgra, cv::COLOR_BGR2BGRA);
        return bgra;
    }();
    return cutout;
}

void BM_BeautifyJob(benchmark::State& state)
{
    const cv::Mat& source = portrait();
    if (source.empty()) {
        state.SkipWithError("tests/data/astronaut.png missing");
        return;
    }
    qint64 worstStallMs = 0;
    const double cpuStart = cpuSeconds();
    for (auto _ : state) {
        std::atomic<bool> done{false};
        cv::Mat result;
        QWorkPool::instance()->post([&] {
            result = QBeautify::beautifyCutout(source, source, kLevel, kLevel);
            done = true;
        });
        // The GUI thread's share: a 1 ms timer keeps the loop turning; the gap between
        // two turns is how long a click would have waited.
        QElapsedTimer sinceTurn;
        sinceTurn.start();
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout,
                         [&] { worstStallMs = std::max(worstStallMs, sinceTurn.restart()); });
        tick.start(1);
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (result.size() != source.size())
            state.SkipWithError("beautify gave no picture");
    }
    state.counters["gui_stall_ms"] = double(worstStallMs);
    state.counters["cpu_s"] = (cpuSeconds() - cpuStart) / double(state.iterations());
}
BENCHMARK(BM_BeautifyJob)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_FaceSearch(benchmark::State& state)
{
    const cv::Mat colour = QMaskOps::dropAlpha(portrait());
    cv::CascadeClassifier cascade = QFaceDetector::loadCascade(
        QFile::encodeName(QBeautify::cascadeFolder() + QStringLiteral("h_face.xml")).toStdString());
    size_t faces = 0;
    for (auto _ : state)
        faces = QFaceDetector::detect(colour, cascade, QFaceDetector::searchScale(colour.size())).size();
    state.counters["faces"] = double(faces);
}
BENCHMARK(BM_FaceSearch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_SmoothWhole(benchmark::State& state)
{
    const cv::Mat colour = QMaskOps::dropAlpha(portrait());
    for (auto _ : state) {
        cv::Mat m = colour.clone();
        QBeautify::smoothRegion(m, kLevel);
        benchmark::DoNotOptimize(m.data);
    }
}
BENCHMARK(BM_SmoothWhole)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The program runs its jobs on three workers.
    QWorkPool::instance()->start(3);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    QWorkPool::instance()->stop();
    return 0;
}
