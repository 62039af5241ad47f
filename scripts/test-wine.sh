#!/usr/bin/env bash
# Builds the Windows binaries with MinGW-w64 (preset mingw, in build/mingw) and runs their tests under
# Wine. Needs the Debian packages cmake ninja-build mingw-w64 g++-mingw-w64-x86-64-posix wine wine64
# python3 (scripts/install-deps.sh installs them). No display and no network are needed.
# Usage: scripts/test-wine.sh [ctest arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
for tool in cmake ninja x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-objdump wine wineboot \
            wineserver python3; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if ((${#missing[@]})); then
  echo "test-wine: missing ${missing[*]}; install the packages named at the top of $0" >&2
  exit 1
fi

# Wine must neither open windows nor offer to download Mono or Gecko.
unset DISPLAY WAYLAND_DISPLAY
export WINEDLLOVERRIDES="mscoree,mshtml="
prefix=$PWD/build/mingw/tests/wine/prefix
# Whatever happens, no wineserver of ours outlives the run.
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true' EXIT

cmake --preset mingw
cmake --build --preset mingw -j 2
ctest --preset mingw -L wine "$@"
