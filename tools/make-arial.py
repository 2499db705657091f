#!/usr/bin/python3
"""Writes arial.ttf and arialbd.ttf into a Wine prefix's Fonts folder.

A fresh prefix has no "Arial", and the programs ask for that family by name, as they must on
Windows. Liberation Sans has Arial's metrics; renamed to "Arial" it serves in its place.
"""
import os
import sys

from fontTools.ttLib import TTFont

SOURCES = {
    "arial.ttf": ("/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf", "Regular"),
    "arialbd.ttf": ("/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf", "Bold"),
}


def rename(source, target, style):
    font = TTFont(source)
    names = {
        1: "Arial",                 # family
        2: style,                   # subfamily
        4: "Arial" if style == "Regular" else "Arial " + style,  # full name
        6: "ArialMT" if style == "Regular" else "Arial-" + style + "MT",  # PostScript name
        16: "Arial",                # typographic family
    }
    for record in font["name"].names:
        if record.nameID in names:
            record.string = names[record.nameID]
    font.save(target)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, (source, style) in SOURCES.items():
        rename(source, os.path.join(folder, name), style)


if __name__ == "__main__":
    main()
