#!/usr/bin/env bash
# Regenerates every committed picture of the resource collection: the interface
# icons and home cards from the SVG sources in resources/art, and the background
# templates painted procedurally. Needs rsvg-convert (librsvg2-bin) and Debian's
# python3-numpy and python3-opencv, all installed by tools/setup.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

for tool in rsvg-convert /usr/bin/python3; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "make-assets: $tool is missing; run tools/setup.sh first" >&2
    exit 1
  fi
done

/usr/bin/python3 tools/render-icons.py
/usr/bin/python3 tools/make-templates.py
echo "make-assets: resources/image and resources/template are up to date"
