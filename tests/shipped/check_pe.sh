#!/usr/bin/env bash
# Checks a shipped image (program or DLL): the expected machine, ASLR (DYNAMIC_BASE) and DEP
# (NX_COMPAT) in its PE header, no import from a MinGW runtime DLL that would have to travel with
# it, and the stack protector and fortified copies: every object of the project's own that went
# into the image compiled with -fstack-protector-strong and -D_FORTIFY_SOURCE=2, calls to the
# stack check in it, and libssp (the checks' failure path) linked in statically. The image is
# stripped, so its objects are read from the link map the very link wrote beside it
# (IMAGE.map, with its cross-reference table) and their compile commands from the build's
# compile_commands.json.
#   check_pe.sh OBJDUMP MACHINE IMAGE BUILD_DIR      (MACHINE: i386 or x86-64)
set -u
objdump=$1; machine=$2; exe=$3; build=$4
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
for runtime in libgcc libstdc++ libwinpthread libssp mingwm10; do
  if echo "$dlls" | grep -q "^$runtime"; then
    fail "imports $(echo "$dlls" | grep "^$runtime" | head -1), which would have to ship with it"
  fi
done

# The stack and copy checks' failure path (libssp's) is inside the image itself.
grep -qaF '*** stack smashing detected ***' "$exe" || fail "libssp is not linked into it"
map="$exe.map"
[ -f "$map" ] || fail "no link map beside it ($map)"
# "symbol file" for every file of the project's build that references a symbol.
callers=$(sed -n '/^Cross Reference Table/,$p' "$map" | awk '
  /^[^ \t]/ && NF == 2 { symbol = $1; next }
  /^[ \t]+[^ \t]/ && symbol != "" && $1 !~ /^\/usr\// { print symbol, $1 }')
echo "$callers" | grep -q '^__stack_chk_fail ' ||
  fail "no code of its own calls __stack_chk_fail: built without -fstack-protector-strong"
# Every object of its own, as the map names it ("lib<target>.a(<object>)" or
# "CMakeFiles/<target>.dir/objects.a(<object>)"), and the command that compiled it.
unhardened=$(echo "$callers" | python3 -c '
import json, re, sys
commands = json.load(open(sys.argv[1]))
objects = {line.split(" ", 1)[1] for line in sys.stdin.read().splitlines() if " " in line}
checked = 0
for name in sorted(objects):
    match = (re.search(r"lib([^/]+)\.a\((.+\.obj)\)$", name) or
             re.search(r"CMakeFiles/([^/]+)\.dir/objects\.a\((.+\.obj)\)$", name))
    if not match:
        continue
    target, obj = match.groups()
    found = [c for c in commands for out in re.findall(r" -o (\S+)", c["command"])
             if f"/{target}.dir/" in "/" + out and out.endswith("/" + obj)]
    checked += 1
    if not found or any("-fstack-protector-strong" not in c["command"] or
                        "-D_FORTIFY_SOURCE=2" not in c["command"] for c in found):
        print(name)
if checked == 0:
    print("(no object of its own found in the map)")
' "$build/compile_commands.json") || fail "cannot read $build/compile_commands.json"
[ -z "$unhardened" ] ||
  fail "compiled without -fstack-protector-strong and -D_FORTIFY_SOURCE=2: $(echo $unhardened)"
echo "ok: $exe ($machine, DYNAMIC_BASE, NX_COMPAT, stack protector, fortified, imports: $(echo $dlls))"
