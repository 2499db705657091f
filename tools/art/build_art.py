#!/usr/bin/python3
"""Second stage of tools/make-art.sh: turns the rendered PNGs into the committed resources.

    /usr/bin/python3 tools/art/build_art.py RENDER_DIR REPO_ROOT
    /usr/bin/python3 tools/art/build_art.py --scaled OUT_DIR REPO_ROOT

RENDER_DIR holds what rsvg-convert made from art/: sensorctl/IDI_*.png and
icons/<name>-<size>.png. This script
  - pastes the 24 px program icon into the title bar of IDI_PRXBK,
  - writes every image as plain 8-bit RGBA PNG without metadata (byte-identical on re-runs),
  - packs the icon files: 32-bit entries (256 px stored as PNG), and for sensorctl also
    4- and 8-bit palettised entries with a 1-bit transparency mask.
With --scaled (a build step; nothing of it is committed) it renders the settings window's images
from art/ at every scale of the art list but 100 into OUT_DIR, the title-bar logo pasted at its
scaled place, each PNG rewritten only when it changed.
"""
import io
import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image

from art_list import ICON_FILES, IMAGE_SCALES, SENSORCTL_IMAGES, scaled_name, scaled_size

# Where the title-bar logo goes in IDI_PRXBK: vertically centred in the bar (y 19-52),
# left of the caption that starts at x 58.
TITLE_LOGO_ICON = "sensorctl-24"
TITLE_LOGO_AT = (28, 23)

# Legacy (palettised) entries treat a pixel as opaque from this alpha on.
MASK_ALPHA_THRESHOLD = 128


def png_bytes(image):
    """Plain RGBA PNG, no ancillary chunks, so the output depends on the pixels only."""
    out = io.BytesIO()
    image.save(out, format="PNG", optimize=True)
    return out.getvalue()


def write_if_changed(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if os.path.exists(path):
        with open(path, "rb") as existing:
            if existing.read() == data:
                return
    with open(path, "wb") as out:
        out.write(data)
    print("wrote", path)


def load_rgba(path, size):
    image = Image.open(path)
    image.load()
    image = image.convert("RGBA")
    if image.size != size:
        sys.exit(f"{path}: expected {size[0]}x{size[1]}, got {image.size[0]}x{image.size[1]}")
    return image


def and_mask_rows(alpha, width, height):
    """1-bit mask, bottom-up rows padded to 4 bytes: 1 = transparent (screen shows through)."""
    stride = ((width + 31) // 32) * 4
    rows = []
    pixels = alpha.load()
    for y in range(height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(width):
            if pixels[x, y] < MASK_ALPHA_THRESHOLD:
                row[x // 8] |= 0x80 >> (x % 8)
        rows.append(bytes(row))
    return b"".join(rows)


def bitmap_info_header(width, height, bits, image_size, colours):
    # The height counts the colour bitmap and the mask together.
    return struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0, image_size, 0, 0,
                       colours, 0)


def dib_32(image):
    width, height = image.size
    pixels = image.load()
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b, a = pixels[x, y]
            row += bytes((b, g, r, a))
        rows.append(bytes(row))
    colour = b"".join(rows)
    mask = and_mask_rows(image.getchannel("A"), width, height)
    return bitmap_info_header(width, height, 32, len(colour) + len(mask), 0) + colour + mask


def palettise(image, bits):
    """Indexed colour with index 0 = black for the masked-out pixels (black XOR leaves the
    screen as it is). Returns (palette as list of RGB, rows of indices top-down)."""
    width, height = image.size
    colours = (1 << bits) - 1
    pixels = image.load()
    opaque = [(x, y) for y in range(height) for x in range(width)
              if pixels[x, y][3] >= MASK_ALPHA_THRESHOLD]
    rgb = Image.new("RGB", image.size)
    # Fill transparent pixels with an opaque colour so they cost no palette entry.
    counts = {}
    for x, y in opaque:
        counts[pixels[x, y][:3]] = counts.get(pixels[x, y][:3], 0) + 1
    filler = max(counts, key=counts.get) if counts else (0, 0, 0)
    rgb.paste(filler, (0, 0, width, height))
    rgb_pixels = rgb.load()
    for x, y in opaque:
        rgb_pixels[x, y] = pixels[x, y][:3]

    reduced = rgb.quantize(colors=colours, method=Image.Quantize.MEDIANCUT,
                           dither=Image.Dither.NONE)
    used = len(reduced.getcolors(256))
    palette_flat = reduced.getpalette()[:3 * used]
    if bits == 4 and width >= 48:
        # Larger images carry gradients that band badly in 15 colours: dither them against
        # the palette just found. Pixels can only land on those entries.
        palette_image = Image.new("P", (1, 1))
        palette_image.putpalette(palette_flat + palette_flat[:3] * (256 - used))
        reduced = rgb.quantize(palette=palette_image, dither=Image.Dither.FLOYDSTEINBERG)
    index = reduced.load()
    palette = [(0, 0, 0)] + [tuple(palette_flat[i:i + 3]) for i in range(0, 3 * used, 3)]
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            if pixels[x, y][3] >= MASK_ALPHA_THRESHOLD:
                i = index[x, y]
                # entries past the used ones repeat entry 0 (padding of the dither palette)
                row.append((i if i < used else 0) + 1)
            else:
                row.append(0)
        rows.append(row)
    return palette, rows


def dib_indexed(image, bits):
    width, height = image.size
    palette, rows = palettise(image, bits)
    entries = 1 << bits
    palette_bytes = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    palette_bytes += b"\0" * (4 * entries - len(palette_bytes))
    stride = ((width * bits + 31) // 32) * 4
    colour_rows = []
    for row in reversed(rows):
        packed = bytearray(stride)
        for x, i in enumerate(row):
            if bits == 8:
                packed[x] = i
            else:
                packed[x // 2] |= i << (4 if x % 2 == 0 else 0)
        colour_rows.append(bytes(packed))
    colour = b"".join(colour_rows)
    mask = and_mask_rows(image.getchannel("A"), width, height)
    return (bitmap_info_header(width, height, bits, len(colour) + len(mask), entries)
            + palette_bytes + colour + mask)


def build_ico(images, depths):
    """images: {size: RGBA image}. Entries largest first, deepest colour first."""
    entries = []
    for size in sorted(images, reverse=True):
        for bits in depths:
            image = images[size]
            if bits == 32:
                data = png_bytes(image) if size >= 256 else dib_32(image)
            else:
                data = dib_indexed(image, bits)
            entries.append((size, bits, data))
    header = struct.pack("<HHH", 0, 1, len(entries))
    offset = len(header) + 16 * len(entries)
    directory, blobs = b"", b""
    for size, bits, data in entries:
        dimension = 0 if size >= 256 else size
        colour_count = 16 if bits == 4 else 0
        directory += struct.pack("<BBBBHHII", dimension, dimension, colour_count, 0, 1, bits,
                                 len(data), offset)
        offset += len(data)
        blobs += data
    return header + directory + blobs


def render_svg(svg, width, height, out):
    subprocess.run(["rsvg-convert", "-w", str(width), "-h", str(height), svg, "-o", out],
                   check=True)
    return load_rgba(out, (width, height))


def render_scaled(out_dir, root):
    """Every image at every scale but 100, drawn from its SVG at the scaled size."""
    art = os.path.join(root, "art")
    with tempfile.TemporaryDirectory() as work:
        for percent in IMAGE_SCALES:
            if percent == 100:
                continue
            for name, _, width, height in SENSORCTL_IMAGES:
                size = (scaled_size(width, percent), scaled_size(height, percent))
                image = render_svg(os.path.join(art, "sensorctl", name + ".svg"), *size,
                                   os.path.join(work, "image.png"))
                if name == "IDI_PRXBK":
                    logo_size = scaled_size(24, percent)
                    logo = render_svg(os.path.join(art, "icons", TITLE_LOGO_ICON + ".svg"),
                                      logo_size, logo_size, os.path.join(work, "logo.png"))
                    image.alpha_composite(logo, tuple(scaled_size(v, percent)
                                                      for v in TITLE_LOGO_AT))
                write_if_changed(os.path.join(out_dir, scaled_name(name, percent) + ".png"),
                                 png_bytes(image))


def main():
    if sys.argv[1] == "--scaled":
        render_scaled(sys.argv[2], sys.argv[3])
        return
    render_dir, root = sys.argv[1], sys.argv[2]

    for name, _, width, height in SENSORCTL_IMAGES:
        image = load_rgba(os.path.join(render_dir, "sensorctl", name + ".png"), (width, height))
        if name == "IDI_PRXBK":
            logo = load_rgba(os.path.join(render_dir, "icons", TITLE_LOGO_ICON + ".png"), (24, 24))
            image.alpha_composite(logo, TITLE_LOGO_AT)
        write_if_changed(os.path.join(root, "sensorctl/resources/images", name + ".png"),
                         png_bytes(image))

    for path, drawing, sizes, depths in ICON_FILES:
        images = {size: load_rgba(os.path.join(render_dir, "icons", f"{drawing}-{size}.png"),
                                  (size, size))
                  for size in sizes}
        write_if_changed(os.path.join(root, path), build_ico(images, depths))


if __name__ == "__main__":
    main()
