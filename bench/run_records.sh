#!/usr/bin/env bash
# Builds the record benchmark optimised and prints a JSON record with the
# default profile's values against the same record without, same answers.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release >/dev/null
cmake --build --preset release --target record_values_bench
out=$(mktemp)
trap 'rm -f "$out"' EXIT
./build/release/bench/record_values_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out="$out" --benchmark_out_format=json "$@"
python3 - "$out" <<'PY'
import json, sys
runs = {b["run_name"]: b["cpu_time"] for b in json.load(open(sys.argv[1]))["benchmarks"]
        if b.get("aggregate_name") == "median"}
plain, values = runs["BM_JsonRecordWithoutValues"], runs["BM_JsonRecordWithValues"]
print(f"JSON record of a 0xC2 answer: {plain / 1000:.2f} us without values, {values / 1000:.2f} us with, "
      f"ratio {values / plain:.2f} (target <= 1.3)")
PY
