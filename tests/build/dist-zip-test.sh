#!/bin/bash
# The distribution zip and the packages beside it: packed twice from the same programs, the second
# time from copies with other dates and permissions, they must come out the same (the zip, both
# Windows Installer packages and the SHA256SUMS beside them); unpacked, the zip must hold exactly the four
# programs (the dialog's and the console's, for x86 and x64), the DSC resource's manifest beside
# each pair, a CRLF README and checksums that verify.
#   dist-zip-test.sh <source dir> <dist root>
set -u
src=$1 dist=$2

work=$(mktemp -d "${TMPDIR:-/tmp}/morvex-dist-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The unsigned zip, even when make passes a certificate on to its recipes.
unset SIGN_PFX SIGN_PASSWORD_FILE SIGN_TIMESTAMP_URL RELEASE_URL
# 2010-01-01 00:00:00 UTC: every member must carry exactly this date, whatever the local zone.
export SOURCE_DATE_EPOCH=1262304000
"$src/tools/package-dist.sh" "$dist" "$work/first/MorvexDisabler.zip" >/dev/null || { echo "FAIL: packing failed" >&2; exit 1; }

mkdir -p "$work/copy/x86" "$work/copy/x64"
files="x64/MorvexDisabler.com x64/MorvexDisabler.dsc.resource.json x64/MorvexDisabler.exe x86/MorvexDisabler.com x86/MorvexDisabler.dsc.resource.json x86/MorvexDisabler.exe"
for file in $files; do
  cp "$dist/$file" "$work/copy/$file"
  chmod 700 "$work/copy/$file"
  touch -d '2011-11-11 11:11' "$work/copy/$file"
done
(umask 077 && TZ=Pacific/Kiritimati "$src/tools/package-dist.sh" "$work/copy" "$work/second/MorvexDisabler.zip" >/dev/null) \
  || { echo "FAIL: packing the copies failed" >&2; exit 1; }
version=$(sed -n 's/^project(MorvexDisabler VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
beside="MorvexDisabler.zip MorvexDisabler-$version-x64.msi MorvexDisabler-$version-x86.msi SHA256SUMS"
for file in $beside; do
  cmp -s "$work/first/$file" "$work/second/$file" || fail "two packings of the same programs differ in $file"
done
[ "$(ls "$work/first" | sort | tr '\n' ' ')" = "$(echo $beside | tr ' ' '\n' | sort | tr '\n' ' ')" ] \
  || fail "beside the zip: $(ls "$work/first")"
(cd "$work/first" && sha256sum --quiet --strict -c SHA256SUMS) || fail "the checksums beside the zip do not verify"
[ "$(cut -d' ' -f3- "$work/first/SHA256SUMS" | tr '\n' ' ')" = "${beside% SHA256SUMS} " ] \
  || fail "SHA256SUMS beside the zip lists: $(cut -d' ' -f3- "$work/first/SHA256SUMS")"
mv "$work/first/MorvexDisabler.zip" "$work/first.zip"

dates=$(unzip -Z -T "$work/first.zip" | awk '/^-/ { print $7 }' | sort -u | tr '\n' ' ')
[ "$dates" = "20100101.000000 " ] || fail "member dates are not the fixed date: $dates"

members=$(unzip -Z1 "$work/first.zip" | sort | tr '\n' ' ')
[ "$members" = "README.txt SHA256SUMS $files " ] \
  || fail "unexpected members: $members"

mkdir "$work/unpacked"
unzip -q "$work/first.zip" -d "$work/unpacked" || fail "unzip failed"
(cd "$work/unpacked" && sha256sum --quiet --strict -c SHA256SUMS) || fail "the checksums do not verify"
listed=$(cut -d' ' -f3- "$work/unpacked/SHA256SUMS" | sort | tr '\n' ' ')
[ "$listed" = "README.txt $files " ] || fail "SHA256SUMS lists: $listed"
for file in $files; do
  cmp -s "$dist/$file" "$work/unpacked/$file" || fail "$file is not the one built"
done

readme=$work/unpacked/README.txt
lines=$(wc -l <"$readme")
[ "$lines" -gt 0 ] && [ "$(grep -c $'\r$' "$readme")" -eq "$lines" ] || fail "README.txt has lines without CRLF"
[ -z "$(tail -c1 "$readme")" ] || fail "README.txt does not end with a line break"
[ "$(head -n1 "$readme")" = $'Morvex Disabler '"$version"$'\r' ] || fail "README.txt does not open with the version $version"
# The manifests carry it as semver, the fourth number as build metadata.
IFS=. read -r major minor patch tweak <<<"$version"
for manifest in x86/MorvexDisabler.dsc.resource.json x64/MorvexDisabler.dsc.resource.json; do
  grep -qF "\"version\": \"$major.$minor.$patch+$tweak\"" "$work/unpacked/$manifest" \
    || fail "$manifest does not carry the version $major.$minor.$patch+$tweak"
done
grep -qF 'reg delete "HKLM\SYSTEM\CurrentControlSet\Control\Keyboard Layout" /v "Scancode Map" /f' "$readme" \
  || fail "README.txt does not say how to undo"

[ "$failures" -eq 0 ] && echo "the zip and the packages are reproducible and verify"
exit $((failures > 0))
