#!/usr/bin/env bash
# Fetches the ISNet general-use weights (from the npm package
# @imgly/background-removal-data, of which we use only the model data) and converts
# them once into the TorchScript module the matting service runs, plus its int8
# copy for the fast engine (quantize_model.py). Folder:
# $BRISEL_MODEL_DIR or ~/.cache/brisel/models. Quiet when the model is already
# there. The set-up and the installed program's first start both run it; until it
# succeeds the service works with its key engine.
#
# Exit codes, which the program turns into its own message:
#   0 the model is there   3 the download failed (offline?)
#   4 a Python module the conversion needs is missing   1 anything else
# Progress lines on stdout start with "fetch-model: "; curl's bar goes to stderr.
set -uo pipefail

version="1.4.5"
url="https://registry.npmjs.org/@imgly/background-removal-data/-/background-removal-data-$version.tgz"
tarball="imgly-background-removal-data-$version.tgz"
here="$(cd "$(dirname "$0")" && pwd)"
dir="${BRISEL_MODEL_DIR:-$HOME/.cache/brisel/models}"
model="$dir/isnet-general.pt"
onnx32="$dir/isnet-general-fp32.onnx"
int8="$dir/isnet-general-int8.pt"
# A failed quantization is not retried on every set-up: it takes minutes.
int8failed="$dir/quantize.failed"

[ -s "$model" ] && [ -s "$onnx32" ] && { [ -s "$int8" ] || [ -e "$int8failed" ]; } && exit 0

fail() {
  echo "fetch-model: $2; the matting service will use its key engine until this works" >&2
  exit "$1"
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

# Checked first, so nobody downloads 136 MB only to learn this.
for module in torch onnx numpy cv2; do
  /usr/bin/python3 -c "import $module" 2>/dev/null ||
    fail 4 "the Python module $module is missing (Debian: python3-torch python3-onnx python3-numpy python3-opencv)"
done

mkdir -p "$dir/npm" || fail 1 "cannot create $dir"
if [ ! -s "$dir/npm/$tarball" ]; then
  echo "fetch-model: downloading the model data (about 136 MB)"
  curl -fL --retry 2 --connect-timeout 20 --progress-bar -o "$dir/npm/$tarball.part" "$url"
  status=$?
  case $status in
    0) mv -f "$dir/npm/$tarball.part" "$dir/npm/$tarball" ;;
    5|6|7|28|35|56) fail 3 "cannot reach registry.npmjs.org (curl exit $status)" ;;
    *) fail 1 "the download failed (curl exit $status)" ;;
  esac
fi

echo "fetch-model: converting the model (a few minutes)"
log="$dir/convert.log"
if ! /usr/bin/python3 "$here/convert_model.py" --package "$dir/npm/$tarball" \
       --out "$model" --onnx-out "$onnx32" >"$log" 2>&1; then
  tail -n 5 "$log" >&2
  fail 1 "conversion failed (see $log)"
fi
tail -n 1 "$log"
# The package is only needed again if the conversion has to be redone.
rm -f "$dir/npm/$tarball"
quantize
