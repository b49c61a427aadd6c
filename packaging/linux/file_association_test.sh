#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks, with xdg-mime inside a temporary XDG
# data folder, that a transfer file in any letter case resolves to the program, and that the
# installed command starts the program from its own folder, beside the installation marker.
#   file_association_test.sh <build dir>
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

data=$prefix/share
update-mime-database "$data/mime"
update-desktop-database "$data/applications"
export XDG_DATA_HOME=$tmp/home-data XDG_DATA_DIRS=$data XDG_CONFIG_HOME=$tmp/config
export XDG_CONFIG_DIRS=$tmp/config-dirs XDG_CURRENT_DESKTOP=X-Generic
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"

fail() { echo "FAIL: $*" >&2; exit 1; }

for name in POB1_PB.KDX pob1_pb.kdx Sklad.Kdx; do
  printf 'KDX transfer\r\n' > "$tmp/$name"
  type=$(xdg-mime query filetype "$tmp/$name")
  [ "$type" = "application/x-kdx-transfer" ] || fail "$name resolves to '$type'"
done
printf 'x' > "$tmp/other.txt"
[ "$(xdg-mime query filetype "$tmp/other.txt")" != "application/x-kdx-transfer" ] ||
  fail "a text file is taken for a transfer file"

app=$(xdg-mime query default application/x-kdx-transfer)
[ "$app" = "kdx-manager.desktop" ] || fail "default handler is '$app'"

desktop=$data/applications/kdx-manager.desktop
desktop-file-validate "$desktop" || fail "invalid desktop entry"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[ "$exec_line" = "$prefix/bin/kdx-manager %f" ] || fail "Exec is '$exec_line'"

# The program lives in a folder of its own, beside the marker that makes it keep each user's
# tables in the user's configuration folder; bin/ holds a link.
[ -x "$prefix/lib/kdx-manager/KDXMngr" ] || fail "program not in lib/kdx-manager"
[ -f "$prefix/lib/kdx-manager/kdx-manager.installed" ] || fail "no installation marker"
[ -L "$prefix/bin/kdx-manager" ] || fail "bin/kdx-manager is not a link"
[ "$(readlink -f "$prefix/bin/kdx-manager")" = "$(readlink -f "$prefix/lib/kdx-manager/KDXMngr")" ] ||
  fail "bin/kdx-manager points elsewhere"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$data/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon '$icon'"
echo "file association: OK"
