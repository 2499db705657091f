#!/usr/bin/env bash
# Runs every test on a fresh machine: installs what is missing, builds the host, win32 and win64
# presets, and runs ctest for each. Host tests run under ASan and UBSan. The Wine suite runs
# twice: against the shipped 32-bit programs (win32) and against their 64-bit twins (win64), one
# after the other in one shared WoW64 prefix. On a machine that cannot run 32-bit programs the
# win32 Wine tests report themselves skipped (ZQ_FORCE_NO_32BIT=1 pretends to be such a
# machine). Exits non-zero when anything fails; the last line says which of the two it did.
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
    cmake --preset "$preset" -DZQ_WINE_PREFIX="$root/build/wineprefix" >/dev/null
  fi
  cmake --build "build/$preset" -j "$jobs"
done
for preset in host win32 win64; do
  echo "=== $preset: test"
  # Host tests run in parallel; Wine tests hold one lock per prefix and run one at a time.
  if ! ctest --test-dir "build/$preset" --output-on-failure -j "$jobs"; then
    status=1
  fi
done

if reason=$(bash tools/winebench.sh can32); then
  echo "test-all: the Wine tests ran against the shipped 32-bit programs and their 64-bit twins"
else
  echo "test-all: SKIPPED the Wine tests of the shipped 32-bit programs ($reason);" \
       "only their 64-bit twins ran under Wine"
fi
exit $status
