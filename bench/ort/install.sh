#!/usr/bin/env bash
# Installs onnxruntime-node into $1 for bench_service_peer, once. Its install
# script would download GPU libraries; the CPU library ships in the package, so
# scripts are skipped. When npm cannot reach its registry this says so and
# succeeds, so the other benchmarks still build; bench_service_peer then fails.
set -uo pipefail
prefix="$1"
[ -s "$prefix/node_modules/onnxruntime-node/package.json" ] && exit 0
mkdir -p "$prefix"
if ! npm install --prefix "$prefix" onnxruntime-node@1.20 --ignore-scripts --no-audit --no-fund \
     --silent >"$prefix/install.log" 2>&1; then
  echo "bench: npm could not install onnxruntime-node (registry unreachable? see $prefix/install.log);" \
       "bench_service_peer will fail" >&2
fi
exit 0
