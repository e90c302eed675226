#!/usr/bin/env bash
# Installs what Brisel needs to build, test and run on Debian 12, then prepares the
# local matting service (TLS certificate, model weights). Safe to run again: it only
# installs what is missing and says nothing when everything is there.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake ninja-build pkg-config git ccache clang-format
  qtbase5-dev qttools5-dev qttools5-dev-tools libqt5svg5-dev qt5-image-formats-plugins
  kimageformat-plugins libexiv2-dev
  libopencv-dev libopencv-contrib-dev opencv-data libjpeg-dev
  libcurl4-openssl-dev libssl-dev ca-certificates openssl
  libcpp-httplib-dev zlib1g-dev libbrotli-dev libhiredis-dev redis-server haproxy
  libgtest-dev libbenchmark-dev
  libtorch-dev python3 python3-numpy python3-onnx python3-torch python3-opencv
  curl
  xvfb xauth fonts-noto-cjk imagemagick dbus-daemon:dbus-daemon librsvg2-bin
  appstream desktop-file-utils dpkg-dev fakeroot
)

# "package:command" means the command being on PATH is enough (it may come from
# elsewhere than Debian's package).
missing=()
for entry in "${PACKAGES[@]}"; do
  p=${entry%%:*}
  cmd=${entry#*:}
  if [ "$cmd" != "$entry" ] && command -v "$cmd" >/dev/null 2>&1; then
    continue
  fi
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    SUDO=sudo
  else
    SUDO=
  fi
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -qq
  if ! DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/tmp/brisel-setup-apt.log 2>&1; then
    echo "setup: could not install the packages above; see /tmp/brisel-setup-apt.log" >&2
    tail -n 20 /tmp/brisel-setup-apt.log >&2
    exit 1
  fi
fi

# Service pieces, each idempotent and quiet when done. Without the model the
# service still works with its key engine, so a failed fetch only warns.
tools/make-certs.sh
tools/fetch-model.sh || true
