#!/usr/bin/env bash
# Checks the source layout, builds everything and runs every test: the main build under ctest (toolkit-free tests, Qt tests
# offscreen, end-to-end tests under their own Xvfb), then the stages of scripts/test.d in order
# (sanitizers, fuzzing, the Windows cross build under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/check-format.sh
jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
for stage in scripts/test.d/*.sh; do
  [ -e "$stage" ] || continue
  echo "=== $(basename "$stage")"
  bash "$stage"
done
echo "All tests passed."
