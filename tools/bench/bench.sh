#!/bin/bash
# Start-up bench: builds the bare dialog program beside the product, times both under Wine and
# writes docs/performance.md. Run through `make bench`, which builds the product first.
#   bench.sh BUILD DIST [JOBS]
# BENCH_RUNS      measured starts of each program (default 21, at least 9)
# BENCH_MAX_LOAD  1-minute load average under which the machine counts as quiet (default 0.5)
# BENCH_WAIT      seconds to wait for a quiet machine before measuring anyway (default 600)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(realpath -m "${1:?usage: bench.sh BUILD DIST [JOBS]}")
DIST=$(realpath -m "${2:?usage: bench.sh BUILD DIST [JOBS]}")
JOBS=${3:-$(nproc)}
RUNS=${BENCH_RUNS:-21}
MAX_LOAD=${BENCH_MAX_LOAD:-0.5}
WAIT=${BENCH_WAIT:-600}
OUT=$BUILD/bench
mkdir -p "$OUT"

if [ "$RUNS" -lt 9 ]; then
  echo "bench: BENCH_RUNS must be at least 9 for a meaningful median" >&2
  exit 2
fi

# Trees of their own, so that the option never reaches the trees that `make test` builds.
for arch in x64 x86; do
  [ $arch = x64 ] && toolchain=x86_64 || toolchain=i686
  cmake -S "$ROOT" -B "$BUILD/bench-$arch" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-$toolchain.cmake" \
    -DMORVEX_BUILD_TESTS=OFF -DMORVEX_BENCH=ON >"$OUT/configure-$arch.log" \
    || { cat "$OUT/configure-$arch.log"; exit 1; }
done
cmake --build "$BUILD/bench-x64" -j "$JOBS" --target bench_bare bench_harness
cmake --build "$BUILD/bench-x86" -j "$JOBS" --target bench_bare

product64=$DIST/x64/MorvexDisabler.exe
product86=$DIST/x86/MorvexDisabler.exe
console64=$DIST/x64/MorvexDisabler.com
console86=$DIST/x86/MorvexDisabler.com
bare64=$BUILD/bench-x64/tools/bench/bare.exe
bare86=$BUILD/bench-x86/tools/bench/bare.exe
harness=$BUILD/bench-x64/tools/bench/bench_harness.exe
runner=$BUILD/bench-x64/bench-wine-run
for f in "$product64" "$product86" "$console64" "$console86" "$bare64" "$bare86" "$harness"; do
  [ -f "$f" ] || { echo "bench: $f is missing" >&2; exit 1; }
done

winpath() { local p=${1//\//\\}; echo "Z:$p"; }
load1() { cut -d' ' -f1 /proc/loadavg; }
quiet() { awk -v l="$(load1)" -v m="$MAX_LOAD" 'BEGIN { exit !(l < m) }'; }

# The runner makes the prefix on first use (null graphics driver before any window); the harness
# without arguments only prints its usage.
"$runner" "$harness" >/dev/null 2>&1 || true

# A server of our own that outlives every client: the starts measure the programs, not Wine's boot.
export WINEPREFIX=$BUILD/bench-x64/bench-wineprefix WINEDEBUG=-all
wineserver -k 2>/dev/null || true
wineserver -w
wineserver -p
trap 'WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null || true' EXIT

# Brings up Wine's own background processes and the file cache before anything is timed.
# The command line is timed as well: /status opens no window, so it should end before a bare dialog shows.
# So is the console program's, which is what a prompt waits for.
status="status=$(winpath "$product64")|/status"
console="console=$(winpath "$console64")|/status"
"$runner" "$harness" 1 "product=$(winpath "$product64")" "bare=$(winpath "$bare64")" "$status" "$console" >"$OUT/warmup.txt"

waited=0
until quiet || [ "$waited" -ge "$WAIT" ]; do
  [ "$waited" -eq 0 ] && echo "bench: waiting up to ${WAIT}s for the load average ($(load1)) to fall below $MAX_LOAD"
  sleep 10
  waited=$((waited + 10))
done

load_before=$(load1)
echo "bench: $RUNS alternated starts of each program (load average $load_before)"
"$runner" "$harness" "$RUNS" "product=$(winpath "$product64")" "bare=$(winpath "$bare64")" "$status" "$console" >"$OUT/samples.txt"
load_after=$(load1)

# One more start of each, untimed, with Wine tracing the DLLs every process loads.
( unset DISPLAY WAYLAND_DISPLAY
  WINEDEBUG=+pid,+loaddll WINEDLLOVERRIDES="mscoree,mshtml=" \
    wine "$harness" 1 "product=$(winpath "$product64")" "bare=$(winpath "$bare64")" \
    </dev/null >"$OUT/traced.txt" 2>"$OUT/loaddll.txt" )

python3 "$ROOT/tools/bench/report.py" \
  --samples "$OUT/samples.txt" \
  --product-x64 "$product64" --product-x86 "$product86" --console-x64 "$console64" --console-x86 "$console86" --bare-x64 "$bare64" --bare-x86 "$bare86" \
  --compiler "$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' "$BUILD"/bench-x64/CMakeFiles/*/CMakeCXXCompiler.cmake | head -1)" \
  --load-before "$load_before" --load-after "$load_after" --max-load "$MAX_LOAD" \
  --traced-samples "$OUT/traced.txt" --loaddll "$OUT/loaddll.txt" \
  --output "$ROOT/docs/performance.md"
