#!/usr/bin/env bash
# What queued messages cost the gateway: BUSES simulated buses of UNITS units
# polled once a second while the broker is away, until the queue (max_queued
# 10000) is full; then the broker comes and the queue drains. Prints the
# gateway's resident memory at the start, with the queue full, and after it
# has drained.
#   bench/gateway_queue_memory.sh [BUSES] [UNITS]    default 20 50
#   BUILD=build/dev bench/gateway_queue_memory.sh     an existing build
set -euo pipefail
cd "$(dirname "$0")/.."
buses=${1:-20}
units=${2:-50}
max_queued=${MAX_QUEUED:-10000}

if [ -z "${BUILD:-}" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target kelvo-gateway kelvo-frame
  BUILD=build/release
fi
. bench/gateway_bench_setup.sh
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }

broker_port=$(free_port)
config=$work/gateway.toml
printf '[broker]\nurl = "mqtt://127.0.0.1:%s"\ntopic_prefix = "bench"\nclient_id = "bench"\nstats_interval_ms = 500\nmax_queued = %s\n' \
  "$broker_port" "$max_queued" > "$config"
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

"$gateway_bin" --config "$config" 2>"$work/gateway.log" &
gateway=$!
pids+=("$gateway")
sleep 1
start=$(rss_kb "$gateway")
# The queue fills at BUSES x UNITS answers a second; a few seconds more keep it full.
fill=$(( max_queued / (buses * units) + 4 ))
sleep "$fill"
full=$(rss_kb "$gateway")

printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$broker_port" > "$work/mosquitto.conf"
mosquitto -c "$work/mosquitto.conf" 2>"$work/mosquitto.log" &
pids+=("$!")
# Drained: a stats message says no more than one round is queued.
stats=$work/stats
for _ in $(seq 1 120); do
  mosquitto_sub -p "$broker_port" -t bench/gateway/stats -C 1 -W 2 >"$stats" 2>/dev/null || true
  queued=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["queued"])' "$stats" 2>/dev/null || echo -1)
  [ "$queued" -ge 0 ] && [ "$queued" -le $(( buses * units )) ] && break
done
sleep 2
drained=$(rss_kb "$gateway")
dropped=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["dropped"])' "$stats" 2>/dev/null || echo '?')

echo "gateway resident memory: $((start / 1024)) MB at the start, $((full / 1024)) MB with $max_queued messages queued," \
  "$((drained / 1024)) MB once drained ($dropped dropped while full)"
echo "per queued message: $(( (full - start) * 1024 / max_queued )) bytes"
