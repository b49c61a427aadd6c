#!/usr/bin/env bash
# Builds the Windows Installer package from kdx-manager.wxs with msitools (Debian packages wixl
# and msitools), then adds with msibuild what wixl has no element for:
#  - code page 1250 for the database and the two Czech texts outside Latin-1 (wixl writes its
#    string table in Latin-1, whatever the source's Codepage says, and fails on other letters);
#  - the copy of the administrator's tables: MoveFile rows that copy kdx_imp.tab and kdx_exp.tab
#    from the folder named by the property TABLEFOLDER into %ProgramData%\KDX manager\ while the
#    component SharedTables is installed (nothing when TABLEFOLDER is not given, a missing file is
#    skipped), the MoveFiles action in the sequence, and TABLEFOLDER among the properties that
#    reach the elevated part of an install.
#
# Usage: build-msi.sh PROGRAM_DIR OUTPUT.msi VERSION
#   PROGRAM_DIR holds KDXMngr.exe, kdxmapi32.exe and translations/qtbase_cs.qm; VERSION is x.y.z
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: build-msi.sh PROGRAM_DIR OUTPUT.msi VERSION" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
program=$(cd "$1" && pwd)
output=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
version=$3
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "build-msi: version '$version' is not x.y.z" >&2; exit 2; }
for tool in wixl msibuild; do
  command -v "$tool" >/dev/null || { echo "build-msi: '$tool' is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done

rm -f "$output"
# wixl takes the files' Source names relative to the current folder.
(cd "$program" && wixl --arch x64 -D Version="$version" -o "$output" "$here/kdx-manager.wxs")

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kdx-msi.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
printf '\r\n\r\n1250\t_ForceCodepage\r\n' >"$scratch/_ForceCodepage.idt"
msibuild "$output" -i "$scratch/_ForceCodepage.idt"

q() { msibuild "$output" -q "$1"; }
q "UPDATE \`Registry\` SET \`Value\`='Přenosový soubor Velkor'
   WHERE \`Key\`='Software\\Classes\\KDXManager.TransferFile' AND \`Name\` IS NULL"
q "UPDATE \`LaunchCondition\` SET \`Description\`='Je nainstalována novější verze programu KDX manager.'
   WHERE \`Condition\`='NOT WIX_DOWNGRADE_DETECTED'"

q "CREATE TABLE \`MoveFile\` (\`FileKey\` CHAR(72) NOT NULL, \`Component_\` CHAR(72) NOT NULL,
   \`SourceName\` CHAR(255) LOCALIZABLE, \`DestName\` CHAR(255) LOCALIZABLE,
   \`SourceFolder\` CHAR(72), \`DestFolder\` CHAR(72) NOT NULL, \`Options\` INT NOT NULL
   PRIMARY KEY \`FileKey\`)"
for table in kdx_imp kdx_exp; do
  q "INSERT INTO \`MoveFile\` (\`FileKey\`, \`Component_\`, \`SourceName\`, \`DestName\`,
     \`SourceFolder\`, \`DestFolder\`, \`Options\`)
     VALUES ('AdminTable_$table', 'SharedTables', '$table.tab', '$table.tab', 'TABLEFOLDER',
     'SHAREDTABLESDIR', 0)"
done
q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('MoveFiles', 3800)"
q "UPDATE \`Property\` SET \`Value\`='TABLEFOLDER;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED'
   WHERE \`Property\`='SecureCustomProperties'"

# Every change arrived.
check() {
  local rows
  rows=$(msiinfo export "$output" "$1" | tr -d '\000')
  grep -qF -- "$2" <<<"$rows" || { echo "build-msi: $1 lacks '$2'" >&2; exit 1; }
}
check MoveFile AdminTable_kdx_exp
check InstallExecuteSequence MoveFiles
check Property 'TABLEFOLDER;'
check Registry 'Přenosový soubor Velkor'
check _ForceCodepage 1250
echo "build-msi: $output ($version)"
