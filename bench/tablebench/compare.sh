#!/usr/bin/env bash
# Loads a generated 100,000-record import table with `tablebench load` and imports the same file
# with the sqlite3 shell (`.import --csv` into an in-memory database), side by side in one
# hyperfine run, then measures tablebench's peak memory.
#
# Targets: load time <= 0.40 x sqlite3's; peak RSS <= 1.30 x the records' slot bytes.
#
# usage: bench/tablebench/compare.sh [TABLEBENCH] [RECORDS]
#   TABLEBENCH defaults to build/bench/tablebench/tablebench, RECORDS to 100000.
set -euo pipefail
cd "$(dirname "$0")/../.."
bench=${1:-build/bench/tablebench/tablebench}
records=${2:-100000}
for tool in "$bench" sqlite3 hyperfine python3; do
  command -v "$tool" >/dev/null || { echo "compare.sh: '$tool' not found" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kdx-tablebench.XXXXXX")
trap 'rm -rf "$work"' EXIT
file="$work/kdx_imp.tab"
"$bench" gen "$records" "$file" >/dev/null
echo "file: $records records, $(stat -c %s "$file") bytes"

# Both must read every record.
loaded=$("$bench" load "$file" 2>/dev/null)
imported=$(sqlite3 :memory: ".import --csv $file t" "select count(*) from t")
echo "tablebench load: $loaded records; sqlite3 .import: $imported rows"

hyperfine -N --warmup 2 --runs "${KDX_BENCH_RUNS:-15}" --export-json "$work/times.json" \
  -n tablebench "$bench load $file" \
  -n sqlite3 "sqlite3 :memory: '.import --csv $file t'"

"$bench" load "$file" 2>"$work/memory.txt" >/dev/null
python3 - "$work/times.json" "$work/memory.txt" <<'PY'
import json, re, sys
times = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
ours, theirs = times["tablebench"], times["sqlite3"]
ratio = ours["mean"] / theirs["mean"]
cpu = (ours["user"] + ours["system"]) / (theirs["user"] + theirs["system"])
print(f"load time ratio tablebench/sqlite3: {ratio:.2f} (mean {ours['mean']*1000:.0f} ms vs "
      f"{theirs['mean']*1000:.0f} ms; CPU time ratio {cpu:.2f}); target <= 0.40: "
      f"{'met' if ratio <= 0.40 else 'NOT met'}")
m = re.search(r"slot bytes: (\d+), peak RSS: (\d+) KiB", open(sys.argv[2]).read())
slot, peak = int(m.group(1)), int(m.group(2)) * 1024
limit = 1.30 * slot
print(f"peak RSS {peak / 2**20:.1f} MiB, slot bytes {slot / 2**20:.1f} MiB, limit "
      f"{limit / 2**20:.1f} MiB ({peak / slot:.2f} x slot bytes); target: "
      f"{'met' if peak <= limit else 'NOT met'}")
PY
