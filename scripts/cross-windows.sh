#!/usr/bin/env bash
# Checks that the protocol core, with its Win32 serial port and socket files, still compiles
# for Windows (MinGW-w64 cross compiler). Optional: not part of the test command.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  [[ $(id -u) -eq 0 ]] || { echo "cross-windows: install g++-mingw-w64-x86-64 (as root)" >&2; exit 1; }
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq g++-mingw-w64-x86-64 >/dev/null
fi
cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DPXR_CORE_ONLY=ON -DPXR_BUILD_TESTS=OFF >/dev/null
cmake --build build-windows --target pxrcore pxrstoredconfig
echo "cross-windows: the protocol core builds for Windows"
