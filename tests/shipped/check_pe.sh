#!/usr/bin/env bash
# Checks a shipped executable's PE header: the expected machine, ASLR (DYNAMIC_BASE) and DEP
# (NX_COMPAT) on, and no import from a MinGW runtime DLL that would have to travel with it.
#   check_pe.sh OBJDUMP MACHINE PROGRAM.EXE      (MACHINE: i386 or x86-64)
set -u
objdump=$1; machine=$2; exe=$3
fail() { echo "FAIL: $exe: $*"; exit 1; }

[ -f "$exe" ] || fail "missing"
headers=$("$objdump" -p "$exe") || fail "objdump cannot read it"

case "$machine" in
  i386) echo "$headers" | grep -q 'file format pei-i386' || fail "not a 32-bit PE (pei-i386)" ;;
  x86-64) echo "$headers" | grep -q 'file format pei-x86-64' || fail "not a 64-bit PE" ;;
esac

flags=$(echo "$headers" | sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p')
echo "$flags" | grep -q 'DYNAMIC_BASE' || fail "DYNAMIC_BASE (ASLR) is not set"
echo "$flags" | grep -q 'NX_COMPAT' || fail "NX_COMPAT (DEP) is not set"

dlls=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
for runtime in libgcc libstdc++ libwinpthread mingwm10; do
  if echo "$dlls" | grep -q "^$runtime"; then
    fail "imports $(echo "$dlls" | grep "^$runtime" | head -1), which would have to ship with it"
  fi
done
echo "ok: $exe ($machine, DYNAMIC_BASE, NX_COMPAT, imports: $(echo $dlls))"
