#!/usr/bin/env bash
# Runs the settings window against the stand-in sensor service on a fresh machine: installs what
# is missing, builds the win64 programs, brings up a Wine bench (your $DISPLAY, or a virtual
# display when there is none), installs and starts the stand-in service, and starts sensorctl.
#   tools/run-demo.sh            on $DISPLAY, until you close the window; with no DISPLAY, on a
#                                virtual display, saving a screenshot to build/demo/sensorctl.png
#   tools/run-demo.sh --shot F   on a virtual display: waits for the window, saves a screenshot
#                                to F (PNG), closes the window
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
shot=""
[ "${1:-}" = "--shot" ] && shot=${2:?--shot needs a file name}
[ -z "$shot" ] && [ -z "${DISPLAY:-}" ] && shot=build/demo/sensorctl.png

bash tools/install-deps.sh
cmake --preset win64 >/dev/null
cmake --build build/win64 -j "$(nproc 2>/dev/null || echo 2)" --target sensorctl appwatch iconreg zqprxsvc

state=build/demo
bench() { bash tools/winebench.sh "$@"; }
up_args=(--state "$state" --service build/win64/bin/tools/zqprxsvc.exe)
[ -n "$shot" ] && up_args+=(--private-display)
bench up "${up_args[@]}"
trap 'bench down --state "$state" >/dev/null' EXIT

if [ -z "$shot" ]; then
  bench run --state "$state" --timeout 86400 build/win64/bin/sensorctl.exe
  exit 0
fi

bench run --state "$state" --timeout 120 build/win64/bin/sensorctl.exe &
program=$!
bench exec --state "$state" --timeout 60 bash -c '
  for _ in $(seq 1 100); do
    xdotool search --name "Proximity Sensor" >/dev/null 2>&1 && break
    sleep 0.2
  done
  sleep 1
  import -window root "$0"' "$(readlink -f "$(dirname "$shot")")/$(basename "$shot")"
echo "run-demo: screenshot saved to $shot"
bench exec --state "$state" --timeout 20 bash -c 'xdotool search --name "Proximity Sensor" windowclose 2>/dev/null || true'
kill "$program" 2>/dev/null || true
wait "$program" 2>/dev/null || true
