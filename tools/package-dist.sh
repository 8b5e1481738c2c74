#!/bin/bash
# Packs both programs of each architecture (the dialog's MorvexDisabler.exe and the console's
# MorvexDisabler.com) with the DSC resource's manifest beside them, the administrators' README
# (CRLF, for Notepad) and their SHA-256 checksums into one zip that is the same byte for byte whenever its contents are: fixed member order,
# dates and permissions, and no extra attributes. Beside the zip it writes a Windows Installer
# package of each architecture (tools/package-msi.sh), MorvexDisabler-<version>-<x86|x64>.msi, and
# SHA256SUMS of the zip and the packages; with RELEASE_URL (the address the release's files are
# published under) also the WinGet manifests of the packages, in winget/.
#   package-dist.sh <dist root holding x86/ and x64/> <zip to write>
# The members' date is SOURCE_DATE_EPOCH when set, else the time of the last commit. The version is
# the project's, or PACKAGE_VERSION when set (the tests' packages of other versions).
# With SIGN_PFX (a .pfx/.p12 file) the programs in the zip carry an Authenticode signature (SHA-256);
# SIGN_PASSWORD_FILE holds the .pfx's password, SIGN_TIMESTAMP_URL names an RFC 3161 time-stamp
# server. A signature holds its signing time, so only unsigned zips are reproducible.
set -euo pipefail
dist=$1
zip=$(realpath -m "$2")
root=$(cd "$(dirname "$0")/.." && pwd)

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  # Outside a git checkout: the first moment a zip can record.
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 315532800)
fi

sign=()
if [ -n "${SIGN_PFX:-}" ]; then
  sign=(osslsigncode sign -pkcs12 "$SIGN_PFX" -h sha256 -n "Morvex Disabler" -i http://www.morvexsoft.com/)
  [ -z "${SIGN_TIMESTAMP_URL:-}" ] || sign+=(-ts "$SIGN_TIMESTAMP_URL")
  if [ -n "${SIGN_PASSWORD_FILE:-}" ]; then
    [ -r "$SIGN_PASSWORD_FILE" ] || { echo "package-dist.sh: cannot read $SIGN_PASSWORD_FILE" >&2; exit 1; }
  fi
elif [ -n "${SIGN_PASSWORD_FILE:-}${SIGN_TIMESTAMP_URL:-}" ]; then
  # Rather than an unsigned zip that looks like the signed release that was asked for.
  echo "package-dist.sh: SIGN_PASSWORD_FILE or SIGN_TIMESTAMP_URL given without SIGN_PFX" >&2
  exit 1
fi

# A failed run leaves no zip behind, least of all an unsigned one from an earlier run.
out=$(dirname "$zip")
version=${PACKAGE_VERSION:-$(sed -n 's/^project(MorvexDisabler VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")}
msis=("MorvexDisabler-$version-x64.msi" "MorvexDisabler-$version-x86.msi")
rm -f "$zip" "${msis[@]/#/$out/}" "$out/SHA256SUMS"
rm -rf "$out/winget"
stage=$(mktemp -d "${TMPDIR:-/tmp}/morvex-dist.XXXXXX")
trap 'rm -rf "$stage"' EXIT
programs=(x86/MorvexDisabler.com x86/MorvexDisabler.exe x64/MorvexDisabler.com x64/MorvexDisabler.exe)
manifests=(x86/MorvexDisabler.dsc.resource.json x64/MorvexDisabler.dsc.resource.json)
mkdir "$stage/x86" "$stage/x64"
# Text, and unsigned: DSC reads the manifest, Windows runs only the programs.
for manifest in "${manifests[@]}"; do
  cp "$dist/$manifest" "$stage/$manifest"
done
# The staged copies are signed, never the build's own output: make would take a signed program for
# up to date, and the reproducibility test compares dist/ with a fresh link.
# sign_copy <file> <signed copy>: the copy is the file itself when nothing is signed.
sign_copy() {
  if [ ${#sign[@]} -eq 0 ]; then
    cp "$1" "$2"
  elif [ -n "${SIGN_PASSWORD_FILE:-}" ]; then
    # The password goes through a pipe, not the command line that ps shows, and without its line
    # end, which older osslsigncode versions take for part of it.
    "${sign[@]}" -readpass <(printf '%s' "$(<"$SIGN_PASSWORD_FILE")") -in "$1" -out "$2" >&2
  else
    "${sign[@]}" -in "$1" -out "$2" >&2
  fi
}
for program in "${programs[@]}"; do
  sign_copy "$dist/$program" "$stage/$program"
done
sed -e "s/@VERSION@/$version/" -e 's/\r*$/\r/' "$root/docs/README-administrators.txt" >"$stage/README.txt"
(cd "$stage" && sha256sum "${programs[@]}" "${manifests[@]}" README.txt >SHA256SUMS)

members=(README.txt SHA256SUMS "${programs[@]}" "${manifests[@]}")
(cd "$stage" && chmod 644 "${members[@]}" && chmod 755 x86 x64 \
  && touch -d "@$SOURCE_DATE_EPOCH" "${members[@]}" x86 x64)
mkdir -p "$(dirname "$zip")"
# -X: no extra attributes (owner, Unix times); -D: no folder entries. Zip dates are local time.
(cd "$stage" && TZ=UTC zip -q -X -D -9 "$zip" "${members[@]}")
echo "$zip"

# The packages install the zip's files, signed programs included; the package itself is signed
# on its way out, like the programs.
packages=()
for arch in x64 x86; do
  files=$stage/msi-$arch
  mkdir "$files"
  cp "$stage/$arch"/* "$stage/README.txt" "$root/res/MorvexDisabler.ico" "$files/"
  chmod 644 "$files"/* && touch -d "@$SOURCE_DATE_EPOCH" "$files"/*
  msi=MorvexDisabler-$version-$arch.msi
  product_code=$(SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH "$root/tools/package-msi.sh" "$files" "$arch" "$version" "$stage/$msi")
  sign_copy "$stage/$msi" "$out/$msi"
  packages+=("$arch=$out/$msi=$product_code")
  echo "$out/$msi"
done
(cd "$out" && sha256sum "$(basename "$zip")" "${msis[@]}" >SHA256SUMS)
echo "$out/SHA256SUMS"

if [ -n "${RELEASE_URL:-}" ]; then
  python3 "$root/tools/winget-manifests.py" "$version" "$RELEASE_URL" "$out/winget" \
    "$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)" "${packages[@]}"
fi
