#!/bin/sh
# Runs one Windows program under Wine for ctest (the cross build's KDX_TEST_LAUNCHER).
#
# Wine's helper processes (services, device manager, desktop) may be started by the program and
# outlive it, keeping every descriptor they inherited. Had they inherited ctest's output pipe,
# ctest would wait for them to close it, for ever. So the program's output goes to a file that
# only this script reads back, and the helpers never see ctest's pipe.
# KDX_WINE: the Wine that starts 64-bit programs here (scripts/bitness.sh; default `wine`).
out=$(mktemp "${TMPDIR:-/tmp}/kdx-wine-run.XXXXXX") || exit 1
"${KDX_WINE:-wine}" "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
