#!/usr/bin/env bash
# Fuzzes the breakdown and the builder, then kelvo-site's reading of a status
# message, with libFuzzer for a bounded time each.
#   scripts/fuzz.sh [SECONDS]    default 60
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

bash scripts/install-deps.sh
cmake --preset fuzz
cmake --build --preset fuzz
# New inputs go to a scratch folder; the committed seeds stay as they are.
work=build/fuzz/corpus-run
mkdir -p "$work/codec" "$work/status"
./build/fuzz/fuzz/codec_fuzz -max_total_time="$seconds" -max_len=600 -print_final_stats=1 "$work/codec" fuzz/corpus
./build/fuzz/fuzz/status_fuzz -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 "$work/status" \
  fuzz/status-corpus
