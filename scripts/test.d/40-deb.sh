#!/usr/bin/env bash
# The Debian package. The program from the main build (KDX_DEB_BUILD_DIR, default build; a
# Release build is made there when it does not exist yet), `cpack -G DEB`, lintian (no errors allowed), appstreamcli and
# desktop-file-validate on what the package ships. Then, as root, the package is installed on
# this machine with the administrator's receive definition in /etc/kdx-manager, an ordinary user
# (created here) opens a transfer file through xdg-open and saves definitions through /SET
# (packaging/tests/installed_e2e.py), and the package is purged: nothing of it may be left but
# what that user saved in their own home.
set -euo pipefail
cd "$(dirname "$0")/../.."
src=$PWD
build=${KDX_DEB_BUILD_DIR:-build}
user=kdx-deb-test
[ "$(id -u)" = 0 ] || { echo "40-deb: must run as root (it installs the package)" >&2; exit 1; }
fail() { echo "40-deb: FAIL: $*" >&2; exit 1; }

# The package is made from the main build of scripts/test.sh (its install rules take only the
# program and the provider; CPack strips them), so CI compiles the program once for Linux.
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKDX_BUILD_TESTS=OFF \
    -DKDX_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j 2 --target KDXMngr kdx_mapi_provider
rm -f "$build"/kdx-manager_*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/kdx-manager_*.deb)
work=$(mktemp -d "${TMPDIR:-/tmp}/kdx-deb.XXXXXX")
chmod 755 "$work"
cleanup() {
  apt-get purge -y kdx-manager >/dev/null 2>&1 || true
  rm -rf /etc/kdx-manager
  userdel -r "$user" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "--- package"
dpkg-deb --field "$deb"
dpkg-deb --contents "$deb"
echo "size: $(stat -c %s "$deb") bytes"

echo "--- lintian"
lintian --display-info --fail-on error "$deb" || fail "lintian reports errors"
dpkg-deb -x "$deb" "$work/root"
echo "--- appstreamcli validate"
appstreamcli validate --no-net "$work"/root/usr/share/metainfo/*.metainfo.xml ||
  fail "AppStream metadata"
echo "--- desktop-file-validate"
desktop-file-validate "$work/root/usr/share/applications/kdx-manager.desktop" ||
  fail "desktop entry"
echo "desktop entry: valid"

# An ordinary user, and what the machine holds before the package (outside the places that
# change by themselves: homes, temporary and runtime folders, logs, caches, package databases).
userdel -r "$user" >/dev/null 2>&1 || true
useradd --create-home --shell /bin/bash "$user"
home=$(getent passwd "$user" | cut -d: -f6)
# The checkout and the folder around it (where the other builds live) are skipped too.
around=$(dirname "$src")
[ "$around" = / ] && around=$src
snapshot() {
  find / -xdev \( -path /home -o -path /tmp -o -path /var/tmp -o -path /proc -o -path /sys \
    -o -path /run -o -path /dev -o -path /var/log -o -path /var/cache -o -path /var/lib/dpkg \
    -o -path /var/lib/apt -o -path /root -o -path "$HOME" -o -path "$src" -o -path "$around" \) \
    -prune -o -print 2>/dev/null | sort
}
snapshot > "$work/before.txt"

echo "--- install"
apt-get install -y --no-install-recommends "$(readlink -f "$deb")"
[ "$(readlink -f /usr/bin/kdx-manager)" = /usr/lib/kdx-manager/KDXMngr ] ||
  fail "/usr/bin/kdx-manager does not lead to the program"
[ "$(xdg-mime query default application/x-kdx-transfer)" = kdx-manager.desktop ] ||
  fail "the package does not open *.kdx files"
dpkg -L kdx-manager | sort > "$work/files.txt"

# The administrator's receive definition: attachments named POB1_PB.KDX go into the user's
# Velkor folder. Written as the program writes its tables (cp1250, CRLF).
mkdir -p /etc/kdx-manager
python3 - "$home" <<'EOF'
import sys
rows = ('"Nazev","KDXFile","SavePath","InfoText","EndText",\r\n'
        '"Pobočka Brno","pob1_pb.kdx","%s/Velkor/Prijem","Uložení přenosového souboru z pobočky",'
        '"Pokračujte ve Velkor volbou Agenda/Přenos dat",\r\n' % sys.argv[1])
open("/etc/kdx-manager/kdx_imp.tab", "wb").write(rows.encode("cp1250"))
EOF
cp /etc/kdx-manager/kdx_imp.tab "$work/admin_imp.tab"
find /usr/lib/kdx-manager | sort > "$work/program-folder.txt"

echo "--- an ordinary user"
cp "$src/packaging/tests/installed_e2e.py" "$src/app/tests/e2e/kdxdrive.py" "$work/"
chmod 644 "$work"/*.py
runuser -u "$user" -- env -i HOME="$home" USER="$user" LOGNAME="$user" SHELL=/bin/bash \
  PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 PYTHONDONTWRITEBYTECODE=1 \
  xvfb-run -a -s "-screen 0 1024x768x24" dbus-run-session -- \
  python3 "$work/installed_e2e.py" /etc/kdx-manager/kdx_imp.tab ||
  fail "the user's run of the installed program"
cmp /etc/kdx-manager/kdx_imp.tab "$work/admin_imp.tab" ||
  fail "the program wrote the administrator's table"
find /usr/lib/kdx-manager | sort | cmp - "$work/program-folder.txt" ||
  fail "the program wrote into its installation folder"
dpkg --verify kdx-manager || fail "installed files were changed"
[ "$(stat -c %U "$home/.config/kdx-manager/kdx_exp.tab")" = "$user" ] ||
  fail "the user's tables are not the user's"

echo "--- purge"
apt-get purge -y kdx-manager
dpkg -s kdx-manager >/dev/null 2>&1 && fail "the package is still installed"
[ ! -e /etc/kdx-manager ] || fail "/etc/kdx-manager is left after purge"
while read -r path; do
  if [ -e "$path" ] && ! grep -qxF "$path" "$work/before.txt"; then
    fail "$path is left after purge"
  fi
done < "$work/files.txt"
snapshot > "$work/after.txt"
if ! diff "$work/before.txt" "$work/after.txt"; then
  fail "the machine differs after purge (above: < was there before, > is new)"
fi
[ -f "$home/.config/kdx-manager/kdx_imp.tab" ] || fail "the user's own tables were removed"
echo "40-deb: package $(basename "$deb"), $(stat -c %s "$deb") bytes: OK"
