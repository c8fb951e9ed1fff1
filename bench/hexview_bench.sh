#!/usr/bin/env bash
# The hex view's figures on a generated 256 MiB sample, page cache warm: the
# map of the flash and a find across the whole image (map_bench, from the
# loaded image and its rows) against the whole-process time of
# `kestrix-cli info` (best of RUNS); the map is held to 1x of info, the find
# to 2x. Then the window's figures (window_probe --hex under Xvfb): opening
# the hex view, scrolling it end to end, finds, each with the longest time the
# window did not answer, held to 100 ms.
#
#   bench/hexview_bench.sh [BUILD_DIR] [SIZE_BYTES] [RUNS]
set -euo pipefail
build=${1:-build}
size=${2:-268435456}
runs=${3:-5}
image=${TMPDIR:-/tmp}/kestrix-bench-$size.bin
for program in "$build/bin/kestrix-cli" "$build/bin/map_bench" "$build/bin/window_probe"; do
  [ -x "$program" ] || { echo "build first: $program is missing" >&2; exit 1; }
done
[ -f "$image" ] || "$build/bin/kestrix-make-sample" --size "$size" "$image"
cat "$image" > /dev/null

best=
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  "$build/bin/kestrix-cli" info "$image" > /dev/null
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
done
echo "kestrix-cli info, whole process: $best ms"
"$build/bin/map_bench" "$image" "$runs" | tee /dev/stderr | awk -v info="$best" -F': ' '
  /^map cells/ { printf "map cells: %.2fx of info (bound 1x)\n", $2 / info }
  /^find forward/ { printf "find forward: %.2fx of info (bound 2x)\n", $2 / info }
  /^find back/ { printf "find back: %.2fx of info (bound 2x)\n", $2 / info }'
xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bin/window_probe" --hex --runs 2 "$image" 2>/dev/null
