#!/usr/bin/env bash
# Takes docs/window.png: the window under a virtual X display after Encode
# and Decode with the start-up values.
#   scripts/screenshot.sh [BUILD_DIR]    (default build/dev, built already)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
program=$build/app/kelvo_vavo_zuru
[ -x "$program" ] || { echo "no $program: build first (cmake --preset dev && cmake --build --preset dev)" >&2; exit 1; }

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
app=
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

"$program" >/dev/null 2>&1 &
app=$!
wid=$(timeout 10 xdotool search --sync --name "kelvo data encoding sample" | head -n1)
xdotool windowfocus --sync "$wid"
# Focus starts in the payload box: Tab Tab reaches Encode; three more, Decode.
xdotool key --delay 50 Tab Tab space
xdotool key --delay 50 Tab Tab Tab space
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$wid")"
mkdir -p docs
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage docs/window.png
echo "docs/window.png: ${WIDTH}x${HEIGHT}"
