#!/usr/bin/env bash
# Fuzzes the breakdown and the builder with libFuzzer for a bounded time.
#   scripts/fuzz.sh [SECONDS]    default 60
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

bash scripts/install-deps.sh
cmake --preset fuzz
cmake --build --preset fuzz
# New inputs go to a scratch folder; the committed seeds stay as they are.
work=build/fuzz/corpus-run
mkdir -p "$work"
./build/fuzz/fuzz/codec_fuzz -max_total_time="$seconds" -max_len=600 -print_final_stats=1 "$work" fuzz/corpus
