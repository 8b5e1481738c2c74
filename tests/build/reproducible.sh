#!/bin/bash
# Builds the programs again from a copy of the source tree at another path, in build folders at
# other paths, and requires them to be byte for byte the ones in the dist folder: no time, path or
# other trace of one particular build may reach a shipped program.
#   reproducible.sh <source dir> <build root> <dist root>
set -eu
src=$1 build=$2 dist=$3
jobs=$(nproc)

work=$(mktemp -d "${TMPDIR:-/tmp}/morvex-reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The tree as it is now, edits included, without build output or history.
mkdir "$work/source"
tar -C "$src" --exclude=./.git --exclude=./build --exclude=./dist -cf - . | tar -C "$work/source" -xf -

status=0
for arch in x86 x64; do
  case $arch in x86) triplet=i686 ;; x64) triplet=x86_64 ;; esac
  # The same build type as the tree that built the shipped program.
  type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/$arch/CMakeCache.txt")
  cmake -S "$work/source" -B "$work/build-$arch" -DCMAKE_TOOLCHAIN_FILE="$work/source/cmake/toolchain-$triplet.cmake" \
    -DCMAKE_BUILD_TYPE="$type" -DMORVEX_BUILD_TESTS=OFF >"$work/$arch.log" 2>&1 \
    && cmake --build "$work/build-$arch" --target MorvexDisabler MorvexDisablerConsole -j "$jobs" >>"$work/$arch.log" 2>&1 \
    || { cat "$work/$arch.log"; echo "reproducible: the $arch rebuild failed" >&2; exit 1; }
  for program in MorvexDisabler.exe MorvexDisabler.com MorvexDisabler.dsc.resource.json; do
    if cmp "$dist/$arch/$program" "$work/build-$arch/$program"; then
      echo "$arch/$program: identical"
    else
      echo "$arch: the rebuild differs from $dist/$arch/$program; first differing bytes (offset, ours, theirs):" >&2
      cmp -l "$dist/$arch/$program" "$work/build-$arch/$program" | head -20 >&2 || true
      status=1
    fi
  done
done
exit $status
