#!/bin/sh
# Remakes docs/site.png and docs/site-unit.png (1280x800): the browser test saves them on its
# way through a real chain of simulated units, kelvo-gateway, mosquitto and kelvo-site.
# Usage: scripts/site-screenshot.sh [BUILD_DIR]   (default build/dev, built with kelvo-site)
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/dev}
KVZ_SCREENSHOTS="$here/docs" /usr/bin/python3 "$here/tests/site/browser/site_page_test.py" \
  "$build/site/kelvo-site" "$build/gateway/kelvo-gateway" "$build/cli/kelvo-frame" \
  "$here/profile/default.toml"
echo "written: $here/docs/site.png $here/docs/site-unit.png"
