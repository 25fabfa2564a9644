#!/usr/bin/env bash
# Takes docs/monitor.png and docs/monitor-WxH.png at 800x600, 1280x800 and
# 1920x1080: kelvo-monitor under a virtual X display, polling the simulated
# unit for a while, then resized to each size in turn.
#   scripts/monitor-screenshot.sh [BUILD_DIR] [SECONDS] [SIMULATE_OPTIONS...]
#   (default build/dev, built already; 20 s)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
seconds=${2:-20}
shift $(($# > 2 ? 2 : $#))
monitor=$build/monitor/kelvo-monitor
frame=$build/cli/kelvo-frame
for p in "$monitor" "$frame"; do
  [ -x "$p" ] || { echo "no $p: build first (cmake --preset dev && cmake --build --preset dev)" >&2; exit 1; }
done

tmp=$(mktemp -d)
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sim= app=
cleanup() {
  # The monitor writes its settings as it ends: let it, before its home goes.
  [ -n "$app" ] && kill "$app" 2>/dev/null && wait "$app" 2>/dev/null || true
  [ -n "$sim" ] && kill "$sim" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
export DISPLAY=$display HOME=$tmp XDG_CONFIG_HOME=$tmp/config
# A one-minute trend span, so that a short run fills the charts.
mkdir -p "$XDG_CONFIG_HOME/kelvo_vavo_zuru"
printf '[trends]\nspan=60\n' >"$XDG_CONFIG_HOME/kelvo_vavo_zuru/kelvo-monitor.conf"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

"$frame" simulate "$@" >"$tmp/sim" &
sim=$!
until [ -s "$tmp/sim" ]; do sleep 0.05; done
pty=$(head -n1 "$tmp/sim")
"$monitor" --port "$pty" --interval 250 >/dev/null 2>&1 &
app=$!
wid=$(timeout 10 xdotool search --sync --onlyvisible --name "kelvo-monitor" | head -n1)
sleep "$seconds"
mkdir -p docs
for size in 800x600 1920x1080 1280x800; do
  xdotool windowsize --sync "$wid" "${size%x*}" "${size#*x}" 2>/dev/null || xdotool windowsize "$wid" "${size%x*}" "${size#*x}"
  sleep 1.5  # a few answers and a redraw at the new size
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "docs/monitor-$size.png"
  echo "docs/monitor-$size.png from a run against $pty"
done
cp docs/monitor-1280x800.png docs/monitor.png
