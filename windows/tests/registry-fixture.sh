#!/bin/sh
# Writes (add) or removes (delete) the registry keys the Windows tests read, in Wine's real
# registry through Wine's own reg.exe. Run by ctest as the fixture of mail_wine_tests, inside the
# Wine prefix of scripts/test.d/30-wine.sh (WINEPREFIX, LC_ALL=cs_CZ.UTF-8 so that the Czech
# names below reach the registry as the letters they are).
#
# HKCU\Software\KDX Test          values of every type and subkeys, for the registry helpers
# HKLM\Software\Clients\Mail\KDX Test *   four mail clients beside Wine's "Native Mail Client",
#                                 as a 64-bit installer writes them (the 64-bit view, /reg:64):
#                                 twelve entry points, eleven, a missing dependency, no file; and
#                                 two 32-bit clients as a 32-bit installer writes them: "KDX Test
#                                 32" in the 32-bit view only (/reg:32), "KDX Test Both" in both
#                                 views
# In a WoW64 prefix (wine32 beside wine64) a plain `wine reg` is the 32-bit reg.exe and writes
# HKLM\Software into the 32-bit view; every HKLM key here names its view. Wine is started as
# $KDX_WINE (scripts/bitness.sh; default `wine`).
# HKLM\...\Windows Messaging Subsystem    MAPIXVER (Wine registers MAPI=1 itself)
# HKCU\...\Windows NT\CurrentVersion\Windows Messaging Subsystem\Profiles   two profiles
# HKCU\Software\Wine\WineBrowser  Mailers=xdg-email: Wine's mail path ends in the host's
#                                 xdg-email (the tests put a recording stand-in on PATH)
set -eu
mode=${1:?usage: registry-fixture.sh add|delete}

# Output through a file, never ctest's pipe (see windows/wine-run.sh); shown when reg fails.
log=$(mktemp "${TMPDIR:-/tmp}/kdx-reg.XXXXXX")
trap 'rm -f "$log"' EXIT
reg() {
  if ! "${KDX_WINE:-wine}" reg "$@" >"$log" 2>&1 </dev/null; then
    cat "$log" >&2
    return 1
  fi
}

clients='HKLM\Software\Clients\Mail'
wms='HKLM\Software\Microsoft\Windows Messaging Subsystem'
profiles='HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows Messaging Subsystem\Profiles'
test='HKCU\Software\KDX Test'

case "$mode" in
add)
  reg add "$test\\Values" /ve /d "výchozí hodnota" /f
  reg add "$test\\Values" /v Text /d "Příliš žluťoučký kůň" /f
  reg add "$test\\Values" /v Expand /t REG_EXPAND_SZ /d "%SystemRoot%\\system32\\mapi32.dll" /f
  reg add "$test\\Values" /v Empty /d "" /f
  reg add "$test\\Values" /v Number /t REG_DWORD /d 42 /f
  reg add "$test\\Values" /v Binary /t REG_BINARY /d 6869 /f
  reg add "$test\\Values" /v Multi /t REG_MULTI_SZ /d "jedna\\0dva" /f
  reg add "$test\\Values" /v "Název" /d "účet" /f
  reg add "$test\\Subkeys\\Beta" /f
  reg add "$test\\Subkeys\\alpha" /f
  reg add "$test\\Subkeys\\Účetnictví" /f
  reg add "$test\\Subkeys\\Gamma se zvlášť dlouhým názvem klíče, delším než ostatní dohromady, 0123456789" /f
  reg add "$test\\Subkeys\\Beta\\Nested" /f
  reg add "$test\\Empty" /f

  reg add "$clients\\KDX Test 32" /ve /d "KDX test client (32-bit)" /f /reg:32
  reg add "$clients\\KDX Test 32" /v DLLPath /t REG_EXPAND_SZ /d "%KDX_TESTMAPI32_DIR%\\kdxtestmapi12.dll" /f /reg:32
  for view in 32 64; do
    reg add "$clients\\KDX Test Both" /ve /d "KDX test client (32-bit, both views)" /f /reg:$view
    reg add "$clients\\KDX Test Both" /v DLLPath /t REG_EXPAND_SZ /d "%KDX_TESTMAPI32_DIR%\\kdxtestmapi12.dll" /f /reg:$view
  done
  reg add "$clients\\KDX Test Twelve" /ve /d "KDX test client (twelve)" /f /reg:64
  reg add "$clients\\KDX Test Twelve" /v DLLPath /t REG_EXPAND_SZ /d "%KDX_TESTMAPI_DIR%\\kdxtestmapi12.dll" /f /reg:64
  reg add "$clients\\KDX Test Eleven" /ve /d "KDX test client (eleven)" /f /reg:64
  reg add "$clients\\KDX Test Eleven" /v DLLPath /t REG_EXPAND_SZ /d "%KDX_TESTMAPI_DIR%\\kdxtestmapi11.dll" /f /reg:64
  reg add "$clients\\KDX Test Dependency" /ve /d "KDX test client (missing dependency)" /f /reg:64
  reg add "$clients\\KDX Test Dependency" /v DLLPath /t REG_EXPAND_SZ /d "%KDX_TESTMAPI_DIR%\\kdxtestmapi_dep.dll" /f /reg:64
  reg add "$clients\\KDX Test Missing" /ve /d "KDX test client (no such file)" /f /reg:64
  reg add "$clients\\KDX Test Missing" /v DLLPath /d "C:\\no such folder\\nosuchmapi.dll" /f /reg:64
  reg add "$wms" /v MAPIXVER /d "1.0.0.1" /f /reg:64
  reg add "$profiles" /v DefaultProfile /d "Účetní" /f
  reg add "$profiles\\Účetní" /f
  reg add "$profiles\\Outlook" /f
  reg add 'HKCU\Software\Wine\WineBrowser' /v Mailers /d xdg-email /f
  ;;
delete)
  for key in "$test" "$profiles"; do
    reg delete "$key" /f 2>/dev/null || true
  done
  for view in 32 64; do
    for key in "$clients\\KDX Test Twelve" "$clients\\KDX Test Eleven" "$clients\\KDX Test 32" \
               "$clients\\KDX Test Both" "$clients\\KDX Test Dependency" "$clients\\KDX Test Missing"; do
      reg delete "$key" /f /reg:$view 2>/dev/null || true
    done
  done
  reg delete "$wms" /v MAPIXVER /f /reg:64 2>/dev/null || true
  reg delete 'HKCU\Software\Wine\WineBrowser' /v Mailers /f 2>/dev/null || true
  ;;
*)
  echo "usage: registry-fixture.sh add|delete" >&2
  exit 2
  ;;
esac
