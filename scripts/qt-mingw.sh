#!/usr/bin/env bash
# Builds Qt for 64-bit Windows (static, mingw-w64) from Debian's own qt6-base source package,
# once per machine, into a cache folder outside the checkout, and prints that folder's install
# prefix on standard output (everything else goes to standard error).
#
#   prefix=$(scripts/qt-mingw.sh)
#   cmake -DCMAKE_TOOLCHAIN_FILE=$prefix/lib/cmake/Qt6/qt.toolchain.cmake ...
#
# Debian ships no Qt for mingw-w64; its qt6-base source is the same version as the host's
# qt6-base-dev-tools, whose moc/rcc/uic the cross build uses (QT_HOST_PATH=/usr). The source is
# fetched with apt through a private configuration (a deb-src entry for the machine's own Debian
# mirror, private lists and cache), so the machine's apt sources stay untouched.
#
# The cache key is the source version plus the build's revision below, so a changed
# configuration builds anew beside the old one. A finished build is marked by a stamp file; a build that was
# interrupted is started again from scratch.
#
# Environment: KDX_QT_CACHE (default ${XDG_CACHE_HOME:-~/.cache}/kdx-manager), KDX_QT_JOBS.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
cache=${KDX_QT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kdx-manager}
jobs=${KDX_QT_JOBS:-$(nproc)}
log() { echo "qt-mingw: $*" >&2; }

# The machine's Debian mirror and suite, from its own apt sources (deb822 or one-line form).
mirror_and_suite() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk '/^URIs:/{u=$2} /^Suites:/{s=$2} /^$/{if(u~/debian$/&&s!~/security|updates/){print u, s; exit} u=s=""}
         END{if(u~/debian$/&&s!~/security|updates/)print u, s}' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk '$1=="deb"{u=$2; s=$3; if(u ~ /^\[/){u=$3; s=$4} if(u~/debian\/?$/&&s!~/security|updates/)print u, s}' "$f"
  done
}

apt_private() {
  local dir=$1
  mkdir -p "$dir/lists/partial" "$dir/archives/partial" "$dir/etc/sources.list.d" \
    "$dir/etc/preferences.d"
  read -r uri suite < <(mirror_and_suite | head -n1) || true
  [ -n "${uri:-}" ] || { log "no Debian mirror in the machine's apt sources"; exit 1; }
  echo "deb-src $uri $suite main" >"$dir/etc/sources.list"
  cat >"$dir/apt.conf" <<EOF
Dir::Etc::sourcelist "$dir/etc/sources.list";
Dir::Etc::sourceparts "$dir/etc/sources.list.d";
Dir::Etc::preferencesparts "$dir/etc/preferences.d";
Dir::State::lists "$dir/lists";
Dir::Cache "$dir/cache";
Dir::Cache::archives "$dir/archives";
APT::Sandbox::User "root";
EOF
  mkdir -p "$dir/cache"
}

host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools 2>/dev/null || true)
[ -n "$host_version" ] || { log "qt6-base-dev-tools is missing (scripts/deps.sh installs it)"; exit 1; }
# The build's revision: raise it whenever the configuration below or the toolchain file changes
# in a way that needs another Qt build (an edit of a comment does not).
revision=1
key="qt6-base-${host_version//[:~]/_}-mingw64-static-r$revision"
prefix="$cache/$key/install"
stamp="$cache/$key/done"

if [ -f "$stamp" ] && [ -f "$prefix/lib/cmake/Qt6/qt.toolchain.cmake" ]; then
  log "reusing $prefix"
  echo "$prefix"
  exit 0
fi

for tool in x86_64-w64-mingw32-g++-posix cmake ninja dpkg-source apt-get; do
  command -v "$tool" >/dev/null || { log "'$tool' is missing (scripts/deps.sh installs it)"; exit 1; }
done

work="$cache/$key"
rm -rf "$work"
mkdir -p "$work"
start=$(date +%s)

log "fetching the qt6-base $host_version source through a private apt configuration"
apt_private "$work/apt"
export APT_CONFIG="$work/apt/apt.conf"
apt-get -qq update >&2
mkdir -p "$work/src"
(cd "$work/src" && apt-get -qq source --download-only "qt6-base=$host_version" >&2)
dsc=$(ls "$work/src"/qt6-base_*.dsc | head -n1)
# Debian's patches (security fixes among them) are applied by dpkg-source.
dpkg-source --no-check -x "$dsc" "$work/src/qtbase" >&2
unset APT_CONFIG
rm -rf "$work/apt" "$work/src"/*.tar.* "$work/src"/*.dsc

log "configuring (static, Core/Gui/Widgets/Test, windows and offscreen platform plugins)"
# - tabletevent: the dfsg source has no wintab.h.
# - opengl and dynamicgl off together: Qt 6.4's windows plugin still uses the dynamic-GL class
#   when only OpenGL is off.
# - No ICU: on Windows Qt uses the system's own locale and collation calls.
cmake -S "$work/src/qtbase" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-w64.cmake" \
  -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_SHARED_LIBS=OFF \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
  -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no \
  -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF -DFEATURE_tabletevent=OFF \
  -DFEATURE_icu=OFF -DFEATURE_jpeg=OFF -DFEATURE_sql_sqlite=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF \
  -DFEATURE_testlib_selfcover=OFF \
  >"$work/configure.log" 2>&1 || { tail -n 60 "$work/configure.log" >&2; log "configure failed"; exit 1; }

log "building with $jobs jobs (about 35-40 minutes on two cores)"
cmake --build "$work/build" -j "$jobs" >"$work/build.log" 2>&1 ||
  { grep -m 20 -B2 -A8 'error' "$work/build.log" >&2 || tail -n 60 "$work/build.log" >&2; log "build failed"; exit 1; }
cmake --install "$work/build" >"$work/install.log" 2>&1 ||
  { tail -n 40 "$work/install.log" >&2; log "install failed"; exit 1; }
rm -rf "$work/build" "$work/src"
end=$(date +%s)
echo "built in $((end - start)) s on $(nproc) cores" >"$stamp"
log "built in $((end - start)) s into $prefix"
echo "$prefix"
