#!/usr/bin/env bash
# Prints the processor time appwatch.exe uses over one idle minute (no configuration, no display
# changes: its watcher only wakes every 2 seconds). Run inside the Wine bench:
#   winebench.sh exec --state DIR idle_benchmark.sh APPWATCH.EXE [SECONDS]
# The figures come from Linux's own accounting of the process, which Wine does not pass on to
# GetProcessTimes for other processes. Figures only; nothing here fails on a slow machine.
set -u
program=$1; seconds=${2:-60}
ticks_per_second=$(getconf CLK_TCK)

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

"$ZQ_WINE" "$program" &
pid=$!
sleep 3  # start-up is not idling
start=$(cpu_ticks "$pid") || { echo "appwatch did not start"; exit 1; }
sleep "$seconds"
end=$(cpu_ticks "$pid")
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
rm -f "$WINEPREFIX/drive_c/ZQ/Data/APPWATCH.log" "$WINEPREFIX/drive_c/zq/data/APPWATCH.log"
rmdir "$WINEPREFIX/drive_c/ZQ/Data" "$WINEPREFIX/drive_c/ZQ" \
      "$WINEPREFIX/drive_c/zq/data" "$WINEPREFIX/drive_c/zq" 2>/dev/null

used=$((end - start))
awk -v t="$used" -v hz="$ticks_per_second" -v s="$seconds" 'BEGIN {
  printf "appwatch idle for %d s: %.2f s of processor time (%.3f%% of one processor)\n",
         s, t / hz, 100 * t / hz / s }'
