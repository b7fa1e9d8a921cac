#!/usr/bin/env bash
# Installs what is needed, builds everything, and runs every test: the plain build, then the
# core tests again under AddressSanitizer and UndefinedBehaviorSanitizer, then a short fuzzing
# run. Tests that open sockets run inside a private network namespace (loopback only).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh
jobs=$(nproc)

echo "== build (RelWithDebInfo)"
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"

echo "== tests"
bash scripts/netns.sh ctest --preset default -j "$jobs"

echo "== build (ASan + UBSan)"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"

echo "== tests under ASan + UBSan"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
bash scripts/netns.sh ctest --preset asan -j "$jobs"

echo "== fuzzing (bounded)"
bash scripts/fuzz.sh 20
