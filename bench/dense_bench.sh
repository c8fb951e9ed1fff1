#!/usr/bin/env bash
# Peak memory while every row of a dense image is listed: the bitmap header
# pattern every 16 bytes below the GIF pass start and "GIF89a" back to back
# above it, about 43.7 million picture rows at 256 MiB. The budget is the
# image's size plus 2 GiB, for kestrix-cli (plain table and JSON) and for the
# window (window_probe --memory on the offscreen platform). The content search,
# which walks every one of those candidates, is timed on the same image.
#
#   bench/dense_bench.sh [BUILD_DIR] [SIZE_BYTES]
set -euo pipefail
build=${1:-build}
size=${2:-268435456}
image=${TMPDIR:-/tmp}/kestrix-dense-$size.bin
cli=$build/bin/kestrix-cli
probe=$build/bin/window_probe

[ -x "$cli" ] || { echo "build first: $cli is missing" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (Debian package time)" >&2; exit 1; }
[ -f "$image" ] || "$build/bin/kestrix-make-sample" --dense --size "$size" "$image"

budget=$(( (size >> 20) + 2048 ))
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Runs a command with its output dropped but its last line kept; prints that
# line, the wall time and the peak memory in MiB.
measure() {
  local last
  last=$( { /usr/bin/time -v "$@" 2> "$log" | tail -n 1; } )
  local kib seconds
  kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$log")
  seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ { print $2 }' "$log")
  printf '%-28s %9d MiB  %10s  %s\n' "$label" $((kib / 1024)) "$seconds" "$last"
}

printf 'image: %s (%d MiB), budget %d MiB\n' "$image" $((size >> 20)) "$budget"
printf '%-28s %13s  %10s  %s\n' what peak wall last_line
label="kestrix-cli graphics" measure "$cli" graphics "$image"
label="kestrix-cli graphics --json" measure sh -c '"$0" graphics "$1" --json | wc -c' "$cli" "$image"
label="kestrix-cli content --json" measure sh -c '"$0" content "$1" --json | wc -c' "$cli" "$image"
if [ -x "$probe" ]; then
  label="window (both scans)" measure env QT_QPA_PLATFORM=offscreen "$probe" --memory "$image"
else
  echo "window: $probe is missing (build with Qt Widgets)"
fi
