#!/usr/bin/env bash
# Runs the settings window against the stand-in sensor service on a fresh machine: installs what
# is missing, builds the shipped 32-bit programs (their 64-bit twins where this machine cannot
# run 32-bit programs), brings up a Wine bench (your $DISPLAY, or a virtual display when there
# is none), installs and starts the stand-in service, and starts sensorctl.
#   tools/run-demo.sh            on $DISPLAY, until you close the window; with no DISPLAY, on a
#                                virtual display, saving a screenshot to build/demo/sensorctl.png
#   tools/run-demo.sh --shot F   on a virtual display: waits for the window, saves a screenshot
#                                to F (PNG), closes the window with its Cancel button
#   --build DIR                  build in DIR (default build/win32, or build/win64) and keep the
#                                bench in DIR/demo
#   --dpi N                      the display scale of the demo's prefix (LogPixels), e.g. 192 for
#                                200 %; it is set back to 96 afterwards
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
shot=""
build=""
dpi=96
while [ $# -gt 0 ]; do
  case "$1" in
    --shot) shot=${2:?--shot needs a file name}; shift 2 ;;
    --dpi) dpi=${2:?--dpi needs a number}; shift 2 ;;
    --build) build=${2:?--build needs a directory}; shift 2 ;;
    *) echo "usage: tools/run-demo.sh [--shot FILE.png] [--build DIR] [--dpi N]" >&2; exit 2 ;;
  esac
done

bash tools/install-deps.sh
if reason=$(bash tools/winebench.sh can32); then
  preset=win32 bits=32
else
  echo "run-demo: $reason; showing the 64-bit build instead of the shipped 32-bit one" >&2
  preset=win64 bits=64
fi
[ -n "$build" ] || build=build/$preset
state=$build/demo
[ -z "$shot" ] && [ -z "${DISPLAY:-}" ] && shot=$state/sensorctl.png
cmake --preset "$preset" -B "$build" >/dev/null
cmake --build "$build" -j 2 --target sensorctl zqprxsvc

bench() { bash tools/winebench.sh "$@"; }
up_args=(--state "$state" --bits "$bits" --service "$build/bin/tools/zqprxsvc.exe")
[ -n "$shot" ] && up_args+=(--private-display)
bench up "${up_args[@]}"
# Wine reads the scale when a program starts; 96 is the prefix's own value.
scale() {
  local change=(delete 'HKCU\Control Panel\Desktop' /v LogPixels /f)
  [ "$1" = 96 ] || change=(add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f)
  bench exec --state "$state" --timeout 60 bash -c '"$ZQ_WINE64" reg "$@" >/dev/null 2>&1' reg \
    "${change[@]}" || true
}
trap 'scale 96; bench down --state "$state" >/dev/null' EXIT
[ "$dpi" = 96 ] || scale "$dpi"

if [ -z "$shot" ]; then
  bench run --state "$state" --timeout 86400 "$build/bin/sensorctl.exe"
  exit 0
fi

mkdir -p "$(dirname "$shot")"
shot_path="$(cd "$(dirname "$shot")" && pwd)/$(basename "$shot")"
bench run --state "$state" --timeout 120 "$build/bin/sensorctl.exe" &
program=$!
status=0
bench exec --state "$state" --timeout 60 bash -c '
  window=""
  for _ in $(seq 1 150); do
    window=$(xdotool search --onlyvisible --classname sensorctl.exe 2>/dev/null | head -1)
    [ -n "$window" ] && break
    sleep 0.2
  done
  if [ -z "$window" ]; then
    echo "run-demo: the settings window did not appear" >&2
    exit 1
  fi
  sleep 1.5  # the first frames
  import -window root "$0"
  # Close it as a user would: the Cancel button, 353,402 inside the window at 96 DPI.
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool mousemove $((X + 353 * $1 / 96)) $((Y + 402 * $1 / 96)) click 1' "$shot_path" "$dpi" ||
  status=$?
if [ "$status" = 0 ]; then
  echo "run-demo: screenshot saved to $shot"
  for _ in $(seq 1 50); do
    kill -0 "$program" 2>/dev/null || break
    sleep 0.2
  done
fi
if kill -0 "$program" 2>/dev/null; then
  kill "$program" 2>/dev/null || true
  status=1
fi
wait "$program" 2>/dev/null || status=$?
[ "$status" = 0 ] || echo "run-demo: the settings window did not close cleanly ($status)" >&2
exit "$status"
