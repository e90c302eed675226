#pragma once
// The network's enlargements by two on upsample2x.h's kernels: an operator,
// brisel::upsample_bilinear2d, with the arguments and results of
// aten::upsample_bilinear2d.vec, and the pass that puts it into a loaded graph.
// It takes the kernels for channels-last float and uint8 (one scale) features
// enlarged by exactly two without align_corners, and hands anything else to aten.

#include <ATen/core/Tensor.h>

namespace torch::jit {
struct Graph;
}

namespace upsampleop {

// Replaces every aten::upsample_bilinear2d.vec of `graph` (flat, as traced and
// frozen) by the operator. Before the graph first runs.
void install(torch::jit::Graph& graph);

// The operator's kernel. Any thread; splits its rows over at::parallel_for.
at::Tensor upsample(const at::Tensor& input, c10::optional<at::IntArrayRef> size, bool alignCorners,
                    c10::optional<at::ArrayRef<double>> scales);

} // namespace upsampleop
