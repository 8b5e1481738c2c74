#!/bin/bash
# Packs both programs of each architecture (the dialog's MorvexDisabler.exe and the console's
# MorvexDisabler.com) with the DSC resource's manifest beside them, the administrators' README
# (CRLF, for Notepad) and their SHA-256 checksums into one zip that is the same byte for byte whenever its contents are: fixed member order,
# dates and permissions, and no extra attributes.
#   package-dist.sh <dist root holding x86/ and x64/> <zip to write>
# The members' date is SOURCE_DATE_EPOCH when set, else the time of the last commit.
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
rm -f "$zip"
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
for program in "${programs[@]}"; do
  if [ ${#sign[@]} -eq 0 ]; then
    cp "$dist/$program" "$stage/$program"
  elif [ -n "${SIGN_PASSWORD_FILE:-}" ]; then
    # The password goes through a pipe, not the command line that ps shows, and without its line
    # end, which older osslsigncode versions take for part of it.
    "${sign[@]}" -readpass <(printf '%s' "$(<"$SIGN_PASSWORD_FILE")") \
      -in "$dist/$program" -out "$stage/$program" >&2
  else
    "${sign[@]}" -in "$dist/$program" -out "$stage/$program" >&2
  fi
done
version=$(sed -n 's/^project(MorvexDisabler VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
sed -e "s/@VERSION@/$version/" -e 's/\r*$/\r/' "$root/docs/README-administrators.txt" >"$stage/README.txt"
(cd "$stage" && sha256sum "${programs[@]}" "${manifests[@]}" README.txt >SHA256SUMS)

members=(README.txt SHA256SUMS "${programs[@]}" "${manifests[@]}")
(cd "$stage" && chmod 644 "${members[@]}" && chmod 755 x86 x64 \
  && touch -d "@$SOURCE_DATE_EPOCH" "${members[@]}" x86 x64)
mkdir -p "$(dirname "$zip")"
# -X: no extra attributes (owner, Unix times); -D: no folder entries. Zip dates are local time.
(cd "$stage" && TZ=UTC zip -q -X -D -9 "$zip" "${members[@]}")
echo "$zip"
