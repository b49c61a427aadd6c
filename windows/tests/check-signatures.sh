#!/usr/bin/env bash
# The signing of the Windows build, checked in the Windows stage (scripts/test.d/30-wine.sh):
#   check-signatures.sh make DIR      a throw-away code-signing certificate made with openssl:
#                                     DIR/test.p12 (password in DIR/password) and DIR/cert.pem
#   check-signatures.sh verify DIR OUTDIR
#                                     every program and installer in OUTDIR carries a signature
#                                     by that certificate that osslsigncode verifies, and the
#                                     programs carry no debug sections
set -euo pipefail
mode=${1:-}
dir=${2:-}
[ -n "$dir" ] || { echo "usage: check-signatures.sh make DIR | verify DIR OUTDIR" >&2; exit 2; }
case $mode in
  make)
    mkdir -p "$dir"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -keyout "$dir/key.pem" -out "$dir/cert.pem" \
      -subj "/CN=KDX manager test signing" -addext "keyUsage=critical,digitalSignature" \
      -addext "extendedKeyUsage=codeSigning" 2>"$dir/openssl.log"
    (umask 077 && openssl rand -hex 16 >"$dir/password")
    openssl pkcs12 -export -inkey "$dir/key.pem" -in "$dir/cert.pem" -out "$dir/test.p12" \
      -passout "file:$dir/password" 2>>"$dir/openssl.log"
    ;;
  verify)
    out=${3:?OUTDIR}
    for file in KDXMngr.exe kdxmapi32.exe KDXManager-Setup.exe KDXManager.msi; do
      [ -f "$out/$file" ] || { echo "check-signatures: no $out/$file" >&2; exit 1; }
      if ! osslsigncode verify -CAfile "$dir/cert.pem" -in "$out/$file" >"$dir/verify.log" 2>&1 ||
        ! grep -q "^Signature verification: ok" "$dir/verify.log"; then
        cat "$dir/verify.log" >&2
        echo "check-signatures: the signature of $file does not verify" >&2
        exit 1
      fi
    done
    for file in KDXMngr.exe kdxmapi32.exe; do
      if x86_64-w64-mingw32-objdump -h "$out/$file" | grep -q '\.debug'; then
        echo "check-signatures: $file carries debug sections" >&2
        exit 1
      fi
    done
    echo "check-signatures: KDXMngr.exe, kdxmapi32.exe, KDXManager-Setup.exe and KDXManager.msi are signed and verify; the programs are stripped"
    ;;
  *)
    echo "usage: check-signatures.sh make DIR | verify DIR OUTDIR" >&2
    exit 2
    ;;
esac
