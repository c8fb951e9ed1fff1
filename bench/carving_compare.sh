#!/bin/bash
# Builds the picture image, runs the deep picture search and the generic carver
# foremost on it, and prints both score tables (markdown).
#   bench/carving_compare.sh [BUILD_DIR] [WORK_DIR]
# foremost is a Debian package: apt-get install foremost.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
work=${2:-${TMPDIR:-/tmp}/kestrix-carving}
testdata=$here/../../shared/testdata
program=$build/bin/carving_compare

[ -x "$program" ] || { echo "build the target carving_compare first" >&2; exit 2; }
command -v foremost >/dev/null || { echo "foremost is not installed (apt-get install foremost)" >&2; exit 2; }

mkdir -p "$work"
"$program" build "$work" "$testdata"
rm -rf "$work/foremost"
foremost -Q -t gif,bmp,jpg,png -i "$work/carving_image.bin" -o "$work/foremost" >/dev/null
"$program" score "$work" "$work/foremost"
