// Cut-out quality against composites with a known answer (drawn at build time by
// tools/make-composites.cpp), step by step through the service's pipeline in one
// run: "raw" is the model's alpha scaled up with the old edge colours, then the
// mode's shaping, the full-size alpha in the soft band, the foreground colour
// estimate, where asked, the kept shadow, and "final" (the cut-out the job
// returns). Per composite and step it prints
//   SAD    sum |a - truth| / 1000 over the photo
//   MSE    mean squared alpha error x 1000
//   bSAD   SAD inside the soft band (0 < truth < 1, grown by 4 px)
//   grad   squared gradient-magnitude error in the band / 1000
//   fgErr  mean colour error (levels of 255) in the band where the cut-out shows
//          the pixel, weighted by truth alpha
// for the key engine and, when the models are installed, isnet and its int8 copy
// (isnet-fast), with how many composites end worse than raw in any of SAD, bSAD or
// fgErr; and for a 12 MP photo the whole job's time beside the network's forward
// pass alone, for both networks.

#include "allocator.h"
#include "isnetengine.h"
#include "keyengine.h"
#include "mattingpipeline.h"
#include "median.h"
#include "servicelog.h"
#include "serviceoptions.h"

#include <benchmark/benchmark.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

namespace {

const int kThreads = std::max(1, int(std::thread::hardware_concurrency()));

struct Case
{
    std::string name;
    MattingPipeline::Options options;
};

std::vector<Case> cases()
{
    std::vector<Case> out;
    std::ifstream list(std::string(BRISEL_COMPOSITES_DIR) + "/cases.txt");
    std::string line;
    while (std::getline(list, line)) {
        std::istringstream in(line);
        std::string name, mode, shadow;
        in >> name >> mode >> shadow;
        std::string error;
        Case c{name, {}};
        mattingprotocol::readOptions(
            [&](const char* key) {
                return std::string(key) == mattingprotocol::kMode     ? mode
                       : std::string(key) == mattingprotocol::kShadow ? shadow
                                                                      : std::string();
            },
            c.options, error);
        out.push_back(c);
    }
    return out;
}

struct Scores
{
    double sad = 0, mse = 0, bandSad = 0, grad = 0, fgErr = 0;
};

cv::Mat gradient(const cv::Mat& a)
{
    cv::Mat gx, gy, mag;
    cv::Sobel(a, gx, CV_32F, 1, 0, 3, 0.25);
    cv::Sobel(a, gy, CV_32F, 0, 1, 3, 0.25);
    cv::magnitude(gx, gy, mag);
    return mag;
}

Scores score(const cv::Mat& bgra, const cv::Mat& truthAlpha, const cv::Mat& truthFg, const cv::Mat& band)
{
    std::vector<cv::Mat> ch;
    cv::split(bgra, ch);
    cv::Mat a;
    ch[3].convertTo(a, CV_32F, 1.0 / 255.0);
    const cv::Mat diff = cv::abs(a - truthAlpha);
    Scores s;
    s.sad = cv::sum(diff)[0] / 1000.0;
    s.mse = cv::mean(diff.mul(diff))[0] * 1000.0;
    cv::Mat masked(diff.size(), CV_32F, cv::Scalar(0));
    diff.copyTo(masked, band);
    s.bandSad = cv::sum(masked)[0] / 1000.0;
    cv::Mat g = gradient(a) - gradient(truthAlpha);
    g = g.mul(g);
    masked = 0;
    g.copyTo(masked, band);
    s.grad = cv::sum(masked)[0] / 1000.0;
    cv::Mat colour, err;
    cv::merge(std::vector<cv::Mat>(ch.begin(), ch.begin() + 3), colour);
    colour.convertTo(colour, CV_32FC3);
    cv::absdiff(colour, truthFg, err);
    cv::transform(err, err, cv::Matx13f(1 / 3.f, 1 / 3.f, 1 / 3.f));
    // Colour counts where the truth has subject and the cut-out shows it: a
    // pixel it hides shows no colour (its alpha error is in SAD).
    cv::Mat w;
    truthAlpha.copyTo(w, band & (ch[3] > 0));
    s.fgErr = cv::sum(err.mul(w))[0] / std::max(1.0, cv::sum(w)[0]);
    return s;
}

void measure(benchmark::State& state, MattingPipeline& pipeline, const char* engine)
{
    // Quality is measured without the time limit (a shared machine would skip
    // steps at random); BM_Budget12MP measures the time with it.
    pipeline.setRefineBudget(100, std::chrono::minutes(1));
    std::map<std::string, std::pair<Scores, int>> totals;
    std::vector<std::string> order;
    int worse = 0;
    for (auto _ : state) {
        std::printf("\n%-8s %-18s %-7s %9s %9s %9s %9s %7s\n", engine, "composite", "step", "SAD", "MSE",
                    "bSAD", "grad", "fgErr");
        for (const Case& c : cases()) {
            const std::string base = std::string(BRISEL_COMPOSITES_DIR) + "/" + c.name;
            const cv::Mat photo = cv::imread(base + ".png", cv::IMREAD_COLOR);
            cv::Mat truth = cv::imread(base + "-alpha.png", cv::IMREAD_UNCHANGED), fg;
            truth.convertTo(truth, CV_32F, 1.0 / 65535.0);
            cv::imread(base + "-fg.png", cv::IMREAD_COLOR).convertTo(fg, CV_32FC3);
            cv::Mat band;
            cv::dilate((truth > 0) & (truth < 1), band, cv::getStructuringElement(cv::MORPH_ELLIPSE, {9, 9}));
            MattingPipeline::Trace trace;
            pipeline.cutout(photo, c.options, &trace);
            trace.emplace_back("final", trace.back().second);
            const Scores raw = score(trace.front().second, truth, fg, band),
                         last = score(trace.back().second, truth, fg, band);
            worse += last.sad > raw.sad || last.bandSad > raw.bandSad || last.fgErr > raw.fgErr;
            for (const auto& [step, bgra] : trace) {
                const Scores s = score(bgra, truth, fg, band);
                std::printf("%-8s %-18s %-7s %9.1f %9.2f %9.1f %9.2f %7.1f\n", engine, c.name.c_str(),
                            step.c_str(), s.sad, s.mse, s.bandSad, s.grad, s.fgErr);
                auto& [sum, n] = totals[step];
                if (n == 0 && std::find(order.begin(), order.end(), step) == order.end())
                    order.push_back(step);
                sum.sad += s.sad;
                sum.bandSad += s.bandSad;
                sum.grad += s.grad;
                sum.fgErr += s.fgErr;
                ++n;
            }
        }
    }
    std::printf("%-8s %-18s %-7s %9s %9s %9s %9s %7s\n", engine, "mean of all", "", "SAD", "", "bSAD", "grad",
                "fgErr");
    for (const std::string& step : order) {
        const auto& [sum, n] = totals[step];
        std::printf("%-8s %-18s %-7s %9.1f %9s %9.1f %9.2f %7.1f\n", engine, "", step.c_str(), sum.sad / n,
                    "", sum.bandSad / n, sum.grad / n, sum.fgErr / n);
        state.counters[step + "_bSAD"] = sum.bandSad / n;
        state.counters[step + "_fgErr"] = sum.fgErr / n;
    }
    std::printf("%-8s worse than raw: %d composites\n", engine, worse);
    state.counters["worse_than_raw"] = worse;
    std::fflush(stdout);
}

// The float network, or the int8 one of the fast engine.
std::string modelPath(bool fast)
{
    const std::string model = ServiceOptions::defaultModelPath();
    return fast ? ServiceOptions::fastModelPath(model) : model;
}

bool haveModel(bool fast)
{
    return std::ifstream(modelPath(fast)).good();
}

void BM_QualityKey(benchmark::State& state)
{
    MattingPipeline pipeline(std::make_unique<KeyEngine>());
    measure(state, pipeline, "key");
}

void BM_QualityIsnet(benchmark::State& state, bool fast)
{
    MattingPipeline pipeline(std::make_unique<IsnetEngine>(modelPath(fast), kThreads));
    measure(state, pipeline, fast ? "int8" : "isnet");
}

// 12 MP photo-like JPEG, as the service_matting benchmark uses.
std::string photo12mp()
{
    cv::Mat img(3000, 4000, CV_8UC3);
    cv::randu(img, cv::Scalar::all(0), cv::Scalar::all(255));
    cv::GaussianBlur(img, img, cv::Size(0, 0), 6);
    cv::ellipse(img, {2000, 1700}, {900, 1300}, 0, 0, 360, cv::Scalar(60, 90, 200), cv::FILLED, cv::LINE_AA);
    cv::circle(img, {2000, 500}, 420, cv::Scalar(140, 170, 220), cv::FILLED, cv::LINE_AA);
    std::vector<uchar> buf;
    cv::imencode(".jpg", img, buf, {cv::IMWRITE_JPEG_QUALITY, 92});
    return std::string(buf.begin(), buf.end());
}

long residentPeakMb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6)) / 1024;
    return 0;
}

// The whole job's time over the forward pass's, both measured here, one of each
// per round. The machine is shared and its load moves: the medians are compared.
void BM_Budget12MP(benchmark::State& state, bool fast)
{
    const std::string photo = photo12mp();
    auto engine = std::make_unique<IsnetEngine>(modelPath(fast), kThreads);
    IsnetEngine& net = *engine;
    MattingPipeline pipeline(std::move(engine));
    const MattingPipeline::Options person{MattingPipeline::Options::Mode::Person, false};
    pipeline.run(photo, person); // the first call builds the execution plan
    const cv::Mat input =
        IsnetEngine::prepare(cv::imdecode(std::vector<uchar>(photo.begin(), photo.end()), cv::IMREAD_COLOR));
    using Clock = std::chrono::steady_clock;
    std::vector<double> forward, whole;
    for (auto _ : state) {
        Clock::time_point t0 = Clock::now();
        benchmark::DoNotOptimize(net.forward(input));
        Clock::time_point t1 = Clock::now();
        benchmark::DoNotOptimize(pipeline.run(photo, person));
        forward.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        whole.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t1).count());
    }
    const double f = median(forward), w = median(whole);
    state.counters["forward_ms"] = f;
    state.counters["job_ms"] = w;
    state.counters["job_over_forward"] = w / f;
    state.counters["peak_rss_mb"] = double(residentPeakMb());
    std::printf("\n12 MP budget, %s, medians of %zu rounds: forward %.0f ms, whole job %.0f ms, ratio %.2f "
                "(limit 1.30), peak RSS %ld MB\n",
                fast ? "int8" : "isnet", forward.size(), f, w, w / f, residentPeakMb());
}

} // namespace

BENCHMARK(BM_QualityKey)->Unit(benchmark::kSecond)->Iterations(1);

int main(int argc, char** argv)
{
    allocator::configure(); // as the service does
    if (std::getenv("BRISEL_BENCH_STAGES"))
        servicelog::setLevel(servicelog::Debug); // each job's steps on stderr
    IsnetEngine::preferPassiveWaiting(argv);
    cv::setNumThreads(kThreads);
    for (const bool fast : {false, true}) {
        if (!haveModel(fast))
            continue;
        const std::string suffix = fast ? "/int8" : "";
        benchmark::RegisterBenchmark(("BM_QualityIsnet" + suffix).c_str(), BM_QualityIsnet, fast)
            ->Unit(benchmark::kSecond)
            ->Iterations(1);
        benchmark::RegisterBenchmark(("BM_Budget12MP" + suffix).c_str(), BM_Budget12MP, fast)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(7);
    }
    if (!haveModel(false))
        std::printf("isnet model not installed (tools/fetch-model.sh): measuring the key engine only\n");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
