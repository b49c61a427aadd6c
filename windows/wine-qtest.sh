#!/bin/sh
# Runs one Qt Test program under Wine for ctest (see windows/wine-run.sh for why the output goes
# through a file). Qt Test under Wine writes nothing to a redirected standard output, so the
# program is asked to write its plain-text log into a file, which is shown afterwards.
# KDX_WINE as in windows/wine-run.sh.
log=$(mktemp "${TMPDIR:-/tmp}/kdx-qtest.XXXXXX") || exit 1
out=$(mktemp "${TMPDIR:-/tmp}/kdx-wine-run.XXXXXX") || exit 1
program=$1
shift
wine=${KDX_WINE:-wine}
"$wine" "$program" -o "$("$wine" winepath -w "$log" 2>/dev/null </dev/null | tr -d '\r'),txt" "$@" \
  >"$out" 2>&1 </dev/null
rc=$?
cat "$log" "$out"
rm -f "$log" "$out"
exit $rc
