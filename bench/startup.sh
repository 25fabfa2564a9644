#!/usr/bin/env bash
# Start-up to the first painted frame, and peak memory, of the window against
# a minimal Qt program that shows an empty dialog; offscreen, medians of many
# runs. Both probes end right after their first paint.
#   bench/startup.sh [BUILD_DIR] [RUNS]    (default build/release, 50 runs)
# Build first: cmake --preset release && cmake --build --preset release
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
runs=${2:-50}
window=$build/app/kvz_startup_probe
empty=$build/app/kvz_empty_dialog
for p in "$window" "$empty"; do
  [ -x "$p" ] || { echo "no $p: build with KVZ_BUILD_BENCH=ON first" >&2; exit 1; }
done
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
json=$(mktemp)
trap 'rm -f "$json"' EXIT

hyperfine -N --warmup 5 --runs "$runs" --export-json "$json" \
  -n empty_dialog "$empty" -n window "$window" >/dev/null

peak_kb() {  # median of the peak resident set size over the runs, in KB
  for _ in $(seq "$runs"); do /usr/bin/time -f %M "$1" 2>&1 >/dev/null | tail -n1; done |
    sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'
}
mem_empty=$(peak_kb "$empty")
mem_window=$(peak_kb "$window")

python3 - "$json" "$mem_empty" "$mem_window" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
t_empty, t_window = results["empty_dialog"]["median"] * 1000, results["window"]["median"] * 1000
m_empty, m_window = float(sys.argv[2]) / 1024, float(sys.argv[3]) / 1024
print(f"{'':14}{'start-up (ms)':>15}{'peak (MB)':>12}")
print(f"{'empty dialog':14}{t_empty:15.1f}{m_empty:12.1f}")
print(f"{'window':14}{t_window:15.1f}{m_window:12.1f}")
print(f"{'ratio':14}{t_window / t_empty:15.2f}{m_window / m_empty:12.2f}   (target: at most 1.30)")
PY
