#!/usr/bin/env bash
# The file association on Windows, checked in the Wine prefix of scripts/test.d/30-wine.sh:
#  1. makensis builds packaging/windows/installer.nsi from the cross build (the stand-in
#     KDXMngr.exe);
#  2. the installer runs silently, for the current user and then with /ALLUSERS; the keys it
#     wrote must say  "<folder>\KDXMngr.exe" "%1";
#  3. a .KDX file in a folder with blanks and Czech letters is opened through the shell, and the
#     program must receive its full path as one argument (only for the machine-wide install:
#     Wine's shell reads HKLM\Software\Classes alone, while Windows also reads the per-user
#     HKCU\Software\Classes);
#  4. the uninstaller removes the association, keeping the user's definition tables;
#  5. the documented packaging/windows/kdx-association.reg, imported with Wine's reg.exe,
#     associates .KDX the same way for a copy of the program in C:\KDX manager.
# Usage: check-association.sh <cross build dir> <scratch dir>   (WINEPREFIX etc. set by caller;
# KDX_WINE, the Wine that starts 64-bit programs: scripts/bitness.sh, default `wine`)
set -Eeuo pipefail
build=$(cd "$1" && pwd)
scratch=$2
here=$(cd "$(dirname "$0")" && pwd)
packaging=$(cd "$here/../../packaging/windows" && pwd)
log="$scratch/association.log"
wine=${KDX_WINE:-wine}
: >"$log"

# No silent end: a command that fails outside the checks names its line.
trap 'echo "check-association: command failed at line $LINENO" >&2; cat "$log" >&2' ERR

fail() {
  echo "check-association: $*" >&2
  echo "--- log" >&2
  cat "$log" >&2
  exit 1
}
# Every wine call keeps its output away from the caller's pipes (see windows/wine-run.sh).
w() { timeout -k 5 60 "$wine" "$@" </dev/null >>"$log" 2>&1; }
# The default value of a key, as reg.exe prints it ("" when the key or value is missing).
default_of() {
  { timeout -k 5 60 "$wine" reg query "$1" /ve /reg:64 </dev/null 2>/dev/null || true; } | tr -d '\r' |
    LC_ALL=C sed -n 's/^ *([^)]*) *REG_[A-Z_]* *//p' | sed -n 1p
}
# Waits up to 30 s for a condition (a command); Wine may hand back before the uninstaller is done.
wait_until() {
  for _ in $(seq 1 60); do
    "$@" && return 0
    sleep 0.5
  done
  return 1
}
not_associated() { [ -z "$(default_of "$1\\.KDX")" ]; }
associated() { [ -n "$(default_of "$1\\.KDX")" ]; }
# Opens a file through the shell ("open" verb) and returns what the program recorded.
open_through_shell() {
  local file=$1 record=$2
  rm -f "$record"
  w start /wait /unix "$file" || fail "the shell could not open $file"
  for _ in $(seq 1 100); do
    grep -q '^end$' "$record" 2>/dev/null && break
    sleep 0.1
  done
  [ -f "$record" ] || fail "the program was not started for $file"
  cat "$record"
}

# 1. The installer.
program_dir="$build/windows/program"
[ -f "$program_dir/KDXMngr.exe" ] || fail "no cross-built $program_dir/KDXMngr.exe"
setup="$build/windows/KDXManager-Setup.exe"
makensis -V2 -DKDX_PROGRAM_DIR="$program_dir" -DKDX_OUTFILE="$setup" "$packaging/installer.nsi" \
  >>"$log" 2>&1 || fail "makensis failed"
echo "check-association: built $setup"

# A received file in a folder with blanks and Czech letters.
folder="$scratch/Přijaté soubory"
mkdir -p "$folder"
file="$folder/POB1 PB.KDX"
printf 'data' >"$file"
export KDX_PLACEHOLDER_RECORD
KDX_PLACEHOLDER_RECORD=$("$wine" winepath -w "$scratch/opened.txt" 2>/dev/null </dev/null | tr -d '\r')
windows_file=$("$wine" winepath -w "$file" 2>/dev/null </dev/null | tr -d '\r')
want=$(printf 'argc=1\narg=%s\nend' "$(printf '%s' "$windows_file" | iconv -f UTF-8 -t CP1250)")

# 2.-4. Install (for the user or for all users), check, open, uninstall.
install_and_check() {
  local mode=$1 root=$2 args=(/S)
  [ "$mode" = "all users" ] && args+=(/ALLUSERS)
  w "$setup" "${args[@]}" || fail "the installer failed ($mode)"
  local classes="$root\\Software\\Classes"
  local progid command install_dir expected unix_install_dir got
  wait_until associated "$classes" || true
  progid=$(default_of "$classes\\.KDX")
  [ "$progid" = "KDXManager.TransferFile" ] || fail ".KDX names '$progid' ($mode)"
  command=$(default_of "$classes\\$progid\\shell\\open\\command")
  install_dir=$({ timeout 60 "$wine" reg query "$root\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KDXManager" /reg:64 \
    /v InstallLocation </dev/null 2>/dev/null || true; } | tr -d '\r' | sed -n 's/^ *InstallLocation *REG_SZ *//p')
  [ -n "$install_dir" ] || fail "no InstallLocation ($mode)"
  expected="\"$install_dir\\KDXMngr.exe\" \"%1\""
  [ "$command" = "$expected" ] || fail "open command is '$command', expected '$expected' ($mode)"
  unix_install_dir=$("$wine" winepath -u "$install_dir" 2>/dev/null </dev/null | tr -d '\r')
  [ -f "$unix_install_dir/KDXMngr.exe" ] || fail "KDXMngr.exe not installed in $install_dir"
  echo "check-association: installed for $mode; .KDX opens with $command"

  if [ "$root" = HKLM ]; then
    got=$(open_through_shell "$file" "$scratch/opened.txt")
    [ "$got" = "$want" ] || fail "the program received
$got
expected
$want"
    echo "check-association: opening '$windows_file' started the program with it"
  fi

  printf 'Nazev\r\n' >"$unix_install_dir/kdx_imp.tab"
  w "$unix_install_dir/uninstall.exe" /S "_?=$install_dir" || fail "the uninstaller failed ($mode)"
  wait_until not_associated "$classes" || fail ".KDX still associated after uninstalling"
  wait_until test ! -f "$unix_install_dir/KDXMngr.exe" || fail "KDXMngr.exe left behind ($mode)"
  [ -f "$unix_install_dir/kdx_imp.tab" ] || fail "the uninstaller removed the user's table"
  echo "check-association: uninstalled for $mode; the user's table kept"
}
install_and_check "the current user" HKCU
install_and_check "all users" HKLM

# 5. The documented .reg file, for a copy of the program in C:\KDX manager.
manual="$WINEPREFIX/drive_c/KDX manager"
mkdir -p "$manual"
cp "$program_dir/KDXMngr.exe" "$manual/"
w reg import "$("$wine" winepath -w "$packaging/kdx-association.reg" 2>/dev/null </dev/null | tr -d '\r')" ||
  fail "reg import of kdx-association.reg failed"
command=$(default_of 'HKCR\KDXManager.TransferFile\shell\open\command')
[ "$command" = '"C:\KDX manager\KDXMngr.exe" "%1"' ] || fail ".reg open command is '$command'"
got=$(open_through_shell "$file" "$scratch/opened.txt")
[ "$got" = "$want" ] || fail "after the .reg import the program received
$got"
w reg delete 'HKCR\.KDX' /f
w reg delete 'HKCR\KDXManager.TransferFile' /f
echo "check-association: kdx-association.reg associates .KDX the same way"
