#!/usr/bin/python3
"""Writes one GIF per carrier pictograph code, named as the plug-in's folder scan expects.

Usage: make_pictographs.py OUT_DIR [--sheet PNG]

The carrier codes and their Unicode characters come from Unicode's EmojiSources.txt (fields:
code points; DoCoMo Shift-JIS; KDDI (AU) Shift-JIS; SoftBank Shift-JIS). Each character is
drawn from Noto Color Emoji at the font's native bitmap size and scaled to 20 x 20 pixels on
a transparent background. A character the font lacks gets no file. OUT_DIR/au, /softbank,
/docomo receive the images; OUT_DIR/counts.txt says how many each got. Same inputs, same bytes.
"""
import argparse
import os
import sys

from PIL import Image, ImageDraw, ImageFont

SOURCES = "/usr/share/unicode/EmojiSources.txt"
FONT = "/usr/share/fonts/truetype/noto/NotoColorEmoji.ttf"
NATIVE_SIZE = 109  # the only size the font's colour bitmaps come in
CANVAS = 160
SIZE = 20
CARRIERS = [("docomo", 1), ("au", 2), ("softbank", 3)]  # folder, field of EmojiSources.txt


def read_sources(path):
    """[(text, {folder: code})] in the file's order."""
    rows = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            fields = line.split(";")
            text = "".join(chr(int(cp, 16)) for cp in fields[0].split())
            codes = {folder: fields[i].strip().upper() for folder, i in CARRIERS if fields[i].strip()}
            rows.append((text, codes))
    return rows


def draw(font, text):
    """The character on a transparent canvas, cropped to what was drawn (None when nothing)."""
    canvas = Image.new("RGBA", (CANVAS, CANVAS), (0, 0, 0, 0))
    ImageDraw.Draw(canvas).text((10, 10), text, font=font, embedded_color=True)
    box = canvas.getbbox()
    return canvas.crop(box) if box else None


def to_gif_image(glyph):
    """20 x 20, centred, palette with one transparent entry."""
    scale = SIZE / max(glyph.size)
    w, h = max(1, round(glyph.width * scale)), max(1, round(glyph.height * scale))
    small = glyph.resize((w, h), Image.LANCZOS)
    square = Image.new("RGBA", (SIZE, SIZE), (0, 0, 0, 0))
    square.paste(small, ((SIZE - w) // 2, (SIZE - h) // 2), small)
    # Colours from the opaque pixels only; transparent pixels take the last palette entry.
    opaque = square.getchannel("A").point(lambda a: 255 if a >= 128 else 0)
    paletted = square.convert("RGB").quantize(colors=255, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    paletted.paste(255, mask=opaque.point(lambda a: 255 - a))
    return paletted


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out_dir")
    parser.add_argument("--sheet", help="also write a contact sheet of every image to this PNG")
    args = parser.parse_args()

    font = ImageFont.truetype(FONT, NATIVE_SIZE)
    missing_look = draw(font, "\U000E0000")  # no glyph: what the font draws for that
    written = {folder: [] for folder, _ in CARRIERS}
    left_out = {folder: [] for folder, _ in CARRIERS}
    cache = {}
    for text, codes in read_sources(SOURCES):
        if text not in cache:
            glyph = draw(font, text)
            lacking = glyph is None or (missing_look is not None and glyph.tobytes() == missing_look.tobytes())
            cache[text] = None if lacking else to_gif_image(glyph)
        for folder, code in codes.items():
            (written if cache[text] else left_out)[folder].append((code, text))

    for folder, _ in CARRIERS:
        os.makedirs(os.path.join(args.out_dir, folder), exist_ok=True)
        for code, text in written[folder]:
            cache[text].save(os.path.join(args.out_dir, folder, code + ".gif"), transparency=255, optimize=False)
        skipped = " ".join(code for code, _ in left_out[folder]) or "none"
        print(f"{folder}: wrote {len(written[folder])} images; left out (no glyph): {skipped}")
    with open(os.path.join(args.out_dir, "counts.txt"), "w", encoding="ascii") as f:
        for folder, _ in CARRIERS:
            f.write(f"{folder} {len(written[folder])}\n")

    if args.sheet:
        write_sheet(args.out_dir, written, args.sheet)


def write_sheet(out_dir, written, path):
    """Every image per carrier, 40 to a row, on a light background, with a label per block."""
    per_row, cell, label = 40, 24, 18
    blocks = []
    for folder, _ in CARRIERS:
        rows = (len(written[folder]) + per_row - 1) // per_row
        blocks.append((folder, rows))
    height = sum(label + rows * cell + 8 for _, rows in blocks)
    sheet = Image.new("RGB", (per_row * cell + 8, height), (245, 245, 245))
    pen = ImageDraw.Draw(sheet)
    y = 0
    for folder, rows in blocks:
        pen.text((4, y + 2), f"{folder} ({len(written[folder])})", fill=(0, 0, 0))
        y += label
        for i, (code, _) in enumerate(sorted(written[folder])):
            image = Image.open(os.path.join(out_dir, folder, code + ".gif")).convert("RGBA")
            sheet.paste(image, (4 + (i % per_row) * cell + 2, y + (i // per_row) * cell + 2), image)
        y += rows * cell + 8
    sheet.save(path)


if __name__ == "__main__":
    sys.exit(main())
