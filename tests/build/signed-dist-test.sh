#!/bin/bash
# The signed release: packed with a throwaway self-signed code-signing certificate, every program in
# the zip (the dialog's and the console's, for x86 and x64) must carry a SHA-256 Authenticode signature that verifies against it, the checksums must
# be those of the signed programs, the built programs must stay unsigned, and the signed programs
# must run.
#   signed-dist-test.sh <source dir> <dist root> <wine-run>
set -u
src=$1 dist=$2 winerun=$3

work=$(mktemp -d "${TMPDIR:-/tmp}/morvex-signed-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cd "$work" || exit 1
printf 'not a secret\n' >password
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Morvex Disabler test signer" \
  -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning \
  -keyout key.pem -out cert.pem 2>/dev/null \
  && openssl pkcs12 -export -inkey key.pem -in cert.pem -passout file:password -out signer.pfx \
  || { echo "FAIL: openssl could not make the certificate" >&2; exit 1; }

built=$(cat "$dist"/x86/MorvexDisabler.* "$dist"/x64/MorvexDisabler.* | sha256sum)
SIGN_PFX=signer.pfx SIGN_PASSWORD_FILE=password "$src/tools/package-dist.sh" "$dist" release/signed.zip >pack.log 2>&1 \
  || { cat pack.log; echo "FAIL: packing with a signature failed" >&2; exit 1; }
[ "$(cat "$dist"/x86/MorvexDisabler.* "$dist"/x64/MorvexDisabler.* | sha256sum)" = "$built" ] \
  || fail "signing changed the built programs in $dist"

unzip -q release/signed.zip -d unpacked || fail "unzip failed"
(cd unpacked && sha256sum --quiet --strict -c SHA256SUMS) || fail "the checksums are not those of the signed programs"

(cd release && sha256sum --quiet --strict -c SHA256SUMS) || fail "the checksums beside the zip are not those of the signed files"
for msi in release/*.msi; do
  if ! osslsigncode verify -in "$msi" -CAfile cert.pem >verify-msi.log 2>&1; then
    cat verify-msi.log
    fail "$msi: the package's signature does not verify against the signing certificate"
  fi
  [ "$(sed -n 's/^Message digest algorithm *: *//p' verify-msi.log | sort -u | tr '\n' ' ')" = "SHA256 " ] \
    || fail "$msi: not signed with SHA-256 alone"
done
[ "$(ls release/*.msi | wc -l)" -eq 2 ] || fail "the signed release has not two packages: $(ls release)"

for name in x64/MorvexDisabler.exe x64/MorvexDisabler.com x86/MorvexDisabler.exe x86/MorvexDisabler.com; do
  program=$work/unpacked/$name
  log=verify-${name//\//-}.log
  if ! osslsigncode verify -in "$program" -CAfile cert.pem >"$log" 2>&1; then
    cat "$log"
    fail "$name: the signature does not verify against the signing certificate"
  fi
  # The file's digest and the signer's: both SHA-256, none weaker.
  digests=$(sed -n 's/^Message digest algorithm *: *//p' "$log" | sort -u | tr '\n' ' ')
  [ "$digests" = "SHA256 " ] || fail "$name: digest algorithms are '$digests', not SHA-256 alone"

  if [ "${name%%/*}" = x86 ] && [ ! -x /usr/lib/wine/wine ]; then
    echo "$name: not run, there is no 32-bit Wine (wine32:i386)"
    continue
  fi
  timeout 90 "$winerun" "$program" /status
  rc=$?
  [ $rc -eq 0 ] || fail "$name: the signed program's /status exited with $rc"
done

[ "$failures" -eq 0 ] && echo "every program and package is signed with SHA-256 and verifies, and the programs run"
exit $((failures > 0))
