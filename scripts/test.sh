#!/usr/bin/env bash
# Runs every test: unit and end-to-end tests on Linux (real Apache, upsd and Chromium), the same
# under AddressSanitizer and ThreadSanitizer, and the Windows build under Wine.
# Usage: scripts/test.sh [preset...]   (default: e2e asan tsan mingw)
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh || exit 1

presets=("$@")
((${#presets[@]})) || presets=(e2e asan tsan mingw)
jobs=$(nproc)
passed=0
failed=0
status=0

for preset in "${presets[@]}"; do
  log=$(mktemp)
  if [[ $preset == mingw ]]; then
    # Builds too, and keeps Wine from opening windows or outliving the run.
    echo "=== mingw: build and test under Wine"
    bash scripts/test-wine.sh 2>&1 | tee "$log"
    rc=${PIPESTATUS[0]}
  else
    echo "=== ${preset}: configure and build"
    if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j "$jobs"; }; then
      echo "=== ${preset}: build FAILED"
      status=1
      failed=$((failed + 1))
      rm -f "$log"
      continue
    fi
    echo "=== ${preset}: test"
    ctest --preset "$preset" 2>&1 | tee "$log"
    rc=${PIPESTATUS[0]}
  fi
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  rm -f "$log"
  if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  fi
  if [[ $rc -ne 0 || -z $line ]]; then
    status=1
    [[ -z $line ]] && failed=$((failed + 1))
  fi
  echo "=== ${preset}: ${line:-no test result}"
done

echo "all presets: ${passed} passed, ${failed} failed"
exit $status
