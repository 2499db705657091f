#!/usr/bin/python3
"""Mock-up of the settings window built from the generated images, for eyeballing the art.

Places the images and texts where the program draws them (left-to-right or right-to-left
layout), with one list open, and writes the result flattened over a desktop-like colour.

    /usr/bin/python3 tools/art/preview.py IMAGE_DIR OUT.png [--rtl] [--disabled]
"""
import sys
from PIL import Image, ImageDraw, ImageFont

FONT_DIR = "/usr/share/fonts/truetype/liberation/"


def font(bold, size):
    name = "LiberationSans-Bold.ttf" if bold else "LiberationSans-Regular.ttf"
    return ImageFont.truetype(FONT_DIR + name, size)


def text_in_box(draw, box, text, fnt, fill, align="left", valign="top"):
    left, top, right, bottom = box
    x0, y0, x1, y1 = draw.textbbox((0, 0), text, font=fnt)
    width = draw.textlength(text, font=fnt)
    ascent, descent = fnt.getmetrics()
    height = ascent + descent
    x = left if align == "left" else right - width if align == "right" else (left + right - width) / 2
    y = top if valign == "top" else (top + bottom - height) / 2
    draw.text((round(x), round(y)), text, font=fnt, fill=fill)


def face_button(frame, box, caption, look):
    """OK / Cancel / Apply as the painter draws them (no image)."""
    layer = Image.new("RGBA", frame.size, (0, 0, 0, 0))
    draw = ImageDraw.Draw(layer)
    l, t, r, b = box
    draw.rounded_rectangle((l + 1, t + 1, r, b), 3, fill=(0, 0, 0, 77))
    if look == "normal":
        for y in range(t, b):
            g = round(132 + (123 - 132) * min(1.0, (y - t) / 30))
            draw.line((l, y, r - 1, y), fill=(g, g, g, 255))
        mask = Image.new("L", frame.size, 0)
        ImageDraw.Draw(mask).rounded_rectangle((l, t, r - 1, b - 1), 3, fill=255)
        grad = layer.copy()
        layer = Image.new("RGBA", frame.size, (0, 0, 0, 0))
        ImageDraw.Draw(layer).rounded_rectangle((l + 1, t + 1, r, b), 3, fill=(0, 0, 0, 77))
        layer.paste(grad, (0, 0), mask)
        text_fill = (255, 255, 255, 255)
    else:
        draw.rounded_rectangle((l, t, r - 1, b - 1), 3, fill=(123, 123, 123, 255),
                               outline=(91, 91, 91, 255), width=2)
        text_fill = (255, 255, 255, 128)
    frame.alpha_composite(layer)
    text_in_box(ImageDraw.Draw(frame), box, caption, font(False, 14), text_fill, "centre", "centre")


def main():
    image_dir, out = sys.argv[1], sys.argv[2]
    rtl = "--rtl" in sys.argv
    disabled = "--disabled" in sys.argv

    def img(name):
        return Image.open(f"{image_dir}/{name}.png").convert("RGBA")

    frame = Image.new("RGBA", (566, 460), (0, 0, 0, 0))
    frame.alpha_composite(img("IDI_PRXBK"))
    draw = ImageDraw.Draw(frame)
    white, dim = (255, 255, 255, 255), (255, 255, 255, 128)

    description = ("Use the Proximity sensor on your VARN notebook to turn your keyboard "
                   "backlight on or off, based on your presence in front of the computer.")
    body = font(False, 14)
    words, line, lines = description.split(), "", []
    for word in words:
        probe = (line + " " + word).strip()
        if draw.textlength(probe, font=body) > 469:
            lines.append(line)
            line = word
        else:
            line = probe
    lines.append(line)
    for n, text in enumerate(lines):
        text_in_box(draw, (50, 60 + 16 * n, 519, 130), text, body, white, "right" if rtl else "left")

    label = font(True, 16)
    label_fill = dim if disabled else white
    label_box = (308, 0, 558) if rtl else (74, 0, 274)
    for top, text in ((164, "Sensitivity (Range):"), (224, "Delay until off:")):
        box = (label_box[0], top, label_box[2], top + 30)
        text_in_box(draw, box, text, label, label_fill, "left" if rtl else "right", "centre")

    choice_x = 124 if rtl else 308
    field = font(True, 14)
    for top, text in ((165, "  Far"), (225, "  10 seconds")):
        frame.alpha_composite(img("IDI_COMBOBKNORMAL" if top == 165 else "IDI_COMBOBKHOVER"),
                              (choice_x, top))
        # right to left, the two leading spaces of a caption end up on its right
        pad = draw.textlength("  ", font=field) if rtl else 0
        box = (choice_x, top, choice_x + 153 - (20 if rtl else 0) - pad, top + 32)
        text_in_box(draw, box, text.strip() if rtl else text, field, white,
                    "right" if rtl else "left", "centre")

    check_x = 492 if rtl else 64
    frame.alpha_composite(img("IDI_CHECKBOXCHECKED" if disabled else "IDI_CHECKBOXUNCHECKED"),
                          (check_x, 339))
    check_label = (302, 339, 472, 354) if rtl else (94, 339, 264, 354)
    text_in_box(draw, check_label, "Disable Proximity sensor", body, white,
                "right" if rtl else "left")

    face_button(frame, (210, 388, 295, 416), "OK", "normal")
    face_button(frame, (311, 388, 396, 416), "Cancel", "normal")
    face_button(frame, (412, 388, 497, 416), "Apply", "disabled")

    if not disabled:
        # the sensitivity list opened under its button, row 1 hovered, row 0 current
        top = 195
        frame.alpha_composite(img("IDI_COMBOBK"), (choice_x, top))
        frame.alpha_composite(img("IDI_COMBOHIGHLIGHT"), (choice_x + 3, top + 9 + 24))
        frame.alpha_composite(img("IDI_COMBOCHECK"), (choice_x + 6, top + 9 + 8))
        for k, text in enumerate(("  Near", "  Far")):
            pad = draw.textlength("  ", font=field) if rtl else 0
            box = (choice_x + (0 if rtl else 16), top + 9 + 24 * k,
                   choice_x + 168 - (16 if rtl else 0) - pad, top + 33 + 24 * k)
            text_in_box(draw, box, text.strip() if rtl else text, field, white,
                        "right" if rtl else "left", "centre")

    backdrop = Image.new("RGBA", frame.size, (198, 206, 214, 255))
    backdrop.alpha_composite(frame)
    backdrop.convert("RGB").save(out)


if __name__ == "__main__":
    main()
