#!/usr/bin/env bash
# Installs the optimised build to a temporary prefix and builds a consumer of
# the codec package against it; builds the .deb (stripped), checks it with
# lintian, installs it with apt-get and checks what it installed, manual pages
# and completion included. Run as root (or with sudo) after
# install-deps.sh. Reuses the `dev` build that scripts/test.sh leaves behind,
# so that CI compiles the programs once.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
build=$repo/build/dev
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cmake --preset dev
cmake --build --preset dev

echo "== install to a temporary prefix, build a consumer against it"
cmake --install "$build" --prefix "$tmp/prefix"
cmake -S tests/package/consumer -B "$tmp/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$tmp/prefix"
cmake --build "$tmp/consumer"
"$tmp/consumer/consumer"

echo "== Debian package"
rm -rf "$build/packages"
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/packages/kelvo-vavo-zuru_*.deb)
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'
dpkg-deb --contents "$deb"

echo "== lintian: no error, no warning"
# lintian says on standard error that it runs as root; that is not a finding.
lintian --fail-on error,warning "$deb" 2>/dev/null || { lintian "$deb"; echo "lintian found the above" >&2; exit 1; }

# apt-get needs a path with a slash to take a file rather than a package name.
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --reinstall "$deb"

echo "== installed kelvo-frame"
got=$(/usr/bin/kelvo-frame encode 0 65 0026)
want='<11300650400268D>'
[ "$got" = "$want" ] || { echo "kelvo-frame encode 0 65 0026 printed '$got', expected '$want'" >&2; exit 1; }
echo "kelvo-frame encode 0 65 0026 -> $got"

fail() { echo "package test: $*" >&2; exit 1; }
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "the package declares no dependencies"
if [ -f "$build/app/kelvo_vavo_zuru" ]; then
  [ -x /usr/bin/kelvo_vavo_zuru ] || fail "the window is not installed"
  desktop-file-validate /usr/share/applications/kelvo_vavo_zuru.desktop
  [ -f /usr/share/icons/hicolor/32x32/apps/kelvo_vavo_zuru.png ] || fail "the icon is not installed"
fi
if [ -f "$build/monitor/kelvo-monitor" ]; then
  [ -x /usr/bin/kelvo-monitor ] || fail "kelvo-monitor is not installed"
  desktop-file-validate /usr/share/applications/kelvo-monitor.desktop
  [ -f /usr/share/icons/hicolor/64x64/apps/kelvo-monitor.png ] || fail "the monitor's icon is not installed"
  /usr/bin/kelvo-monitor --help | grep -q -- --record || fail "kelvo-monitor --help says nothing of --record"
fi
grep -q GPL-3.0-or-later /usr/share/doc/kelvo-vavo-zuru/copyright || fail "the package carries no licence"
zcat /usr/share/doc/kelvo-vavo-zuru/changelog.gz | head -n1 | grep -q '^kelvo-vavo-zuru (' ||
  fail "the package carries no changelog"

echo "== manual pages and completion"
pages=(man1/kelvo-frame.1)
[ -f "$build/app/kelvo_vavo_zuru" ] && pages+=(man1/kelvo_vavo_zuru.1)
[ -f "$build/monitor/kelvo-monitor" ] && pages+=(man1/kelvo-monitor.1)
[ -f "$build/gateway/kelvo-gateway" ] && pages+=(man8/kelvo-gateway.8 man5/kelvo-gateway.toml.5)
[ -f "$build/site/kelvo-site" ] && pages+=(man8/kelvo-site.8)
contents=$(dpkg-deb --contents "$deb")
for page in "${pages[@]}"; do
  file=/usr/share/man/$page.gz
  grep -qF ".$file" <<<"$contents" || fail "the package holds no $file"
  [ -f "$file" ] || fail "$file is in the package but not installed (a dpkg path-exclude?)"
  # As lintian reads them: any message from man or groff is a fault.
  messages=$(MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$file" 2>&1 >/dev/null)
  [ -z "$messages" ] || fail "$file: $messages"
  MANWIDTH=80 man -l "$file" | grep -q '^EXIT STATUS\|^DESCRIPTION' || fail "$file renders no text"
  name=$(basename "$page")
  [ "$(man -w "${name##*.}" "${name%.*}")" = "$file" ] || fail "man ${name##*.} ${name%.*} does not find $file"
done
echo "manual pages: ${pages[*]}"
# The installed programs find the installed default profile.
profile=/usr/share/kelvo/profiles/default.toml
grep -qF ".$profile" <<<"$contents" || fail "the package holds no $profile"
/usr/bin/kelvo-frame decode --json --profile "$profile" '<11300650400268D>' >/dev/null ||
  fail "the installed kelvo-frame refuses its default profile"
completion=/usr/share/bash-completion/completions/kelvo-frame
grep -qF ".$completion" <<<"$contents" || fail "the package holds no $completion"
# bash-completion loads it on the first Tab after kelvo-frame.
got=$(bash -c 'source /usr/share/bash-completion/bash_completion
  __load_completion kelvo-frame || exit 1
  COMP_WORDS=(kelvo-frame po) COMP_CWORD=1
  _kelvo_frame kelvo-frame po kelvo-frame
  echo "${COMPREPLY[*]}"') || fail "bash-completion does not load $completion"
[ "$got" = "poll ports" ] || fail "kelvo-frame po<Tab> offers '$got', expected 'poll ports'"
echo "completion: kelvo-frame po<Tab> -> $got"
if [ -f "$build/gateway/kelvo-gateway" ]; then
  [ -x /usr/bin/kelvo-gateway ] || fail "kelvo-gateway is not installed"
  unit=/usr/lib/systemd/system/kelvo-gateway.service
  [ -f "$unit" ] || fail "the kelvo-gateway.service unit is not installed"
  for line in DynamicUser=yes SupplementaryGroups=dialout Restart=on-failure \
    'ExecStart=/usr/bin/kelvo-gateway --config /etc/kelvo/gateway.toml'; do
    grep -qxF "$line" "$unit" || fail "kelvo-gateway.service lacks '$line'"
  done
  for line in 'ExecStartPre=/usr/bin/kelvo-gateway --config /etc/kelvo/gateway.toml --check' \
    RestartPreventExitStatus=2; do
    grep -qxF "$line" "$unit" || fail "kelvo-gateway.service lacks '$line'"
  done
  # Hardened as a serial and network daemon allows: below 2.0 in systemd's offline rating.
  exposure=$(systemd-analyze security --offline=yes "$unit" 2>/dev/null |
    sed -n 's/.*Overall exposure level for .*: \([0-9.]*\) .*/\1/p')
  [ -n "$exposure" ] || fail "systemd-analyze security gave no rating for $unit"
  awk -v e="$exposure" 'BEGIN { exit !(e < 2.0) }' || fail "kelvo-gateway.service rates $exposure exposed (aim: below 2.0)"
  echo "kelvo-gateway.service: exposure $exposure"
  example=/usr/share/doc/kelvo-vavo-zuru/examples/gateway.toml
  /usr/bin/kelvo-gateway --config "$example" --check || fail "the example configuration does not check"
fi
if [ -f "$build/site/kelvo-site" ]; then
  [ -x /usr/bin/kelvo-site ] || fail "kelvo-site is not installed"
  unit=/usr/lib/systemd/system/kelvo-site.service
  [ -f "$unit" ] || fail "the kelvo-site.service unit is not installed"
  grep -qxF 'DynamicUser=yes' "$unit" || fail "kelvo-site.service lacks 'DynamicUser=yes'"
  grep -qxF 'StateDirectory=kelvo-site' "$unit" || fail "kelvo-site.service lacks 'StateDirectory=kelvo-site'"
  exposure=$(systemd-analyze security --offline=yes "$unit" 2>/dev/null |
    sed -n 's/.*Overall exposure level for .*: \([0-9.]*\) .*/\1/p')
  awk -v e="$exposure" 'BEGIN { exit !(e < 2.0) }' || fail "kelvo-site.service rates '$exposure' exposed (aim: below 2.0)"
  echo "kelvo-site.service: exposure $exposure"
  [ -f /usr/share/kelvo/site/page/index.html ] || fail "kelvo-site's page is not installed"
  /usr/bin/kelvo-site --config /usr/share/doc/kelvo-vavo-zuru/examples/site.toml --check >/dev/null ||
    fail "kelvo-site's example configuration does not check"
fi
echo "package test passed"
