#!/usr/bin/env bash
# Renders the main window's home, progress and workspace pages, each side-panel page
# and the batch pages (add dialog, workspace, single-tile editor), in English and in
# Chinese, to docs/screenshots/*.png. Runs offscreen against the local matting
# service with its flat-background engine, in a throw-away home folder.
#   bash tools/screenshots.sh <build folder>
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target brisel-screenshots brisel-matting-service brisel_translations
mkdir -p docs/screenshots
for lang in en zh; do
  QT_QPA_PLATFORM=offscreen "$build/bin/brisel-screenshots" docs/screenshots "$lang"
done
