#!/usr/bin/env bash
# The toolkit-free libraries and their tests once more under AddressSanitizer and
# UndefinedBehaviorSanitizer (no Qt in this build).
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKDX_BUILD_GUI=OFF \
  -DKDX_BUILD_BENCH=OFF -DKDX_SANITIZE=ON
cmake --build build-asan -j "${KDX_JOBS:-$(nproc)}"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "${KDX_JOBS:-$(nproc)}" -L core
