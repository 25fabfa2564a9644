#!/usr/bin/env bash
# Builds the link benchmark optimised and runs it: exchanges over a pty pair
# against `kelvo-frame simulate`, LinkClient beside a POSIX ping-pong in one
# run, then memory over 100,000 exchanges.
#   bench/run_link.sh [EXCHANGES_PER_SIDE] [MEMORY_EXCHANGES]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target link_exchange_bench -j 2
./build/release/bench/link_exchange_bench "${1:-5000}" "${2:-100000}"
