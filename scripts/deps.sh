#!/usr/bin/env bash
# Installs the Debian packages of scripts/packages.txt that are missing (needs root or sudo).
# Packages of the i386 architecture (wine32:i386) only where the machine runs 32-bit programs
# (scripts/bitness.sh; KDX_32BIT=no leaves them out anyway): elsewhere they would install and
# never run, and wine32 would make Debian's `wine` start its 32-bit loader, for 64-bit programs
# too. Nothing installed already is removed.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/bitness.sh"
mapfile -t wanted < <(sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$here/packages.txt")
if ! kdx_runs_32bit; then
  mapfile -t skipped < <(printf '%s\n' "${wanted[@]}" | grep ':i386$' || true)
  mapfile -t wanted < <(printf '%s\n' "${wanted[@]}" | grep -v ':i386$' || true)
  [ ${#skipped[@]} -eq 0 ] ||
    echo "deps: this machine runs no 32-bit programs (KDX_32BIT=no): not installing ${skipped[*]}"
fi
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
# Packages of a foreign architecture (wine32:i386) need that architecture enabled first.
for arch in $(printf '%s\n' "${missing[@]}" | sed -n 's/.*:\([a-z0-9]*\)$/\1/p' | sort -u); do
  dpkg --print-foreign-architectures | grep -qx "$arch" || "${sudo_cmd[@]}" dpkg --add-architecture "$arch"
done
# A mirror in the middle of a sync serves a list that fails its check; it is whole again a
# little later. After three tries the install goes on with the lists apt has.
for try in 1 2 3; do
  "${sudo_cmd[@]}" apt-get update -qq && break
  [ "$try" -eq 3 ] && { echo "deps: apt-get update failed three times; installing from the lists apt has"; break; }
  echo "deps: apt-get update failed (try $try of 3); trying again in 30 s"
  sleep 30
done
install() { "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$@"; }
mapfile -t native < <(printf '%s\n' "${missing[@]}" | grep -v ':[a-z0-9]*$' || true)
mapfile -t foreign < <(printf '%s\n' "${missing[@]}" | grep ':[a-z0-9]*$' || true)
[ ${#native[@]} -eq 0 ] || install "${native[@]}"
# The foreign packages (wine32:i386) on their own: where their lists are incomplete (a mirror's
# list of that architecture failed) apt cannot match their versions with the native ones, and
# the build does not depend on them. What needs them says what it could not try (no wine32).
if [ ${#foreign[@]} -gt 0 ] && ! install "${foreign[@]}"; then
  line="deps: NOT INSTALLED, apt could not install ${foreign[*]} (see above); what needs them is skipped and named"
  echo "$line"
  [ -z "${KDX_TEST_NOTES:-}" ] || echo "$line" >>"$KDX_TEST_NOTES"
fi
