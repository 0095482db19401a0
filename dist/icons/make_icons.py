#!/usr/bin/env python3
"""Draws the application icon (hicolor PNGs and the scalable SVG) from one description.

The PNGs are committed; run this again only when the drawing changes:
    python3 dist/icons/make_icons.py dist/icons
Pure Python (zlib), so it needs no image library.
"""
import struct
import sys
import zlib
from pathlib import Path

SIZES = (16, 24, 32, 48, 64, 128, 256)
BLUE_TOP = (0x3B, 0x7D, 0xD8)
BLUE_BOTTOM = (0x1C, 0x4A, 0x9C)
SHEET = (0xFF, 0xFF, 0xFF)
LINE = (0x1C, 0x4A, 0x9C)
DOT = (0xF7, 0xC8, 0x2A)

# In units of the icon's side (0..1).
BACK = (0.04, 0.04, 0.96, 0.96, 0.18)  # left, top, right, bottom, corner radius
SHEET_BOX = (0.20, 0.22, 0.80, 0.74, 0.05)
ROWS = (0.35, 0.48, 0.61)  # horizontal rules of the table
COLUMN = 0.42  # the vertical rule
RULE = 0.035  # thickness of a rule
DOT_CENTRE, DOT_RADIUS = (0.72, 0.74), 0.13


def in_rounded(x, y, box):
    left, top, right, bottom, r = box
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + r), right - r)
    cy = min(max(y, top + r), bottom - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def colour_at(x, y):
    """The colour (r, g, b, a) of the point (x, y) of the unit square."""
    if (x - DOT_CENTRE[0]) ** 2 + (y - DOT_CENTRE[1]) ** 2 <= DOT_RADIUS ** 2:
        return DOT + (255,)
    if in_rounded(x, y, SHEET_BOX):
        inner = SHEET_BOX[1] + RULE < y < SHEET_BOX[3] - RULE
        on_row = any(abs(y - r) <= RULE / 2 for r in ROWS)
        on_column = abs(x - COLUMN) <= RULE / 2 and y > ROWS[0]
        return (LINE if inner and (on_row or on_column) else SHEET) + (255,)
    if in_rounded(x, y, BACK):
        t = (y - BACK[1]) / (BACK[3] - BACK[1])
        return tuple(round(a + (b - a) * t) for a, b in zip(BLUE_TOP, BLUE_BOTTOM)) + (255,)
    return (0, 0, 0, 0)


def render(size, samples=4):
    rows = []
    for py in range(size):
        row = bytearray([0])  # filter type: none
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    r, g, b, a = colour_at((px + (sx + 0.5) / samples) / size,
                                           (py + (sy + 0.5) / samples) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3] / (samples * samples)
            if acc[3]:
                row += bytes(round(c / acc[3]) for c in acc[:3])
            else:
                row += b"\0\0\0"
            row.append(round(alpha))
        rows.append(bytes(row))
    return png(size, b"".join(rows))


def png(size, raw):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def svg():
    s = 256

    def rect(box, fill):
        left, top, right, bottom, r = (v * s for v in box)
        return (f'<rect x="{left:g}" y="{top:g}" width="{right - left:g}" '
                f'height="{bottom - top:g}" rx="{r:g}" fill="{fill}"/>')

    def hexc(c):
        return "#%02x%02x%02x" % c

    left, top, right, bottom, _ = (v * s for v in SHEET_BOX)
    rules = [f'<rect x="{left + RULE * s:g}" y="{(r - RULE / 2) * s:g}" '
             f'width="{right - left - 2 * RULE * s:g}" height="{RULE * s:g}" '
             f'fill="{hexc(LINE)}"/>' for r in ROWS]
    rules.append(f'<rect x="{(COLUMN - RULE / 2) * s:g}" y="{ROWS[0] * s:g}" '
                 f'width="{RULE * s:g}" height="{bottom - RULE * s - ROWS[0] * s:g}" '
                 f'fill="{hexc(LINE)}"/>')
    return "\n".join([
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{s}" height="{s}" '
        f'viewBox="0 0 {s} {s}">',
        '<defs><linearGradient id="back" x1="0" y1="0" x2="0" y2="1">'
        f'<stop offset="0" stop-color="{hexc(BLUE_TOP)}"/>'
        f'<stop offset="1" stop-color="{hexc(BLUE_BOTTOM)}"/></linearGradient></defs>',
        rect(BACK, "url(#back)"),
        rect(SHEET_BOX, hexc(SHEET)),
        *rules,
        f'<circle cx="{DOT_CENTRE[0] * s:g}" cy="{DOT_CENTRE[1] * s:g}" '
        f'r="{DOT_RADIUS * s:g}" fill="{hexc(DOT)}"/>',
        "</svg>",
        "",
    ])


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent)
    for size in SIZES:
        (out / f"trawlex-{size}.png").write_bytes(render(size))
    (out / "trawlex.svg").write_text(svg())


if __name__ == "__main__":
    main()
