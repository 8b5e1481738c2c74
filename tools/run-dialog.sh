#!/bin/bash
# Shows the program's dialog under Wine, in a prefix of its own in the build folder (never ~/.wine).
#   tools/run-dialog.sh <dist>/x64/MorvexDisabler.exe <build dir>
# With a usable display the dialog opens there and the script waits until the user closes it.
# Without one, the program runs on a virtual X server inside Wine's virtual desktop (which draws
# the caption that a missing window manager would not); once the dialog is up, a picture of it is
# saved to <build dir>/screenshot.png and everything started here is ended again.
set -uo pipefail
. "$(dirname "$0")/xvfb.sh"

if [ $# -ne 2 ]; then
  echo "usage: $0 <MorvexDisabler.exe> <build dir>" >&2
  exit 2
fi
program=$(realpath -e "$1") || { echo "run-dialog: no program at $1; build it first (make build)" >&2; exit 1; }
build=$(realpath -m "$2")
work="$build/run-dialog"
mkdir -p "$work"

export WINEPREFIX="$build/run-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# A server left from an earlier run would keep its desktop on a display that may be gone.
wineserver -k >/dev/null 2>&1

if [ -n "${DISPLAY:-}" ] && timeout 10 xwd -root -silent >/dev/null 2>&1; then
  echo "run-dialog: showing the dialog on $DISPLAY; close it to finish."
  wine "$program"
  status=$?
  wineserver -k >/dev/null 2>&1
  exit $status
fi

CAPTION="Morvex Disabler by MorvexSoft"
SCREEN=800x600
TIMEOUT=120
xvfb=
cleanup() {
  wineserver -k >/dev/null 2>&1
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
  fi
}
trap cleanup EXIT

# Finds the dialog from inside Wine, where it is a window; to X it is only pixels of the desktop.
# It waits for a visible top-level window with the caption and writes its place as a crop
# geometry (WxH+X+Y, screen coordinates, which are the desktop's pixels).
finder="$work/find-window.exe"
if [ ! -f "$finder" ] || [ "$0" -nt "$finder" ]; then
  cat >"$work/find-window.c" <<'EOF'
#include <windows.h>
#include <stdio.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4)
        return 2;
    const DWORD start = GetTickCount(), limit = 1000u * (DWORD)_wtoi(argv[3]);
    while (GetTickCount() - start < limit) {
        HWND window = FindWindowW(NULL, argv[1]);
        RECT r;
        if (window && IsWindowVisible(window) && GetWindowRect(window, &r)) {
            Sleep(1000); /* the first paint of every control */
            wchar_t partial[MAX_PATH + 8];
            swprintf(partial, MAX_PATH + 8, L"%ls.part", argv[2]);
            FILE* out = _wfopen(partial, L"w");
            if (!out)
                return 3;
            fprintf(out, "%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
            fclose(out);
            return MoveFileExW(partial, argv[2], MOVEFILE_REPLACE_EXISTING) ? 0 : 3;
        }
        Sleep(200);
    }
    return 1;
}
EOF
  x86_64-w64-mingw32-gcc-posix -municode -O2 -s -o "$finder" "$work/find-window.c" \
    || { echo "run-dialog: could not build the window finder" >&2; exit 1; }
fi

rm -f "$work/geometry"
start_xvfb "$work" "$SCREEN" run-dialog

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "run-dialog: making the Wine prefix $WINEPREFIX"
  wine wineboot.exe --init >"$work/wine.log" 2>&1
  wineserver -w
fi
# Debian's Wine 8 does not pick up the Marlett it ships; without it the caption's close button
# is drawn as a letter "r".
if [ -f /usr/share/wine/fonts/marlett.ttf ] && [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ]; then
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
fi

# The desktop is as large as the screen, so its pixels and the screen's coincide.
wine explorer "/desktop=Morvex,$SCREEN" "$program" >>"$work/wine.log" 2>&1 &
wine explorer "/desktop=Morvex,$SCREEN" "$finder" "$CAPTION" "$(winepath -w "$work/geometry")" "$TIMEOUT" \
  >>"$work/wine.log" 2>&1 &
for _ in $(seq $((TIMEOUT * 10))); do
  [ -s "$work/geometry" ] && break
  sleep 0.1
done

shot="$build/screenshot.png"
if [ ! -s "$work/geometry" ]; then
  xwd -root -silent | convert xwd:- -strip "png:$shot"
  echo "run-dialog: no window \"$CAPTION\" within ${TIMEOUT}s; the whole screen is in $shot" >&2
  exit 1
fi
geometry=$(head -n1 "$work/geometry")
xwd -root -silent | convert xwd:- -crop "$geometry" +repage -strip "png:$shot" || exit 1
echo "run-dialog: screenshot of the dialog ($geometry on the screen) saved to $shot"
