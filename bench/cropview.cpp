// The workspace's crop view and saving on a 12-megapixel portrait: how long the
// view takes to show a new background colour or template (the canvas composes the
// full-size picture, the view fits it to the screen), how many encoder runs the
// JPG size limit costs, and how a 24-megapixel save splits between the GUI thread
// (rendering) and the work pool (encoding). Times are wall-clock milliseconds.

#include "benchmain.h"
#include "qimagecanvas.h"
#include "qimagecropwidget.h"
#include "qsavefilewriter.h"
#include "qworkpool.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>

#include <benchmark/benchmark.h>

#include <opencv2/imgproc.hpp>

#include <memory>

namespace {

const QSize kView(1000, 700);

// A textured photo with the subject, an ellipse, kept by the service.
cv::Mat makeCutout(int w, int h)
{
    cv::Mat colour(h, w, CV_8UC3);
    cv::randu(colour, cv::Scalar::all(0), cv::Scalar::all(255));
    cv::GaussianBlur(colour, colour, cv::Size(9, 9), 0);
    cv::Mat alpha(h, w, CV_8UC1, cv::Scalar(0));
    cv::ellipse(alpha, cv::Point(w / 2, h / 2), cv::Size(w / 3, h * 2 / 5), 0, 0, 360, cv::Scalar(255),
                cv::FILLED);
    std::vector<cv::Mat> channels;
    cv::split(colour, channels);
    channels.push_back(alpha);
    cv::Mat cutout;
    cv::merge(channels, cutout);
    return cutout;
}

QString templatePath(const char* name)
{
    return QStringLiteral(BRISEL_SOURCE_DIR "/resources/template/%1").arg(QLatin1String(name));
}

// A crop view showing a loaded 12-megapixel cut-out.
std::unique_ptr<QImageCropWidget> loadedView(int w, int h)
{
    auto view = std::make_unique<QImageCropWidget>();
    view->resize(kView);
    view->show();
    QEventLoop loop;
    QObject::connect(view->canvas(), &QImageCanvas::signal_update, &loop, &QEventLoop::quit);
    view->canvas()->loadCutout(makeCutout(w, h), QSize(w, h));
    loop.exec();
    view->repaint();
    return view;
}

void BM_RedrawAfterBackgroundColour(benchmark::State& state)
{
    auto view = loadedView(4000, 3000);
    const QColor colours[] = {QColor(255, 255, 255), QColor(67, 142, 219), QColor(220, 30, 30)};
    int i = 0;
    for (auto _ : state) {
        view->canvas()->setBackgroundColor(colours[i++ % 3]);
        view->repaint();
    }
}
BENCHMARK(BM_RedrawAfterBackgroundColour)->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_RedrawAfterTemplate(benchmark::State& state)
{
    auto view = loadedView(4000, 3000);
    const QString templates[] = {templatePath("bg2.jpg"), templatePath("bg5.jpg")};
    int i = 0;
    for (auto _ : state) {
        if (!view->canvas()->setBackgroundImage(templates[i++ % 2]))
            state.SkipWithError("template missing");
        view->repaint();
    }
}
BENCHMARK(BM_RedrawAfterTemplate)->Iterations(20)->Unit(benchmark::kMillisecond);

// The JPG size search on the 12-megapixel result at a limit that lands mid-range.
void BM_KilobyteSearch(benchmark::State& state)
{
    const cv::Mat photo = [] {
        cv::Mat bgr;
        cv::cvtColor(makeCutout(4000, 3000), bgr, cv::COLOR_BGRA2BGR);
        return bgr;
    }();
    QSaveFileWriter::Options options;
    options.format = SaveFormat::Jpg;
    options.maxKilobytes = int(state.range(0));
    QSaveFileWriter::Result result;
    for (auto _ : state)
        QSaveFileWriter::encode(photo, options, &result);
    state.counters["encoder_runs"] = result.encoderRuns;
    state.counters["quality"] = result.quality;
    state.counters["file_KB"] = result.bytes.size() / 1024.0;
}
BENCHMARK(BM_KilobyteSearch)->Arg(500)->Arg(3000)->Arg(1)->Iterations(2)->Unit(benchmark::kMillisecond);

// A 24-megapixel save at original resolution: the GUI thread renders, the pool encodes.
void BM_Save24MegapixelSplit(benchmark::State& state)
{
    auto view = loadedView(6000, 4000);
    view->canvas()->setBackgroundColor(QColor(67, 142, 219));
    const bool jpg = state.range(0) == 1;
    double guiMs = 0;
    double encodeMs = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const QImageCanvas::SaveJob job =
            view->canvas()->prepareSave(jpg ? 1 : 0, QImageCanvas::OutputOriginal, {});
        guiMs += timer.nsecsElapsed() / 1e6;
        timer.restart();
        QSaveFileWriter::encode(job.image, job.options, nullptr);
        encodeMs += timer.nsecsElapsed() / 1e6;
    }
    state.counters["gui_thread_ms"] = guiMs / state.iterations();
    state.counters["work_pool_ms"] = encodeMs / state.iterations();
}
BENCHMARK(BM_Save24MegapixelSplit)->Arg(0)->Arg(1)->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace

BRISEL_BENCH_MAIN_WITH_POOL()
