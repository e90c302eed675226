// Filling a 200 x 60 watermark (text with an outline, painted over with a brush) on
// a 12 MP photo (4000 x 3000, the astronaut of tests/data scaled up): the
// reconstruction the eraser uses for areas, the fast-marching fallback and the
// blur fill they must beat, each on the region the eraser hands them. Wall-clock
// milliseconds per fill; the CPU column is what an idle machine would take. The
// counters give the error of the filled pixels against the clean photo:
// "mean_abs" (per channel value) and "psnr_db". The eraser's own fill (the
// document: strokes read, state copied and filled on the pool, history pushed)
// adds "gui_stall_ms", the longest the GUI thread's event loop waited for a turn.

#include "inpaintfixtures.h"
#include "qeraserdocument.h"
#include "qimagefiles.h"
#include "qinpaint.h"
#include "qmaskops.h"
#include "qmaskstroke.h"
#include "qworkpool.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

const inpaintfixtures::Marked& watermarked()
{
    static const inpaintfixtures::Marked marked = [] {
        cv::Mat clean = QImageFiles::read(QStringLiteral(BRISEL_SOURCE_DIR "/tests/data/astronaut.png"));
        if (!clean.empty())
            cv::resize(clean, clean, cv::Size(4000, 3000), 0, 0, cv::INTER_CUBIC);
        return clean.empty() ? inpaintfixtures::Marked{}
                             : inpaintfixtures::markText(clean, cv::Rect(1900, 1400, 200, 60));
    }();
    return marked;
}

// Peak signal-to-noise ratio in dB over the masked pixels.
double psnr(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask)
{
    cv::Mat diff;
    cv::absdiff(a, b, diff);
    diff.convertTo(diff, CV_32F);
    const cv::Scalar mean = cv::mean(diff.mul(diff), mask);
    return 10 * std::log10(255.0 * 255.0 / std::max((mean[0] + mean[1] + mean[2]) / 3, 1e-10));
}

void reportError(benchmark::State& state, const cv::Mat& filled)
{
    const inpaintfixtures::Marked& m = watermarked();
    state.counters["mean_abs"] = inpaintfixtures::meanAbsError(filled, m.clean, m.mask);
    state.counters["psnr_db"] = psnr(filled, m.clean, m.mask);
}

void BM_Fill(benchmark::State& state, QInpaint::Method method)
{
    const inpaintfixtures::Marked& m = watermarked();
    if (m.clean.empty()) {
        state.SkipWithError("tests/data/astronaut.png missing");
        return;
    }
    cv::Mat image;
    for (auto _ : state) {
        state.PauseTiming();
        image = m.marked.clone();
        state.ResumeTiming();
        QInpaint::fill(image, m.mask, method);
    }
    reportError(state, image);
}

// The blur fill over the same region as the others.
void BM_BlurBaseline(benchmark::State& state)
{
    const inpaintfixtures::Marked& m = watermarked();
    if (m.clean.empty()) {
        state.SkipWithError("tests/data/astronaut.png missing");
        return;
    }
    const int margin = QInpaint::kMargin;
    const cv::Rect region =
        QInpaint::bounds(m.mask) - cv::Point(margin, margin) + cv::Size(2 * margin, 2 * margin);
    cv::Mat image = m.marked.clone();
    for (auto _ : state)
        inpaintfixtures::blurFill(m.marked(region), m.mask(region)).copyTo(image(region));
    reportError(state, image);
}

void BM_DocumentFill(benchmark::State& state)
{
    const inpaintfixtures::Marked& m = watermarked();
    if (m.clean.empty()) {
        state.SkipWithError("tests/data/astronaut.png missing");
        return;
    }
    QImage strokes(m.mask.cols, m.mask.rows, QImage::Format_ARGB32);
    strokes.fill(0);
    cv::Mat(m.mask.rows, m.mask.cols, CV_32S, strokes.bits()).setTo(int(QMaskStroke::kTagPixel), m.mask);
    // The history's first change copies the whole state once (see QHistoryPixmap);
    // the fill after that one is what every further stroke costs.
    QEraserDocument document;
    document.setImage(m.marked);
    bool done = false;
    QObject::connect(&document, &QEraserDocument::signal_changed, [&done] { done = true; });
    qint64 worstStallMs = 0;
    const auto fillAndWait = [&](bool measure) {
        done = false;
        document.fill(strokes);
        QElapsedTimer sinceTurn;
        sinceTurn.start();
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            if (measure)
                worstStallMs = std::max(worstStallMs, sinceTurn.restart());
        });
        tick.start(1);
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    };
    fillAndWait(false);
    for (auto _ : state)
        fillAndWait(true);
    reportError(state, QMaskOps::dropAlpha(document.view()));
    state.counters["gui_stall_ms"] = double(worstStallMs);
}

} // namespace

BENCHMARK_CAPTURE(BM_Fill, fsr, QInpaint::Method::Fsr)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Fill, telea, QInpaint::Method::Telea)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BlurBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DocumentFill)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QWorkPool::instance()->start(3); // as the program does
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    QWorkPool::instance()->stop();
    return 0;
}
