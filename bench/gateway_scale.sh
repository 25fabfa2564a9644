#!/usr/bin/env bash
# The gateway at site scale: BUSES simulated buses over loopback TCP with
# UNITS addresses each, polled once a second for SECONDS, every answer
# published to a mosquitto broker with one subscriber. Prints, from one run,
# the gateway's CPU per published answer beside the broker's CPU for routing
# the same messages, and the gateway's memory over the run.
#   bench/gateway_scale.sh [SECONDS] [BUSES] [UNITS]    default 100 20 50
#   BUILD=build/dev bench/gateway_scale.sh               an existing build
#   PROFILE=none, RULES=bench/twenty_rules.toml          without values; with alarm rules
#   SITE=sqlite, SITE=postgresql://USER@HOST:PORT/DB     kelvo-site follows the broker and stores
#                                                        every answer: its CPU per stored status too
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-100}
buses=${2:-20}
units=${3:-50}

if [ -z "${BUILD:-}" ]; then
  bash scripts/install-deps.sh
  cmake --preset release >/dev/null
  cmake --build --preset release --target kelvo-gateway kelvo-frame ${SITE:+kelvo-site}
  BUILD=build/release
fi
. bench/gateway_bench_setup.sh
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }  # user + system CPU, in clock ticks
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
hz=$(getconf CLK_TCK)

broker_port=$(free_port)
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\nmax_queued_messages 100000\n' \
  "$broker_port" > "$work/mosquitto.conf"
mosquitto -c "$work/mosquitto.conf" 2>"$work/mosquitto.log" &
broker=$!
pids+=("$broker")
until mosquitto_pub -p "$broker_port" -t bench/ready -m x 2>/dev/null; do sleep 0.1; done

config=$work/gateway.toml
printf '[broker]\nurl = "mqtt://127.0.0.1:%s"\ntopic_prefix = "bench"\nclient_id = "bench"\nstats_interval_ms = 1000\n' \
  "$broker_port" > "$config"
# The energy counters stay in the scratch folder; PROFILE=none measures without values.
printf '[site]\nstate_dir = "%s"\n' "$work" >> "$config"
if [ -n "${PROFILE:-}" ]; then printf 'profile = "%s"\n' "$PROFILE" >> "$config"; fi
for b in $(seq 1 "$buses"); do
  port=$(free_port)
  "$frame_bin" simulate --listen "tcp://127.0.0.1:$port" --address "1-$units" --seed "$b" >/dev/null 2>&1 &
  pids+=("$!")
  printf '\n[[bus]]\nname = "bus%s"\nport = "tcp://127.0.0.1:%s"\ninterval_ms = 1000\ntimeout_ms = 500\naddresses = [%s]\n' \
    "$b" "$port" "$(seq -s ', ' 1 "$units")" >> "$config"
done
# RULES=FILE adds its [[alarm]] tables.
if [ -n "${RULES:-}" ]; then cat "$RULES" >> "$config"; fi
check=$("$gateway_bin" --config "$config" --check)
echo "${check%%$'\n'*}"

# One subscriber takes every status message; counted at the end.
mosquitto_sub -p "$broker_port" -q 1 -t 'bench/+/+/status' -F '%t' > "$work/status.txt" &
pids+=("$!")
mosquitto_sub -p "$broker_port" -t bench/gateway/stats > "$work/stats.txt" &
pids+=("$!")
site_port=
if [ -n "${SITE:-}" ]; then
  site_port=$(free_port)
  store_url=$SITE
  [ "$SITE" = sqlite ] && store_url="sqlite://$work/site.db"
  printf '[broker]\nurl = "mqtt://127.0.0.1:%s"\ntopic_prefixes = ["bench"]\n[store]\nurl = "%s"\n[http]\nlisten = "127.0.0.1:%s"\n' \
    "$broker_port" "$store_url" "$site_port" > "$work/site.toml"
  "$BUILD/site/kelvo-site" --config "$work/site.toml" 2>"$work/site.log" &
  site=$!
  pids+=("$site")
  until curl -sf "http://127.0.0.1:$site_port/healthz" >/dev/null; do sleep 0.1; done
fi
stored() { curl -s "http://127.0.0.1:$site_port/metrics" | awk '/^kelvo_site_answers_stored_total/ {print $2}'; }
sleep 0.5

"$gateway_bin" --config "$config" 2>"$work/gateway.log" &
gateway=$!
pids+=("$gateway")
# Warm-up: every connection open, the first rounds done.
sleep 3
g0=$(ticks "$gateway"); m0=$(ticks "$broker"); n0=$(wc -l < "$work/status.txt"); rss_start=$(rss_kb "$gateway")
[ -n "$site_port" ] && { s0=$(ticks "$site"); st0=$(stored); }
sleep "$seconds"
g1=$(ticks "$gateway"); m1=$(ticks "$broker"); n1=$(wc -l < "$work/status.txt"); rss_end=$(rss_kb "$gateway")
[ -n "$site_port" ] && { s1=$(ticks "$site"); site_rss=$(rss_kb "$site"); }

kill -TERM "$gateway"
wait "$gateway" || true
sleep 0.5
last_stats=$(tail -n 1 "$work/stats.txt")
python3 - "$g0" "$g1" "$m0" "$m1" "$n0" "$n1" "$hz" "$rss_start" "$rss_end" "$seconds" "$last_stats" \
  "$(wc -l < "$work/status.txt")" <<'PY'
import json, sys
g0, g1, m0, m1, n0, n1, hz, rss0, rss1, secs = map(float, sys.argv[1:11])
stats = json.loads(sys.argv[11])
received = int(sys.argv[12])
msgs = n1 - n0
answered = sum(b["answered"] for b in stats["buses"].values())
failed = sum(b["failed"] for b in stats["buses"].values())
g_us = (g1 - g0) / hz / msgs * 1e6
m_us = (m1 - m0) / hz / msgs * 1e6
print(f"{msgs:.0f} status messages in {secs:.0f} s ({msgs / secs:.0f}/s) to one subscriber")
print(f"gateway CPU: {(g1 - g0) / hz / secs * 100:.1f} % of a core, {g_us:.1f} us per published answer")
print(f"broker CPU:  {(m1 - m0) / hz / secs * 100:.1f} % of a core, {m_us:.1f} us per routed message")
print(f"ratio gateway / broker: {g_us / m_us:.2f} (target <= 3)")
print(f"gateway answered {answered}, failed {failed}, dropped {stats['dropped']}, "
      f"subscriber received {received} status messages in all")
print(f"gateway RSS: {rss0 / 1024:.1f} MB after warm-up, {rss1 / 1024:.1f} MB after {msgs:.0f} more answers "
      f"({(rss1 - rss0) / 1024:+.2f} MB)")
p50 = max(b["latency_p50_ms"] or 0 for b in stats["buses"].values())
p99 = max(b["latency_p99_ms"] or 0 for b in stats["buses"].values())
print(f"exchange latency, worst bus: p50 {p50:.2f} ms, p99 {p99:.2f} ms")
PY
if [ -n "$site_port" ]; then
  # Whatever was in the last batch when the window closed lands within a second.
  sleep 1.5
  st1=$(stored)
  python3 - "$s0" "$s1" "$st0" "$st1" "$m0" "$m1" "$n0" "$n1" "$hz" "$seconds" "$site_rss" <<'PY'
import sys
s0, s1, st0, st1, m0, m1, n0, n1, hz, secs, rss = map(float, sys.argv[1:12])
stored = st1 - st0
s_us = (s1 - s0) / hz / stored * 1e6
m_us = (m1 - m0) / hz / (n1 - n0) * 1e6
print(f"kelvo-site stored {stored:.0f} of the {n1 - n0:.0f} published in the window")
print(f"kelvo-site CPU: {(s1 - s0) / hz / secs * 100:.1f} % of a core, {s_us:.1f} us per stored status, RSS {rss / 1024:.1f} MB")
print(f"ratio kelvo-site / broker: {s_us / m_us:.2f} (target <= 2)")
PY
fi
