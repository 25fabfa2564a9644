#!/usr/bin/env bash
# Times `kelvo-frame decode` and `check` over a captured log against
# `sed 's/</</'` over the same file in one hyperfine run, decode of failing
# frames against good ones, and measures peak memory at two log sizes to
# show it does not grow with the log.
#   bench/cli_log.sh [LINES]     default 1000000
set -euo pipefail
cd "$(dirname "$0")/.."
lines=${1:-1000000}
build=build-cli-release

bash scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DKVZ_BUILD_APP=OFF \
  -DKVZ_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target kelvo-frame >/dev/null
kf=$PWD/$build/cli/kelvo-frame

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Frames of every command with a layout, requests and answers, and one without.
c2=$("$kf" encode 1 C2 "$(printf '%s' 6571A2B3 0064 62 14B4 04 0CE40CE50CE60CE7 0000 0010 02 1918 \
  0000 0000 0000 0000 0000 00 0000 0000 0000 0000 0000 0012 0034 50 0FA0 1F40 1F40 0100 0200)")
c8=$("$kf" encode 1 C8 "$(printf '%s' 00000001 04 11111111 22222222 33333333 44444444 03312E30 00 00 00 00 \
  00 20240101 20240102 0000000F 20240103 00000005 20240104 1234)")
{
  "$kf" encode 0 65 0026
  "$kf" encode 1 42 6571A2B3
  "$kf" encode 1 48 000000016571A2B30001
  "$kf" encode 1 66 03002600270028
  "$kf" encode 1 E5 00261234
  echo '<1F301E61202002612340027567838>'
  echo "$c2"
  echo "$c8"
  "$kf" encode 2 01 AB12
} >"$work/frames"

# Each line: a timestamp, a direction, the frame.
make_log() {
  awk -v n="$1" 'NR == FNR { f[k++] = $0; next }
    END { for (i = 0; i < n; i++)
            printf "2026-12-08 %02d:%02d:%02d.%03d %s %s\n", (i / 3600000) % 24, (i / 60000) % 60,
                   (i / 1000) % 60, i % 1000, (i % 2 ? "rx" : "tx"), f[i % k] }' "$work/frames" /dev/null
}
make_log "$lines" >"$work/log"
make_log $((lines / 10)) >"$work/log-small"
echo "log: $lines lines, $(du -h "$work/log" | cut -f1); first lines:"
head -3 "$work/log"

echo
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"
hyperfine --warmup 1 --runs 10 --export-json "$work/times.json" \
  "$kf decode < $work/log > /dev/null" "$kf check < $work/log > /dev/null" "sed 's/</</' $work/log > /dev/null"

# The same number of frames, all failing (a count past the end) or all good.
repeat() { awk -v n="$lines" -v line="$1" 'BEGIN { for (i = 0; i < n; i++) print line }'; }
repeat '<1130066>' >"$work/failing"
repeat '<11300650400268D>' >"$work/good"
hyperfine -i --warmup 1 --runs 10 --export-json "$work/failing.json" \
  "$kf decode < $work/failing > /dev/null 2>&1" "$kf decode < $work/good > /dev/null 2>&1"

python3 - "$work/times.json" "$work/failing.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["results"]
decode, check, sed = (x["median"] for x in r)
print(f"decode {decode:.3f} s, check {check:.3f} s, sed {sed:.3f} s (medians): "
      f"decode/sed = {decode / sed:.2f}, check/sed = {check / sed:.2f} (target <= 2.0)")
failing, good = (x["median"] for x in json.load(open(sys.argv[2]))["results"])
print(f"failing frames {failing:.3f} s, good frames {good:.3f} s: "
      f"failing/good = {failing / good:.2f} (target <= 3.0)")
PY

peak() {
  /usr/bin/time -v "$kf" decode <"$1" 2>&1 >/dev/null | awk '/Maximum resident set size/ { print $NF }'
}
echo "peak memory (max RSS): $((lines / 10)) lines $(peak "$work/log-small") KiB, $lines lines $(peak "$work/log") KiB"
