#!/usr/bin/env bash
# The readers of untrusted bytes under libFuzzer for a fixed total time (KDX_FUZZ_SECONDS,
# default 60: a third to the table reader, a sixth each to the table file's lexing, to the .reg
# reader, to the PE reader with discovery's all-twelve rule, and to the hand-off helper's wire
# format), each starting from its seed files (memtable/fuzz/corpus for both table targets,
# platform/fuzz/corpus, mail/fuzz/corpus; the PE reader's
# seeds are real Windows libraries of both bitnesses, built here with mingw-w64 from
# platform/tests/pe and windows/testmapi). Everything is
# built with clang and instrumented (address and undefined-behaviour sanitizers) in its own build
# folder; new inputs the fuzzer finds go to a scratch folder, not into the repository.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${KDX_FUZZ_BUILD_DIR:-build-fuzz}
seconds=${KDX_FUZZ_SECONDS:-60}
table_seconds=$((seconds / 3))
lexer_seconds=$((seconds / 6))
reg_seconds=$((seconds / 6))
pe_seconds=$((seconds / 6))
handoff_seconds=$((seconds - table_seconds - lexer_seconds - reg_seconds - pe_seconds))
jobs=${KDX_JOBS:-$(nproc)}

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKDX_BUILD_GUI=OFF -DKDX_BUILD_TESTS=OFF -DKDX_BUILD_BENCH=OFF -DKDX_FUZZ=ON \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags"
cmake --build "$build" -j "$jobs" --target table_reader_fuzz table_lexer_fuzz reg_parser_fuzz \
  pe_image_fuzz handoff_format_fuzz

work=$(mktemp -d "${TMPDIR:-/tmp}/kdx-fuzz.XXXXXX")
# A failing input is kept in the build folder so that it can be replayed
# ("$build/memtable/fuzz/table_reader_fuzz FILE") and added to the seeds.
trap 'cp "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$build/" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir "$work/corpus" "$work/lexer-corpus" "$work/reg-corpus" "$work/pe-corpus" "$work/pe-seeds" \
  "$work/handoff-corpus"
# Seeds of the PE reader: libraries of both bitnesses, with the twelve Simple MAPI names and
# with eleven, and the small sample with a forwarder, data and ordinal-only exports.
for arch in x86_64 i686; do
  cc=$arch-w64-mingw32-g++
  entry=DllMainCRTStartup
  [ "$arch" = i686 ] && entry=_DllMainCRTStartup@12
  $arch-w64-mingw32-gcc -shared -nostdlib -O2 -o "$work/pe-seeds/sample-$arch.dll" \
    platform/tests/pe/SampleLibrary.c platform/tests/pe/SampleLibrary.def \
    -Wl,--enable-stdcall-fixup -Wl,-e,$entry
  for n in 12 11; do
    $cc -shared -O1 -s -Imail/include -o "$work/pe-seeds/testmapi$n-$arch.dll" \
      windows/testmapi/TestMapi.cpp windows/testmapi/testmapi$n.def -Wl,--enable-stdcall-fixup -lgdi32
  done
done
# fuzz TARGET SECONDS MAX_LEN CORPUS SEEDS: one target ("$build/TARGET FILE" replays an input),
# new inputs into the scratch CORPUS, starting from SEEDS.
fuzz() {
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/$1" -max_total_time="$2" -seed=1 -max_len="$3" \
    -rss_limit_mb=2048 -timeout=5 -artifact_prefix="$work/" -print_final_stats=1 "$4" "$5"
}
# Inputs stay small: a definition section can make every record large, and the fuzzer should
# spend its time on the reader's rules rather than on memory. Work that grows faster than
# n log n is caught by the target itself (it counts the records a load examines), so small
# inputs suffice for that too; the time limit per input is the last guard.
fuzz memtable/fuzz/table_reader_fuzz "$table_seconds" 1024 "$work/corpus" memtable/fuzz/corpus
# The table file's lexing alone, from the same seeds.
fuzz memtable/fuzz/table_lexer_fuzz "$lexer_seconds" 1024 "$work/lexer-corpus" memtable/fuzz/corpus
# The .reg reader.
fuzz platform/fuzz/reg_parser_fuzz "$reg_seconds" 2048 "$work/reg-corpus" platform/fuzz/corpus
# The PE reader with discovery's rule.
fuzz mail/fuzz/pe_image_fuzz "$pe_seconds" 65536 "$work/pe-corpus" "$work/pe-seeds"
# The hand-off wire format.
fuzz mail/fuzz/handoff_format_fuzz "$handoff_seconds" 4096 "$work/handoff-corpus" \
  mail/fuzz/corpus/handoff
echo "20-fuzz: no failures in ${seconds}s"
