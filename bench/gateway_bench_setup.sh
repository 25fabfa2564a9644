# Sourced by the gateway benchmarks from the repository root, once BUILD is set:
# the programs, a scratch folder that goes with the script, the processes it
# started stopped on the way out, and a free loopback port.
gateway_bin=$BUILD/gateway/kelvo-gateway
frame_bin=$BUILD/cli/kelvo-frame

work=$(mktemp -d)
chmod 777 "$work"  # mosquitto, started as root, runs as its own user
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
