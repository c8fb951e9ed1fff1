#!/usr/bin/env bash
# Whole-process figures of kestrix-cli on a generated flash-like image, page
# cache warm: wall time (best of N runs, the commands taking turns) of info,
# files, graphics and pictures against read_baseline, which reads the same file whole
# into a fresh block (2 MiB-aligned and advised for huge pages, and plain), and
# the peak memory of each. The deep picture search (pictures, with the strict
# decode check of every whole picture) and the content search (every item of
# every kind, the same checks) are each held to twice the time of info; the
# content search's peak memory to the image + 256 MiB.
#
#   bench/cli_bench.sh [BUILD_DIR] [SIZE_BYTES] [RUNS]
set -euo pipefail
build=${1:-build}
size=${2:-268435456}
runs=${3:-5}
image=${TMPDIR:-/tmp}/kestrix-bench-$size.bin
cli=$build/bin/kestrix-cli
baseline=$build/bin/read_baseline

for program in "$cli" "$baseline"; do
  [ -x "$program" ] || { echo "build first: $program is missing" >&2; exit 1; }
done
[ -f "$image" ] || "$build/bin/kestrix-make-sample" --size "$size" "$image"
cat "$image" > /dev/null

names=("read, huge pages" "read, plain" info files graphics pictures content)
# Sets cmd to the command line of row $1.
command_of() {
  case $1 in
    0) cmd=("$baseline" "$image") ;;
    1) cmd=("$baseline" --plain "$image") ;;
    2) cmd=("$cli" info "$image") ;;
    3) cmd=("$cli" files "$image") ;;
    4) cmd=("$cli" graphics "$image") ;;
    5) cmd=("$cli" pictures "$image") ;;
    6) cmd=("$cli" content --json "$image") ;;
  esac
}

elapsed_ms() {
  local start end
  command_of "$1"
  start=$(date +%s%N)
  "${cmd[@]}" > /dev/null
  end=$(date +%s%N)
  echo $(( (end - start) / 1000000 ))
}

peak_mib() {
  local kib
  command_of "$1"
  kib=$(/usr/bin/time -f '%M' "${cmd[@]}" 2>&1 > /dev/null | tail -n 1)
  echo $(( kib / 1024 ))
}

declare -a best
for _ in $(seq "$runs"); do
  for i in "${!names[@]}"; do
    ms=$(elapsed_ms "$i")
    if [ -z "${best[$i]:-}" ] || [ "$ms" -lt "${best[$i]}" ]; then best[$i]=$ms; fi
  done
done

ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'
}

thp=$(cat /sys/kernel/mm/transparent_hugepage/enabled 2> /dev/null || echo "not offered")
printf 'image: %s (%d MiB), transparent huge pages: %s\n' "$image" $((size >> 20)) "$thp"
printf '%-18s %8s %16s %9s\n' command best_ms ratio_to_hp_read peak_MiB
for i in "${!names[@]}"; do
  printf '%-18s %8d %16s %9d\n' "${names[$i]}" "${best[$i]}" "$(ratio "${best[$i]}" "${best[0]}")" "$(peak_mib "$i")"
done

info_peak=$(peak_mib 2)
budget=$(( (size >> 20) + 64 ))
info_ratio=$(ratio "${best[2]}" "${best[0]}")
verdict() { if [ "$1" = 1 ]; then echo within; else echo OVER; fi; }
echo "info against the huge-page read: ${info_ratio}x, at most 1.50x:" \
  "$(verdict "$(awk -v r="$info_ratio" 'BEGIN { print (r <= 1.5) }')")"
echo "info peak memory: $info_peak MiB, at most image + 64 MiB = $budget MiB:" \
  "$(verdict "$([ "$info_peak" -le "$budget" ] && echo 1 || echo 0)")"
pictures_ratio=$(ratio "${best[5]}" "${best[2]}")
echo "pictures against info: ${pictures_ratio}x, at most 2.00x:" \
  "$(verdict "$(awk -v r="$pictures_ratio" 'BEGIN { print (r <= 2.0) }')")"
content_ratio=$(ratio "${best[6]}" "${best[2]}")
echo "content against info: ${content_ratio}x, at most 2.00x:" \
  "$(verdict "$(awk -v r="$content_ratio" 'BEGIN { print (r <= 2.0) }')")"
content_peak=$(peak_mib 6)
content_budget=$(( (size >> 20) + 256 ))
echo "content peak memory: $content_peak MiB, at most image + 256 MiB = $content_budget MiB:" \
  "$(verdict "$([ "$content_peak" -le "$content_budget" ] && echo 1 || echo 0)")"
