#!/bin/bash
# The Windows Installer packages' tables, read with msiinfo: what Windows Installer, Group Policy
# and deployment tools go by (product and upgrade codes, per-machine, maker, version, the upgrade
# rows, launch conditions, the PATH entry, folders) and that the package runs no code of its own.
#   msi-tables-test.sh <source dir> <dist root>
set -u
src=$1 dist=$2

. "$(dirname "$0")/common.sh" morvex-msi-tables
other=9.8.7.6
pack "$version"
pack "$other"
upgrade_code='{1853E6E0-859D-4091-92F4-55F18E60D665}'

# The rows of a table, tab-separated, without msiinfo's three header lines.
rows() { msiinfo export "$1" "$2" | tr -d '\r' | tail -n +4; }
property() { rows "$1" Property | awk -F'\t' -v name="$2" '$1 == name { print $2 }'; }
has_row() { rows "$1" "$2" | grep -qxF "$3" || fail "$(basename "$1"): $2 has no row '$3'"; }

declare -A product_codes package_codes
for arch in x64 x86; do
  msi=$work/$version/MorvexDisabler-$version-$arch.msi
  name=$(basename "$msi")
  case $arch in
    x64) template='x64;1033' program_files=ProgramFiles64Folder component_attributes=256 ;;
    x86) template='Intel;1033' program_files=ProgramFilesFolder component_attributes=0 ;;
  esac

  # Per machine, by its maker, of this version, under the one upgrade code.
  for pair in "ALLUSERS=1" "Manufacturer=Morvex Softwares" "ProductName=Morvex Disabler" \
              "ProductVersion=$version" "UpgradeCode=$upgrade_code" "ARPURLINFOABOUT=$web_address" \
              "ARPPRODUCTICON=MorvexDisabler.ico"; do
    expect "$name: property ${pair%%=*}" "$(property "$msi" "${pair%%=*}")" "${pair#*=}"
  done
  product_codes[$arch]=$(property "$msi" ProductCode)
  [[ ${product_codes[$arch]} =~ ^\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}$ ]] \
    || fail "$name: the product code '${product_codes[$arch]}' is no upper-case GUID in braces"
  [ "$(property "$work/$other/MorvexDisabler-$other-$arch.msi" ProductCode)" != "${product_codes[$arch]}" ] \
    || fail "$name: another version has the same product code"
  summary=$(msiinfo suminfo "$msi" | tr -d '\r')
  expect "$name: platform and language" "$(sed -n 's/^Template: //p' <<<"$summary")" "$template"
  package_codes[$arch]=$(sed -n 's/^Revision number (UUID): //p' <<<"$summary")

  # A newer one replaces it (the same three-part version too: 512 includes the maximum); an older
  # one is refused with a message that says why.
  expect "$name: upgrade rows" "$(rows "$msi" Upgrade | sort | tr '\t\n' '|;')" \
    "$upgrade_code||$version||513||WIX_UPGRADE_DETECTED;$upgrade_code|$version|||2||WIX_DOWNGRADE_DETECTED;"
  has_row "$msi" LaunchCondition $'NOT WIX_DOWNGRADE_DETECTED\tA newer version of Morvex Disabler is already installed. Uninstall it first to install this older one.'
  has_row "$msi" LaunchCondition $'Installed OR VersionNT >= 601\tMorvex Disabler needs Windows 7 or later.'
  if [ "$arch" = x64 ]; then
    has_row "$msi" LaunchCondition $'VersionNT64\tThis package is for 64-bit Windows (x64). On 32-bit Windows install MorvexDisabler-'"$version"$'-x86.msi.'
  else
    ! rows "$msi" LaunchCondition | grep -q VersionNT64 || fail "$name: the x86 package asks for 64-bit Windows"
  fi

  # The folder, appended to the system PATH and taken out again; with the standard actions.
  expect "$name: environment rows" "$(rows "$msi" Environment)" $'SystemPath\t=-*PATH\t[~];[INSTALLFOLDER]\tConsole'
  has_row "$msi" InstallExecuteSequence $'WriteEnvironmentStrings\t\t5200'
  has_row "$msi" InstallExecuteSequence $'RemoveEnvironmentStrings\t\t3300'
  has_row "$msi" Directory $'INSTALLFOLDER\tMakerFolder\tMorvexDisabler'
  has_row "$msi" Directory $'MakerFolder\t'"$program_files"$'\tMorvexSoft'
  expect "$name: component attributes (256: 64-bit)" "$(rows "$msi" Component | cut -f4 | sort -u)" "$component_attributes"
  has_row "$msi" Shortcut "$(printf 'StartMenuShortcut\tProgramMenuFolder\tMorvex Disabler\tDialog\t[#MorvexDisabler.exe]\t\tSwitch off the Windows, Caps Lock and Left Ctrl keys\t\t\t\t\tINSTALLFOLDER\t\t\t\t')"

  # No code of its own: no custom action, nothing to run from the Binary table, no registry writes.
  for table in CustomAction Binary Registry; do
    expect "$name: rows of $table" "$(rows "$msi" "$table" | wc -l)" 0
  done

  # The files are the zip's, nothing else.
  mkdir -p "$work/extract-$arch"
  (cd "$work/extract-$arch" && msiextract "$msi" >/dev/null) || fail "$name: msiextract failed"
  # (msiextract names the 64-bit Program Files ".", the other "Program Files".)
  installed=$(dirname "$(find "$work/extract-$arch" -name MorvexDisabler.exe | head -n1)")
  expect "$name: files" "$(find "$work/extract-$arch" -type f | sed "s|^$installed/||" | sort | tr '\n' ' ')" \
    "MorvexDisabler.com MorvexDisabler.dsc.resource.json MorvexDisabler.exe README.txt "
  [[ $installed == */MorvexSoft/MorvexDisabler ]] || fail "$name: the files go to $installed"
  unzip -q -o "$work/$version/MorvexDisabler-$version.zip" -d "$work/zip"
  for file in MorvexDisabler.com MorvexDisabler.exe MorvexDisabler.dsc.resource.json; do
    cmp -s "$work/zip/$arch/$file" "$installed/$file" || fail "$name: $file is not the zip's"
  done
  cmp -s "$work/zip/README.txt" "$installed/README.txt" || fail "$name: README.txt is not the zip's"
  # Administrators copy it from the documentation into detection rules.
  grep -qF "| \`$name\` | \`${product_codes[$arch]}\` |" "$src/docs/deployment.md" 2>/dev/null \
    || fail "docs/deployment.md does not name $name's product code ${product_codes[$arch]}"
done
[ "${product_codes[x64]}" != "${product_codes[x86]}" ] || fail "both architectures have the product code ${product_codes[x64]}"
[ "${package_codes[x64]}" != "${package_codes[x86]}" ] || fail "both architectures have the package code ${package_codes[x64]}"

finish "the packages' tables hold what Windows Installer and the deployment tools go by"
