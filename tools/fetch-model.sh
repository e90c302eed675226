#!/usr/bin/env bash
# Fetches the ISNet general-use weights (from the npm package
# @imgly/background-removal-data, of which we use only the model data) and converts
# them once into the TorchScript module the matting service runs, plus its int8
# copy for the fast engine (quantize_model.py). Folder:
# $BRISEL_MODEL_DIR or ~/.cache/brisel/models. Quiet when the model is already
# there. When anything fails the service still works with its key engine, so this
# warns and exits 0 rather than stopping the set-up.
set -uo pipefail

package="@imgly/background-removal-data@1.4.5"
tarball="imgly-background-removal-data-1.4.5.tgz"
here="$(cd "$(dirname "$0")" && pwd)"
dir="${BRISEL_MODEL_DIR:-$HOME/.cache/brisel/models}"
model="$dir/isnet-general.pt"
onnx32="$dir/isnet-general-fp32.onnx"
int8="$dir/isnet-general-int8.pt"
# A failed quantization is not retried on every set-up: it takes minutes.
int8failed="$dir/quantize.failed"

[ -s "$model" ] && [ -s "$onnx32" ] && { [ -s "$int8" ] || [ -e "$int8failed" ]; } && exit 0

warn() {
  echo "fetch-model: $*; the matting service will use its key engine until this works" >&2
  exit 0
}

quantize() {
  echo "fetch-model: making the int8 model for the fast engine (a few minutes)"
  if /usr/bin/python3 "$here/quantize_model.py" --onnx "$onnx32" --out "$int8" >"$dir/quantize.log" 2>&1; then
    tail -n 1 "$dir/quantize.log"
  else
    tail -n 3 "$dir/quantize.log" >&2
    touch "$int8failed"
    echo "fetch-model: no int8 model (see $dir/quantize.log; delete $int8failed to retry);" \
         "--engine isnet-fast is unavailable" >&2
  fi
  exit 0
}
[ -s "$model" ] && [ -s "$onnx32" ] && quantize

mkdir -p "$dir/npm" || warn "cannot create $dir"
if [ ! -s "$dir/npm/$tarball" ]; then
  command -v npm >/dev/null 2>&1 || warn "npm is not installed"
  echo "fetch-model: downloading $package (about 136 MB)"
  (cd "$dir/npm" && npm pack "$package" --silent >/dev/null 2>"$dir/npm/pack.log") ||
    { rm -f "$dir/npm/$tarball"; warn "npm pack failed (see $dir/npm/pack.log)"; }
fi

echo "fetch-model: converting the model (a few minutes)"
log="$dir/convert.log"
if ! /usr/bin/python3 "$here/convert_model.py" --package "$dir/npm/$tarball" \
       --out "$model" --onnx-out "$onnx32" >"$log" 2>&1; then
  tail -n 5 "$log" >&2
  warn "conversion failed (see $log)"
fi
tail -n 1 "$log"
# The package is only needed again if the conversion has to be redone.
rm -f "$dir/npm/$tarball"
quantize
