#!/usr/bin/env python3
"""Writes the images for high-resolution screens from the 16-colour originals in resources/.

The originals stay the source: each is enlarged with Scale2x, which doubles pixel art without
blurring it and rounds its diagonal edges, into an @2x image beside it (read by Qt at 200%), and
the icon is written as PNG files for the desktop's hicolor theme at 32, 64, 128 and 256 pixels.
Run it again after changing an original; the outputs are committed.
"""

import os
import struct
import sys
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")


def read_xpm(path):
    with open(path, encoding="ascii") as f:
        strings = []
        for line in f:
            line = line.strip()
            if line.startswith('"'):
                strings.append(line[1 : line.rindex('"')])
    width, height, ncolors, cpp = (int(v) for v in strings[0].split()[:4])
    colours = {}
    for entry in strings[1 : 1 + ncolors]:
        colours[entry[:cpp]] = entry[cpp:].split()[-1]
    rows = [
        [row[i : i + cpp] for i in range(0, width * cpp, cpp)]
        for row in strings[1 + ncolors : 1 + ncolors + height]
    ]
    return os.path.basename(path).split(".")[0], colours, rows


def scale2x(rows):
    h, w = len(rows), len(rows[0])
    out = [[None] * (2 * w) for _ in range(2 * h)]
    for y in range(h):
        for x in range(w):
            p = rows[y][x]
            a = rows[y - 1][x] if y > 0 else p
            b = rows[y][x + 1] if x + 1 < w else p
            c = rows[y][x - 1] if x > 0 else p
            d = rows[y + 1][x] if y + 1 < h else p
            e0 = e1 = e2 = e3 = p
            if c == a and c != d and a != b:
                e0 = a
            if a == b and a != c and b != d:
                e1 = b
            if d == c and d != b and c != a:
                e2 = c
            if b == d and b != a and d != c:
                e3 = d
            out[2 * y][2 * x], out[2 * y][2 * x + 1] = e0, e1
            out[2 * y + 1][2 * x], out[2 * y + 1][2 * x + 1] = e2, e3
    return out


def scale2x_tiles(rows, tile):
    """Scale2x of each tile on its own, so that neighbouring button images do not bleed."""
    tiles = [scale2x([row[x : x + tile] for row in rows]) for x in range(0, len(rows[0]), tile)]
    return [sum((t[y] for t in tiles), []) for y in range(2 * len(rows))]


def write_xpm(path, name, colours, rows):
    cpp = len(next(iter(colours)))
    lines = ["/* XPM */", "static const char *%s[] = {" % name]
    body = ['"%d %d %d %d"' % (len(rows[0]), len(rows), len(colours), cpp)]
    body += ['"%s c %s"' % (key, value) for key, value in colours.items()]
    body += ['"%s"' % "".join(row) for row in rows]
    lines.append(",\n".join(body))
    lines.append("};")
    with open(path, "w", encoding="ascii") as f:
        f.write("\n".join(lines) + "\n")


def write_png(path, colours, rows):
    def rgba(key):
        value = colours[key]
        if value.lower() == "none":
            return b"\0\0\0\0"
        return bytes.fromhex(value.lstrip("#")) + b"\xff"

    raw = b"".join(b"\0" + b"".join(rgba(k) for k in row) for row in rows)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    for base in ("toolbar", "tavrino"):
        name, colours, rows = read_xpm(os.path.join(ROOT, base + ".xpm"))
        write_xpm(os.path.join(ROOT, base + "@2x.xpm"), name + "_2x", colours,
                  scale2x_tiles(rows, 32))
    name, colours, rows = read_xpm(os.path.join(ROOT, "tavrino.xpm"))
    icons = os.path.join(ROOT, "icons")
    os.makedirs(icons, exist_ok=True)
    for size in (32, 64, 128, 256):
        write_png(os.path.join(icons, "tavrino-%d.png" % size), colours, rows)
        rows = scale2x(rows)
    return 0


if __name__ == "__main__":
    sys.exit(main())
