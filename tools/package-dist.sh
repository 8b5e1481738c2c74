#!/bin/bash
# Packs both programs, the administrators' README (CRLF, for Notepad) and their SHA-256 checksums
# into one zip that is the same byte for byte whenever its contents are: fixed member order,
# dates and permissions, and no extra attributes.
#   package-dist.sh <dist root holding x86/ and x64/> <zip to write>
# The members' date is SOURCE_DATE_EPOCH when set, else the time of the last commit.
set -euo pipefail
dist=$1
zip=$(realpath -m "$2")
root=$(cd "$(dirname "$0")/.." && pwd)

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  # Outside a git checkout: the first moment a zip can record.
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 315532800)
fi

stage=$(mktemp -d "${TMPDIR:-/tmp}/morvex-dist.XXXXXX")
trap 'rm -rf "$stage"' EXIT
programs=(x86/MorvexDisabler.exe x64/MorvexDisabler.exe)
mkdir "$stage/x86" "$stage/x64"
for program in "${programs[@]}"; do
  cp "$dist/$program" "$stage/$program"
done
version=$(sed -n 's/^project(MorvexDisabler VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
sed -e "s/@VERSION@/$version/" -e 's/\r*$/\r/' "$root/docs/README-administrators.txt" >"$stage/README.txt"
(cd "$stage" && sha256sum "${programs[@]}" README.txt >SHA256SUMS)

members=(README.txt SHA256SUMS "${programs[@]}")
(cd "$stage" && chmod 644 "${members[@]}" && chmod 755 x86 x64 \
  && touch -d "@$SOURCE_DATE_EPOCH" "${members[@]}" x86 x64)
mkdir -p "$(dirname "$zip")"
rm -f "$zip"
# -X: no extra attributes (owner, Unix times); -D: no folder entries. Zip dates are local time.
(cd "$stage" && TZ=UTC zip -q -X -D -9 "$zip" "${members[@]}")
echo "$zip"
