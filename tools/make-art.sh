#!/bin/bash
# Regenerates every PNG and ICO of the three programs from the SVG drawings under art/.
# The results are committed; the build itself renders only the settings window's larger image
# sets (tools/art/build_art.py --scaled, with rsvg-convert and PIL).
#
#   tools/make-art.sh            render and write the resources (only changed files are rewritten)
#
# Needs: rsvg-convert (librsvg2-bin), /usr/bin/python3 with PIL (python3-pil),
#        icotool (icoutils) for the listing at the end, and the Liberation fonts
#        (fonts-liberation) for the title-bar caption.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
art="$root/art"
python=/usr/bin/python3

for tool in rsvg-convert icotool "$python"; do
    command -v "$tool" >/dev/null || { echo "make-art: $tool is missing (tools/install-deps.sh)" >&2; exit 1; }
done
fc-list | grep -q "LiberationSans-Bold" || { echo "make-art: Liberation Sans Bold font is missing" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/sensorctl" "$work/icons"

# Settings window images: drawn 1:1, rendered at their own size.
for svg in "$art"/sensorctl/IDI_*.svg; do
    rsvg-convert "$svg" -o "$work/sensorctl/$(basename "$svg" .svg).png"
done

# Icons: 16, 24 and 32 px (and 48 where present) have hand-placed drawings of their own;
# every other size comes from the 256 px master drawing.
for name in sensorctl appwatch iconreg; do
    for size in 16 24 32 48 64 72 96 128 256; do
        own="$art/icons/$name-$size.svg"
        if [ -f "$own" ]; then
            rsvg-convert "$own" -o "$work/icons/$name-$size.png"
        else
            rsvg-convert -w "$size" -h "$size" "$art/icons/$name-256.svg" -o "$work/icons/$name-$size.png"
        fi
    done
done

"$python" "$root/tools/art/build_art.py" "$work" "$root"

for ico in sensorctl/resources/icons/sensorctl.ico appwatch/resources/icons/appwatch.ico \
           appwatch/resources/icons/appwatch_small.ico iconreg/resources/icons/iconreg.ico; do
    echo "== $ico"
    icotool -l "$root/$ico"
done
