#pragma once
// Our own kernels for the aten operators of the loaded networks that libtorch
// runs one value at a time: operators with the same arguments and results,
// named brisel::*, which install() puts into a loaded graph. Each takes what the
// networks hand it and gives anything else to aten.
//   upsample_bilinear2d   the 34 enlargements of features by two, float or
//                         uint8 (upsample2x.h); aten's took a quarter of the
//                         int8 pass
//   quantize_per_tensor   the int8 network's input, channels-last kept
//   dequantize            the int8 network's last features to float: the
//                         int_repr, to, sub_, mul_ chain it was saved with, in
//                         one pass and to the same bits
//   _convolution          the float convolutions not packed at conversion, on
//                         oneDNN whatever their size: aten runs those on small
//                         inputs (20480 values or fewer) natively, up to 27
//                         times slower here
// The kernels run on any thread and split their work over at::parallel_for.

#include <ATen/core/Tensor.h>

namespace torch::jit {
struct Graph;
}

namespace netops {

// Puts the operators into `graph` (flat, as traced and frozen), before it first runs.
void install(torch::jit::Graph& graph);

at::Tensor upsample(const at::Tensor& input, c10::optional<at::IntArrayRef> size, bool alignCorners,
                    c10::optional<at::ArrayRef<double>> scales);

// aten::quantize_per_tensor.tensor_qparams.
at::Tensor quantize(const at::Tensor& input, const at::Tensor& scale, const at::Tensor& zeroPoint,
                    at::ScalarType dtype);

// (float(q's stored integers) - zeroPoint) * scale, as the chain computes it.
at::Tensor dequantize(const at::Tensor& q, const at::Tensor& zeroPoint, const at::Tensor& scale);

at::Tensor convolution(const at::Tensor& input, const at::Tensor& weight,
                       const c10::optional<at::Tensor>& bias, at::IntArrayRef stride, at::IntArrayRef padding,
                       at::IntArrayRef dilation, bool transposed, at::IntArrayRef outputPadding,
                       int64_t groups, bool benchmark, bool deterministic, bool cudnnEnabled, bool allowTf32);

} // namespace netops
