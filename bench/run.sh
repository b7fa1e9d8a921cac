#!/usr/bin/env bash
# Benchmarks. Each prints its figures; none of them is a pass/fail test.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

best_of() {  # best wall time in seconds of N runs of a command
  local n=$1; shift
  local best=999
  for _ in $(seq "$n"); do
    local t0 t1
    t0=$(date +%s.%N); "$@" >/dev/null 2>&1; t1=$(date +%s.%N)
    best=$(awk -v a="$t1" -v b="$t0" -v m="$best" 'BEGIN { d = a - b; print (d < m) ? d : m }')
  done
  echo "$best"
}

echo "== S-record reading: 10 MB S3 file (objcopy --srec-len=32)"
head -c 4000000 /dev/urandom >"$work/image.bin"
objcopy -I binary -O srec --srec-len=32 --srec-forceS3 --change-addresses=0x100000 \
  "$work/image.bin" "$work/image.srec"
ls -l "$work/image.srec" | awk '{printf "file: %.1f MB\n", $5/1e6}'
ours=$(build/bench/srec_read "$work/image.srec" 5 | awk '{print $1}')
objcopy_t=$(best_of 5 objcopy -I srec -O binary "$work/image.srec" "$work/out1.bin")
srec_t=$(best_of 5 srec_cat "$work/image.srec" -o "$work/out2.bin" -binary)
printf "ReadFirmwareBlock  %.4f s\n" "$ours"
printf "objcopy            %.4f s  (ratio objcopy/ours %.2f)\n" "$objcopy_t" \
  "$(awk -v a="$objcopy_t" -v b="$ours" 'BEGIN { print a / b }')"
printf "srec_cat           %.4f s  (ratio srec_cat/ours %.2f)\n" "$srec_t" \
  "$(awk -v a="$srec_t" -v b="$ours" 'BEGIN { print a / b }')"

echo
echo "== Firmware update of a 2 MiB image over UDP loopback, against the raw UDP floor"
bash scripts/netns.sh build/bench/update_bench udp 2097152

echo
echo "== Firmware update over a pseudo-terminal at 115200, replies paced at the line rate"
build/bench/update_bench pty 131072

echo
echo "== A failing info against 127.0.0.2 where nothing answers (wall vs CPU time)"
export XDG_CONFIG_HOME="$work"
TIMEFORMAT="wall %R s, user %U s, sys %S s"
time (bash scripts/netns.sh build/cli/pxr9tool --quiet --ip 127.0.0.2 info >/dev/null 2>&1 || true)
echo "(and against a bound but silent peer: two attempts of six 500 ms pings)"
build/sim/pxrsim --listen 127.0.0.3 --silent >/dev/null 2>&1 &
silent=$!
sleep 0.3
time (build/cli/pxr9tool --quiet --attempts 2 --ip 127.0.0.3 info >/dev/null 2>&1 || true)
kill $silent
