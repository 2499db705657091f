#!/usr/bin/env bash
# Checks the resources built into sensorctl.exe: every PNG image of the art list at every scale
# under its name, the icon group 130 with all its sizes, accelerator table 109, the manifest
# asking for administrator rights and declaring DPI awareness, version 1.0.18.0 and the string
# table in every language and carried id.
#   check_resources.sh WINDRES SENSORCTL.EXE IMAGE_DIR SCALED_IMAGE_DIR TABLE_COUNT
set -u
windres=$1; exe=$2; images=$3; scaled=$4; languages=$5
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

[ -f "$exe" ] || { echo "FAIL: no $exe"; exit 1; }
script=$(mktemp)
trap 'rm -f "$script" "$script.ico"' EXIT
"$windres" -i "$exe" -O rc -o "$script" || { echo "FAIL: windres cannot read $exe"; exit 1; }

# Every image of the art list at every scale, named as the list names it.
art_list=$(dirname "$0")/../../tools/art/art_list.py
resources=$(python3 "$art_list" --resource-files "$images" "$scaled") ||
  fail "the art list cannot be read"
while read -r name png; do
  if wrestool -x --raw --type=IMAGE --name="$name" "$exe" | cmp -s - "$png"; then
    ok "image $name"
  else
    fail "image $name is missing or differs from $png"
  fi
done <<<"$resources"

wrestool -x --type=14 --name=130 "$exe" -o "$script.ico" 2>/dev/null
sizes=$(icotool -l "$script.ico" 2>/dev/null | sed -n 's/.*--width=\([0-9]*\).*--bit-depth=\([0-9]*\).*/\1x\2/p' | sort -u | tr '\n' ' ')
for size in 16 24 32 48 64 72 96 128 256; do
  for depth in 4 8 32; do
    case " $sizes " in
      *" ${size}x${depth} "*) ;;
      *) fail "icon group 130 lacks ${size} pixels at ${depth} bits" ;;
    esac
  done
done
[ "$failures" = 0 ] && ok "icon group 130: $sizes"

accelerators=$(sed -n '/^109 ACCELERATORS/,/^END/p' "$script")
echo "$accelerators" | grep -q '"?", 104, ALT' || fail "accelerator Alt+? -> 104 missing"
echo "$accelerators" | grep -q '"/", 104, ALT' || fail "accelerator Alt+/ -> 104 missing"
[ "$(echo "$accelerators" | grep -c ', 104, ')" = 2 ] || fail "accelerator table 109 is not two entries"

grep -q 'requestedExecutionLevel level=""requireAdministrator"" uiAccess=""false""' "$script" ||
  fail "the manifest does not ask for administrator rights without UI access"
# Per-monitor (v2) DPI awareness, system awareness for systems without it.
grep -q 'dpiAwareness xmlns=""http://schemas.microsoft.com/SMI/2016/WindowsSettings"">PerMonitorV2<' "$script" ||
  fail "the manifest does not declare per-monitor (v2) DPI awareness"
grep -q 'dpiAware xmlns=""http://schemas.microsoft.com/SMI/2005/WindowsSettings"">true<' "$script" ||
  fail "the manifest has no system-aware fallback"
grep -q '^ FILEVERSION 1, 0, 18, 0' "$script" || fail "file version is not 1.0.18.0"
grep -q '^ PRODUCTVERSION 1, 0, 18, 0' "$script" || fail "product version is not 1.0.18.0"

# Strings 103-111 share a block (number 7) and 112-118 with 131 two more (8, 9): every language
# has block 7.
tables=$(grep -c '^STRINGTABLE' "$script")
block7=$(awk '/^LANGUAGE/ {lang=$0} /^STRINGTABLE/ {getline; getline; if ($1 == "103,") n++} END {print n+0}' "$script")
[ "$block7" = "$languages" ] || fail "string 103 is in $block7 languages, not $languages ($tables tables)"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all resources present ($tables string tables)"
