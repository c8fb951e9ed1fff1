#!/usr/bin/env bash
# The content search and the picture search against info on one 256 MiB
# phone-like image with sounds (kestrix-make-sample), whole process, the two
# commands taking turns, page cache warm: the median times of each pair and
# the ratio against info. Both searches are held to twice the time of info.
#
#   bench/content_speed.sh [BUILD_DIR] [SIZE_BYTES] [RUNS]
set -euo pipefail
build=${1:-build}
size=${2:-268435456}
runs=${3:-15}
image=${TMPDIR:-/tmp}/kestrix-bench-$size.bin
cli=$build/bin/kestrix-cli

[ -x "$cli" ] || { echo "build first: $cli is missing" >&2; exit 1; }
[ -f "$image" ] || "$build/bin/kestrix-make-sample" --size "$size" "$image"
cat "$image" > /dev/null

# Prints the median wall and cpu of A, of B, and the median ratios of each pair.
pair() {
  local name=$1
  shift
  echo "== $name vs info ($runs runs each)"
  farm-bench -n "$runs" --timeout 600 --vs "$cli info --json $image" -- "$@" 2>&1 |
    awk '/^(A|B) (wall|cpu) s/ || /^A\/B (wall|cpu)/ { print "  " $0 }'
}

pair "content --json" "$cli" content --json "$image"
pair "pictures --json" "$cli" pictures --json "$image"
