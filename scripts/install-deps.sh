#!/usr/bin/env bash
# Installs, from Debian 12's archive, everything the build, the tests and the demo need.
# Runs as root; does nothing when every package is already there.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  # Linux host and UPS service
  apache2 apache2-dev nut-server nut-client
  # end-to-end checks
  curl wrk chromium chromium-driver python3
  # Windows build and its tests
  mingw-w64 g++-mingw-w64-x86-64-posix wine wine64
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "install-deps: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q "${missing[@]}"
fi
