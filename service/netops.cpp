#include "netops.h"

#include "upsample2x.h"

#include <ATen/Functions.h>
#include <ATen/Parallel.h>
#include <torch/csrc/jit/ir/ir.h>
#include <torch/library.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace netops {

namespace {

// Dense in its own layout: what the kernels below walk as one array.
bool dense(const at::Tensor& t)
{
    return t.is_contiguous(t.suggest_memory_format());
}

bool oneValue(const at::Tensor& t)
{
    return t.numel() == 1 && !t.is_quantized();
}

// Elements per task: enough to be worth waking a thread for.
constexpr int64_t kGrain = 1 << 16;

// The output of `node`, when its only use is as input `index` of a `kind` node.
torch::jit::Node* onlyUser(torch::jit::Node* node, const char* kind, std::size_t index = 0)
{
    const auto& uses = node->output()->uses();
    if (uses.size() != 1 || uses[0].user->kind() != c10::Symbol::fromQualString(kind) ||
        uses[0].offset != index)
        return nullptr;
    return uses[0].user;
}

template <class T> bool constantIs(torch::jit::Value* value, T expected)
{
    const c10::optional<c10::IValue> v = torch::jit::toIValue(value);
    return v && v->isScalar() ? v->toScalar().to<T>() == expected : false;
}

// int_repr(q) -> to(float) -> sub_(zero point) -> mul_(scale): the nodes from the
// first, when they form the chain alone.
std::vector<torch::jit::Node*> dequantizeChain(torch::jit::Node* intRepr)
{
    torch::jit::Node* to = onlyUser(intRepr, "aten::to");
    if (!to || to->inputs().size() != 5 || !constantIs<int64_t>(to->input(1), int64_t(at::kFloat)))
        return {};
    torch::jit::Node* sub = onlyUser(to, "aten::sub_");
    if (!sub || sub->inputs().size() != 3 || !constantIs<int64_t>(sub->input(2), 1))
        return {};
    torch::jit::Node* mul = onlyUser(sub, "aten::mul_");
    if (!mul || mul->inputs().size() != 2)
        return {};
    return {intRepr, to, sub, mul};
}

void replace(torch::jit::Graph& graph, torch::jit::Node* last, const char* kind,
             at::ArrayRef<torch::jit::Value*> inputs)
{
    const torch::jit::WithInsertPoint here(last);
    torch::jit::Node* own = graph.insertNode(graph.create(c10::Symbol::fromQualString(kind), inputs, 1));
    own->output()->setType(last->output()->type());
    last->output()->replaceAllUsesWith(own->output());
}

} // namespace

at::Tensor upsample(const at::Tensor& input, c10::optional<at::IntArrayRef> size, bool alignCorners,
                    c10::optional<at::ArrayRef<double>> scales)
{
    const bool byTwo = input.dim() == 4 && size && size->size() == 2 && (*size)[0] == 2 * input.size(2) &&
                       (*size)[1] == 2 * input.size(3);
    const bool quantized = input.scalar_type() == at::kQUInt8 && input.qscheme() == at::kPerTensorAffine;
    if (!byTwo || alignCorners || scales || !input.is_contiguous(at::MemoryFormat::ChannelsLast) ||
        !(quantized || input.scalar_type() == at::kFloat))
        return at::upsample_bilinear2d(input, size, alignCorners, scales);
    const int n = int(input.size(0)), c = int(input.size(1)), h = int(input.size(2)), w = int(input.size(3));
    const auto layout = at::MemoryFormat::ChannelsLast;
    at::Tensor out = quantized ? at::_empty_affine_quantized({n, c, 2 * h, 2 * w}, input.options(),
                                                             input.q_scale(), input.q_zero_point(), layout)
                               : at::empty({n, c, 2 * h, 2 * w}, input.options().memory_format(layout));
    const std::size_t image = std::size_t(c) * std::size_t(h) * std::size_t(w);
    // Rows of all images in one range: each thread gets a share of the rows of each.
    at::parallel_for(
        0, int64_t(n) * h, std::max<int64_t>(1, 16384 / (int64_t(w) * c)), [&](int64_t from, int64_t to) {
            for (int64_t r = from; r < to;) {
                const int64_t i = r / h, end = std::min(to, (i + 1) * h);
                const int begin = int(r - i * h), last = int(end - i * h);
                if (quantized)
                    upsample2x::rows(
                        reinterpret_cast<const std::uint8_t*>(input.data_ptr<c10::quint8>()) + i * image, h,
                        w, c, reinterpret_cast<std::uint8_t*>(out.data_ptr<c10::quint8>()) + 4 * i * image,
                        begin, last);
                else
                    upsample2x::rows(input.data_ptr<float>() + i * image, h, w, c,
                                     out.data_ptr<float>() + 4 * i * image, begin, last);
                r = end;
            }
        });
    return out;
}

at::Tensor quantize(const at::Tensor& input, const at::Tensor& scale, const at::Tensor& zeroPoint,
                    at::ScalarType dtype)
{
    if (dtype != at::kQUInt8 || input.scalar_type() != at::kFloat || !dense(input) || !oneValue(scale) ||
        !oneValue(zeroPoint))
        return at::quantize_per_tensor(input, scale, zeroPoint, dtype);
    const double s = scale.item<double>();
    const int64_t zp = zeroPoint.item<int64_t>();
    at::Tensor out = at::_empty_affine_quantized(input.sizes(), input.options().dtype(dtype), s, zp,
                                                 input.suggest_memory_format());
    const float* from = input.data_ptr<float>();
    auto* to = reinterpret_cast<std::uint8_t*>(out.data_ptr<c10::quint8>());
    // As aten's quantize_val: nearest, halves to even, through the reciprocal in float.
    const float inverse = 1.0f / float(s);
    at::parallel_for(0, input.numel(), kGrain, [&](int64_t begin, int64_t end) {
        for (int64_t i = begin; i < end; ++i) {
            const float q = std::nearbyint(from[i] * inverse) + float(zp);
            to[i] = std::uint8_t(std::clamp(q, 0.0f, 255.0f));
        }
    });
    return out;
}

at::Tensor dequantize(const at::Tensor& q, const at::Tensor& zeroPoint, const at::Tensor& scale)
{
    if (q.scalar_type() != at::kQUInt8 || !dense(q) || !oneValue(zeroPoint) || !oneValue(scale))
        return q.int_repr().to(at::kFloat).sub_(zeroPoint).mul_(scale);
    at::Tensor out = at::empty(q.sizes(), q.options().dtype(at::kFloat), q.suggest_memory_format());
    const auto* from = reinterpret_cast<const std::uint8_t*>(q.data_ptr<c10::quint8>());
    float* to = out.data_ptr<float>();
    const float zp = zeroPoint.item<float>(), s = scale.item<float>();
    at::parallel_for(0, q.numel(), kGrain, [&](int64_t begin, int64_t end) {
        for (int64_t i = begin; i < end; ++i)
            to[i] = (float(from[i]) - zp) * s;
    });
    return out;
}

at::Tensor convolution(const at::Tensor& input, const at::Tensor& weight,
                       const c10::optional<at::Tensor>& bias, at::IntArrayRef stride, at::IntArrayRef padding,
                       at::IntArrayRef dilation, bool transposed, at::IntArrayRef outputPadding,
                       int64_t groups, bool benchmark, bool deterministic, bool cudnnEnabled, bool allowTf32)
{
    if (transposed || input.dim() != 4 || input.scalar_type() != at::kFloat ||
        weight.scalar_type() != at::kFloat || !dense(input) || input.is_mkldnn() || !input.device().is_cpu())
        return at::_convolution(input, weight, bias, stride, padding, dilation, transposed, outputPadding,
                                groups, benchmark, deterministic, cudnnEnabled, allowTf32);
    return at::mkldnn_convolution(input, weight, bias, padding, stride, dilation, groups);
}

void install(torch::jit::Graph& graph)
{
    std::vector<torch::jit::Node*> replaced;
    for (torch::jit::Node* node : graph.nodes()) {
        const std::string kind = node->kind().toQualString();
        if (kind == "aten::upsample_bilinear2d" && node->inputs().size() == 4) {
            replace(graph, node, "brisel::upsample_bilinear2d", node->inputs());
            replaced.push_back(node);
        } else if (kind == "aten::quantize_per_tensor" && node->inputs().size() == 4 &&
                   node->input(1)->type()->kind() == c10::TypeKind::TensorType) {
            replace(graph, node, "brisel::quantize_per_tensor", node->inputs());
            replaced.push_back(node);
        } else if (kind == "aten::_convolution" && node->inputs().size() == 13) {
            replace(graph, node, "brisel::_convolution", node->inputs());
            replaced.push_back(node);
        } else if (kind == "aten::int_repr") {
            const std::vector<torch::jit::Node*> chain = dequantizeChain(node);
            if (chain.empty())
                continue;
            replace(graph, chain.back(), "brisel::dequantize",
                    {node->input(0), chain[2]->input(1), chain[3]->input(1)});
            replaced.insert(replaced.end(), chain.rbegin(), chain.rend());
        }
    }
    for (torch::jit::Node* node : replaced)
        node->destroy();
}

} // namespace netops

TORCH_LIBRARY(brisel, m)
{
    m.def("upsample_bilinear2d(Tensor input, int[]? output_size, bool align_corners, "
          "float[]? scale_factors) -> Tensor",
          &netops::upsample);
    m.def("quantize_per_tensor(Tensor self, Tensor scale, Tensor zero_point, ScalarType dtype) -> Tensor",
          &netops::quantize);
    m.def("dequantize(Tensor self, Tensor zero_point, Tensor scale) -> Tensor", &netops::dequantize);
    m.def("_convolution(Tensor input, Tensor weight, Tensor? bias, int[] stride, int[] padding, "
          "int[] dilation, bool transposed, int[] output_padding, int groups, bool benchmark, "
          "bool deterministic, bool cudnn_enabled, bool allow_tf32) -> Tensor",
          &netops::convolution);
}
