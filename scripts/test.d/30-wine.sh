#!/usr/bin/env bash
# The Windows stage: the toolkit-free libraries, their tests and the Windows test helpers
# cross-compiled with mingw-w64, the tests run under Wine, headless, in a throw-away Wine prefix
# set up as a Czech workstation (user locale cs-CZ, ANSI code page 1250); then the installer is
# built with makensis, installed silently into the same prefix and the .KDX association it
# writes is checked, as is the documented .reg file.
#
# Environment: KDX_WINE_BUILD_DIR (default build-wine), KDX_WINE_KEEP_PREFIX=1 keeps the prefix
# for a look afterwards (its path is printed).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
build=${KDX_WINE_BUILD_DIR:-build-wine}
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2  # the shared machines have two cores

for tool in x86_64-w64-mingw32-g++-posix wine wineboot wineserver makensis; do
  if ! command -v "$tool" >/dev/null; then
    echo "30-wine: '$tool' is missing (scripts/deps.sh installs it)" >&2
    exit 1
  fi
done

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKDX_BUILD_GUI=OFF -DKDX_BUILD_BENCH=OFF \
  -DKDX_TEST_LAUNCHER="$root/windows/wine-run.sh"
cmake --build "$build" -j "$jobs"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/kdx-wine.XXXXXX")
export WINEPREFIX="$tmp/prefix"
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  if [ "${KDX_WINE_KEEP_PREFIX:-0}" = 1 ]; then
    echo "30-wine: prefix kept in $WINEPREFIX"
  else
    rm -rf "$tmp"
  fi
}
trap cleanup EXIT
export WINEARCH=win64
export WINEDEBUG=-all
# No .NET / Gecko installer prompts, no menu entries or file associations on the host desktop.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Headless: nothing may open on a developer's desktop, and CI has no display.
unset DISPLAY WAYLAND_DISPLAY
# The program's home: a Czech Windows (LOCALE_USER_DEFAULT = 0x405, ANSI code page 1250). Wine
# takes both from the POSIX locale, and the character set of its own file names and arguments
# from the same locale, which must therefore exist on the host: when it does not, it is compiled
# into the scratch folder (Debian package "locales" holds the sources).
if ! locale -a 2>/dev/null | grep -qix 'cs_CZ.utf-\?8'; then
  mkdir -p "$tmp/locale"
  localedef -i cs_CZ -f UTF-8 "$tmp/locale/cs_CZ.UTF-8" >"$tmp/localedef.log" 2>&1 ||
    [ -f "$tmp/locale/cs_CZ.UTF-8/LC_CTYPE" ] || {
      cat "$tmp/localedef.log" >&2
      echo "30-wine: cannot compile the cs_CZ.UTF-8 locale" >&2
      exit 1
    }
  export LOCPATH="$tmp/locale"
fi
export LC_ALL=cs_CZ.UTF-8 LANG=cs_CZ.UTF-8 2>/dev/null


echo "30-wine: creating the Wine prefix"
timeout -k 10 300 wineboot -i >"$tmp/wineboot.log" 2>&1 || {
  cat "$tmp/wineboot.log" >&2
  echo "30-wine: wineboot failed" >&2
  exit 1
}
# Wine's null graphics driver: windows exist (EnumWindows, visibility, owners, styles) but
# nothing is drawn and no display is needed. It takes effect with the next wine server.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >>"$tmp/wineboot.log" 2>&1 </dev/null
wineserver -w
# One wine server for the whole stage, so the tests do not each pay for its start; its helper
# processes are started now, with their output away from ctest's pipes.
wineserver -p >>"$tmp/wineboot.log" 2>&1 </dev/null
timeout -k 10 120 wine cmd /c exit >>"$tmp/wineboot.log" 2>&1 </dev/null

timeout -k 10 1800 ctest --test-dir "$build" --output-on-failure -j "$jobs"

# The installer, built from the cross-built files plus a stand-in for the Qt program, installed
# silently; the association it writes must open .KDX files with the program and "%1".
bash windows/tests/check-association.sh "$build" "$tmp"
echo "30-wine: done"
