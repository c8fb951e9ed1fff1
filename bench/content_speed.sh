#!/usr/bin/env bash
# The content search and the picture search against info on one 256 MiB
# phone-like image with sounds (kestrix-make-sample), whole process, the two
# commands taking turns, page cache warm: the median times of each pair and
# the ratio against info. Both searches are held to twice the time of info.
# As info also hashes the whole image (SHA-256, MD5), each search is timed
# against read_baseline too: the image read whole into a block on huge pages,
# as every command reads it.
#
#   bench/content_speed.sh [BUILD_DIR] [SIZE_BYTES] [RUNS]
set -euo pipefail
build=${1:-build}
size=${2:-268435456}
runs=${3:-15}
image=${TMPDIR:-/tmp}/kestrix-bench-$size.bin
cli=$build/bin/kestrix-cli
baseline=$build/bin/read_baseline

for program in "$cli" "$baseline"; do
  [ -x "$program" ] || { echo "build first: $program is missing" >&2; exit 1; }
done
[ -f "$image" ] || "$build/bin/kestrix-make-sample" --size "$size" "$image"
cat "$image" > /dev/null

# Prints the median wall and cpu of A, of B, and the median ratios of each pair.
pair() {
  local name=$1 yardstick=$2 against=$3
  shift 3
  echo "== $name vs $yardstick ($runs runs each)"
  farm-bench -n "$runs" --timeout 600 --vs "$against" -- "$@" 2>&1 |
    awk '/^(A|B) (wall|cpu) s/ || /^A\/B (wall|cpu)/ { print "  " $0 }'
}

for command in content pictures; do
  pair "$command --json" info "$cli info --json $image" "$cli" "$command" --json "$image"
  pair "$command --json" "the read" "$baseline $image" "$cli" "$command" --json "$image"
done
