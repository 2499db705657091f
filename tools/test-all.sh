#!/usr/bin/env bash
# Runs every test on a fresh machine: installs what is missing, builds the host, win32 and win64
# presets, and runs ctest for each. Host tests run under ASan and UBSan; the win64 tests run the
# Windows programs under Wine on a private virtual display; the win32 tests check the shipped
# 32-bit executables. Exits non-zero when anything fails.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
status=0
for preset in host win32 win64; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build "build/$preset" -j "$jobs"
done
for preset in host win32 win64; do
  echo "=== $preset: test"
  # Host tests run in parallel; Wine tests hold one lock per prefix and run one at a time.
  if ! ctest --test-dir "build/$preset" --output-on-failure -j "$jobs"; then
    status=1
  fi
done
exit $status
