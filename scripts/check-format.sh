#!/usr/bin/env bash
# Checks that every C and C++ source in the repository is laid out as .clang-format says, and
# names the files that are not. With --fix it rewrites them in place instead.
#
# usage: scripts/check-format.sh [--fix]
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format: clang-format not found" >&2; exit 1; }
mapfile -t sources < <(git ls-files -- '*.c' '*.cpp' '*.h')
[ "${#sources[@]}" -gt 0 ] || { echo "check-format: no sources found (not a git checkout?)" >&2; exit 1; }
if [ "${1:-}" = --fix ]; then
  clang-format -i -- "${sources[@]}"
  exit 0
fi
if ! clang-format --dry-run -Werror -- "${sources[@]}" 2>/dev/null; then
  echo "check-format: these files differ from .clang-format ($(clang-format --version)):" >&2
  for source in "${sources[@]}"; do
    clang-format -- "$source" | cmp -s - "$source" || echo "  $source" >&2
  done
  echo "check-format: run scripts/check-format.sh --fix" >&2
  exit 1
fi
echo "check-format: ${#sources[@]} files laid out as .clang-format says"
