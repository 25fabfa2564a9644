#!/usr/bin/env bash
# Installs what is missing, builds, and starts a program:
#   scripts/run.sh                      the encode/decode window
#   scripts/run.sh monitor [OPTIONS]    kelvo-monitor, e.g. --port tcp://127.0.0.1:4001
set -euo pipefail
cd "$(dirname "$0")/.."

program=window
if [ "${1:-}" = monitor ] || [ "${1:-}" = window ]; then
  program=$1
  shift
fi
case $program in
  window) target=kelvo_vavo_zuru path=build/dev/app/kelvo_vavo_zuru ;;
  monitor) target=kelvo-monitor path=build/dev/monitor/kelvo-monitor ;;
esac

bash scripts/install-deps.sh
cmake --preset dev
cmake --build --preset dev --target "$target"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<MSG
Built, but there is no display here (\$DISPLAY and \$WAYLAND_DISPLAY are empty),
so the window cannot be shown. To run it on a virtual X display:

  Xvfb :99 -screen 0 1280x800x24 -nolisten tcp &
  DISPLAY=:99 $path $*

Drive it there with xdotool, or take a picture of it: bash scripts/screenshot.sh
(the encode/decode window) or bash scripts/monitor-screenshot.sh (kelvo-monitor).
MSG
  exit 1
fi
exec "$path" "$@"
