#!/usr/bin/env bash
# Start-up to the first painted frame, and peak memory, of the window against
# a minimal Qt program that shows an empty dialog; offscreen, medians of many
# runs. Every probe ends right after its first paint. A dialog with one label
# shows what the first text costs (the font system starts), which the empty
# dialog never pays.
#   bench/startup.sh [BUILD_DIR] [RUNS]    (default build/release, 50 runs)
# Build first: cmake --preset release && cmake --build --preset release
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
runs=${2:-50}
window=$build/bench/kvz_startup_probe
empty=$build/bench/kvz_empty_dialog
label=$build/bench/kvz_label_dialog
for p in "$window" "$empty" "$label"; do
  [ -x "$p" ] || { echo "no $p: build with KVZ_BUILD_BENCH=ON first" >&2; exit 1; }
done
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
json=$(mktemp)
trap 'rm -f "$json"' EXIT

hyperfine -N --warmup 5 --runs "$runs" --export-json "$json" \
  -n empty_dialog "$empty" -n label_dialog "$label" -n window "$window" >/dev/null

peak_kb() {  # median of the peak resident set size over the runs, in KB
  for _ in $(seq "$runs"); do /usr/bin/time -f %M "$1" 2>&1 >/dev/null | tail -n1; done |
    sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'
}
mem_empty=$(peak_kb "$empty")
mem_label=$(peak_kb "$label")
mem_window=$(peak_kb "$window")

python3 - "$json" "$mem_empty" "$mem_label" "$mem_window" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
t = {name: r["median"] * 1000 for name, r in results.items()}
m = {"empty_dialog": float(sys.argv[2]) / 1024, "label_dialog": float(sys.argv[3]) / 1024,
     "window": float(sys.argv[4]) / 1024}
print(f"{'':22}{'start-up (ms)':>15}{'peak (MB)':>12}")
for name, title in (("empty_dialog", "empty dialog"), ("label_dialog", "dialog, one label"), ("window", "window")):
    print(f"{title:22}{t[name]:15.1f}{m[name]:12.1f}")
print(f"{'window / empty':22}{t['window'] / t['empty_dialog']:15.2f}{m['window'] / m['empty_dialog']:12.2f}"
      "   (target: at most 1.30)")
print(f"{'window / one label':22}{t['window'] / t['label_dialog']:15.2f}{m['window'] / m['label_dialog']:12.2f}")
PY
