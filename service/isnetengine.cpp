#include "isnetengine.h"
#include "colourmaps.h"
#include "netops.h"
#include "tensorcache.h"

#include <opencv2/imgproc.hpp>

#include <ATen/Parallel.h>
#include <ATen/Version.h>
#include <torch/csrc/jit/passes/constant_propagation.h>
#include <torch/script.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include <dlfcn.h>
#include <unistd.h>

struct IsnetEngine::Impl
{
    torch::jit::Module module;
    tensorcache::Plan memory;
};

IsnetEngine::IsnetEngine(const std::string& modelPath, int threads) : d(std::make_unique<Impl>())
{
    at::set_num_threads(std::max(1, threads));
    // The int8 model's packed convolutions are unpacked when saved and packed again
    // at load for the current engine; oneDNN's uses the VNNI instructions.
    const auto& engines = at::globalContext().supportedQEngines();
    if (std::find(engines.begin(), engines.end(), at::QEngine::ONEDNN) != engines.end())
        at::globalContext().setQEngine(at::QEngine::ONEDNN);
    tensorcache::install();
    // The profiling executor re-optimises the graph on the first calls, which costs
    // seconds per worker and gains nothing for a frozen module with one input shape.
    torch::jit::getProfilingMode() = false;
    torch::jit::getExecutorMode() = false;
    d->module = torch::jit::load(modelPath, torch::kCPU);
    d->module.eval();
    // The model packs the weights of its fused convolutions with operations on
    // constants (a pack cannot be saved); folding them here packs each once.
    std::shared_ptr<torch::jit::Graph> graph = d->module.get_method("forward").graph();
    torch::jit::ConstantPropagation(graph);
    netops::install(*graph);
}

IsnetEngine::~IsnetEngine() = default;

void IsnetEngine::preferPassiveWaiting(char** argv)
{
    if (std::getenv("OMP_WAIT_POLICY"))
        return;
    setenv("OMP_WAIT_POLICY", "PASSIVE", 1);
    execv("/proc/self/exe", argv);
}

std::string IsnetEngine::instructionSets()
{
    // oneDNN's own header is not installed beside libtorch; its C entry point is
    // looked up in the already loaded library instead.
    static const std::pair<int, const char*> isas[] = {{0x3e7, "avx512_core_amx"},
                                                       {0xe7, "avx512_core_bf16"},
                                                       {0x67, "avx512_core_vnni"},
                                                       {0x27, "avx512_core"},
                                                       {0x407, "avx2_vnni"},
                                                       {0x7, "avx2"},
                                                       {0x3, "avx"},
                                                       {0x1, "sse41"}};
    std::string dnnl = "unknown";
    if (auto query = reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "dnnl_get_effective_cpu_isa"))) {
        const int isa = query();
        for (const auto& [bits, name] : isas)
            if (isa == bits) {
                dnnl = name;
                break;
            }
    }
    const std::string config = at::show_config();
    const std::string key = "CPU capability usage: ";
    const std::size_t at = config.find(key);
    const std::string aten = at == std::string::npos
                                 ? "unknown"
                                 : config.substr(at + key.size(), config.find('\n', at) - at - key.size());
    return "oneDNN " + dnnl + ", ATen " + aten;
}

cv::Mat IsnetEngine::prepare(const cv::Mat& bgr)
{
    cv::Mat resized, rgb, input;
    const cv::Size side(kInputSide, kInputSide);
    if (bgr.cols >= kInputSide && bgr.rows >= kInputSide)
        resized = colourmaps::shrink(bgr, side);
    else
        cv::resize(bgr, resized, side, 0, 0, cv::INTER_LINEAR);
    cv::cvtColor(resized, rgb, cv::COLOR_BGR2RGB);
    rgb.convertTo(input, CV_32FC3, 1.0 / 255.0, -0.5);
    return input;
}

cv::Mat IsnetEngine::forward(const cv::Mat& prepared)
{
    CV_Assert(prepared.type() == CV_32FC3 && prepared.isContinuous() && prepared.cols == kInputSide &&
              prepared.rows == kInputSide);
    c10::InferenceMode guard;
    const tensorcache::Pass pass(d->memory); // outlives every tensor below
    // NHWC memory seen as NCHW: a channels-last tensor without copying.
    const at::Tensor input = torch::from_blob(const_cast<float*>(prepared.ptr<float>()),
                                              {1, kInputSide, kInputSide, 3}, torch::kFloat32)
                                 .permute({0, 3, 1, 2});
    at::Tensor out = d->module.forward({input}).toTensor();
    if (out.numel() != kInputSide * kInputSide)
        throw std::runtime_error("unexpected model output size");
    out = out.reshape({kInputSide, kInputSide}).contiguous();
    return cv::Mat(kInputSide, kInputSide, CV_32F, out.data_ptr<float>()).clone();
}

void IsnetEngine::releaseCaches()
{
    tensorcache::release();
}

cv::Mat IsnetEngine::alpha(const cv::Mat& bgr, bool /*isBody*/)
{
    return forward(prepare(bgr));
}
