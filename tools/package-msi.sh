#!/bin/bash
# Builds the Windows Installer package of one architecture from a folder that holds what it
# installs (both programs, the DSC manifest, README.txt) with Debian's wixl, then adds with msibuild
# what wixl cannot author: the Environment table with its two standard actions, and upgrades
# within the same three-part version (Windows Installer compares only the first three numbers).
#   package-msi.sh <staged files> <x86|x64> <version> <msi to write>
# The package is the same byte for byte whenever its files are: the product code follows from the
# architecture and the version, the package code from those and the files, and the database's
# dates are SOURCE_DATE_EPOCH, as are the dates of the files in its cabinet (set by the caller).
# Prints the product code.
set -euo pipefail
stage=$(realpath "$1") arch=$2 version=$3
msi=$(realpath -m "$4")
here=$(cd "$(dirname "$0")" && pwd)
: "${SOURCE_DATE_EPOCH:?package-msi.sh: SOURCE_DATE_EPOCH must be set}"

case $arch in
  x64) wixl_arch=x64 template='x64;1033' ;;
  x86) wixl_arch=x86 template='Intel;1033' ;;
  *) echo "package-msi.sh: unknown architecture $arch" >&2; exit 1 ;;
esac

# Name-based codes under the upgrade code: stable for a version, new for every other one, which a
# major upgrade needs. The package code also follows the files, so a signed build of the same
# version (other bytes) is another package, as Windows Installer requires.
upgrade_code=1853E6E0-859D-4091-92F4-55F18E60D665
read -r product_code package_code < <(python3 - "$upgrade_code" "$arch" "$version" "$stage" <<'PY'
import hashlib, sys, uuid
namespace = uuid.UUID(sys.argv[1])
arch, version, stage = sys.argv[2:5]
files = hashlib.sha256()
for name in ("MorvexDisabler.exe", "MorvexDisabler.com", "MorvexDisabler.dsc.resource.json", "README.txt", "MorvexDisabler.ico"):
    files.update(name.encode() + b"\0" + open(f"{stage}/{name}", "rb").read())
product = uuid.uuid5(namespace, f"product {arch} {version}")
package = uuid.uuid5(namespace, f"package {arch} {version} {files.hexdigest()}")
print("{%s}" % str(product).upper(), "{%s}" % str(package).upper())
PY
)

rm -f "$msi"
mkdir -p "$(dirname "$msi")"
# wixl dates the database with the clock; under faketime that clock reads SOURCE_DATE_EPOCH. It
# takes sources by paths relative to the folder it runs in.
(cd "$stage" && TZ=UTC faketime -f "$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')" \
  wixl -a "$wixl_arch" -o "$msi" -D Arch="$arch" -D Version="$version" -D ProductCode="$product_code" \
  -D Stage=. "$here/msi/MorvexDisabler.wxs")
# The summary: the subject and author that Windows shows in the file's properties, the platform, and the
# package code in place of the random one wixl drew.
msibuild "$msi" -s "Morvex Disabler $version ($arch)" "Morvex Softwares" "$template" "$package_code"
# PATH: appended at install, that part removed at uninstall; the two actions at their standard places.
msibuild "$msi" -i "$here/msi/Environment.idt"
query() { msibuild "$msi" -q "$1"; }
query "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('RemoveEnvironmentStrings', 3300)"
query "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('WriteEnvironmentStrings', 5200)"
# The upgrade row takes the same three-part version too (513 = 1 + 512, the maximum included), so
# a rebuild that changes only the fourth number replaces the installed one instead of joining it.
query "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'"
query "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`)
  VALUES ('{$upgrade_code}', '$version', 513, 'WIX_UPGRADE_DETECTED')"
echo "$product_code"
