# What the packaging tests share, sourced with $src and $dist set: a work folder removed at the end
# (kept with KEEP=1), failures counted, the project's version, and packing without signature,
# manifests or the clock.
#   . common.sh <name of the work folder>
work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect() { [ "$2" = "$3" ] || fail "$1: got '$2', expected '$3'"; }
# Ends the test: passed, saying what held, when nothing failed.
finish() { [ "$failures" -eq 0 ] && echo "$1"; exit $((failures > 0)); }

# Unsigned, without WinGet manifests, even when make passes a certificate or an address on to its
# recipes; every date 2010-01-01 00:00:00 UTC.
unset SIGN_PFX SIGN_PASSWORD_FILE SIGN_TIMESTAMP_URL RELEASE_URL
export SOURCE_DATE_EPOCH=1262304000
# The About box's web address, which Add/Remove Programs shows too.
web_address=$(sed -n 's/.*s_szWebAddress\[\] = L"\([^"]*\)".*/\1/p' "$src/dialog/MorvexDisablerDlg.cpp")
version=$(sed -n 's/^project(MorvexDisabler VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
# pack <version>: the release of that version, from the programs in $dist, into $work/<version>.
pack() {
  PACKAGE_VERSION=$1 "$src/tools/package-dist.sh" "$dist" "$work/$1/MorvexDisabler-$1.zip" >/dev/null \
    || { echo "FAIL: packing $1 failed" >&2; exit 1; }
}
