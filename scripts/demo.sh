#!/usr/bin/env bash
# The main job: installs what is needed, builds (with sample firmware beside the tools), starts
# the simulated probe on 127.0.0.1 and on a pseudo-terminal, and sets a probe up with pxr9tool:
# info, update, erase, transmit with a stored configuration, info --json.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

bin=build
tool=$bin/cli/pxr9tool
pty=$(mktemp -u /tmp/pxr-com-XXXXXX)
log=$(mktemp)
"$bin/sim/pxrsim" --listen 127.0.0.1 --pty "$pty" >"$log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -f "$log"' EXIT
for _ in $(seq 50); do grep -q "pxrsim: ready" "$log" && break; sleep 0.1; done
cat "$log"

step() {
  printf '\n\033[1m$'
  printf ' %q' "$@"
  printf '\033[0m\n'
  "$@"
}

step "$tool" --ip 127.0.0.1 info
step "$tool" --ip 127.0.0.1 update
step "$tool" --ip 127.0.0.1 erase --yes
step "$tool" --ip 127.0.0.1 update
step "$tool" --ip 127.0.0.1 transmit --pxr-ip 10.0.0.50 --subnet 255.255.255.0 \
  --gateway 10.0.0.1 --host-ip "" --config-file examples/board.cfg
step "$tool" --port "$pty" --speed 115200 info --json
step "$bin/cli/pxrping" --channel "NETWORK 127.0.0.1" --count 500
step "$bin/cli/pxrping" --channel "$pty 115200" --count 200

kill $sim
wait $sim 2>/dev/null || true
trap 'rm -f "$log"' EXIT
tail -n 1 "$log"
