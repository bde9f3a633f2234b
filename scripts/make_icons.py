#!/usr/bin/env python3
"""Draws the settings bundle's icon, the row of Twinly 2 in the Settings app: 29 points square, as
icon.png, icon@2x.png and icon@3x.png (29, 58 and 87 pixels). It is the banner's own picture
(banner.png): two overlapping white discs on the accent's blue gradient, in a square with rounded
corners, as the icons of Settings rows are. The same picture, 64 pixels square, is the package
repository's CydiaIcon.png (32 points at 2x, as package managers show a source). Everything is
computed here (python3 and zlib), so the same script always gives the same pixels.

Usage:
  make_icons.py [FOLDER]                  writes the three files (default: prefs/Resources)
  make_icons.py --check [FOLDER]          exits 1 unless the files there hold exactly these pixels
  make_icons.py --repository-icon FILE    writes the repository's icon"""

import os
import struct
import sys
import zlib

POINTS = 29
SCALES = {"icon.png": 1, "icon@2x.png": 2, "icon@3x.png": 3}
REPOSITORY_ICON_SIDE = 64

# The banner's gradient, top and bottom, and its discs: white, centred on the middle line, 0.76 of
# a radius apart. On 29 points the discs are drawn stronger than the banner's faint ones.
TOP, BOTTOM = (74, 141, 201), (44, 98, 150)
DISC_RADIUS = 0.30           # of the side
DISC_DISTANCE = 0.76         # of the radius
DISC_OPACITY = 0.30
CORNER_RADIUS = 0.2237       # of the side, as iOS rounds its icons
SAMPLES = 4                  # per pixel and direction, for smooth edges


def inside_rounded_square(x, y, side):
    radius = CORNER_RADIUS * side
    nearest_x = min(max(x, radius), side - radius)
    nearest_y = min(max(y, radius), side - radius)
    return (x - nearest_x) ** 2 + (y - nearest_y) ** 2 <= radius ** 2


def pixels(side):
    """Rows of RGBA bytes for a square icon of `side` pixels."""
    radius = DISC_RADIUS * side
    centres = [(side / 2 + sign * DISC_DISTANCE * radius / 2, side / 2) for sign in (-1, 1)]
    rows = []
    for row in range(side):
        line = bytearray()
        for column in range(side):
            covered, colour = 0, [0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = column + (sx + 0.5) / SAMPLES
                    y = row + (sy + 0.5) / SAMPLES
                    if not inside_rounded_square(x, y, side):
                        continue
                    covered += 1
                    depth = y / side
                    sample = [top + (bottom - top) * depth for top, bottom in zip(TOP, BOTTOM)]
                    for cx, cy in centres:
                        if (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2:
                            sample = [value + (255 - value) * DISC_OPACITY for value in sample]
                    colour = [total + value for total, value in zip(colour, sample)]
            if covered == 0:
                line += bytes(4)
                continue
            line += bytes(round(total / covered) for total in colour)
            line.append(round(255 * covered / SAMPLES ** 2))
        rows.append(bytes(line))
    return rows


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def png(rows, side):
    header = struct.pack(">IIBBBBB", side, side, 8, 6, 0, 0, 0)  # 8-bit RGBA, no interlace
    raw = b"".join(b"\0" + row for row in rows)                 # filter 0 on every row
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) +
            chunk(b"IEND", b""))


def write(path, rows, side):
    with open(path, "wb") as file:
        file.write(png(rows, side))


def decoded(path):
    """(side, rows) of a PNG that this script wrote, or None."""
    try:
        with open(path, "rb") as file:
            data = file.read()
    except OSError:
        return None
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    at, header, compressed = 8, None, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            compressed += body
        at += 12 + length
    if header is None or header[0] != header[1] or header[2:] != (8, 6, 0, 0, 0):
        return None
    side, raw = header[0], zlib.decompress(compressed)
    stride = side * 4 + 1
    if len(raw) != side * stride or any(raw[row * stride] != 0 for row in range(side)):
        return None
    return side, [raw[row * stride + 1:(row + 1) * stride] for row in range(side)]


def main(arguments):
    if arguments[:1] == ["--repository-icon"] and len(arguments) == 2:
        write(arguments[1], pixels(REPOSITORY_ICON_SIDE), REPOSITORY_ICON_SIDE)
        return 0
    check = arguments[:1] == ["--check"]
    arguments = arguments[1:] if check else arguments
    folder = arguments[0] if arguments else os.path.join(os.path.dirname(__file__), "..", "prefs", "Resources")
    differing = []
    for name, scale in SCALES.items():
        side = POINTS * scale
        rows = pixels(side)
        path = os.path.join(folder, name)
        if check:
            if decoded(path) != (side, rows):
                differing.append(path)
        else:
            write(path, rows, side)
    for path in differing:
        print(f"{path}: not the icon that scripts/make_icons.py draws; run it again", file=sys.stderr)
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
