#!/usr/bin/env bash
# The deep picture search on an image packed with decode bombs (bomb_image):
# whole-process wall time of `kestrix-cli pictures` against `kestrix-cli info` on
# the same image, best of N runs with the two taking turns, page cache warm.
# The search is held to ten times info.
#
#   bench/bomb_bench.sh [BUILD_DIR] [SIZE_BYTES] [RUNS]
set -euo pipefail
build=${1:-build}
size=${2:-1600000}
runs=${3:-7}
image=${TMPDIR:-/tmp}/kestrix-bombs-$size.bin
cli=$build/bin/kestrix-cli
[ -x "$cli" ] || { echo "build first: $cli is missing" >&2; exit 1; }
"$build/bin/bomb_image" "$image" "$size"

elapsed_ms() {
  local start end
  start=$(date +%s%N)
  "$cli" "$1" "$image" > /dev/null
  end=$(date +%s%N)
  echo $(( (end - start) / 1000000 ))
}

best_info=""; best_pictures=""
for _ in $(seq "$runs"); do
  ms=$(elapsed_ms info); if [ -z "$best_info" ] || [ "$ms" -lt "$best_info" ]; then best_info=$ms; fi
  ms=$(elapsed_ms pictures); if [ -z "$best_pictures" ] || [ "$ms" -lt "$best_pictures" ]; then best_pictures=$ms; fi
done
rows=$("$cli" pictures --json "$image" | grep -o '"status": "[a-z]*"' | sort | uniq -c | tr '\n' ' ')
ratio=$(awk -v a="$best_pictures" -v b="$best_info" 'BEGIN { printf "%.1f", (b > 0 ? a / b : 0) }')
echo "image: $image ($size bytes); rows by status: $rows"
echo "info: $best_info ms; pictures: $best_pictures ms; pictures against info: ${ratio}x, at most 10x:" \
  "$(awk -v r="$ratio" 'BEGIN { print (r <= 10 ? "within" : "OVER") }')"
