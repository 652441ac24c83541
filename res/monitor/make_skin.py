#!/usr/bin/python3
"""Draws the pop-up skin and the tray icon of the clipboard monitor: a soft blue card with a title band, a
rounded frame and a small zipped-folder mark. Pure Python (zlib only) so that it runs on a
bare Debian; the output is committed, run this only to change the picture."""
import struct
import sys
import zlib

W, H = 224, 112
BAND = 20  # title band height; the text rectangle starts below it


def lerp(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def inside_rounded(x, y, r):
    cx = min(max(x, r), W - 1 - r)
    cy = min(max(y, r), H - 1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def pixel(x, y):
    if not inside_rounded(x, y, 7):
        return (255, 255, 255, 0)
    if not inside_rounded(x, y, 6) or x in (0, W - 1) or y in (0, H - 1):
        return (46, 74, 140, 255)  # frame
    if y < BAND:
        r, g, b = lerp((70, 110, 190), (40, 72, 150), y / BAND)
        return (r, g, b, 255)
    if y == BAND:
        return (30, 56, 120, 255)
    r, g, b = lerp((246, 249, 255), (208, 222, 246), (y - BAND) / (H - BAND))
    return (r, g, b, 255)


def mark(rows, x0=8, y0=4, scale=1):
    # A little folder with a zipper, drawn over the title band.
    for yy in range(12 * scale):
        for xx in range(16 * scale):
            x, y = xx // scale, yy // scale
            inside = (y >= 2 and x < 16) or (y < 2 and x < 7)
            if not inside:
                continue
            colour = (250, 214, 92, 255)
            if x in (7, 8) and y >= 2:
                colour = (120, 90, 30, 255) if (y + x) % 2 else (230, 230, 230, 255)
            rows[y0 + yy][x0 + xx] = colour


def write_png(path, rows):
    width, height = len(rows[0]), len(rows)
    raw = b"".join(b"\x00" + b"".join(struct.pack("4B", *p) for p in row) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", header))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def main():
    rows = [[pixel(x, y) for x in range(W)] for y in range(H)]
    mark(rows)
    write_png(sys.argv[1] if len(sys.argv) > 1 else "skin.png", rows)
    # The tray icon: the same mark, twice the size, on a clear 32 x 32 field.
    icon = [[(0, 0, 0, 0)] * 32 for _ in range(32)]
    mark(icon, 0, 4, 2)
    write_png(sys.argv[2] if len(sys.argv) > 2 else "tray.png", icon)


if __name__ == "__main__":
    main()
