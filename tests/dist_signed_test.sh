#!/usr/bin/env bash
# make dist with a throwaway certificate, on the built tree and inside its bench (CTest under make
# test): the packed program is signed with it and verifies against it alone, and a wrong password
# ends the run instead of making an unsigned download.
#   dist_signed_test.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:?build directory}")
work="$build/dist-signed"
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAILED: $*" >&2; exit 1; }

openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Recorder throwaway signer" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout pass:throwaway -out "$work/signer.pfx"

dist() { # DIST_DIR PASSWORD
  BUILD_DIR="$build" DIST_DIR="$1" SIGN_PFX="$work/signer.pfx" SIGN_PASSWORD="$2" "$root/scripts/dist.sh"
}
if dist "$work/wrong" wrong >"$work/wrong.log" 2>&1 || compgen -G "$work/wrong/*.zip" >/dev/null; then
  cat "$work/wrong.log"; fail "make dist went on with a wrong signing password"
fi

dist "$work/dist" throwaway | tee "$work/dist.log"
grep -q "^Recorder.exe is signed by /CN=Recorder throwaway signer" "$work/dist.log" ||
  fail "make dist did not say it signed"
zips=("$work"/dist/*.zip)
python3 -m zipfile -e "${zips[0]}" "$work/unpacked"
osslsigncode verify -in "$work"/unpacked/*/Recorder.exe -CAfile "$work/cert.pem" >"$work/verify.log" 2>&1 ||
  { cat "$work/verify.log"; fail "the packed Recorder.exe does not verify against the throwaway certificate"; }
grep -E "Message digest algorithm *: SHA256|Signature verification: ok" "$work/verify.log"
