#!/usr/bin/env bash
# Runs every test on a fresh machine: installs what is missing, builds the host, win32 and win64
# presets, and runs ctest for each. Host tests run under ASan and UBSan. The Wine suite runs
# twice: against the shipped 32-bit programs (win32) and against their 64-bit twins (win64), at
# the same time, each in its build's own WoW64 prefix and virtual display. Its tests spend most
# of their time waiting on Wine and the display, not on the processor, so two suites side by
# side take little longer than one. On a machine that cannot run 32-bit programs the win32 Wine
# tests report themselves skipped (ZQ_FORCE_NO_32BIT=1 pretends to be such a machine). Exits
# non-zero when anything fails; the last line says which of the two it did.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
status=0
for preset in host win32 win64; do
  echo "=== $preset: configure and build"
  if [ "$preset" = host ]; then
    cmake --preset "$preset" >/dev/null
  else
    cmake --preset "$preset" -DZQ_WINE_PREFIX= >/dev/null
  fi
  cmake --build "build/$preset" -j "$jobs"
done
echo "=== host: test"
# Host tests run in parallel; within a Wine suite, tests hold one lock per prefix and run one at
# a time.
ctest --test-dir build/host --output-on-failure -j "$jobs" || status=1
# Both suites run as jobs of their own process groups (set -m), so that a run stopped from
# outside (Ctrl-C, a time limit) ends them with all their tests and benches. The win32 suite is
# shown as it goes; the win64 suite writes a log, shown whole once the win32 suite has ended.
win64_log=build/win64/test-all.log
win32_suite="" win64_suite=""
stop_suites() {
  kill -- ${win32_suite:+-$win32_suite} ${win64_suite:+-$win64_suite} 2>/dev/null
  # A bench that is up has an env file in its state directory (`down` removes it).
  for env in build/win32/*/env build/win64/*/env; do
    [ -f "$env" ] && bash tools/winebench.sh down --state "$(dirname "$env")" >/dev/null 2>&1
  done
  exit 130
}
trap stop_suites INT TERM
set -m
ctest --test-dir build/win64 --output-on-failure -j "$jobs" </dev/null >"$win64_log" 2>&1 &
win64_suite=$!
echo "=== win32: test (the win64 suite runs meanwhile)"
ctest --test-dir build/win32 --output-on-failure -j "$jobs" </dev/null &
win32_suite=$!
set +m
wait "$win32_suite" || status=1
echo "=== win64: test"
wait "$win64_suite" || status=1
cat "$win64_log"

if reason=$(bash tools/winebench.sh can32); then
  echo "test-all: the Wine tests ran against the shipped 32-bit programs and their 64-bit twins"
else
  echo "test-all: SKIPPED the Wine tests of the shipped 32-bit programs ($reason);" \
       "only their 64-bit twins ran under Wine"
fi
exit $status
