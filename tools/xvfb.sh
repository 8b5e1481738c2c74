# Sourced by the picture scripts: starts Xvfb on a display it picks itself.
#   start_xvfb WORK_DIR GEOMETRY NAME   sets xvfb (its pid) and exports DISPLAY; NAME prefixes errors.

start_xvfb() {
  local work=$1 geometry=$2 name=$3
  # -displayfd: the server picks a free display itself and names it once it is ready.
  rm -f "$work/display"
  Xvfb -displayfd 3 -screen 0 "${geometry}x24" -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.1
  done
  [ -s "$work/display" ] || { echo "$name: Xvfb did not start, see $work/xvfb.log" >&2; exit 1; }
  DISPLAY=":$(head -n1 "$work/display")"
  export DISPLAY
}
