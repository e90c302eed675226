#!/usr/bin/python3
"""Makes the service's fast engine: an 8-bit copy of the ISNet network
(isnet-general-int8.pt) by static post-training quantization, for oneDNN's
int8 convolutions.

The network is rebuilt from the float32 ONNX graph with every shape computation
folded to a constant, so FX can trace it; convolutions carry per-channel int8
weights, activations per-tensor uint8 scales observed on synthetic photos drawn
here from fixed seeds: people with hair, products with shadows and plain shapes
over the program's template backgrounds, flat walls, noise and strokes (the mask
logits, their enlargement and the sigmoid stay in float). Before anything is
written, masks of held-out synthetic photos and of the photos in tests/data are
compared with the float32 network's; a mean IoU below --min-iou writes nothing and
exits non-zero.

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
# A product photo and one of plain shapes. Drawn people are not held out: the float
# network itself is unsure of them (a tenth of their pixels between 0.2 and 0.8),
# so their masks flip with any change and say little about quantization.
HELD_OUT_SEEDS = (1000, 1001)


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


def paint(img, cover, fill):
    """Lays `fill` (a colour or a picture) over img where `cover` (0..1) says."""
    c = cover[..., None]
    img *= 1 - c
    img += c * fill


def drawn(draw):
    """The coverage (0..1, anti-aliased) of what draw(canvas) paints in white."""
    canvas = np.zeros((SIDE, SIDE), np.uint8)
    draw(canvas)
    return canvas.astype(np.float32) / 255


def texture(rng, backgrounds, colour):
    """A fill: one of our backgrounds, mirrored at random, tinted toward colour."""
    t = cv2.resize(backgrounds[rng.integers(len(backgrounds))], (SIDE, SIDE)).astype(np.float32)
    if rng.random() < 0.5:
        t = t[:, ::-1]
    mix = rng.uniform(0.4, 0.85)
    return t * (1 - mix) + np.float32(colour) * mix


def backdrop(rng, backgrounds):
    """Behind the subject: a template background, a plain wall, noise or strokes."""
    kind = rng.integers(4)
    if kind == 0:  # one of the program's template backgrounds, a random part of it
        bg = backgrounds[rng.integers(len(backgrounds))]
        h, w = bg.shape[:2]
        side = int(min(h, w) * rng.uniform(0.5, 1))
        y, x = rng.integers(0, h - side + 1), rng.integers(0, w - side + 1)
        return cv2.resize(bg[y:y + side, x:x + side], (SIDE, SIDE)).astype(np.float32)
    if kind == 1:  # a plain studio or wall colour
        return np.full((SIDE, SIDE, 3), rng.integers(0, 256, 3), np.float32)
    img = rng.integers(0, 256, (SIDE, SIDE, 3), dtype=np.uint8)
    img = cv2.GaussianBlur(img, (0, 0), float(rng.uniform(2, 25))).astype(np.float32)
    img = (img - 128) * rng.uniform(1, 4) + 128  # blurred colour noise, sometimes busy
    if kind == 3:  # grass, leaves or fabric: many short strokes
        for _ in range(int(rng.integers(300, 2500))):
            p = rng.integers(0, SIDE, 2)
            q = p + rng.integers(-25, 26, 2)
            cv2.line(img, tuple(int(v) for v in p), tuple(int(v) for v in q),
                     tuple(float(v) for v in rng.integers(0, 256, 3)), int(rng.integers(1, 4)), cv2.LINE_AA)
    return img


def hair(rng, img, centre, axes, colour):
    """Strands growing out of the top of a head: thin, wavy, partly transparent."""
    strands = np.zeros((SIDE, SIDE), np.uint8)
    for _ in range(int(rng.integers(150, 700))):
        t = rng.uniform(np.pi * 1.0, np.pi * 2.0)
        p = np.array([centre[0] + axes[0] * np.cos(t), centre[1] + axes[1] * np.sin(t)])
        heading, length = t + rng.uniform(-0.7, 0.7), rng.uniform(0.1, 0.45) * axes[1] * 2
        points = []
        for _ in range(12):
            points.append(p.copy())
            heading += rng.uniform(-0.12, 0.12)
            p += length / 12 * np.array([np.cos(heading), np.sin(heading)])
        cv2.polylines(strands, [np.int32(np.array(points) * 16)], False, int(rng.integers(120, 256)),
                      1, cv2.LINE_AA, 4)
    paint(img, strands.astype(np.float32) / 255, np.float32(colour))


def person(rng, img, backgrounds):
    """Head and shoulders: textured clothes, skin, sometimes long hair."""
    cx, s = SIDE * rng.uniform(0.3, 0.7), SIDE * rng.uniform(0.6, 1.1)
    top = SIDE - 0.95 * s
    skin = [(110, 150, 210), (80, 120, 180), (60, 85, 130), (150, 180, 225)][rng.integers(4)]
    head = (int(cx), int(top + 0.2 * s)), (int(0.13 * s), int(0.18 * s))
    paint(img, drawn(lambda c: cv2.ellipse(c, (int(cx), int(top + 0.5 * s)), (int(0.07 * s), int(0.15 * s)),
                                           0, 0, 360, 255, -1, cv2.LINE_AA)), np.float32(skin) * 0.85)
    paint(img, drawn(lambda c: cv2.ellipse(c, (int(cx), int(SIDE + 0.1 * s)), (int(0.45 * s), int(0.42 * s)),
                                           0, 0, 360, 255, -1, cv2.LINE_AA)),
          texture(rng, backgrounds, rng.integers(0, 256, 3)))
    paint(img, drawn(lambda c: cv2.ellipse(c, head[0], head[1], 0, 0, 360, 255, -1, cv2.LINE_AA)),
          texture(rng, backgrounds, skin))
    if rng.random() < 0.75:
        colour = [(20, 25, 30), (30, 50, 80), (60, 110, 160), (110, 170, 210)][rng.integers(4)]
        paint(img, drawn(lambda c: cv2.ellipse(c, head[0], (head[1][0] + 8, head[1][1] + 8), 0, 180, 360, 255, -1,
                                               cv2.LINE_AA)), np.float32(colour))
        hair(rng, img, head[0], head[1], colour)


def products(rng, img, backgrounds):
    """Boxes and bottles, shaded, with a soft contact shadow on the ground."""
    for _ in range(int(rng.integers(1, 4))):
        x, w = SIDE * rng.uniform(0.1, 0.7), SIDE * rng.uniform(0.12, 0.35)
        h, bottom = SIDE * rng.uniform(0.25, 0.6), SIDE * rng.uniform(0.7, 0.95)
        shadow = drawn(lambda c: cv2.ellipse(c, (int(x + w / 2), int(bottom)), (int(w * 0.7), int(w * 0.12)),
                                             0, 0, 360, 255, -1, cv2.LINE_AA))
        img *= 1 - 0.6 * cv2.GaussianBlur(shadow, (0, 0), float(w * 0.08))[..., None]
        box = rng.random() < 0.5

        def outline(c):
            if box:
                cv2.rectangle(c, (int(x), int(bottom - h)), (int(x + w), int(bottom)), 255, -1, cv2.LINE_AA)
            else:  # a bottle: round body, narrow neck
                cv2.ellipse(c, (int(x + w / 2), int(bottom - h / 3)), (int(w / 2), int(h / 3)), 0, 0, 360, 255, -1,
                            cv2.LINE_AA)
                cv2.rectangle(c, (int(x + w / 3), int(bottom - h)), (int(x + 2 * w / 3), int(bottom - h / 2)), 255,
                              -1, cv2.LINE_AA)
        cover = drawn(outline)
        shade = np.linspace(rng.uniform(0.6, 1.0), rng.uniform(0.9, 1.3), SIDE, dtype=np.float32)[None, :, None]
        fill = texture(rng, backgrounds, rng.integers(0, 256, 3)) if rng.random() < 0.5 else \
            np.float32(rng.integers(0, 256, 3))
        paint(img, cover, fill * shade)


def blobs(rng, img, backgrounds):
    for _ in range(int(rng.integers(1, 4))):
        centre = tuple(int(c) for c in rng.integers(SIDE // 5, 4 * SIDE // 5, 2))
        axes = tuple(int(c) for c in rng.integers(SIDE // 10, SIDE // 3, 2))
        angle = float(rng.uniform(0, 180))
        paint(img, drawn(lambda c: cv2.ellipse(c, centre, axes, angle, 0, 360, 255, -1, cv2.LINE_AA)),
              texture(rng, backgrounds, rng.integers(0, 256, 3)))


def synthetic_photo(seed, backgrounds):
    """A photo-like BGR picture from a fixed seed: a backdrop under uneven light and
    a subject, by turns a person (often with hair), products, or plain shapes."""
    rng = np.random.default_rng(seed)
    img = backdrop(rng, backgrounds)
    (person, products, blobs)[seed % 3](rng, img, backgrounds)
    y, x = np.mgrid[0:SIDE, 0:SIDE].astype(np.float32) / SIDE
    light = (rng.uniform(0.6, 1.2) + rng.uniform(-0.3, 0.3) * x + rng.uniform(-0.3, 0.3) * y)[..., None]
    img = img * light + rng.normal(0, rng.uniform(0, 6), img.shape).astype(np.float32)
    return np.clip(img, 0, 255).astype(np.uint8)


def prepare(bgr):
    """As the service's IsnetEngine::prepare: RGB in [0, 1] minus 0.5, NCHW."""
    shrinking = bgr.shape[0] >= SIDE and bgr.shape[1] >= SIDE
    while shrinking and all(s % 2 == 0 and s >= 2 * SIDE for s in bgr.shape[:2]):
        bgr = cv2.resize(bgr, (bgr.shape[1] // 2, bgr.shape[0] // 2), interpolation=cv2.INTER_AREA)
    img = cv2.resize(bgr, (SIDE, SIDE), interpolation=cv2.INTER_AREA if shrinking else cv2.INTER_LINEAR)
    rgb = cv2.cvtColor(img, cv2.COLOR_BGR2RGB).astype(np.float32) / 255.0 - 0.5
    tensor = torch.from_numpy(rgb.transpose(2, 0, 1)[None].copy())
    return tensor.contiguous(memory_format=torch.channels_last)


def fast_dequantize(x):
    """x.dequantize()'s values through the vectorised uint8-to-float copy: this
    torch dequantizes a channels-last tensor one value at a time, and the 64
    channels at 512 x 512 before the float mask convolution took longer than it."""
    return x.int_repr().float().sub_(x.q_zero_point()).mul_(x.q_scale())


def use_fast_dequantize(module):
    for node in module.graph.nodes:
        if node.op == "call_method" and node.target == "dequantize":
            node.op, node.target = "call_function", fast_dequantize
    module.recompile()
    return module


def iou(a, b):
    a, b = a > 0.5, b > 0.5
    union = np.logical_or(a, b).sum()
    return 1.0 if union == 0 else float(np.logical_and(a, b).sum() / union)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--onnx", required=True, help="the float32 ONNX graph from convert_model.py")
    parser.add_argument("--out", required=True, help="TorchScript module to write")
    parser.add_argument("--threads", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--calibration", type=int, default=16, help="synthetic photos to calibrate on")
    parser.add_argument("--min-iou", type=float, default=0.99)
    args = parser.parse_args()
    torch.set_num_threads(args.threads)
    torch.backends.quantized.engine = "onednn"

    # The program's own template backgrounds give real textures to draw with.
    folder = os.path.join(HERE, "..", "resources", "template")
    backgrounds = [cv2.imread(os.path.join(folder, f), cv2.IMREAD_COLOR)
                   for f in sorted(os.listdir(folder)) if f.startswith("bg")]
    graph = onnx.load(args.onnx).graph
    sample = prepare(synthetic_photo(0, backgrounds))
    with torch.no_grad():
        reference = StaticGraph(OnnxGraphModule(graph, "output"), sample).eval()
    # oneDNN's defaults: per-channel symmetric int8 weights, uint8 activations over
    # ranges chosen from histograms (less sensitive to outliers than min and max).
    mapping = get_default_qconfig_mapping("onednn")
    # The one-channel mask logits are where 8 bits lose most; that convolution is
    # small, so it stays in float. The colour input does not: it has 256 levels
    # anyway, and in float its convolution's output took longer to quantize than
    # the convolution itself.
    for k, conv in reference.convs.items():
        if conv.out_channels == 1:
            mapping.set_module_name("convs." + k, None)
    # So do the logits' enlargement and the sigmoid after it: in 8 bits the sigmoid
    # steps by 1/256 and puts every edge pixel just above one half on exactly one
    # half, which shrank each mask by about a pixel all round.
    mapping.set_object_type(torch.sigmoid, None)
    resizes = sum(op == "Resize" for _, op, *_ in reference.nodes)
    mapping.set_module_name_object_type_order("", F.interpolate, resizes - 1, None)
    observed = prepare_fx(reference, mapping, example_inputs=(sample,))
    with torch.no_grad():
        for seed in range(args.calibration):
            observed(prepare(synthetic_photo(seed, backgrounds)))
        quantized = use_fast_dequantize(convert_fx(observed))
        traced = torch.jit.freeze(torch.jit.trace(quantized, sample, check_trace=False).eval())

        # Held out: synthetic photos from other seeds and the test photos, drawn or
        # real, none of which calibration saw.
        held_out = [synthetic_photo(seed, backgrounds) for seed in HELD_OUT_SEEDS]
        data = os.path.join(HERE, "..", "tests", "data")
        held_out += [cv2.imread(os.path.join(data, f), cv2.IMREAD_COLOR)
                     for f in sorted(os.listdir(data)) if f.endswith((".png", ".jpg"))]
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
