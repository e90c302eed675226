// The network's forward beside onnxruntime's forward of the same fp32 ONNX graph on
// the same 1024 x 1024 input, in one run. The machine is shared and its load moves,
// so the two alternate, one forward each per round, and the medians are compared.
// onnxruntime runs in a Node child (bench/ort/forward.mjs) from the package the
// bench target installs into the build folder; it is a yardstick only. On a machine
// with AVX-512 the comparison is repeated with both held to AVX2 (onnxruntime by
// bench/ort/avx2only.cpp, where the CPU can make CPUID fault). The int8
// model of the fast engine is timed in the same rounds when it is installed.
// Exits non-zero when the model or onnxruntime-node is missing.

#include "allocator.h"
#include "isnetengine.h"
#include "median.h"
#include "serviceoptions.h"

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

const int kThreads = std::max(1, int(std::thread::hardware_concurrency()));

std::string cpuInfoField(const std::string& key)
{
    std::ifstream in("/proc/cpuinfo");
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, key.size(), key) == 0)
            return line.substr(line.find(':') + 2);
    return "unknown";
}

bool hasFlag(const char* flag)
{
    return (" " + cpuInfoField("flags") + " ").find(std::string(" ") + flag + " ") != std::string::npos;
}

// The AVX2 pass: libtorch reads these at load, onnxruntime gets the preload.
bool heldToAvx2()
{
    return std::getenv("ONEDNN_MAX_CPU_ISA") != nullptr;
}

// The Node child: one forward per line written to it, its wall time read back.
class OrtChild
{
public:
    OrtChild(const std::string& onnx, const std::string& input)
    {
        const std::string prefix = BRISEL_ORT_PREFIX;
        if (!std::ifstream(prefix + "/node_modules/onnxruntime-node/package.json").good())
            throw std::runtime_error(
                "onnxruntime-node is not installed in " + prefix +
                " (the bench target installs it with npm; was the registry unreachable?)");
        setenv("BRISEL_ORT_PREFIX", prefix.c_str(), 1);
        if (heldToAvx2() && hasFlag("cpuid_fault"))
            setenv("LD_PRELOAD", BRISEL_AVX2_PRELOAD, 1); // read by the child only
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        posix_spawn_file_actions_addclose(&actions, toChild[1]);
        posix_spawn_file_actions_addclose(&actions, fromChild[0]);
        const std::string script = std::string(BRISEL_SOURCE_DIR) + "/bench/ort/forward.mjs";
        const std::string threads = std::to_string(kThreads);
        const char* args[] = {"node", script.c_str(), onnx.c_str(), input.c_str(), threads.c_str(), nullptr};
        const int failed = posix_spawnp(&pid, "node", &actions, nullptr, const_cast<char**>(args), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(toChild[0]);
        close(fromChild[1]);
        if (failed)
            throw std::runtime_error("cannot start node");
        requests = fdopen(toChild[1], "w");
        replies = fdopen(fromChild[0], "r");
        if (readLine() != "ready")
            throw std::runtime_error("onnxruntime did not load the model");
    }
    ~OrtChild()
    {
        fclose(requests); // end of input: the child exits
        fclose(replies);
        waitpid(pid, nullptr, 0);
    }
    double forwardMs()
    {
        fputs("\n", requests);
        fflush(requests);
        return std::stod(readLine());
    }

private:
    std::string readLine()
    {
        char line[256];
        if (!fgets(line, sizeof line, replies))
            throw std::runtime_error("onnxruntime's child stopped");
        std::string s(line);
        return s.substr(0, s.find('\n'));
    }
    pid_t pid = 0;
    FILE* requests = nullptr;
    FILE* replies = nullptr;
};

std::string writeInput(const cv::Mat& prepared)
{
    cv::Mat chw;
    cv::dnn::blobFromImage(prepared, chw, 1.0, cv::Size(), cv::Scalar(), false, false, CV_32F);
    char path[] = "/tmp/brisel-peer-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0 || write(fd, chw.ptr(), chw.total() * sizeof(float)) != ssize_t(chw.total() * sizeof(float)))
        throw std::runtime_error("cannot write the input file");
    close(fd);
    return path;
}

// Reproducible photo-like input: smooth colour fields around a bright subject.
cv::Mat preparedInput()
{
    cv::Mat bgr(IsnetEngine::kInputSide, IsnetEngine::kInputSide, CV_8UC3);
    cv::theRNG().state = 7;
    cv::randu(bgr, cv::Scalar::all(0), cv::Scalar::all(255));
    cv::blur(bgr, bgr, cv::Size(31, 31));
    cv::circle(bgr, {512, 560}, 300, cv::Scalar(60, 120, 230), cv::FILLED);
    return IsnetEngine::prepare(bgr);
}

void compare(int rounds)
{
    const std::string model = ServiceOptions::defaultModelPath();
    const std::string onnx = model.substr(0, model.size() - 3) + "-fp32.onnx";
    for (const std::string& path : {model, onnx})
        if (!std::ifstream(path).good())
            throw std::runtime_error("model not installed: " + path + " (run tools/fetch-model.sh)");
    const cv::Mat input = preparedInput();
    const std::string inputFile = writeInput(input);
    IsnetEngine engine(model, kThreads);
    // The int8 engine joins the rounds when its model is installed.
    const std::string fastModel = ServiceOptions::fastModelPath(model);
    std::unique_ptr<IsnetEngine> fast;
    if (std::ifstream(fastModel).good())
        fast = std::make_unique<IsnetEngine>(fastModel, kThreads);
    std::cout << "CPU: " << cpuInfoField("model name") << ", " << kThreads << " threads\n"
              << "instruction sets: " << IsnetEngine::instructionSets() << "\n";
    const auto timeMs = [&](IsnetEngine& e) {
        const auto start = std::chrono::steady_clock::now();
        e.forward(input);
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    };
    std::vector<double> ours, theirs, int8;
    {
        OrtChild ort(onnx, inputFile);
        engine.forward(input); // first calls build the execution plans
        if (fast)
            fast->forward(input);
        for (int i = 0; i < rounds; ++i) {
            ours.push_back(timeMs(engine));
            theirs.push_back(ort.forwardMs());
            if (fast)
                int8.push_back(timeMs(*fast));
            std::cout << "  round " << i + 1 << ": ours " << int(ours.back()) << " ms, onnxruntime "
                      << int(theirs.back()) << " ms"
                      << (fast ? ", int8 " + std::to_string(int(int8.back())) + " ms" : "") << std::endl;
        }
    }
    std::remove(inputFile.c_str());
    std::printf("forward, median of %d interleaved rounds: ours %.0f ms, onnxruntime %.0f ms, ratio %.2f\n",
                rounds, median(ours), median(theirs), median(ours) / median(theirs));
    if (fast)
        std::printf("int8 forward %.0f ms, %.2f of ours\n", median(int8), median(int8) / median(ours));
}

} // namespace

int main(int argc, char** argv)
{
    allocator::configure(); // as the service does
    IsnetEngine::preferPassiveWaiting(argv);
    const char* roundsText = std::getenv("BRISEL_PEER_ROUNDS");
    try {
        compare(roundsText ? std::max(1, std::atoi(roundsText)) : 5);
    } catch (const std::exception& e) {
        std::cerr << "bench_service_peer: " << e.what() << "\n";
        return 1;
    }
    // The AVX2 path in a child of its own: both libraries read these once, at load.
    if (hasFlag("avx512f") && !heldToAvx2() && argc > 0) {
        std::cout << (hasFlag("cpuid_fault")
                          ? "-- again with libtorch and onnxruntime held to AVX2"
                          : "-- again with libtorch held to AVX2 (onnxruntime unchanged: no CPUID faulting)")
                  << std::endl;
        setenv("ONEDNN_MAX_CPU_ISA", "AVX2", 1);
        setenv("ATEN_CPU_CAPABILITY", "avx2", 1);
        execv("/proc/self/exe", argv);
        return 1;
    }
    return 0;
}
