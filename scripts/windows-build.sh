#!/usr/bin/env bash
# Builds the whole program for 64-bit Windows on Linux: Qt for mingw-w64 from the machine's cache
# (scripts/qt-mingw.sh builds it once), then this project cross-compiled through that Qt's own
# toolchain file into build-windows/ (with its tests, which run under Wine), and finally the
# installer. Leaves in OUTDIR (default build-windows/out):
#   KDXMngr.exe                 the program, linked statically: nothing else is needed beside it
#                               but the two table files and the helper below
#   kdxmapi32.exe               the mail hand-off helper for 32-bit mail clients (built by the
#                               i686 sub-build that the 64-bit build starts, windows/CMakeLists.txt)
#   translations/qtbase_cs.qm   the toolkit's Czech texts (Ano/Ne, the file dialog's buttons)
#   KDXManager-Setup.exe        the installer (packaging/windows/installer.nsi) packing the three
#                               above
#
# Usage: scripts/windows-build.sh [OUTDIR]      Environment: KDX_WINDOWS_BUILD_DIR, KDX_QT_CACHE
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${KDX_WINDOWS_BUILD_DIR:-build-windows}
out=${1:-$build/out}
jobs=${KDX_JOBS:-$(nproc)}

for tool in x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix makensis cmake ninja; do
  command -v "$tool" >/dev/null || { echo "windows-build: '$tool' is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done
translations=/usr/share/qt6/translations
[ -f "$translations/qtbase_cs.qm" ] ||
  { echo "windows-build: $translations/qtbase_cs.qm is missing (package qt6-translations-l10n)" >&2; exit 1; }

qt=$(scripts/qt-mingw.sh)

# The Qt toolchain file chain-loads the project's own mingw-w64 toolchain (named here, so that
# the cache does not depend on the checkout it was built from).
mkdir -p "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-w64.cmake" \
  -DKDX_BUILD_GUI=ON -DKDX_BUILD_TESTS=ON -DKDX_BUILD_BENCH=OFF \
  -DKDX_TEST_LAUNCHER="$root/windows/wine-run.sh" >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log" >&2; exit 1; }
cmake --build "$build" -j "$jobs"

mkdir -p "$out/translations"
cp "$build/app/KDXMngr.exe" "$build/app/kdxmapi32.exe" "$out/"
cp "$translations/qtbase_cs.qm" "$out/translations/"
# The installer packs exactly what OUTDIR holds besides itself.
program=$(mktemp -d "${TMPDIR:-/tmp}/kdx-program.XXXXXX")
trap 'rm -rf "$program"' EXIT
cp -r "$out/KDXMngr.exe" "$out/kdxmapi32.exe" "$out/translations" "$program/"
makensis -V2 -DKDX_PROGRAM_DIR="$program" -DKDX_OUTFILE="$(cd "$out" && pwd)/KDXManager-Setup.exe" \
  packaging/windows/installer.nsi
echo "windows-build: $(cd "$out" && pwd): $(cd "$out" && ls -1 | tr '\n' ' ')"
