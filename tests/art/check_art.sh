#!/bin/bash
# Checks the committed artwork: image sizes and real alpha, the areas of the window background
# that the program paints over, and the entries of every icon file.
#   tests/art/check_art.sh            (exit 0 when all is well; prints each fault otherwise)
# Needs only a Python 3 standard library.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
python=python3
[ -x /usr/bin/python3 ] && python=/usr/bin/python3
exec "$python" - "$root" <<'EOF'
import os
import struct
import sys
import zlib

root = sys.argv[1]
sys.path.insert(0, os.path.join(root, "tools/art"))
from art_list import ICON_FILES, SENSORCTL_IMAGES  # noqa: E402  the one list of the art
faults = []


def fault(message):
    faults.append(message)
    print("FAIL:", message)


def decode_png(data):
    """Width, height, colour type, and for 8-bit RGBA the rows of (r, g, b, a) tuples."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour != 6 or interlace != 0:
        return width, height, colour, None
    raw = zlib.decompress(idat)
    stride, rows, previous = width * 4, [], bytearray(width * 4)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - 4] if i >= 4 else 0
            up = previous[i]
            corner = previous[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                predictor = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                line[i] = (line[i] + predictor) & 255
        rows.append([tuple(line[x * 4:x * 4 + 4]) for x in range(width)])
        previous = line
    return width, height, colour, rows


# Areas of the background the program draws texts and controls on, in both directions:
# they must be plain panel grey. (left, top, right, bottom), right and bottom exclusive.
PLAIN_AREAS = {
    "description": (50, 60, 519, 130),
    "labels left to right": (74, 164, 274, 254),
    "labels right to left": (308, 164, 546, 254),
    "drop-downs left to right": (308, 165, 461, 257),
    "drop-downs right to left": (124, 165, 277, 257),
    "open lists": (124, 195, 476, 345),
    "check box and label": (64, 339, 264, 359),
    "check box and label, right to left": (302, 339, 512, 359),
    "buttons": (210, 388, 497, 416),
}
PANEL_GREY = (91, 91, 91, 255)

pixels = {}
for name, _, width, height in SENSORCTL_IMAGES:
    path = os.path.join(root, "sensorctl/resources/images", name + ".png")
    if not os.path.exists(path):
        fault(f"{name}.png is missing")
        continue
    w, h, colour, rows = decode_png(open(path, "rb").read())
    if (w, h) != (width, height):
        fault(f"{name}.png is {w}x{h}, expected {width}x{height}")
    if rows is None:
        fault(f"{name}.png is not 8-bit RGBA (colour type {colour})")
        continue
    alphas = {p[3] for row in rows for p in row}
    if 255 not in alphas or min(alphas) == 255:
        fault(f"{name}.png has no real alpha (values {min(alphas)}..{max(alphas)})")
    # every picture is rounded or free-standing: its corner pixels are (nearly) see-through
    corners = (rows[0][0], rows[0][w - 1], rows[h - 1][0], rows[h - 1][w - 1])
    if any(p[3] > 16 for p in corners):
        fault(f"{name}.png: a corner pixel is not transparent {corners}")
    pixels[name] = rows

if "IDI_PRXBK" in pixels:
    rows = pixels["IDI_PRXBK"]
    for area, (left, top, right, bottom) in PLAIN_AREAS.items():
        odd = [(x, y) for y in range(top, bottom) for x in range(left, right)
               if rows[y][x] != PANEL_GREY]
        if odd:
            fault(f"IDI_PRXBK: {area} is not plain grey at {odd[0]} {rows[odd[0][1]][odd[0][0]]}")
    for glyph, (left, top) in (("minimise", (496, 32)), ("close", (516, 32))):
        lit = [rows[y][x] for y in range(top, top + 8) for x in range(left, left + 8)
               if min(rows[y][x][:3]) >= 180]
        if len(lit) < 8:
            fault(f"IDI_PRXBK: no {glyph} glyph in its 8 x 8 box")
        around = [rows[y][x] for y in (top - 1, top + 8) for x in range(left - 1, left + 9)]
        around += [rows[y][x] for y in range(top, top + 8) for x in (left - 1, left + 8)]
        if any(min(p[:3]) >= 120 for p in around):
            fault(f"IDI_PRXBK: {glyph} glyph spills out of its box")
    # the margin holds only a shadow: black, fading out towards the edge
    for x, y in ((0, 230), (2, 230), (283, 459), (565, 230), (283, 0)):
        if rows[y][x][3] > 8:
            fault(f"IDI_PRXBK: margin pixel {(x, y)} is not (nearly) transparent")
    if any(p[:3] != (0, 0, 0) for p in (rows[230][8], rows[450][283]) if p[3]):
        fault("IDI_PRXBK: the margin shadow is not black")
    # title bar is darker than the panel and ends before the description at y 60
    if not max(rows[35][300][:3]) < 91:
        fault("IDI_PRXBK: title bar is not dark")
    if rows[57][300] != PANEL_GREY:
        fault("IDI_PRXBK: title bar reaches into the description")
    # separators: something differs from the panel at about y 148 and y 372
    for y_range in ((144, 152), (368, 376)):
        if all(rows[y][283] == PANEL_GREY for y in range(*y_range)):
            fault(f"IDI_PRXBK: no separator line between y {y_range[0]} and {y_range[1]}")


for path, _, sizes, depths in ICON_FILES:
    expected = [(size, bits) for size in sizes for bits in depths]
    full = os.path.join(root, path)
    if not os.path.exists(full):
        fault(f"{path} is missing")
        continue
    data = open(full, "rb").read()
    reserved, kind, count = struct.unpack("<HHH", data[:6])
    if reserved != 0 or kind != 1:
        fault(f"{path}: not an icon file")
        continue
    found = []
    for i in range(count):
        w, h, colours, _, planes, bits, size, offset = struct.unpack(
            "<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
        w, h = w or 256, h or 256
        blob = data[offset:offset + size]
        if offset + size > len(data) or len(blob) != size:
            fault(f"{path}: entry {i + 1} runs past the end of the file")
            continue
        if planes != 1:
            fault(f"{path}: entry {i + 1} has {planes} planes")
        is_png = blob[:8] == b"\x89PNG\r\n\x1a\n"
        if (w == 256 and bits == 32) != is_png:
            fault(f"{path}: entry {i + 1} ({w} px, {bits} bit) should "
                  f"{'' if w == 256 and bits == 32 else 'not '}be stored as PNG")
        if is_png:
            pw, ph, colour, rows = decode_png(blob)
            if (pw, ph) != (w, h) or rows is None:
                fault(f"{path}: PNG entry {i + 1} is not {w}x{h} RGBA")
        else:
            _, bw, bh, bplanes, bbits = struct.unpack("<IiiHH", blob[:16])
            if (bw, bh, bbits) != (w, 2 * h, bits):
                fault(f"{path}: entry {i + 1} bitmap header {bw}x{bh}x{bbits} does not match")
            palette = 4 * (1 << bits) if bits <= 8 else 0
            stride = ((w * bits + 31) // 32) * 4
            mask_stride = ((w + 31) // 32) * 4
            if len(blob) != 40 + palette + stride * h + mask_stride * h:
                fault(f"{path}: entry {i + 1} has {len(blob)} bytes of bitmap, "
                      f"expected {40 + palette + stride * h + mask_stride * h}")
            if bits == 4 and colours != 16:
                fault(f"{path}: 4-bit entry {i + 1} claims {colours} colours")
        found.append((w, bits))
    if sorted(found) != sorted(expected):
        fault(f"{path}: entries {sorted(found)} differ from {sorted(expected)}")

print("art check:", "ok" if not faults else f"{len(faults)} fault(s)")
sys.exit(1 if faults else 0)
EOF
