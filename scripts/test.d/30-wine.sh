#!/usr/bin/env bash
# The Windows stage: the whole program cross-compiled for 64-bit Windows (scripts/windows-build.sh:
# Qt for mingw-w64 from the machine's cache, the project with its tests, the installer), then,
# in a throw-away Wine prefix set up as a Czech workstation (user locale cs-CZ, ANSI code page
# 1250):
#  1. every test of the cross build under ctest, headless (Wine's null graphics driver): the
#     toolkit-free tests, the Windows-only tests and the Qt tests (offscreen); the sends through
#     32-bit mail clients only where Wine runs 32-bit programs (wine32, a WoW64 prefix);
#  2. the installer's file association, checked with a stand-in program that records its
#     arguments (windows/tests/check-association.sh);
#  3. the real KDXMngr.exe end to end under Wine's X11 driver on a virtual display, driven with
#     mouse and keyboard (windows/tests/e2e/wine_e2e.py): receive, send through 64-bit and 32-bit
#     mail clients and without any (the mailto: handler and the file manager), /SET, the folder picker, the installed program opening a .KDX file through
#     the shell and sending through a 32-bit client, and the MSI package's install with the
#     administrator's tables, a user's receive and save, upgrade and uninstall.
# The programs and installers are signed with a throw-away certificate and checked.
#     Screenshots of every window are kept in $build/e2e-shots.
# Where the machine runs no 32-bit programs (scripts/bitness.sh) every Wine program here starts
# through Wine's 64-bit loader ($KDX_WINE), and what needs a 32-bit process (the sends through
# 32-bit mail clients: kdxmapi32.exe under Wine) is skipped and named in one line at the end.
# Where it runs them, a Wine with wine32 that runs no 32-bit program fails the stage.
#
# Environment: KDX_WINDOWS_BUILD_DIR (default build-windows), KDX_WINE_KEEP_PREFIX=1 keeps the
# prefix for a look afterwards (its path is printed), KDX_32BIT=no takes the path of a machine
# that runs no 32-bit programs.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
build=${KDX_WINDOWS_BUILD_DIR:-build-windows}
jobs=${KDX_JOBS:-$(nproc)}
. scripts/bitness.sh
kdx_wine_setup
wine=$KDX_WINE

for tool in "$wine" wineserver xvfb-run openbox xdotool xclip import xwininfo xprop; do
  if ! command -v "$tool" >/dev/null; then
    echo "30-wine: '$tool' is missing (scripts/deps.sh installs it)" >&2
    exit 1
  fi
done

stage_start=$(date +%s)
# Signed with a throw-away certificate, so that signing cannot break unseen; every signature is
# checked (windows/tests/check-signatures.sh).
signing="$build/test-signing"
rm -rf "$signing"
bash windows/tests/check-signatures.sh make "$signing"
KDX_SIGN_PKCS12="$signing/test.p12" KDX_SIGN_PASSWORD="$(cat "$signing/password")" \
  KDX_WINDOWS_BUILD_DIR=$build scripts/windows-build.sh "$build/out"
bash windows/tests/check-signatures.sh verify "$signing" "$build/out"
echo "30-wine: Windows build ready after $(($(date +%s) - stage_start)) s"

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
timeout -k 10 300 "$wine" wineboot -i >"$tmp/wineboot.log" 2>&1 || {
  cat "$tmp/wineboot.log" >&2
  echo "30-wine: wineboot failed" >&2
  exit 1
}
# Wine's null graphics driver: windows exist (EnumWindows, visibility, owners, styles) but
# nothing is drawn and no display is needed. It takes effect with the next wine server.
"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >>"$tmp/wineboot.log" 2>&1 </dev/null
wineserver -w
# One wine server for the whole stage, so the tests do not each pay for its start; its helper
# processes are started now, with their output away from ctest's pipes.
wineserver -p >>"$tmp/wineboot.log" 2>&1 </dev/null
timeout -k 10 120 "$wine" cmd /c exit >>"$tmp/wineboot.log" 2>&1 </dev/null

# 32-bit programs: with Debian's wine32 beside wine64 the prefix is WoW64 and runs them; with
# wine64 alone it does not, nor where the machine runs none. The hand-off helper beside the Wine
# tests is itself the probe (it answers an empty request with a refusal); without it the tests of
# 32-bit clients say so and are skipped (KDX_WINE_NO_32BIT).
not_covered=
if ! kdx_runs_32bit; then
  not_covered="this machine runs no 32-bit programs (KDX_32BIT=no)"
  echo "30-wine: $not_covered: Wine's 64-bit loader ($wine) starts every program, 32-bit mail clients are not tried"
elif timeout -k 10 120 "$wine" "$build/mail/tests/kdxmapi32.exe" </dev/null >"$tmp/probe32" 2>/dev/null &&
  [ "$(head -c 4 "$tmp/probe32")" = KDXA ]; then
  echo "30-wine: this Wine runs 32-bit programs: 32-bit mail clients are tried"
elif dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  echo "30-wine: wine32 is installed, yet Wine ran no 32-bit program (kdxmapi32.exe did not answer)" >&2
  exit 1
else
  not_covered="this Wine runs no 32-bit programs (no wine32)"
  echo "30-wine: $not_covered: 32-bit mail clients are not tried"
fi
if [ -n "$not_covered" ]; then
  export KDX_WINE_NO_32BIT=1
else
  unset KDX_WINE_NO_32BIT
fi

timeout -k 10 1800 ctest --test-dir "$build" --output-on-failure -j "$jobs"

# The installer's association, built around a stand-in for the program that records its arguments.
bash windows/tests/check-association.sh "$build" "$tmp"

# The real program, end to end, under Wine's X11 driver on a virtual display.
wineserver -k >/dev/null 2>&1 || true
wineserver -w
"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >>"$tmp/wineboot.log" 2>&1 </dev/null
wineserver -w
shots="$root/$build/e2e-shots"
rm -rf "$shots"
mkdir -p "$shots"
timeout -k 10 900 xvfb-run -a -s "-screen 0 1280x1024x24" \
  /usr/bin/python3 windows/tests/e2e/wine_e2e.py --out "$build/out" --build "$build" \
  --shots "$shots"
echo "30-wine: done in $(($(date +%s) - stage_start)) s"
if [ -n "$not_covered" ]; then
  # The one line that says what this run did not try; scripts/test.sh repeats it at the end.
  line="30-wine: NOT COVERED, $not_covered: the sends through 32-bit mail clients (kdxmapi32.exe under Wine: mail_wine_tests' Win32HandOff tests; end to end: send32, send32both, compose, sendfail and the installed copy's send through a 32-bit client)"
  echo "$line"
  [ -z "${KDX_TEST_NOTES:-}" ] || echo "$line" >>"$KDX_TEST_NOTES"
fi
