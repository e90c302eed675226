// onnxruntime's forward of the fp32 ONNX graph, as a baseline for bench_service_peer.
// Usage: node forward.mjs MODEL.onnx INPUT.raw THREADS
// INPUT.raw holds 1x3x1024x1024 float32 (NCHW). After loading and one warm-up run it
// prints "ready"; then each line read from stdin runs one forward and prints its
// wall time in milliseconds, so the caller can interleave it with its own runs.
import { createRequire } from 'node:module';
import { readFileSync } from 'node:fs';
import { createInterface } from 'node:readline';

const require = createRequire(process.env.BRISEL_ORT_PREFIX + '/node_modules/');
const ort = require('onnxruntime-node');

const [model, inputPath, threads] = process.argv.slice(2);
const raw = readFileSync(inputPath);
const data = new Float32Array(raw.buffer, raw.byteOffset, raw.byteLength / 4);
const session = await ort.InferenceSession.create(model, {
  executionProviders: ['cpu'],
  graphOptimizationLevel: 'all',
  intraOpNumThreads: Number(threads),
  interOpNumThreads: 1,
});
const feeds = { [session.inputNames[0]]: new ort.Tensor('float32', data, [1, 3, 1024, 1024]) };
await session.run(feeds);
console.log('ready');
for await (const _ of createInterface({ input: process.stdin })) {
  const start = process.hrtime.bigint();
  await session.run(feeds);
  console.log(Number(process.hrtime.bigint() - start) / 1e6);
}
