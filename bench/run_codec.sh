#!/usr/bin/env bash
# Builds the codec benchmark optimised and prints the figures with the ratios
# against the baselines measured in the same run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target codec_bench
out=$(mktemp)
trap 'rm -f "$out"' EXIT
./build/release/bench/codec_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out="$out" --benchmark_out_format=json "$@"
python3 - "$out" <<'PY'
import json, sys
runs = {b["run_name"]: b["real_time"] for b in json.load(open(sys.argv[1]))["benchmarks"]
        if b.get("aggregate_name") == "median"}
for n in (16, 236):
    ours, base = runs[f"BM_FrameCheck8/{n}"], runs[f"BM_BoostCrc8Baseline/{n}"]
    print(f"FrameCheck8 over {n} characters: {ours:.1f} ns, baseline {base:.1f} ns, "
          f"ratio baseline/ours {base / ours:.2f} (target >= 1.0)")
for what, ours, base, unit in (
        ("ValidateFrame / AnnotateFrame, 0xC2 answer", "BM_ValidateCellStatusAnswer",
         "BM_AnnotateCellStatusAnswer", "ns"),
        ("FrameScanner / memchr, 64 MiB stream", "BM_ScanMixedStream", "BM_MemchrMarksBaseline", "ms")):
    print(f"{what}: {runs[ours]:.1f} {unit} against {runs[base]:.1f} {unit}, "
          f"ratio {runs[ours] / runs[base]:.2f} (target <= 2.0)")
PY
