// Resident memory of the matting service after 10 and after 100 requests (upload,
// poll, download), served in process over loopback HTTP, with each engine, and with
// the isnet engine asked for its fast (int8) engine on every other request, as a
// batch with "Fast" beside single photos does (arena_MB: the memory laid out for the
// network's activations, which the int8 network shares with the float one). A 2 MP
// photo keeps the isnet run to a few minutes on two cores; the memory in question
// (network activations, allocator caches, per-request buffers) does not depend on
// it. BRISEL_BENCH_REQUESTS lowers the 100 on a busy machine.

#include "allocator.h"
#include "jobqueue.h"
#include "mattingengine.h"
#include "mattingprotocol.h"
#include "mattingserver.h"
#include "scratchfolder.h"
#include "serviceoptions.h"
#include "tensorcache.h"

#include <benchmark/benchmark.h>

#include <httplib.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

// A line of /proc/self/status in MB: "VmRSS" (all resident pages) or "RssAnon"
// (heap and stacks, without mapped libraries).
double statusMb(const std::string& key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key + ":", 0) == 0)
            return std::stod(line.substr(key.size() + 1)) / 1024.0;
    return 0;
}

std::string photo()
{
    cv::Mat img(1200, 1600, CV_8UC3);
    cv::randu(img, cv::Scalar::all(0), cv::Scalar::all(255));
    cv::GaussianBlur(img, img, cv::Size(0, 0), 4);
    cv::ellipse(img, {800, 700}, {300, 450}, 0, 0, 360, cv::Scalar(60, 90, 200), cv::FILLED);
    std::vector<uchar> buf;
    cv::imencode(".jpg", img, buf);
    return std::string(buf.begin(), buf.end());
}

// `"key":` as it appears in the service's answers.
std::string jsonKey(const char* key)
{
    return std::string("\"") + key + "\":";
}

// One request as the desktop program makes it; false when it did not succeed.
bool matte(httplib::Client& client, const std::string& bytes, bool fast)
{
    namespace proto = mattingprotocol;
    const auto created =
        client.Post(proto::createTarget("bench", proto::kModePerson, false, fast),
                    httplib::MultipartFormDataItems{{proto::kFileField, bytes, "photo.jpg", "image/jpeg"}});
    if (!created || created->status != 200)
        return false;
    const std::string serialKey = jsonKey(proto::kSerial) + "\"";
    const std::string serial = created->body.substr(created->body.find(serialKey) + serialKey.size(), 32);
    const std::string status = jsonKey(proto::kStatus);
    for (int i = 0; i < 6000; ++i) {
        const auto poll = client.Get(proto::pollTarget("bench", serial));
        if (!poll || poll->status != 200)
            return false;
        if (poll->body.find(status + std::to_string(proto::kStatusDone)) != std::string::npos)
            return client.Get(proto::resultPath(serial))->status == 200;
        if (poll->body.find(status + std::to_string(proto::kStatusFailed)) != std::string::npos)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// mixed: every other request asks for the fast engine.
void BM_ResidentMemory(benchmark::State& state, const char* engine, bool mixed)
{
    ServiceOptions options;
    options.port = 0;
    options.engine = engine;
    options.modelPath = ServiceOptions::defaultModelPath();
    MattingEngine::Choice choice;
    std::string error;
    if (!MattingEngine::choose(options, choice, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const char* env = std::getenv("BRISEL_BENCH_REQUESTS");
    const int requests = std::max(11, env ? std::atoi(env) : 100);
    const int threads = std::max(1, int(std::thread::hardware_concurrency()));
    MattingEngine::Choice fast;
    MattingPipeline::EngineMaker makeFast;
    if (mixed && MattingEngine::chooseFast(options, choice, fast))
        makeFast = [fast, threads] { return MattingEngine::create(fast, threads); };
    else if (mixed) {
        state.SkipWithError("the fast model is not installed (tools/fetch-model.sh)");
        return;
    }
    std::vector<std::unique_ptr<MattingPipeline>> pipelines;
    pipelines.push_back(std::make_unique<MattingPipeline>(MattingEngine::create(choice, threads), makeFast));
    ScratchFolder scratch(ScratchFolder::defaultRoot());
    JobQueue jobs(std::move(pipelines), scratch.path(), options.queue, options.perMac, options.resultTtlMs);
    MattingServer server(options, jobs, choice);
    if (!server.bind(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::thread serving([&server] { server.run(); });
    httplib::Client client(server.baseUrl());
    client.set_read_timeout(120, 0);
    const std::string bytes = photo();

    double after10 = 0, afterAll = 0, anon10 = 0, anonAll = 0;
    bool ok = true;
    for (auto _ : state) {
        for (int i = 1; i <= requests && ok; ++i) {
            ok = matte(client, bytes, mixed && i % 2 == 0);
            if (i == 10) {
                after10 = statusMb("VmRSS");
                anon10 = statusMb("RssAnon");
            }
        }
        afterAll = statusMb("VmRSS");
        anonAll = statusMb("RssAnon");
    }
    server.shutdown();
    serving.join();
    if (!ok)
        state.SkipWithError("a request failed");
    state.SetLabel(mixed ? choice.name + " and " + fast.name : choice.name);
    state.counters["requests"] = requests;
    state.counters["arena_MB"] = tensorcache::arenaBytes() / 1048576.0;
    state.counters["rss_after_10_MB"] = after10;
    state.counters["rss_after_all_MB"] = afterAll;
    state.counters["growth_pct"] = after10 > 0 ? 100.0 * (afterAll - after10) / after10 : 0;
    state.counters["anon_after_10_MB"] = anon10;
    state.counters["anon_after_all_MB"] = anonAll;
}

} // namespace

BENCHMARK_CAPTURE(BM_ResidentMemory, key, "key", false)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_ResidentMemory, isnet, "isnet", false)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_ResidentMemory, isnet_fast, "isnet-fast", false)
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_ResidentMemory, isnet_and_fast, "isnet", true)->Unit(benchmark::kSecond)->Iterations(1);
int main(int argc, char** argv)
{
    allocator::configure(); // as the service does
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
