#!/usr/bin/env bash
# Builds the whole program for 64-bit Windows on Linux: Qt for mingw-w64 from the machine's cache
# (scripts/qt-mingw.sh builds it once), then this project cross-compiled through that Qt's own
# toolchain file into build-windows/ (with its tests, which run under Wine), and finally the
# installers. Leaves in OUTDIR (default build-windows/out):
#   KDXMngr.exe                 the program, linked statically: nothing else is needed beside it
#                               but the two table files and the helper below
#   kdxmapi32.exe               the mail hand-off helper for 32-bit mail clients (built by the
#                               i686 sub-build that the 64-bit build starts, windows/CMakeLists.txt)
#   translations/qtbase_cs.qm   the toolkit's Czech texts (Ano/Ne, the file dialog's buttons)
#   KDXManager-Setup.exe        the installer for one PC (packaging/windows/installer.nsi)
#   KDXManager.msi              the Windows Installer package for deployment
#                               (packaging/windows/kdx-manager.wxs, build-msi.sh)
# The two programs are shipped without debug information; the unstripped ones stay in the build
# folder (app/KDXMngr.exe, app/kdxmapi32.exe) for crash analysis.
#
# Signing: when KDX_SIGN_PKCS12 names a PKCS#12 file with a code-signing certificate and its key
# (KDX_SIGN_PASSWORD: its password), both programs, the installer and the MSI are signed with
# osslsigncode, timestamped by the RFC 3161 server KDX_SIGN_TIMESTAMP (a URL) when that is set.
# Without KDX_SIGN_PKCS12 nothing is signed, and the script says so.
#
# Usage: scripts/windows-build.sh [OUTDIR]
# Environment: KDX_WINDOWS_BUILD_DIR, KDX_QT_CACHE, KDX_SIGN_PKCS12, KDX_SIGN_PASSWORD,
#              KDX_SIGN_TIMESTAMP
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${KDX_WINDOWS_BUILD_DIR:-build-windows}
out=${1:-$build/out}
jobs=${KDX_JOBS:-$(nproc)}

tools=(x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix x86_64-w64-mingw32-strip
  i686-w64-mingw32-strip makensis wixl msibuild cmake ninja)
[ -n "${KDX_SIGN_PKCS12:-}" ] && tools+=(osslsigncode)
for tool in "${tools[@]}"; do
  command -v "$tool" >/dev/null || { echo "windows-build: '$tool' is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done
translations=/usr/share/qt6/translations
[ -f "$translations/qtbase_cs.qm" ] ||
  { echo "windows-build: $translations/qtbase_cs.qm is missing (package qt6-translations-l10n)" >&2; exit 1; }
if [ -n "${KDX_SIGN_PKCS12:-}" ] && [ ! -f "$KDX_SIGN_PKCS12" ]; then
  echo "windows-build: KDX_SIGN_PKCS12 names no file: $KDX_SIGN_PKCS12" >&2
  exit 1
fi

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

# The version of the project (CMakeLists.txt), as x.y.z for the MSI.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
while [[ ! $version =~ ^[0-9]+\.[0-9]+\.[0-9]+ ]]; do version+=.0; done
version=$(printf '%s' "$version" | cut -d. -f1-3)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kdx-program.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# Signs a file in place (Authenticode; osslsigncode knows PE files and MSI packages alike).
sign() {
  [ -n "${KDX_SIGN_PKCS12:-}" ] || return 0
  local args=(sign -pkcs12 "$KDX_SIGN_PKCS12" -h sha256 -n "KDX manager" -i "http://www.kdxman.cz/")
  # The password through a file of the scratch folder, not on a command line others can read.
  (umask 077 && printf '%s' "${KDX_SIGN_PASSWORD:-}" >"$scratch/password")
  args+=(-readpass "$scratch/password")
  [ -n "${KDX_SIGN_TIMESTAMP:-}" ] && args+=(-ts "$KDX_SIGN_TIMESTAMP")
  osslsigncode "${args[@]}" -in "$1" -out "$1.signed" >"$scratch/sign.log" 2>&1 ||
    { cat "$scratch/sign.log" >&2; echo "windows-build: signing $1 failed" >&2; rm -f "$1.signed"; exit 1; }
  chmod --reference="$1" "$1.signed"
  mv "$1.signed" "$1"
}
if [ -n "${KDX_SIGN_PKCS12:-}" ]; then
  echo "windows-build: signing with $KDX_SIGN_PKCS12${KDX_SIGN_TIMESTAMP:+, timestamps from $KDX_SIGN_TIMESTAMP}"
else
  echo "windows-build: KDX_SIGN_PKCS12 is not set: the programs and installers are not signed"
fi

mkdir -p "$out/translations"
rm -f "$out/KDXManager-Setup.exe" "$out/KDXManager.msi"
x86_64-w64-mingw32-strip -o "$out/KDXMngr.exe" "$build/app/KDXMngr.exe"
i686-w64-mingw32-strip -o "$out/kdxmapi32.exe" "$build/app/kdxmapi32.exe"
sign "$out/KDXMngr.exe"
sign "$out/kdxmapi32.exe"
cp "$translations/qtbase_cs.qm" "$out/translations/"
# Both installers pack exactly what OUTDIR holds besides themselves.
program="$scratch/program"
mkdir "$program"
cp -r "$out/KDXMngr.exe" "$out/kdxmapi32.exe" "$out/translations" "$program/"
makensis -V2 -DKDX_PROGRAM_DIR="$program" -DKDX_VERSION="$version" \
  -DKDX_OUTFILE="$(cd "$out" && pwd)/KDXManager-Setup.exe" packaging/windows/installer.nsi
sign "$out/KDXManager-Setup.exe"
packaging/windows/build-msi.sh "$program" "$out/KDXManager.msi" "$version"
sign "$out/KDXManager.msi"
echo "windows-build: $(cd "$out" && pwd): $(cd "$out" && ls -1 | tr '\n' ' ')"
