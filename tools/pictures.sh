#!/bin/bash
# Photographs the main dialog and the About box at 96 and 144 DPI for the documentation.
#   tools/pictures.sh <MorvexDisabler.exe> <picture_stage.exe> <output folder> <work folder>
# Writes main-96.png, about-96.png, main-144.png and about-144.png to the output folder, each
# cropped to its window. Runs on a virtual X server inside Wine's virtual desktop (which draws the
# caption that a missing window manager would not), in a prefix of its own in the work folder.
set -uo pipefail
. "$(dirname "$0")/xvfb.sh"

if [ $# -ne 4 ]; then
  echo "usage: $0 <MorvexDisabler.exe> <picture_stage.exe> <output folder> <work folder>" >&2
  exit 2
fi
program=$(realpath -e "$1") || { echo "pictures: no program at $1; build it first" >&2; exit 1; }
stage=$(realpath -e "$2") || { echo "pictures: no picture stage at $2; build it first" >&2; exit 1; }
out=$(realpath -m "$3")
work=$(realpath -m "$4")
mkdir -p "$out" "$work"

export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
SCREEN=1024x768
TIMEOUT=120

xvfb=
stage_pid=
cleanup() {
  wineserver -k >/dev/null 2>&1
  [ -n "$stage_pid" ] && wait "$stage_pid" 2>/dev/null
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
  fi
}
trap cleanup EXIT
# A server left from an earlier run would keep its desktop on a display that is gone.
wineserver -k >/dev/null 2>&1

start_xvfb "$work" "$SCREEN" pictures

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "pictures: making the Wine prefix $WINEPREFIX"
  wine wineboot.exe --init >"$work/wine.log" 2>&1
  wineserver -w
fi
# Debian's Wine 8 does not pick up the fonts it ships: without Marlett the caption's buttons are
# letters, and without Tahoma the dialogs take a wider font than Windows gives them.
for font in marlett.ttf tahoma.ttf tahomabd.ttf; do
  if [ -f "/usr/share/wine/fonts/$font" ] && [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/$font" ]; then
    cp "/usr/share/wine/fonts/$font" "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
done

# Waits for the stage to publish a window's place, photographs that part of the screen, and lets
# the stage go on by removing the file.
snap() {
  local geometry_file="$work/$1.geometry" picture="$out/$1-$2.png"
  for _ in $(seq $((TIMEOUT * 10))); do
    [ -s "$geometry_file" ] && break
    kill -0 "$stage_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$geometry_file" ]; then
    xwd -root -silent | convert xwd:- -strip "png:$work/failed-$1-$2.png"
    echo "pictures: the $1 window did not show at $2 DPI; the screen is in $work/failed-$1-$2.png" >&2
    return 1
  fi
  local geometry
  geometry=$(head -n1 "$geometry_file")
  xwd -root -silent | convert xwd:- -crop "$geometry" +repage -strip "png:$picture" || return 1
  rm -f "$geometry_file"
  echo "pictures: $picture ($geometry)"
}

status=0
for dpi in 96 144; do
  # The DPI is read when the desktop and each program start, so everything starts afresh.
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >>"$work/wine.log" 2>&1
  wineserver -k >/dev/null 2>&1
  wineserver -w
  rm -f "$work"/*.geometry
  wine explorer "/desktop=MorvexPictures,$SCREEN" "$stage" "$program" "$(winepath -w "$work")" >>"$work/wine.log" 2>&1 &
  stage_pid=$!
  snap main "$dpi" && snap about "$dpi" || status=1
  wait "$stage_pid" 2>/dev/null
  stage_pid=
done
exit $status
