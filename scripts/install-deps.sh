#!/usr/bin/env bash
# Installs every Debian package that building, running, testing, benchmarking
# and packaging need. Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  # toolchain and test libraries
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libboost-dev
  clang libclang-rt-14-dev clang-format
  clang-tidy
  # the window
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-wqy-microhei
  # the command-line companion
  libcli11-dev nlohmann-json3-dev
  # talking to the unit, and the simulated unit
  qt6-serialport-dev socat
  # kelvo-monitor: its charts and its translation
  libqcustomplot-dev qt6-tools-dev qt6-l10n-tools qt6-tools-dev-tools
  # the site gateway: its broker client, configuration, and a broker for tests
  libmosquitto-dev libtomlplusplus-dev mosquitto mosquitto-clients
  # screenshots, measurements and packaging
  xvfb xdotool x11-utils imagemagick hyperfine time file dpkg-dev python3 desktop-file-utils
  # manual pages, the shell completion, and checking the package
  scdoc lintian man-db groff-base bash-completion
  # the gateway's unit checked offline (systemd-analyze security), and its profile (perf)
  systemd linux-perf
  # kelvo-site: its live socket, status reader, stores, a PostgreSQL server and a metrics linter for tests
  qt6-websockets-dev libsimdjson-dev libsqlite3-dev sqlite3 libpq-dev postgresql prometheus curl
  # kelvo-site's page in a real browser
  chromium chromium-driver python3-selenium
  # rebuilds
  ccache
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
