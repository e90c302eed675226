#!/usr/bin/python3
"""Makes the service's fast engine: an 8-bit copy of the ISNet network
(isnet-general-int8.pt) by static post-training quantization, for oneDNN's
int8 convolutions.

The network is rebuilt from the float32 ONNX graph with every shape computation
folded to a constant, so FX can trace it; convolutions carry per-channel int8
weights, activations per-tensor uint8 scales observed on synthetic photos made
here from fixed seeds over the program's template backgrounds (the colour input
and the mask convolutions stay in float). Before anything is written, masks of held-out synthetic
photos and of tests/data/astronaut.png are compared with the float32 network's;
a mean IoU below --min-iou writes nothing and exits non-zero.

Run with Debian's interpreter (/usr/bin/python3: python3-onnx, python3-torch,
python3-opencv, python3-numpy), after convert_model.py.
"""
import argparse
import os
import sys

import cv2
import numpy as np
import onnx
import torch
import torch.nn.functional as F
from torch.ao.quantization import get_default_qconfig_mapping
from torch.ao.quantization.quantize_fx import convert_fx, prepare_fx

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from convert_model import SIDE, OnnxGraphModule  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


class StaticGraph(torch.nn.Module):
    """The ONNX nodes with shapes resolved on a sample: convolutions become
    modules (what quantization replaces), shape arithmetic becomes constants."""

    def __init__(self, graph_module, sample):
        super().__init__()
        self.output = graph_module.output
        self.convs = torch.nn.ModuleDict()
        self.nodes, self.constants = [], {}
        env = {"input": sample}
        for onnx_name, name in graph_module.names.items():
            env[onnx_name] = getattr(graph_module, name)
        for k, (op, inputs, outputs, a) in enumerate(graph_module.nodes):
            args = [env[i] if i else None for i in inputs]
            value = OnnxGraphModule.run(op, args, a)
            env[outputs[0]] = value
            if isinstance(value, np.ndarray):
                continue
            if op == "Conv":
                weight = args[1]
                pads = a.get("pads", [0, 0, 0, 0])
                conv = torch.nn.Conv2d(weight.shape[1] * a.get("group", 1), weight.shape[0], weight.shape[2:],
                                       stride=a.get("strides", 1), padding=pads[:2], dilation=a.get("dilations", 1),
                                       groups=a.get("group", 1), bias=len(args) > 2)
                conv.weight.data.copy_(weight)
                if len(args) > 2:
                    conv.bias.data.copy_(args[2])
                self.convs[str(k)] = conv
                inputs = inputs[:1]
            elif op == "Resize":
                a = dict(a, size=tuple(int(s) for s in value.shape[2:]))
                inputs = inputs[:1]
            self.nodes.append((k, op, inputs, outputs[0], a))

    def forward(self, x):
        env = {"input": x}
        for k, op, inputs, output, a in self.nodes:
            args = [env[i] for i in inputs]
            if op == "Conv":
                y = self.convs[str(k)](args[0])
            elif op == "Relu":
                y = F.relu(args[0])
            elif op == "Sigmoid":
                y = torch.sigmoid(args[0])
            elif op == "Add":
                y = args[0] + args[1]
            elif op == "Concat":
                y = torch.cat(args, dim=a["axis"])
            elif op == "MaxPool":
                y = F.max_pool2d(args[0], a["kernel_shape"], a["strides"], ceil_mode=bool(a.get("ceil_mode", 0)))
            elif op == "Resize":
                y = F.interpolate(args[0], size=a["size"], mode="bilinear", align_corners=False)
            else:
                raise ValueError("unsupported operator " + op)
            env[output] = y
        return env[self.output]


def synthetic_photo(seed, background=None):
    """A photo-like BGR picture: a background (one of ours, or blurred colour
    noise), a lit gradient and a few solid subjects of random shape and colour."""
    rng = np.random.default_rng(seed)
    if background is None:
        img = rng.integers(0, 256, (SIDE, SIDE, 3), dtype=np.uint8)
        img = cv2.GaussianBlur(img, (0, 0), float(rng.uniform(3, 25)))
    else:
        img = cv2.resize(background, (SIDE, SIDE), interpolation=cv2.INTER_AREA)
    y, x = np.mgrid[0:SIDE, 0:SIDE].astype(np.float32) / SIDE
    light = (rng.uniform(0.5, 1.2) + rng.uniform(-0.4, 0.4) * x + rng.uniform(-0.4, 0.4) * y)[..., None]
    img = np.clip(img * light, 0, 255).astype(np.uint8)
    for _ in range(int(rng.integers(1, 4))):
        colour = tuple(int(c) for c in rng.integers(0, 256, 3))
        centre = tuple(int(c) for c in rng.integers(SIDE // 5, 4 * SIDE // 5, 2))
        axes = tuple(int(c) for c in rng.integers(SIDE // 10, SIDE // 3, 2))
        cv2.ellipse(img, centre, axes, float(rng.uniform(0, 180)), 0, 360, colour, -1, cv2.LINE_AA)
    return img


def prepare(bgr):
    """As the service's IsnetEngine::prepare: RGB in [0, 1] minus 0.5, NCHW."""
    shrinking = bgr.shape[0] >= SIDE and bgr.shape[1] >= SIDE
    img = cv2.resize(bgr, (SIDE, SIDE), interpolation=cv2.INTER_AREA if shrinking else cv2.INTER_LINEAR)
    rgb = cv2.cvtColor(img, cv2.COLOR_BGR2RGB).astype(np.float32) / 255.0 - 0.5
    tensor = torch.from_numpy(rgb.transpose(2, 0, 1)[None].copy())
    return tensor.contiguous(memory_format=torch.channels_last)


def iou(a, b):
    a, b = a > 0.5, b > 0.5
    union = np.logical_or(a, b).sum()
    return 1.0 if union == 0 else float(np.logical_and(a, b).sum() / union)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--onnx", required=True, help="the float32 ONNX graph from convert_model.py")
    parser.add_argument("--out", required=True, help="TorchScript module to write")
    parser.add_argument("--threads", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--calibration", type=int, default=12, help="synthetic photos to calibrate on")
    parser.add_argument("--min-iou", type=float, default=0.99)
    args = parser.parse_args()
    torch.set_num_threads(args.threads)
    torch.backends.quantized.engine = "onednn"

    graph = onnx.load(args.onnx).graph
    sample = prepare(synthetic_photo(0))
    with torch.no_grad():
        reference = StaticGraph(OnnxGraphModule(graph, "output"), sample).eval()
    # oneDNN's defaults: per-channel symmetric int8 weights, uint8 activations over
    # ranges chosen from histograms (less sensitive to outliers than min and max).
    mapping = get_default_qconfig_mapping("onednn")
    # The colour input and the one-channel mask logits are where 8 bits lose most;
    # those convolutions are small, so they stay in float.
    for k, conv in reference.convs.items():
        if conv.in_channels == 3 or conv.out_channels == 1:
            mapping.set_module_name("convs." + k, None)
    observed = prepare_fx(reference, mapping, example_inputs=(sample,))
    with torch.no_grad():
        # The program's own template backgrounds give real textures to calibrate on.
        folder = os.path.join(HERE, "..", "resources", "template")
        backgrounds = [cv2.imread(os.path.join(folder, f), cv2.IMREAD_COLOR)
                       for f in sorted(os.listdir(folder)) if f.startswith("bg")]
        for seed in range(args.calibration):
            observed(prepare(synthetic_photo(seed, backgrounds[seed % len(backgrounds)])))
        quantized = convert_fx(observed)
        traced = torch.jit.freeze(torch.jit.trace(quantized, sample, check_trace=False).eval())

        held_out = [synthetic_photo(1000 + seed) for seed in range(3)]
        held_out.append(cv2.imread(os.path.join(HERE, "..", "tests", "data", "astronaut.png"), cv2.IMREAD_COLOR))
        scores = []
        for bgr in held_out:
            x = prepare(bgr)
            scores.append(iou(reference(x).numpy(), traced(x).numpy()))
    mean = float(np.mean(scores))
    if not mean >= args.min_iou:
        sys.exit("quantize_model: IoU with float32 %.4f (%s) is below %g" %
                 (mean, ", ".join("%.4f" % s for s in scores), args.min_iou))
    temp = args.out + ".part"
    traced.save(temp)
    os.replace(temp, args.out)
    print("quantize_model: wrote %s (mask IoU with float32 %s)" % (args.out, ", ".join("%.4f" % s for s in scores)))


if __name__ == "__main__":
    main()
