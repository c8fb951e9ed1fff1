#!/usr/bin/env bash
# Many images per run: COUNT generated images of SIZE bytes read by one
# kestrix-cli run with --jobs JOBS against the same images one run after another,
# side by side (best of RUNS, page cache warm), with the batch run's peak memory.
#
#   bench/batch_bench.sh [BUILD_DIR] [COUNT] [SIZE_BYTES] [JOBS] [RUNS] [COMMAND]
set -euo pipefail
build=${1:-build}
count=${2:-16}
size=${3:-67108864}
jobs=${4:-2}
runs=${5:-3}
command=${6:-info}
folder=${TMPDIR:-/tmp}/kestrix-batch-$size
cli=$build/bin/kestrix-cli

[ -x "$cli" ] || { echo "build first: $cli is missing" >&2; exit 1; }
mkdir -p "$folder"
[ -f "$folder/image-1.bin" ] || "$build/bin/kestrix-make-sample" --size "$size" "$folder/image-1.bin"
images=()
for n in $(seq "$count"); do
  # Copies, not links: each image is a file of its own in the page cache.
  [ -f "$folder/image-$n.bin" ] || cp "$folder/image-1.bin" "$folder/image-$n.bin"
  images+=("$folder/image-$n.bin")
done
cat "${images[@]}" > /dev/null

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

one_after_another() {
  local image
  for image in "${images[@]}"; do "$cli" "$command" "$image" --json; done
}

sequential=$(best_ms one_after_another)
batch=$(best_ms "$cli" "$command" "${images[@]}" --json --jobs "$jobs")
peak_kib=$(/usr/bin/time -f '%M' "$cli" "$command" "${images[@]}" --json --jobs "$jobs" 2>&1 > /dev/null | tail -n 1)
printf '%d images of %d MiB, %s, cores: %d\n' "$count" $((size >> 20)) "$command" "$(nproc)"
printf 'one run per image:    %6d ms\n' "$sequential"
printf 'one run, --jobs %-3d   %6d ms  (%s of one run per image; target at most 0.60)\n' "$jobs" "$batch" \
  "$(awk -v a="$batch" -v b="$sequential" 'BEGIN { printf "%.2f", a / b }')"
printf 'peak memory, --jobs %d: %d MiB (budget %d MiB)\n' "$jobs" $((peak_kib / 1024)) $(( jobs * ((size >> 20) + 64) ))
