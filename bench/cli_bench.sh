#!/usr/bin/env bash
# Whole-process figures of kestrix-cli on a generated flash-like image:
# wall time (best of N runs, page cache warm) and peak memory of info, files
# and graphics, side by side.
#
#   bench/cli_bench.sh [BUILD_DIR] [SIZE_BYTES] [RUNS]
set -euo pipefail
build=${1:-build}
size=${2:-268435456}
runs=${3:-5}
image=${TMPDIR:-/tmp}/kestrix-bench-$size.bin
cli=$build/bin/kestrix-cli

[ -x "$cli" ] || { echo "build first: $cli is missing" >&2; exit 1; }
[ -f "$image" ] || "$build/bin/kestrix-make-sample" --size "$size" "$image"
cat "$image" > /dev/null

best_ms() {
  local best=""
  for _ in $(seq "$runs"); do
    local start end ms
    start=$(date +%s%N)
    "$@" > /dev/null
    end=$(date +%s%N)
    ms=$(( (end - start) / 1000000 ))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}

peak_kib() {
  /usr/bin/time -f '%M' "$@" 2>&1 > /dev/null | tail -n 1
}

printf 'image: %s (%d MiB)\n' "$image" $((size >> 20))
printf '%-10s %10s %12s %14s\n' command best_ms ratio_to_info peak_MiB
info_ms=$(best_ms "$cli" info "$image")
for command in info files graphics; do
  ms=$(best_ms "$cli" "$command" "$image")
  kib=$(peak_kib "$cli" "$command" "$image")
  ratio=$(awk -v a="$ms" -v b="$info_ms" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
  printf '%-10s %10d %12s %14d\n' "$command" "$ms" "$ratio" $((kib / 1024))
done
echo "memory budget for info: image size + 64 MiB = $(( (size >> 20) + 64 )) MiB"
