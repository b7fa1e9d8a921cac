#!/usr/bin/env bash
# Installs the Debian packages this project needs. Run as root; safe to run again: packages that
# are already installed are skipped, and apt is only called when something is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config          # build
  libgtest-dev libgmock-dev                      # core tests
  libcli11-dev                                   # command-line tools
  qt6-base-dev qt6-base-dev-tools                # desktop programs
  clang libclang-rt-14-dev                       # fuzzing (libFuzzer)
  srecord binutils                               # reference S-record tools for tests and benchmarks
  xvfb xauth                                     # real windows for screenshots
  iproute2 util-linux                            # private network namespace for socket tests
  clang-format                                   # formatting
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  echo "bootstrap: all packages present"
  exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
  echo "bootstrap: missing packages: ${missing[*]}" >&2
  echo "bootstrap: run as root (or: sudo apt-get install ${missing[*]})" >&2
  exit 1
fi

echo "bootstrap: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "bootstrap: done"
