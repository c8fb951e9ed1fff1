#!/bin/bash
# Times `kestrix-cli content --json` against `kestrix-cli info` on each kind of
# hostile image (kestrix-make-hostile-image), whole processes side by side, and
# prints a markdown table: the median wall-time ratio of paired runs, the
# content search's median seconds and its peak memory, and the target (images
# without an item: at most 10x info; images packed with tiny valid items: at
# most 50x).
#   bench/hostile_bench.sh [BUILD_DIR] [SIZE_BYTES] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
size=${2:-1600000}
runs=${3:-5}

cmake --build "$build" --target kestrix-make-hostile-image kestrix-cli kestrix_sound_plugin >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cli=$build/bin/kestrix-cli

# Prints "WALL PEAK_KIB" of one run of the command.
run() {
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1 || true
    cat "$work/time"
}

median() { sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

echo "| image | items | content / info | content s | content peak MiB | target |"
echo "|---|---|---|---|---|---|"
kinds=$("$build/bin/kestrix-make-hostile-image" --help | sed -n 's/^kinds: //p')
for kind in $kinds; do
    image=$work/$kind.bin
    "$build/bin/kestrix-make-hostile-image" "$kind" "$image" "$size"
    items=$("$cli" content --json "$image" | grep -o '"caption"' | wc -l || true)
    case $kind in
        riff-chains|jad-lines|jar-shared-inflate|jar-shared-stored) target=10 ;;
        *) target=50 ;;
    esac
    : >"$work/ratios"; : >"$work/walls"; : >"$work/peaks"
    run "$cli" info "$image" >/dev/null
    for _ in $(seq "$runs"); do
        read -r cw cm < <(run "$cli" content --json "$image")
        read -r iw _ < <(run "$cli" info "$image")
        echo "$cw" >>"$work/walls"
        echo "$cm" >>"$work/peaks"
        awk -v c="$cw" -v i="$iw" 'BEGIN {printf "%.2f\n", c / (i > 0.001 ? i : 0.001)}' >>"$work/ratios"
    done
    ratio=$(median <"$work/ratios")
    wall=$(median <"$work/walls")
    peak=$(median <"$work/peaks" | awk '{printf "%.1f", $1 / 1024}')
    echo "| $kind | $items | ${ratio}x | $wall | $peak | <= ${target}x |"
done
