#!/usr/bin/env python3
"""Draws kovun.exe's icon, MAINICON: a strip window holding a row of status
panels (good, closed, dead, down), at 16, 24, 32, 48 and 256 pixels.

    python3 kovun_icon.py [OUTPUT]     (default: kovun.ico beside this file)

Pure Python (no image library), so the file comes out the same, byte for
byte, on every machine. Each size is drawn on its own pixel grid, four times
finer, and averaged down: edges on whole pixels stay sharp, round corners get
smooth. 16 to 48 are stored as 32-bit bitmaps, 256 as PNG.
"""

import os
import struct
import sys
import zlib

SCALE = 4  # subpixels per pixel and direction

FRAME = (0x2B, 0x3A, 0x4A)      # the window's edge
FACE = (0xEC, 0xEC, 0xEC)       # the window's face
TITLE = (0x2F, 0x5D, 0x9E)      # the title band
GOOD = (0x4C, 0xB8, 0x4C)
CLOSED = (0x5A, 0x8E, 0xE6)
DEAD = (0xF0, 0xC8, 0x30)
DOWN = (0xDD, 0x4B, 0x4B)

# Per size: body top and bottom, frame width, corner radius, title band
# height, inner padding, gap between panels, panels. All in pixels.
DESIGNS = {
    16: dict(top=3, bottom=13, frame=1, radius=1, title=0, pad=1, gap=1,
             panels=(GOOD, DEAD, DOWN)),
    24: dict(top=4, bottom=20, frame=1, radius=2, title=3, pad=2, gap=1,
             panels=(GOOD, DEAD, DOWN)),
    32: dict(top=5, bottom=27, frame=1, radius=3, title=4, pad=2, gap=1,
             panels=(GOOD, CLOSED, DEAD, DOWN)),
    48: dict(top=8, bottom=40, frame=2, radius=4, title=6, pad=3, gap=2,
             panels=(GOOD, CLOSED, DEAD, DOWN)),
    256: dict(top=44, bottom=212, frame=8, radius=22, title=30, pad=16, gap=10,
              panels=(GOOD, CLOSED, DEAD, DOWN)),
}


def darker(colour, amount=0.6):
    return tuple(int(c * amount) for c in colour)


def inside_rounded(x, y, left, top, right, bottom, radius):
    """Whether the subpixel centre (x, y) lies in the rounded rectangle."""
    if not (left <= x < right and top <= y < bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def draw(size):
    """RGBA rows, top first, of the icon at `size` pixels."""
    d = DESIGNS[size]
    fine = size * SCALE
    canvas = [[None] * fine for _ in range(fine)]  # None: transparent

    def fill(left, top, right, bottom, colour, radius=0):
        s = SCALE
        for y in range(int(top * s), int(bottom * s)):
            for x in range(int(left * s), int(right * s)):
                if radius == 0 or inside_rounded(
                        x + 0.5, y + 0.5, left * s, top * s, right * s, bottom * s,
                        radius * s):
                    canvas[y][x] = colour

    f = d["frame"]
    fill(0, d["top"], size, d["bottom"], FRAME, d["radius"])
    fill(f, d["top"] + f, size - f, d["bottom"] - f, FACE, max(d["radius"] - f, 0))
    if d["title"]:
        # Round at the top only: a rounded band reaching below the title,
        # whose lower part the face then covers again.
        inner_radius = max(d["radius"] - f, 0)
        title_bottom = d["top"] + f + d["title"]
        fill(f, d["top"] + f, size - f, title_bottom + inner_radius, TITLE, inner_radius)
        fill(f, title_bottom, size - f, title_bottom + inner_radius, FACE)

    # The panels share the inner width evenly; what doesn't divide goes to the
    # margins, half each side.
    panels = d["panels"]
    inner_left = f + d["pad"]
    inner_right = size - f - d["pad"]
    width = (inner_right - inner_left - (len(panels) - 1) * d["gap"]) // len(panels)
    used = width * len(panels) + d["gap"] * (len(panels) - 1)
    left = inner_left + (inner_right - inner_left - used) // 2
    top = d["top"] + f + d["title"] + d["pad"]
    bottom = d["bottom"] - f - d["pad"]
    edge = max(1, size // 48) if size >= 24 else 0
    for colour in panels:
        if edge:
            fill(left, top, left + width, bottom, darker(colour))
            fill(left + edge, top + edge, left + width - edge, bottom - edge, colour)
        else:
            fill(left, top, left + width, bottom, colour)
        left += width + d["gap"]

    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            r = g = b = a = 0
            for sy in range(SCALE):
                for sx in range(SCALE):
                    c = canvas[y * SCALE + sy][x * SCALE + sx]
                    if c is not None:
                        r += c[0]
                        g += c[1]
                        b += c[2]
                        a += 1
            if a:
                row.append((r // a, g // a, b // a, a * 255 // (SCALE * SCALE)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def bitmap_entry(rows):
    """A 32-bit DIB with its AND mask, as icons store them (bottom row first)."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def png_entry(rows):
    size = len(rows)
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def icon_file():
    sizes = sorted(DESIGNS)
    images = [png_entry(draw(s)) if s >= 256 else bitmap_entry(draw(s)) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "kovun.ico")
    with open(target, "wb") as f:
        f.write(icon_file())


if __name__ == "__main__":
    main()
