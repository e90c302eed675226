#!/usr/bin/python3
"""Renders the interface pictures of resources/image from the SVG sources in
resources/art with rsvg-convert.

Line icons are single glyphs drawn on a 24-unit grid in a neutral grey; each output
below picks a glyph, a colour, the pixel size and how much room is left around the
glyph, optionally on a rounded tile. Outputs marked hidpi also get an @2x file,
which Qt picks up by itself on high-density screens.
"""
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
ART = os.path.join(ROOT, "resources", "art")
OUT = os.path.join(ROOT, "resources", "image")

GREY = "#5F6672"
DARK = "#4A4F57"
ACCENT = "#347AEB"
DISABLED = "#C2C4C8"
WHITE = "#FFFFFF"

# name, glyph, size, colour, glyph share of the size, tile colour (or None), hidpi
ICONS = []


def icon(name, glyph, size, colour, share=1.0, tile=None, radius=0.25, hidpi=True, weight=None):
    ICONS.append(dict(name=name, glyph=glyph, size=size, colour=colour, share=share,
                      tile=tile, radius=radius, hidpi=hidpi, weight=weight))


# Side-panel tabs: grey at rest, white on the accent background of a hovered or
# checked tab.
for name, glyph in [("btn.cutout", "scissors"), ("btn.change.bg", "picture"), ("btn.crop", "crop"),
                    ("btn.beautify", "sparkle"), ("btn.advance", "sliders"), ("btn.more", "grid")]:
    icon(name, glyph, 46, GREY, share=0.56)
    icon(name + ".hover", glyph, 46, WHITE, share=0.56)

# Home page batch and toolbox entries: tinted tiles that fill with the accent on hover.
for name, glyph in [("btn.batch.person", "photos"), ("btn.batch.goods", "bags"), ("btn.remove.mark", "eraser")]:
    icon(name + ".normal", glyph, 64, ACCENT, share=0.5, tile="#EAF1FE", radius=0.28)
    icon(name + ".hover", glyph, 64, WHITE, share=0.5, tile=ACCENT, radius=0.28)

# Title bar.
for name, glyph in [("btn.min", "minimize"), ("btn.max", "maximize"), ("btn.close", "close"),
                    ("btn.menu", "menu"), ("btn.settings", "gear"), ("btn.customer", "headset"),
                    ("btn.user", "usercircle")]:
    icon(name, glyph, 24, DARK, share=0.72)
icon("btn.icon.user", "user", 16, GREY)

# Undo and restore with their three states; zoom bar magnifiers (the "in" button
# zooms the view out, so it carries the minus).
for name, glyph in [("btn.undo", "undo"), ("btn.restore", "redo")]:
    icon(name, glyph, 20, GREY, share=0.9)
    icon(name + ".hover", glyph, 20, ACCENT, share=0.9)
    icon(name + ".disable", glyph, 20, DISABLED, share=0.9)
icon("btn.zoom.in", "zoomminus", 20, GREY, share=0.9)
icon("btn.zoom.out", "zoomplus", 20, GREY, share=0.9)

# Batch tiles, output row and explanations.
icon("btn.del", "close", 20, WHITE, share=0.55, tile="#00000073", radius=0.5, weight=2.6)
icon("btn.del.hover", "close", 20, WHITE, share=0.55, tile="#F04848", radius=0.5, weight=2.6)
icon("btn.apply", "check", 24, WHITE, share=0.7, tile=ACCENT, radius=0.2, weight=2.4)
icon("btn.select.path", "folder", 20, GREY, share=0.9)
icon("comboBox.drop.down", "chevrondown", 12, "#666666", weight=2.2)
icon("label.explain", "info", 28, ACCENT, share=0.7)
icon("label.file", "file", 21, ACCENT, share=0.86)

# Whole pictures drawn in their own files: name, source, width, height, hidpi.
PICTURES = [
    ("label.icon.title", "logo.svg", 48, 48, True),
    ("logo.about", "logo.svg", 96, 96, False),
    ("label.user.avatar", "avatar.svg", 32, 32, True),
    ("btn.add", "add-page.svg", 108, 108, False),
    ("item.add", "add-tile.svg", 84, 84, False),
    ("btn.add.template", "add-template.svg", 76, 76, False),
    ("btn.select.color", "select-color.svg", 76, 76, False),
    ("btn.checked.template", "checked-template.svg", 68, 68, False),
]


# Home entry cards: one source per mode; its style rule hides the hover layers, and
# swapping the rule draws the hover state instead.
CARDS = [("person", "person.svg"), ("goods", "goods.svg"), ("card", "card.svg")]
CARD_SIZE = (460, 428)
NORMAL_RULE = ".hover{display:none}"
HOVER_RULE = ".normal{display:none}"


def rgba(colour):
    """#RRGGBB or #RRGGBBAA -> (fill, opacity) for SVG."""
    if len(colour) == 9:
        return colour[:7], int(colour[7:], 16) / 255.0
    return colour, 1.0


def glyph_svg(entry):
    with open(os.path.join(ART, "glyphs", entry["glyph"] + ".svg"), encoding="utf-8") as f:
        text = f.read()
    body = re.search(r"<svg[^>]*>(.*)</svg>", text, re.S).group(1)
    attrs = re.search(r"<svg([^>]*)>", text).group(1)
    stroke_width = entry["weight"] or float(re.search(r'stroke-width="([0-9.]+)"', attrs).group(1))
    # The glyph grid is 24 units; a smaller share leaves a margin around it.
    view = 24.0 / entry["share"]
    pad = (view - 24.0) / 2.0
    tile = ""
    if entry["tile"]:
        fill, opacity = rgba(entry["tile"])
        r = view * entry["radius"]
        tile = (f'<rect x="{-pad}" y="{-pad}" width="{view}" height="{view}" rx="{r}" '
                f'fill="{fill}" fill-opacity="{opacity}" stroke="none"/>')
    body = body.replace("#333333", entry["colour"])
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{entry["size"]}" height="{entry["size"]}" '
            f'viewBox="{-pad} {-pad} {view} {view}">{tile}'
            f'<g fill="none" stroke="{entry["colour"]}" stroke-width="{stroke_width}" '
            f'stroke-linecap="round" stroke-linejoin="round">{body}</g></svg>')


def render(svg_path, out_path, width, height):
    subprocess.run(["rsvg-convert", "-w", str(width), "-h", str(height), "-o", out_path, svg_path],
                   check=True)


def main():
    os.makedirs(OUT, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        for entry in ICONS:
            path = os.path.join(tmp, entry["name"] + ".svg")
            with open(path, "w", encoding="utf-8") as f:
                f.write(glyph_svg(entry))
            size = entry["size"]
            render(path, os.path.join(OUT, entry["name"] + ".png"), size, size)
            if entry["hidpi"]:
                render(path, os.path.join(OUT, entry["name"] + "@2x.png"), 2 * size, 2 * size)
        for mode, source in CARDS:
            normal = os.path.join(ART, "cards", source)
            with open(normal, encoding="utf-8") as f:
                text = f.read()
            if NORMAL_RULE not in text:
                sys.exit(f"{source}: missing the state rule {NORMAL_RULE}")
            hover = os.path.join(tmp, mode + ".hover.svg")
            with open(hover, "w", encoding="utf-8") as f:
                f.write(text.replace(NORMAL_RULE, HOVER_RULE))
            render(normal, os.path.join(OUT, f"label.{mode}.normal.png"), *CARD_SIZE)
            render(hover, os.path.join(OUT, f"label.{mode}.hover.png"), *CARD_SIZE)
    for name, source, w, h, hidpi in PICTURES:
        src = os.path.join(ART, source)
        render(src, os.path.join(OUT, name + ".png"), w, h)
        if hidpi:
            render(src, os.path.join(OUT, name + "@2x.png"), 2 * w, 2 * h)
    print(f"icons: {len(ICONS)} glyph icons, {len(CARDS)} cards, {len(PICTURES)} pictures", file=sys.stderr)


if __name__ == "__main__":
    main()
