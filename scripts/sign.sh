#!/usr/bin/env bash
# Signs a program in place (Authenticode, SHA-256) when SIGN_PFX (a PKCS#12 file) and SIGN_PASSWORD
# are set, with a timestamp from SIGN_TIMESTAMP_URL (RFC 3161) when that is set too, and verifies the
# signature; without them it leaves the program unsigned and says so.
#   sign.sh EXE
set -euo pipefail
exe=${1:?program to sign}

fail() { echo "make dist: $*" >&2; exit 1; }

if [ -z "${SIGN_PFX:-}" ]; then
  echo "Recorder.exe is not signed (set SIGN_PFX and SIGN_PASSWORD to sign it)."
  exit 0
fi
# A maintainer who meant to sign must not get an unsigned download by a slip.
[ -n "${SIGN_PASSWORD+set}" ] || fail "SIGN_PFX is set but SIGN_PASSWORD is not"
[ -r "$SIGN_PFX" ] || fail "cannot read SIGN_PFX ($SIGN_PFX)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
args=(sign -pkcs12 "$SIGN_PFX" -readpass /dev/stdin -h sha256 -n Recorder -in "$exe" -out "$work/signed.exe")
[ -z "${SIGN_TIMESTAMP_URL:-}" ] || args+=(-ts "$SIGN_TIMESTAMP_URL")
# The password goes through a pipe, not the command line that every process can read.
printf '%s' "$SIGN_PASSWORD" | osslsigncode "${args[@]}" >"$work/sign.log" 2>&1 ||
  { cat "$work/sign.log" >&2; fail "osslsigncode could not sign Recorder.exe with $SIGN_PFX"; }

# The signature must match the file and chain to the certificate given, or to one the system trusts
# (a certificate of a public authority). Trust on Windows is the authority's business.
# (A PKCS#12 file exported by older Windows is in the ciphers OpenSSL 3 calls legacy.)
export SIGN_PASSWORD
openssl pkcs12 -in "$SIGN_PFX" -nokeys -passin env:SIGN_PASSWORD -out "$work/given.pem" 2>/dev/null ||
  openssl pkcs12 -legacy -in "$SIGN_PFX" -nokeys -passin env:SIGN_PASSWORD -out "$work/given.pem" ||
  fail "cannot read the certificates of $SIGN_PFX"
cat /etc/ssl/certs/ca-certificates.crt 2>/dev/null >"$work/trusted.pem" || true
cat "$work/given.pem" >>"$work/trusted.pem"
if ! osslsigncode verify -in "$work/signed.exe" -CAfile "$work/trusted.pem" >"$work/verify.log" 2>&1; then
  cat "$work/verify.log" >&2; fail "the signature of Recorder.exe does not verify"
fi
mv "$work/signed.exe" "$exe"
signer=$(sed -n 's/^[[:space:]]*Subject: //p' "$work/verify.log" | head -1)
stamped=$([ -z "${SIGN_TIMESTAMP_URL:-}" ] || echo ", timestamped")
echo "Recorder.exe is signed by $signer (SHA-256$stamped), and the signature verifies."
