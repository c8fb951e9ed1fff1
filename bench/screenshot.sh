#!/usr/bin/env bash
# Redraws docs/screenshot.png: the window on a virtual display (Xvfb) with the
# default sample image opened, both scans run and a picture previewed.
#
#   bench/screenshot.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
image=${TMPDIR:-/tmp}/kestrix-screenshot-sample.bin
probe=$build/bin/window_probe

[ -x "$probe" ] || { echo "build first: $probe is missing" >&2; exit 1; }
[ -x "$build/bin/kestrix-make-sample" ] || { echo "build first: $build/bin/kestrix-make-sample is missing" >&2; exit 1; }
command -v xvfb-run > /dev/null || { echo "xvfb-run is missing (Debian package xvfb)" >&2; exit 1; }
# Made afresh each time: the generator may have changed since the last run.
"$build/bin/kestrix-make-sample" "$image"

mkdir -p "$root/docs"
xvfb-run -a -s "-screen 0 1280x1024x24" "$probe" --screenshot "$root/docs/screenshot.png" "$image"
