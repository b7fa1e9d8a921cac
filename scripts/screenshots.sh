#!/usr/bin/env bash
# Starts the PXR9 dialog in a real window under Xvfb against the simulated probe, connects,
# updates the firmware and transmits, and saves screenshots (default: docs/screenshots).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshots}

cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target pxr9tour pxrsim sample_firmware >/dev/null

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 800x700x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
log=$(mktemp)
# Slow flash, so that the update is visibly under way for a moment.
build/sim/pxrsim --listen 127.0.0.1 --program-ms 15 --erase-ms 20 >"$log" 2>&1 &
sim=$!
trap 'kill $sim $xvfb 2>/dev/null; wait 2>/dev/null; rm -f "$log"' EXIT
for _ in $(seq 50); do grep -q "pxrsim: ready" "$log" && break; sleep 0.1; done
sleep 0.5

DISPLAY=$display QT_QPA_PLATFORM=xcb build/app9/pxr9tour --address 127.0.0.1 \
  --firmware-dir build/cli --config-file "$PWD/examples/board.cfg" --out "$out"
