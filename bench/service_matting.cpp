// The matting service's cost on a 12 MP JPEG: the network's forward pass alone
// beside the whole job (decode, resize, forward, upsample, edge colour, PNG
// encode) for the float32 and the int8 model, and libtorch's forward beside
// OpenCV DNN's forward of the same network. Needs the converted models
// (tools/fetch-model.sh); without them the isnet cases report an error and only
// the key engine is measured.

#include "allocator.h"
#include "cutoutbuilder.h"
#include "isnetengine.h"
#include "keyengine.h"
#include "mattingpipeline.h"
#include "pngwriter.h"
#include "servicelog.h"
#include "serviceoptions.h"

#include <benchmark/benchmark.h>

#include <opencv2/dnn.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>

namespace {

const int kThreads = std::max(1, int(std::thread::hardware_concurrency()));
const MattingPipeline::Options kPerson{MattingPipeline::Options::Mode::Person, false};

// A 4000 x 3000 photo-like JPEG: soft gradients, texture and a subject.
const std::string& photo12mp()
{
    static const std::string bytes = [] {
        cv::Mat img(3000, 4000, CV_8UC3);
        cv::randu(img, cv::Scalar::all(0), cv::Scalar::all(255));
        cv::GaussianBlur(img, img, cv::Size(0, 0), 6);
        cv::ellipse(img, {2000, 1700}, {900, 1300}, 0, 0, 360, cv::Scalar(60, 90, 200), cv::FILLED,
                    cv::LINE_AA);
        cv::circle(img, {2000, 500}, 420, cv::Scalar(140, 170, 220), cv::FILLED, cv::LINE_AA);
        std::vector<uchar> buf;
        cv::imencode(".jpg", img, buf, {cv::IMWRITE_JPEG_QUALITY, 92});
        return std::string(buf.begin(), buf.end());
    }();
    return bytes;
}

std::string modelPath()
{
    return ServiceOptions::defaultModelPath();
}

std::string onnxPath()
{
    const std::string pt = modelPath();
    return pt.substr(0, pt.size() - 3) + "-fp32.onnx";
}

bool haveModel(benchmark::State& state, const std::string& path)
{
    if (std::ifstream(path).good())
        return true;
    state.SkipWithError(("model not installed: " + path).c_str());
    for (auto _ : state) {
    }
    return false;
}

cv::Mat preparedPhoto()
{
    const std::string& bytes = photo12mp();
    const cv::Mat bgr =
        cv::imdecode(cv::Mat(1, int(bytes.size()), CV_8U, const_cast<char*>(bytes.data())), cv::IMREAD_COLOR);
    return IsnetEngine::prepare(bgr);
}

// `fast`: the int8 model of the isnet-fast engine.
std::string isnetModel(bool fast)
{
    return fast ? ServiceOptions::fastModelPath(modelPath()) : modelPath();
}

void BM_IsnetForward(benchmark::State& state, bool fast)
{
    if (!haveModel(state, isnetModel(fast)))
        return;
    IsnetEngine engine(isnetModel(fast), kThreads);
    const cv::Mat input = preparedPhoto();
    engine.forward(input); // first call builds the execution plan
    for (auto _ : state)
        benchmark::DoNotOptimize(engine.forward(input));
}

void BM_IsnetWholeJob(benchmark::State& state, bool fast)
{
    if (!haveModel(state, isnetModel(fast)))
        return;
    MattingPipeline pipeline(std::make_unique<IsnetEngine>(isnetModel(fast), kThreads));
    pipeline.run(photo12mp(), kPerson);
    for (auto _ : state)
        benchmark::DoNotOptimize(pipeline.run(photo12mp(), kPerson));
}

void BM_OpenCvDnnForward(benchmark::State& state)
{
    if (!haveModel(state, onnxPath()))
        return;
    cv::dnn::Net net = cv::dnn::readNetFromONNX(onnxPath());
    cv::Mat chw;
    const cv::Mat input = preparedPhoto(); // HWC RGB, already scaled
    cv::dnn::blobFromImage(input, chw, 1.0, cv::Size(), cv::Scalar(), false, false, CV_32F);
    net.setInput(chw);
    net.forward();
    for (auto _ : state) {
        net.setInput(chw);
        benchmark::DoNotOptimize(net.forward());
    }
}

void BM_KeyWholeJob(benchmark::State& state)
{
    MattingPipeline pipeline(std::make_unique<KeyEngine>());
    for (auto _ : state)
        benchmark::DoNotOptimize(pipeline.run(photo12mp(), {}));
}

// The cut-out encoder beside OpenCV's general PNG encoder at its fastest level,
// on what the service writes: the photo under a soft elliptical mask, its
// colours kept where the cut-out is transparent.
cv::Mat cutout12mp()
{
    const std::string& bytes = photo12mp();
    const cv::Mat bgr =
        cv::imdecode(cv::Mat(1, int(bytes.size()), CV_8U, const_cast<char*>(bytes.data())), cv::IMREAD_COLOR);
    cv::Mat alpha = cv::Mat::zeros(bgr.size(), CV_32F);
    cv::ellipse(alpha, {2000, 1500}, {1100, 1450}, 0, 0, 360, cv::Scalar(1), cv::FILLED);
    cv::GaussianBlur(alpha, alpha, cv::Size(0, 0), 25);
    return CutoutBuilder::compose(bgr, alpha);
}

void BM_EncodeCutout(benchmark::State& state)
{
    const cv::Mat cut = cutout12mp();
    std::vector<uchar> png;
    for (auto _ : state)
        png = PngWriter::encode(cut);
    state.counters["MB"] = double(png.size()) / 1e6;
}

void BM_EncodeOpenCvPng(benchmark::State& state)
{
    const cv::Mat cut = cutout12mp();
    std::vector<uchar> buf;
    for (auto _ : state)
        cv::imencode(".png", cut, buf, {cv::IMWRITE_PNG_COMPRESSION, 1});
    state.counters["MB"] = double(buf.size()) / 1e6;
}

} // namespace

BENCHMARK(BM_EncodeCutout)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->Iterations(5);
BENCHMARK(BM_EncodeOpenCvPng)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->Iterations(5);
BENCHMARK_CAPTURE(BM_IsnetForward, fp32, false)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_IsnetWholeJob, fp32, false)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_IsnetForward, int8, true)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_IsnetWholeJob, int8, true)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(5);
BENCHMARK(BM_OpenCvDnnForward)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->Iterations(2);
BENCHMARK(BM_KeyWholeJob)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->Iterations(5);

int main(int argc, char** argv)
{
    allocator::configure(); // as the service does
    IsnetEngine::preferPassiveWaiting(argv);
    cv::setNumThreads(kThreads);
    if (std::getenv("BRISEL_BENCH_STAGES"))
        servicelog::setLevel(servicelog::Debug); // per-stage times on stderr
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
