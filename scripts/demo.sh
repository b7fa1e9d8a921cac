#!/usr/bin/env bash
# The main job: installs what is needed, builds, starts the simulated probe on 127.0.0.1 and on
# a pseudo-terminal, and runs a real link session over each channel.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

bin=build
pty=$(mktemp -u /tmp/pxr-com-XXXXXX)
log=$(mktemp)
"$bin/sim/pxrsim" --listen 127.0.0.1 --pty "$pty" >"$log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -f "$log"' EXIT
for _ in $(seq 50); do grep -q "pxrsim: ready" "$log" && break; sleep 0.1; done
cat "$log"

echo
echo "== UDP on loopback"
"$bin/cli/pxrping" --channel "NETWORK 127.0.0.1" --count 500
echo
echo "== serial over a pseudo-terminal (handshake from 9600 up to 115200)"
"$bin/cli/pxrping" --channel "$pty 115200" --count 200
echo
echo "== one frame exchange, traced"
"$bin/cli/pxrping" --channel "NETWORK 127.0.0.1" --count 1 --size 8 --trace
kill $sim
wait $sim 2>/dev/null || true
tail -n 1 "$log"
