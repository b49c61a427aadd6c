#!/usr/bin/env bash
# Builds and runs the start-up benchmark under its own Xvfb.
#   bench/startup/run.sh [build dir] [runs]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
cmake --build "$build" --target startup_bench -j2
xvfb-run -a -s "-screen 0 1024x768x24" "$build/bench/startup/startup_bench" \
  "$build/app/KDXMngr" "$build/bench/startup/startup_bare_window" "${2:-15}"
