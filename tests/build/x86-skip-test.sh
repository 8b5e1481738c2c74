#!/bin/bash
# Where the machine cannot run 32-bit programs, every x86 test must still be listed, under the x64
# test's name with x86 in front, and reported as skipped with the reason, never as passed. These
# machines do run them, so CTest runs here over the same trees with a stand-in for
# tools/runs-32bit.sh that says no.
#   x86-skip-test.sh <source dir> <build root>
set -u
src=$1 build=$2
reason="this machine cannot run 32-bit programs"

work=$(mktemp -d "${TMPDIR:-/tmp}/morvex-x86-skip.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

mkdir -p "$work/root/tools"
printf '#!/bin/sh\nexit 1\n' >"$work/root/tools/runs-32bit.sh"
chmod +x "$work/root/tools/runs-32bit.sh"
for tree in native x64 x86 fuzz; do ln -s "$build/$tree" "$work/$tree"; done
printf 'set(MORVEX_ROOT "%s")\nset(MORVEX_BUILD "%s")\ninclude("%s/tests/all-trees.cmake")\n' \
  "$work/root" "$work" "$src" >"$work/CTestTestfile.cmake"

names() { (cd "$work" && ctest -N -R "^$1\\." 2>/dev/null) | sed -n "s/^ *Test *#[0-9]*: $1\\.//p" | sort; }
x64=$(names x64)
x86=$(names x86)
[ -n "$x64" ] || fail "no x64 tests listed"
[ "$x86" = "$x64" ] || fail "the x86 tests listed are not the x64 ones: $(diff <(echo "$x64") <(echo "$x86") | head -5)"

run=$(cd "$work" && ctest -R '^x86\.' -j 4 2>&1)
count=$(grep -c . <<<"$x64")
skipped=$(grep -c '\*\*\*Skipped' <<<"$run")
[ "$skipped" -eq "$count" ] || fail "$skipped of $count x86 tests were reported as skipped"
grep -q "x86 tests skipped: $reason" <<<"$run" || fail "CTest does not say why the x86 tests are skipped"
grep -q "skipped: $reason" "$work/Testing/Temporary/LastTest.log" || fail "a skipped test does not say why"
grep -q "$reason" "$work/x86-skipped.txt" 2>/dev/null || fail "no reason left for make test to repeat"

[ "$failures" -eq 0 ] && echo "all $count x86 tests are listed and skipped, saying why"
exit $((failures > 0))
