#!/usr/bin/env bash
# Installs what is missing, builds, and starts the window.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset dev
cmake --build --preset dev

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'MSG'
Built, but there is no display here ($DISPLAY and $WAYLAND_DISPLAY are empty),
so the window cannot be shown. To run it on a virtual X display:

  Xvfb :99 -screen 0 1280x800x24 -nolisten tcp &
  DISPLAY=:99 build/dev/app/kelvo_vavo_zuru

Drive it there with xdotool (DISPLAY=:99 xdotool search --name "kelvo data encoding sample"),
or take a picture of it after Encode and Decode: bash scripts/screenshot.sh
MSG
  exit 1
fi
exec build/dev/app/kelvo_vavo_zuru
