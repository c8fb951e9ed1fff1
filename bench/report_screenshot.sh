#!/usr/bin/env bash
# Writes the report of the default sample image and photographs its page in
# headless Chromium (Debian's chromium, installed when missing), offline:
# docs/report.png, the page as a browser shows it. Also checks that the page
# loads without a network: Chromium runs with every host mapped nowhere.
#
#   bench/report_screenshot.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrix-report-shot.XXXXXX")
trap 'rm -rf "$work"' EXIT

command -v chromium > /dev/null || { apt-get update -qq && apt-get install -y -qq chromium > /dev/null; }
cmake --build "$build" --target kestrix-cli kestrix-make-sample > /dev/null
"$build/bin/kestrix-make-sample" "$work/sample.bin" > /dev/null
"$build/bin/kestrix-cli" report "$work/sample.bin" --out "$work/report"

mkdir -p "$root/docs"
chromium --headless=new --no-sandbox --disable-gpu --hide-scrollbars --lang=ru \
  --host-resolver-rules="MAP * ~NOTFOUND" --user-data-dir="$work/profile" \
  --window-size=1280,1400 --virtual-time-budget=3000 \
  --screenshot="$root/docs/report.png" "file://$work/report/index.html" 2> "$work/chromium.log" || {
  cat "$work/chromium.log" >&2
  exit 1
}
echo "wrote $root/docs/report.png"
