#!/usr/bin/env bash
# The table file reader and the .reg file reader under libFuzzer for a fixed total time
# (KDX_FUZZ_SECONDS, default 60: two thirds to the table reader, the rest to the .reg reader),
# each starting from its seed files (memtable/fuzz/corpus, platform/fuzz/corpus). Everything is
# built with clang and instrumented (address and undefined-behaviour sanitizers) in its own build
# folder; new inputs the fuzzer finds go to a scratch folder, not into the repository.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${KDX_FUZZ_BUILD_DIR:-build-fuzz}
seconds=${KDX_FUZZ_SECONDS:-60}
table_seconds=$((seconds * 2 / 3))
reg_seconds=$((seconds - table_seconds))
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKDX_BUILD_GUI=OFF -DKDX_BUILD_TESTS=OFF -DKDX_BUILD_BENCH=OFF -DKDX_FUZZ=ON \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags"
cmake --build "$build" --target table_reader_fuzz reg_parser_fuzz -j "$jobs"

work=$(mktemp -d "${TMPDIR:-/tmp}/kdx-fuzz.XXXXXX")
# A failing input is kept in the build folder so that it can be replayed
# ("$build/memtable/fuzz/table_reader_fuzz FILE") and added to the seeds.
trap 'cp "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$build/" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir "$work/corpus" "$work/reg-corpus"
# Inputs stay small: a definition section can make every record large, and the fuzzer should
# spend its time on the reader's rules rather than on memory. Work that grows faster than
# n log n is caught by the target itself (it counts the records a load examines), so small
# inputs suffice for that too; the time limit per input is the last guard.
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$build/memtable/fuzz/table_reader_fuzz" -max_total_time="$table_seconds" -seed=1 -max_len=1024 \
  -rss_limit_mb=2048 -timeout=5 -artifact_prefix="$work/" -print_final_stats=1 \
  "$work/corpus" memtable/fuzz/corpus
# The .reg reader ("$build/platform/fuzz/reg_parser_fuzz FILE" replays an input).
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$build/platform/fuzz/reg_parser_fuzz" -max_total_time="$reg_seconds" -seed=1 -max_len=2048 \
  -rss_limit_mb=2048 -timeout=5 -artifact_prefix="$work/" -print_final_stats=1 \
  "$work/reg-corpus" platform/fuzz/corpus
echo "20-fuzz: no failures in ${seconds}s"
