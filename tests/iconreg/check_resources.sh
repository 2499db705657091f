#!/usr/bin/env bash
# Checks iconreg's resources in a built program: one icon group of seven images (256 as PNG,
# 128, 96, 48, 32, 24, 16), file and product version 1.2.1.0, and a manifest that asks for the
# highest available rights without UI access.
#   check_resources.sh ICONREG.EXE
set -u
exe=$1
fail() { echo "FAIL: $exe: $*"; exit 1; }
[ -f "$exe" ] || fail "missing"
command -v wrestool >/dev/null || fail "wrestool (icoutils) is missing"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

groups=$(wrestool -l --type=14 "$exe" | wc -l)
[ "$groups" = 1 ] || fail "expected one icon group, found $groups"
wrestool -x --raw --type=14 "$exe" >"$work/group" || fail "cannot extract the icon group"
wrestool -x --raw --type=16 "$exe" >"$work/version" || fail "no version resource"
wrestool -x --raw --type=24 "$exe" >"$work/manifest" || fail "no manifest"
mkdir -p "$work/icons"
for name in $(wrestool -l --type=3 "$exe" | sed -n 's/.*--name=\([0-9]*\).*/\1/p'); do
  wrestool -x --raw --type=3 --name="$name" "$exe" >"$work/icons/$name"
done

/usr/bin/python3 - "$work" <<'PY' || exit 1
import os, re, struct, sys
work = sys.argv[1]
def fail(message):
    print("FAIL:", message)
    sys.exit(1)

# The group: 6-byte header, then 14-byte entries naming icon resources by id.
group = open(os.path.join(work, "group"), "rb").read()
_, kind, count = struct.unpack_from("<HHH", group, 0)
if kind != 1 or count != 7:
    fail(f"icon group of type {kind} with {count} images, expected 7 icons")
sizes = []
for i in range(count):
    w, h, _, _, _, bits, size, ident = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
    w, h = w or 256, h or 256
    image = open(os.path.join(work, "icons", str(ident)), "rb").read()
    if len(image) != size:
        fail(f"image {ident}: {len(image)} bytes, the group says {size}")
    is_png = image[:8] == b"\x89PNG\r\n\x1a\n"
    if w == 256 and not is_png:
        fail("the 256-pixel image is not PNG")
    if w != 256 and is_png:
        fail(f"the {w}-pixel image is PNG, expected a bitmap")
    if not is_png:
        header_width, header_height = struct.unpack_from("<ii", image, 4)
        if header_width != w or header_height != 2 * h:
            fail(f"image {ident}: bitmap {header_width}x{header_height} for a {w}x{h} entry")
    sizes.append(w)
if sorted(sizes, reverse=True) != [256, 128, 96, 48, 32, 24, 16]:
    fail(f"image sizes {sizes}")

# VS_FIXEDFILEINFO starts with its signature 0xFEEF04BD.
version = open(os.path.join(work, "version"), "rb").read()
at = version.find(struct.pack("<I", 0xFEEF04BD))
if at < 0:
    fail("no fixed file information in the version resource")
file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", version, at + 8)
def dotted(ms, ls):
    return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
if dotted(file_ms, file_ls) != "1.2.1.0" or dotted(product_ms, product_ls) != "1.2.1.0":
    fail(f"file version {dotted(file_ms, file_ls)}, product version {dotted(product_ms, product_ls)}")
for text in ("FileVersion", "ProductVersion"):
    if "1.2.1.0".encode("utf-16-le") not in version or text.encode("utf-16-le") not in version:
        fail(f"string {text} 1.2.1.0 missing")

manifest = open(os.path.join(work, "manifest"), "rb").read().decode("utf-8")
level = re.search(r'<requestedExecutionLevel\s+level="([^"]+)"\s+uiAccess="([^"]+)"', manifest)
if not level or level.groups() != ("highestAvailable", "false"):
    fail(f"execution level {level.groups() if level else None}")
if not re.search(r'<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">'
                 r'true</dpiAware>', manifest):
    fail("the manifest does not declare system DPI awareness")
print("ok: seven icon images (256 PNG), version 1.2.1.0, highestAvailable without UI access")
PY
