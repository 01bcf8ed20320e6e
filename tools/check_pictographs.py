#!/usr/bin/python3
"""Decodes the generated images with Pillow: each is 20 x 20, palette with a transparent
entry, not blank and not on a black background. Usage: check_pictographs.py DIR"""
import os
import sys

from PIL import Image


def main():
    root = sys.argv[1]
    checked = 0
    problems = []
    for carrier in ("au", "softbank", "docomo"):
        names = sorted(os.listdir(os.path.join(root, carrier)))
        for name in names:
            with Image.open(os.path.join(root, carrier, name)) as image:
                image.load()
                rgba = image.convert("RGBA")
                opaque = sum(1 for a in rgba.getchannel("A").getdata() if a)
                if image.format != "GIF" or image.size != (20, 20) or "transparency" not in image.info:
                    problems.append(f"{carrier}/{name}: {image.format} {image.size} {image.info}")
                elif opaque < 20 or all(rgba.getpixel(corner) == (0, 0, 0, 255) for corner in ((0, 0), (19, 19))):
                    problems.append(f"{carrier}/{name}: blank or black-backed ({opaque} opaque)")
                checked += 1
    print(f"{checked} images decoded, {len(problems)} problems")
    for problem in problems[:20]:
        print(problem)
    return 1 if problems or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
