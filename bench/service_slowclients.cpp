// How long a client's poll waits while a crowd of connections sits open without
// sending a byte, beside the same poll with no crowd, in one run. Served in
// process over loopback HTTP with the key engine; each poll opens its own
// connection (the client does not keep connections alive), as a starting client's
// first poll does. BRISEL_BENCH_CROWD changes the 100.

#include "jobqueue.h"
#include "mattingengine.h"
#include "mattingprotocol.h"
#include "mattingserver.h"
#include "scratchfolder.h"
#include "servicelog.h"
#include "serviceoptions.h"

#include <benchmark/benchmark.h>

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

namespace proto = mattingprotocol;
constexpr int kPolls = 40;
const std::string kMac = "bench";

int crowdSize()
{
    const char* env = std::getenv("BRISEL_BENCH_CROWD");
    return env ? std::max(1, std::atoi(env)) : 100;
}

// Connections to `port` that stay silent until closed.
std::vector<int> openCrowd(int port, int count)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<int> crowd;
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            crowd.push_back(fd);
        else
            ::close(fd);
    }
    return crowd;
}

void BM_PollLatency(benchmark::State& state)
{
    servicelog::setLevel(servicelog::Warning);
    ServiceOptions options;
    options.port = 0;
    options.engine = "key";
    MattingEngine::Choice choice;
    std::string error;
    if (!MattingEngine::choose(options, choice, error))
        return state.SkipWithError(error.c_str());
    std::vector<std::unique_ptr<MattingPipeline>> pipelines;
    pipelines.push_back(std::make_unique<MattingPipeline>(MattingEngine::create(choice, 1)));
    ScratchFolder scratch(ScratchFolder::defaultRoot());
    JobQueue jobs(std::move(pipelines), scratch.path(), options.queue, options.perMac, options.resultTtlMs);
    MattingServer server(options, jobs, choice);
    if (!server.bind(error))
        return state.SkipWithError(error.c_str());
    std::thread serving([&server] { server.run(); });

    // An unknown task: answered through the same path as any poll, and it leaves
    // no result behind for the stop to wait for.
    const std::string serial(32, '0');
    httplib::Client client(server.baseUrl());
    const std::vector<int> crowd = openCrowd(server.port(), int(state.range(0)) ? crowdSize() : 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // all accepted by now
    std::vector<double> ms;
    bool ok = true;
    for (auto _ : state) {
        for (int i = 0; i < kPolls; ++i) {
            const auto start = std::chrono::steady_clock::now();
            const auto poll = client.Get(proto::pollTarget(kMac, serial));
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
            ok = ok && poll && poll->status == 404;
        }
    }
    for (const int fd : crowd)
        ::close(fd);
    server.shutdown();
    serving.join();
    if (!ok)
        return state.SkipWithError("a request failed");
    std::sort(ms.begin(), ms.end());
    state.counters["idle_connections"] = double(crowd.size());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["worst_ms"] = ms.back();
}

} // namespace

BENCHMARK(BM_PollLatency)->ArgName("crowd")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_MAIN();
