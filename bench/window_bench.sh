#!/usr/bin/env bash
# How long the window takes to open a large image against a plain read of it,
# how long it stops answering while it scans the image, and the
# scans' time in the window against the same scans called directly. Runs
# window_probe on a virtual display (Xvfb, the xcb platform).
#
#   bench/window_bench.sh [BUILD_DIR] [SIZE_BYTES] [RUNS]
set -euo pipefail
build=${1:-build}
size=${2:-536870912}
runs=${3:-3}
image=${TMPDIR:-/tmp}/kestrix-bench-$size.bin
probe=$build/bin/window_probe

[ -x "$probe" ] || { echo "build first: $probe is missing" >&2; exit 1; }
[ -x "$build/bin/kestrix-make-sample" ] || { echo "build first: $build/bin/kestrix-make-sample is missing" >&2; exit 1; }
command -v xvfb-run > /dev/null || { echo "xvfb-run is missing (Debian package xvfb)" >&2; exit 1; }
[ -f "$image" ] || "$build/bin/kestrix-make-sample" --size "$size" "$image"
cat "$image" > /dev/null

xvfb-run -a -s "-screen 0 1280x1024x24" "$probe" --runs "$runs" "$image"
