#pragma once
// The ISNet general-use segmentation network, run by libtorch as a frozen
// TorchScript module in channels-last layout (the converter in tools/ makes it),
// in float32 or, for the fast engine, with int8 convolutions (quantize_model.py).
// Only isnetengine.cpp includes torch headers: they are slow to compile.

#include "mattingengine.h"

#include <memory>
#include <string>

class IsnetEngine : public MattingEngine
{
public:
    static constexpr int kInputSide = 1024;

    // Throws std::exception when the model does not load. `threads` sets torch's
    // intra-op thread count for the whole process (torch defaults to one here).
    IsnetEngine(const std::string& modelPath, int threads);
    ~IsnetEngine() override;

    cv::Mat alpha(const cv::Mat& bgr, bool isBody) override;
    void releaseCaches() override;

    // Torch's OpenMP threads spin while they wait for each other, which on a
    // desktop busy with other work costs a third of the speed and all the idle
    // CPU. The runtime reads its wait policy only when it is loaded, so this sets
    // OMP_WAIT_POLICY=PASSIVE and re-executes the program (same process id,
    // same arguments) unless the variable is already set. Call before any thread
    // is started; returns only when nothing needed doing or exec failed.
    static void preferPassiveWaiting(char** argv);

    // The vector instructions the convolutions and ATen's kernels run with, e.g.
    // "oneDNN avx512_core_vnni, ATen AVX2"; reflects ONEDNN_MAX_CPU_ISA and
    // ATEN_CPU_CAPABILITY. For reports only.
    static std::string instructionSets();

    // The network's input for a photo: kInputSide square, RGB scaled to [0, 1]
    // minus 0.5, CV_32FC3 interleaved (which is what channels-last means).
    static cv::Mat prepare(const cv::Mat& bgr);
    // Forward pass alone on a prepare()d input; CV_32F kInputSide square in [0, 1].
    cv::Mat forward(const cv::Mat& prepared);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
