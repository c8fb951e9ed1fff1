#!/bin/bash
# Builds the test image (pictures, sounds, Java applications and files of the
# phone, with their traps, among erased flash and pieces of this machine's
# programs), runs the content search and the generic carver foremost (-t all)
# on it, and prints both score tables (markdown); then the same for the deep
# picture search on the pictures alone.
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
"$program" build "$work" "$testdata" /usr/bin/ls /usr/bin/bash /usr/lib/x86_64-linux-gnu/libc.so.6
rm -rf "$work/foremost"
foremost -Q -t all -i "$work/carving_image.bin" -o "$work/foremost" >/dev/null
"$program" score "$work" "$work/foremost"
"$program" score "$work" "$work/foremost" --pictures
