#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/test.sh             the optimised build
#   scripts/test.sh sanitize    the same suite under ASan + UBSan
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-dev}

bash scripts/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset"
# Shell tests need no display; ASan's leak check would blame Qt's and
# fontconfig's process-lifetime caches, so it is off for the whole suite.
QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} \
  ctest --preset "$preset" -j "$(nproc)"
