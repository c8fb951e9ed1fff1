#!/usr/bin/env bash
# Redraws the README's pictures on a virtual display (Xvfb): docs/screenshot.png,
# the window with the default sample image opened, both scans run and a picture
# previewed, docs/open_dialog.png, the open dialog in Russian, and
# docs/pictures.png, the page "Все картинки" after the deep picture search;
# docs/filtered.png, its table sorted and filtered, docs/zoomed.png, a picture
# zoomed in its large view, docs/recent_menu.png, Файл / Недавние образы;
# docs/sounds.png, the page "Звуки" playing a voice note (into PulseAudio's
# null sink, started here when pulseaudio is installed) and
# docs/applications.png, the page "Приложения"; docs/hexview.png, the dock
# "Байты и карта образа" with a sound highlighted, and docs/map.png, the map
# of the flash as kestrix-cli map draws it.
#
#   bench/screenshot.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
image=${TMPDIR:-/tmp}/kestrix-screenshot-sample.bin
probe=$build/bin/window_probe

[ -x "$probe" ] || { echo "build first: $probe is missing" >&2; exit 1; }
[ -x "$build/bin/kestrix-make-sample" ] || { echo "build first: $build/bin/kestrix-make-sample is missing" >&2; exit 1; }
command -v xvfb-run > /dev/null || { echo "xvfb-run is missing (Debian package xvfb)" >&2; exit 1; }
# Made afresh each time: the generator may have changed since the last run.
"$build/bin/kestrix-make-sample" "$image"

mkdir -p "$root/docs"
# A sound card nobody hears: PulseAudio's null sink, so that Play plays.
if command -v pulseaudio > /dev/null && ! pactl info > /dev/null 2>&1; then
  export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
  pulseaudio --daemonize=yes --exit-idle-time=-1 -n --load="module-null-sink sink_name=nullsink" \
    --load="module-native-protocol-unix" && pactl set-default-sink nullsink || true
fi
# The desktop of a Russian user: dates and file types in the dialog follow it.
LANG=ru_RU.UTF-8 LANGUAGE=ru xvfb-run -a -s "-screen 0 1280x1024x24" "$probe" --screenshot "$root/docs/screenshot.png" \
  --open-dialog "$root/docs/open_dialog.png" --pictures "$root/docs/pictures.png" \
  --sounds "$root/docs/sounds.png" --applications "$root/docs/applications.png" "$image"
LANG=ru_RU.UTF-8 LANGUAGE=ru xvfb-run -a -s "-screen 0 1280x1024x24" "$probe" --filtered "$root/docs/filtered.png" \
  --zoomed "$root/docs/zoomed.png" --recent-menu "$root/docs/recent_menu.png" "$image"
LANG=ru_RU.UTF-8 LANGUAGE=ru xvfb-run -a -s "-screen 0 1280x1024x24" "$probe" --hex --view "$root/docs/hexview.png" "$image"
"$build/bin/kestrix-cli" map "$image" --png "$root/docs/map.png" --width 640
