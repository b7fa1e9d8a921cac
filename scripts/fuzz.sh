#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time (seconds, default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
targets=(fuzz_srecord fuzz_regs)
cmake --build --preset fuzz -j "$(nproc)" --target "${targets[@]}"
for name in "${targets[@]}"; do
  target=build-fuzz/tests/fuzz/$name
  [[ -x $target ]] || continue
  corpus=build-fuzz/corpus/$name
  mkdir -p "$corpus"
  echo "fuzz: $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -max_len=4096 -print_final_stats=0 "$corpus" \
    tests/fuzz/seeds/"${name#fuzz_}" 2>&1 | tail -n 2
done
