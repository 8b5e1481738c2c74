#!/bin/bash
# Installs the Windows Installer package of one architecture with Wine's msiexec, as an
# administrator or a deployment tool would (/qn), in a prefix of its own made anew, and checks what
# Windows would show afterwards: the files in Program Files, the folder on the system PATH, the
# console program found through it by a new cmd in another folder, the Start menu shortcut, the
# Add/Remove Programs entry. Then: the same package again changes nothing, a newer one replaces it
# (one product, its files), an older one is refused, and the uninstall removes it all but leaves
# the stored keyboard layout byte for byte. The x64 package also replaces an installed x86 one.
#   msi-install-test.sh <source dir> <dist root> <wine-run> <prefix to make> <x64|x86>
set -u
src=$1 dist=$2 winerun=$3 prefix=$4 arch=$5

. "$(dirname "$0")/common.sh" morvex-msi-test
IFS=. read -r major minor patch _ <<<"$version"
newer=$major.$minor.$((patch + 1)).0
pack "$version"
pack "$newer"
msi() { echo "$work/$1/MorvexDisabler-$1-$arch.msi"; }
product_code() { msiinfo export "$(msi "$1")" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }'; }
old_product=$(product_code "$version") new_product=$(product_code "$newer")

# A prefix of its own, made anew: what an earlier run installed must not count.
export MORVEX_WINEPREFIX=$prefix
WINEPREFIX=$prefix wineserver -k 2>/dev/null
rm -rf "$prefix"
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
run() { timeout 300 "$winerun" "$@"; }
# msiexec prints nothing; through cmd something is printed, so wine-run takes a failure for the
# installer's own and does not start it again.
msiexec() {
  local log=$1; shift
  run cmd /c "echo msiexec $* & start /wait msiexec $* /qn /l*v $(winpath "$log")" >/dev/null
}

# Windows Installer keeps a 32-bit package's Add/Remove Programs entry in the 32-bit registry view.
case $arch in
  x64) program_files='C:\Program Files' view=/reg:64 ;;
  x86) program_files='C:\Program Files (x86)' view=/reg:32 ;;
esac
folder="$program_files\\MorvexSoft\\MorvexDisabler"
unix_folder="$prefix/drive_c/${program_files#C:\\}/MorvexSoft/MorvexDisabler"
can_run=yes
if [ "$arch" = x86 ] && [ ! -x /usr/lib/wine/wine ]; then
  can_run=""
  echo "the x86 programs are not run: there is no 32-bit Wine (wine32:i386)"
fi
layout_key='HKLM\SYSTEM\CurrentControlSet\Control\Keyboard Layout'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

system_path() {
  run reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' /v PATH \
    | sed -n 's/^ *PATH *REG_[A-Z_]* *//p' | tr -d '\r'
}
# How often the folder is on the system PATH (Windows Installer writes it with a final backslash).
path_count() { system_path | tr ';' '\n' | grep -cixF -e "$folder" -e "$folder\\"; }
products() { run reg query "$uninstall_key" /s $view | grep -c 'DisplayName *REG_SZ *Morvex Disabler'; }
stored_layout() { run reg query "$layout_key" /v "Scancode Map" 2>&1 | grep 'Scancode Map'; }
# Wine hands a Windows exit code on to Linux, which keeps its low 8 bits: 3010 arrives as 194,
# 1603 as 67.
expect_exit() { expect "$1 exits with (the low 8 bits of $3)" "$2" $(($3 & 255)); }

# Install.
msiexec "$work/install.log" /i "$(winpath "$(msi "$version")")"
expect_exit "installing" "$?" 0
for file in MorvexDisabler.exe MorvexDisabler.com MorvexDisabler.dsc.resource.json; do
  cmp -s "$dist/$arch/$file" "$unix_folder/$file" || fail "$file is not installed in $folder"
done
[ "$(head -n1 "$unix_folder/README.txt" 2>/dev/null)" = $'Morvex Disabler '"$version"$'\r' ] \
  || fail "README.txt of $version is not installed in $folder"
expect "times the system PATH holds $folder" "$(path_count)" 1
[ -z "$(stored_layout)" ] || fail "installing stored a keyboard layout: $(stored_layout)"

# A new prompt elsewhere finds the console program through PATH (cmd tries .COM before .EXE, as
# PATHEXT lists them), and its exit code reaches the prompt.
found=$(run cmd /c 'cd /d C:\users & for %i in (MorvexDisabler.com) do @echo %~$PATH:i' | tr -d '\r')
case $found in
  "$folder\\MorvexDisabler.com"|"$folder\\\\MorvexDisabler.com") ;;
  *) fail "a new cmd finds MorvexDisabler as '$found'" ;;
esac
if [ -n "$can_run" ]; then
  status=$(run cmd /c 'cd /d C:\users & MorvexDisabler /status')
  expect_exit "MorvexDisabler /status through PATH" "$?" 0
  grep -q '^Scope: all users' <<<"$status" || fail "MorvexDisabler /status through PATH printed: $status"
  run cmd /c 'cd /d C:\users & MorvexDisabler /status /bogus' >/dev/null 2>&1
  expect_exit "MorvexDisabler /status /bogus through PATH" "$?" 87
fi

# The shortcut goes where the installer resolved the Start menu's Programs folder.
programs=$(sed -n 's/^Property(S): ProgramMenuFolder = //p' "$work/install.log" | tr -d '\r' | head -n1)
unix_programs="$prefix/drive_c/$(echo "${programs#C:\\}" | tr '\\' /)"
shortcut="$unix_programs/Morvex Disabler.lnk"
[ -f "$shortcut" ] || fail "no shortcut 'Morvex Disabler' in $programs"
grep -aq 'MorvexDisabler.exe' "$shortcut" 2>/dev/null || fail "the shortcut does not lead to MorvexDisabler.exe"

# Add/Remove Programs.
arp=$(run reg query "$uninstall_key\\$old_product" $view | tr -d '\r')
for value in "DisplayName:Morvex Disabler" "Publisher:Morvex Softwares" "DisplayVersion:$version" \
             "URLInfoAbout:$web_address"; do
  grep -qE "^ *${value%%:*} +REG_SZ +${value#*:}\$" <<<"$arp" || fail "Add/Remove Programs lacks ${value%%:*} = ${value#*:}"
done
# Its icon: the package's, kept by Windows Installer for the product.
cmp -s "$src/res/MorvexDisabler.ico" "$prefix/drive_c/windows/Installer/$old_product/MorvexDisabler.ico" \
  || fail "the product's icon is not the program's"
run reg query 'HKLM\Software\Classes\Installer\Products' /s | grep -qF "ProductIcon    REG_SZ    C:\\windows\\Installer\\$old_product\\MorvexDisabler.ico" \
  || fail "the product does not name its icon"

# A layout stored by the installed program (or reg where it cannot run) is the administrator's.
if [ -n "$can_run" ]; then
  run cmd /c 'cd /d C:\users & MorvexDisabler /disable LWin,CapsLock' >/dev/null
  expect_exit "MorvexDisabler /disable LWin,CapsLock" "$?" 3010
else
  run reg add "$layout_key" /v "Scancode Map" /t REG_BINARY /d 000000000000000003000000000058e000003a0000000000 /f >/dev/null
fi
layout=$(stored_layout)
[ -n "$layout" ] || fail "no layout was stored"

# The same package again: nothing changes.
msiexec "$work/again.log" /i "$(winpath "$(msi "$version")")"
expect_exit "installing the same package again" "$?" 0
expect "products after installing the same package again" "$(products)" 1

# A newer version replaces it in place.
msiexec "$work/upgrade.log" /i "$(winpath "$(msi "$newer")")"
expect_exit "installing $newer over $version" "$?" 0
expect "products after the upgrade" "$(products)" 1
run reg query "$uninstall_key\\$new_product" $view >/dev/null 2>&1 || fail "$newer is not in Add/Remove Programs"
[ "$(head -n1 "$unix_folder/README.txt" 2>/dev/null)" = $'Morvex Disabler '"$newer"$'\r' ] \
  || fail "the upgrade did not install README.txt of $newer"
expect "times the system PATH holds $folder after the upgrade" "$(path_count)" 1
expect "the stored layout after the upgrade" "$(stored_layout)" "$layout"

# An older one is refused, with the reason in the log.
msiexec "$work/downgrade.log" /i "$(winpath "$(msi "$version")")"
expect_exit "installing $version over $newer" "$?" 1603
# Wine's log leaves out the launch condition's message (the tables test checks its text); it shows
# the newer product found.
grep -q "^Property(S): WIX_DOWNGRADE_DETECTED = $new_product" "$work/downgrade.log" \
  || fail "the refused downgrade's log does not name the newer product"
run reg query "$uninstall_key\\$new_product" $view >/dev/null 2>&1 || fail "the refused downgrade removed $newer"

# Uninstall: files, shortcut, PATH entry and the entry go; the layout stays.
msiexec "$work/uninstall.log" /x "$new_product"
expect_exit "uninstalling" "$?" 0
[ ! -e "$unix_folder" ] || fail "$folder is still there: $(ls "$unix_folder")"
[ ! -e "$shortcut" ] || fail "the shortcut is still there"
expect "times the system PATH holds $folder after the uninstall" "$(path_count)" 0
system_path | grep -qi 'system32' || fail "the uninstall took the rest of the system PATH with it: $(system_path)"
expect "products after the uninstall" "$(products)" 0
expect "the stored layout after the uninstall" "$(stored_layout)" "$layout"

# Both architectures share the upgrade code: the x64 package replaces an installed x86 one.
if [ "$arch" = x64 ]; then
  x86_msi=$work/$version/MorvexDisabler-$version-x86.msi
  msiexec "$work/x86.log" /i "$(winpath "$x86_msi")"
  expect_exit "installing the x86 package" "$?" 0
  msiexec "$work/x86-to-x64.log" /i "$(winpath "$(msi "$newer")")"
  expect_exit "installing the x64 package $newer over the x86 one" "$?" 0
  expect "x64 products over the x86 one" "$(products)" 1
  view=/reg:32
  expect "x86 products left beside the x64 one" "$(products)" 0
  view=/reg:64
  [ ! -e "$prefix/drive_c/Program Files (x86)/MorvexSoft/MorvexDisabler" ] || fail "the x86 package's folder is still there"
  msiexec "$work/uninstall-x64.log" /x "$new_product"
fi

if [ "$failures" -ne 0 ]; then
  for log in "$work"/*.log; do echo "--- $log"; grep -a -iE 'error|return value 3|note:' "$log" | head -20; done
fi
finish "the $arch package installs, upgrades and uninstalls as Windows Installer should"
