#!/usr/bin/env bash
# Speed of the digests and of the report on a 256 MiB sample image, as
# whole-process figures (median of paired runs, ratio A/B):
#   1. `content --json` with the SHA-256 of every item (this build) against
#      `content --json` without it (kestrix-cli built from the commit before
#      the digests, or BASE_CLI when given); target: at most 1.2.
#   2. `report --out` (items, WAV copies, page, CSV, DFXML) against
#      `content --extract`; target: at most 2.
#
#   bench/report_bench.sh [BUILD_DIR]
# Needs farm-bench on the PATH. Builds the baseline in a temporary git
# worktree (ccache makes it quick) and removes it afterwards.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cli=$build/bin/kestrix-cli
image=${TMPDIR:-/tmp}/s256.bin
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrix-report-bench.XXXXXX")
base_tree=
cleanup() {
  rm -rf "$work"
  if [ -n "$base_tree" ]; then git -C "$root" worktree remove --force "$base_tree"; fi
}
trap cleanup EXIT

cmake --build "$build" --target kestrix-cli kestrix-make-sample > /dev/null
[ -f "$image" ] || "$build/bin/kestrix-make-sample" --size 268435456 "$image"

base=${BASE_CLI:-}
if [ -z "$base" ]; then
  digests=$(git -C "$root" log --format=%H -1 --grep='^SHA-256 and MD5 from libcrypto')
  base_tree=$work/base
  git -C "$root" worktree add --detach "$base_tree" "$digests~1" > /dev/null
  cmake -S "$base_tree" -B "$base_tree/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DKESTRIX_TESTS=OFF -DKESTRIX_BENCH=OFF > /dev/null
  cmake --build "$base_tree/build" -j 2 --target kestrix-cli > /dev/null
  base=$base_tree/build/bin/kestrix-cli
fi

echo "== content --json: with the SHA-256 of every item (A) against without (B); target <= 1.2"
farm-bench -n 15 --vs "sh -c '\"$base\" content \"$image\" --json > /dev/null'" -- \
  sh -c "\"$cli\" content \"$image\" --json > /dev/null"

echo "== report --out (A) against content --extract (B); target <= 2"
farm-bench -n 5 --timeout 600 --vs "sh -c 'rm -rf \"$work/extract\" && \"$cli\" content \"$image\" --extract \"$work/extract\" > /dev/null'" -- \
  sh -c "rm -rf \"$work/report\" && \"$cli\" report \"$image\" --out \"$work/report\" > /dev/null"
