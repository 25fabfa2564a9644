#!/usr/bin/env bash
# kelvo-monitor under Xvfb against the simulated unit, side by side in one run
# with an idle QMainWindow holding one empty chart of the same library:
#   - CPU (% of one core) polling at 10 and at 50 answers/s with every chart
#     visible and the trend history full (24 h of answers, all in view);
#   - answers recorded against rounds at each rate (keeping up);
#   - RSS after 600 and after 30,000 answers (the plain program, polled fast);
#   - start to first paint, against the idle window's (hyperfine, medians).
#   bench/monitor.sh [BUILD_DIR] [SECONDS] [ANSWERS]   (default build/release, 30, 30000)
# Build first: cmake --preset release && cmake --build --preset release
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
seconds=${2:-30}
answers=${3:-30000}
frame=$build/cli/kelvo-frame
monitor=$build/monitor/kelvo-monitor
full=$build/bench/kvz_monitor_full_history
idle=$build/bench/kvz_idle_chart
monitor_probe=$build/bench/kvz_monitor_startup_probe
idle_probe=$build/bench/kvz_idle_chart_probe
for p in "$frame" "$monitor" "$full" "$idle" "$monitor_probe" "$idle_probe"; do
  [ -x "$p" ] || { echo "no $p: build the release preset with KVZ_BUILD_BENCH=ON first" >&2; exit 1; }
done

tmp=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
# Remembered settings stay out of the user's.
export HOME=$tmp XDG_CONFIG_HOME=$tmp/config XDG_RUNTIME_DIR=$tmp/run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }  # user + system
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
rows() { [ -f "$1" ] && wc -l <"$1" || echo 0; }
wait_rows() {  # FILE COUNT: until FILE has COUNT lines
  until [ "$(rows "$1")" -ge "$2" ]; do sleep 0.2; done
}
start_unit() {  # starts a simulated unit; its pseudo-terminal goes to $pty
  "$frame" simulate >"$tmp/sim.$1" 2>/dev/null &
  pids+=($!)
  until [ -s "$tmp/sim.$1" ]; do sleep 0.05; done
  pty=$(head -n1 "$tmp/sim.$1")
}

echo "== CPU over ${seconds} s, trend history full, every chart visible"
printf '%-10s %16s %18s %16s %12s\n' rate monitor_cpu_% idle_chart_cpu_% answers_per_s rounds_per_s
for rate in 10 50; do
  interval=$((1000 / rate))
  start_unit "$rate"
  csv=$tmp/cpu$rate.csv
  "$full" --port "$pty" --interval "$interval" --record "$csv" >/dev/null 2>&1 &
  mon=$!
  pids+=($mon)
  "$idle" >/dev/null 2>&1 &
  ide=$!
  pids+=($ide)
  wait_rows "$csv" 20
  sleep 2
  m0=$(cpu_ticks "$mon") i0=$(cpu_ticks "$ide") r0=$(rows "$csv")
  sleep "$seconds"
  m1=$(cpu_ticks "$mon") i1=$(cpu_ticks "$ide") r1=$(rows "$csv")
  kill "$mon" "$ide"
  wait "$mon" "$ide" 2>/dev/null || true
  awk -v r="$rate" -v m=$((m1 - m0)) -v i=$((i1 - i0)) -v n=$((r1 - r0)) -v t="$ticks" -v s="$seconds" \
    'BEGIN {printf "%-10s %16.1f %18.1f %16.1f %12.1f\n", r "/s", 100*m/t/s, 100*i/t/s, n/s, 1000/int(1000/r)}'
done

echo "== RSS of kelvo-monitor polled every 10 ms"
start_unit rss
csv=$tmp/rss.csv
"$monitor" --port "$pty" --interval 10 --record "$csv" >/dev/null 2>&1 &
mon=$!
pids+=($mon)
wait_rows "$csv" 601
rss600=$(rss_kb "$mon")
wait_rows "$csv" $((answers + 1))
rss_end=$(rss_kb "$mon")
kill "$mon"
printf 'after 600 answers: %d KB   after %d answers: %d KB   growth: %d KB (target: under 10240)\n' \
  "$rss600" "$answers" "$rss_end" $((rss_end - rss600))

echo "== start to first paint (hyperfine, medians of 30)"
json=$tmp/startup.json
hyperfine -N --warmup 3 --runs 30 --export-json "$json" \
  -n idle_chart "$idle_probe" -n kelvo-monitor "$monitor_probe" >/dev/null
python3 - "$json" <<'PY'
import json, sys
t = {r["command"]: r["median"] * 1000 for r in json.load(open(sys.argv[1]))["results"]}
print(f"idle chart window: {t['idle_chart']:.1f} ms   kelvo-monitor: {t['kelvo-monitor']:.1f} ms   "
      f"ratio: {t['kelvo-monitor'] / t['idle_chart']:.2f} (target: at most 1.5)")
PY
