#!/usr/bin/env bash
# Builds everything and runs every test, stage by stage, and prints how long each stage took.
#
#   scripts/test.sh                 every stage, in order (what CI runs)
#   scripts/test.sh main fuzz       only the named stages, in the order given
#   scripts/test.sh --list          the stage names
#
# Stages: "format" (the source layout, .clang-format), "main" (the main build under ctest:
# toolkit-free tests, Qt tests offscreen, end-to-end tests under their own Xvfb), then one stage
# per script of scripts/test.d, named without its number: "sanitizers", "fuzz", "wine" (the
# Windows cross build under Wine), "deb" (the Debian package).
#
# Environment: KDX_JOBS, the build and test jobs (default: the machine's processor count);
# KDX_32BIT=no runs every stage as on a machine that runs no 32-bit programs (scripts/bitness.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

stage_names=(format main)
declare -A stage_script=()
for script in scripts/test.d/*.sh; do
  [ -e "$script" ] || continue
  name=$(basename "$script" .sh)
  name=${name#[0-9][0-9]-}
  stage_names+=("$name")
  stage_script[$name]=$script
done

if [ "${1:-}" = --list ]; then
  printf '%s\n' "${stage_names[@]}"
  exit 0
fi
chosen=("$@")
[ ${#chosen[@]} -gt 0 ] || chosen=("${stage_names[@]}")
for name in "${chosen[@]}"; do
  printf '%s\n' "${stage_names[@]}" | grep -qx -- "$name" ||
    { echo "test.sh: no stage '$name' (stages: ${stage_names[*]})" >&2; exit 2; }
done

export KDX_JOBS=${KDX_JOBS:-$(nproc)}
# Asked once, before the packages: every stage reads the answer (KDX_32BIT).
. scripts/bitness.sh
if kdx_runs_32bit; then
  echo "test.sh: this machine runs 32-bit programs (KDX_32BIT=yes)"
else
  echo "test.sh: this machine runs no 32-bit programs (KDX_32BIT=no): what needs one is skipped and named"
fi
# What a stage could not try on this machine, one line each, repeated after the stage times.
KDX_TEST_NOTES=$(mktemp "${TMPDIR:-/tmp}/kdx-test-notes.XXXXXX")
export KDX_TEST_NOTES
trap 'rm -f "$KDX_TEST_NOTES"' EXIT

run_stage() {
  case $1 in
  format) scripts/check-format.sh ;;
  main)
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build -j "$KDX_JOBS"
    ctest --test-dir build --output-on-failure -j "$KDX_JOBS"
    ;;
  *) bash "${stage_script[$1]}" ;;
  esac
}

times=()
start=$(date +%s)
timed() {
  local label=$1 began=$SECONDS
  shift
  echo "=== $label"
  "$@"
  times+=("$(printf '%-12s %5d s' "$label" $((SECONDS - began)))")
  echo "=== $label: $((SECONDS - began)) s"
}
timed deps scripts/deps.sh
for name in "${chosen[@]}"; do
  timed "$name" run_stage "$name"
done
echo "=== stage times"
printf '  %s\n' "${times[@]}"
echo "  total        $(($(date +%s) - start)) s"
[ ! -s "$KDX_TEST_NOTES" ] || cat "$KDX_TEST_NOTES"
echo "All tests passed."
