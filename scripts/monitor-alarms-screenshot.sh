#!/usr/bin/env bash
# Takes docs/monitor-alarms.png: kelvo-monitor under a virtual X display with
# alarm rules set around the simulated unit's present values, the alarm list
# opened from the banner (Alt+V).
#   scripts/monitor-alarms-screenshot.sh [BUILD_DIR] [SECONDS]
#   (default build/dev, built already; 8 s)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
seconds=${2:-8}
monitor=$build/monitor/kelvo-monitor
frame=$build/cli/kelvo-frame
for p in "$monitor" "$frame"; do
  [ -x "$p" ] || { echo "no $p: build first (cmake --preset dev && cmake --build --preset dev)" >&2; exit 1; }
done

tmp=$(mktemp -d)
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sim= app=
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null && wait "$app" 2>/dev/null || true
  [ -n "$sim" ] && kill "$sim" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
export DISPLAY=$display HOME=$tmp XDG_CONFIG_HOME=$tmp/config
mkdir -p "$XDG_CONFIG_HOME/kelvo_vavo_zuru"
printf '[trends]\nspan=60\n' >"$XDG_CONFIG_HOME/kelvo_vavo_zuru/kelvo-monitor.conf"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

# The simulated unit at address 0 starts with its highest cells (4 and 15) at
# 3.289 V, 52.54 V in all and 38.80 Ah left; a second later every cell is
# 1 mV lower (52.52 V) and 38.79 Ah are left, so the latched rule's condition
# has cleared. The rows of these values show at 1280x800.
cat >"$tmp/alarms.toml" <<'RULES'
[[alarm]]
name = "cell_over"
value = "cell_voltages"
above = 3.2875
severity = "critical"

[[alarm]]
name = "pack_high"
value = "total_voltage"
above = 52.5

[[alarm]]
name = "capacity_high"
value = "remaining_capacity"
above = 38.795
latch = true
RULES

"$frame" simulate >"$tmp/sim" &
sim=$!
until [ -s "$tmp/sim" ]; do sleep 0.05; done
pty=$(head -n1 "$tmp/sim")
"$monitor" --port "$pty" --interval 250 --alarms "$tmp/alarms.toml" >/dev/null 2>&1 &
app=$!
wid=$(timeout 10 xdotool search --sync --onlyvisible --name "kelvo-monitor" | head -n1)
xdotool windowsize --sync "$wid" 1280 800 2>/dev/null || xdotool windowsize "$wid" 1280 800
sleep "$seconds"
xdotool windowfocus --sync "$wid"
xdotool key alt+v
sleep 1  # a redraw with the list on show
eval "$(xdotool getwindowgeometry --shell "$wid")"
mkdir -p docs
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage docs/monitor-alarms.png
echo "docs/monitor-alarms.png from a run against $pty"
