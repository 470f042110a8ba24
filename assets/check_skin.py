#!/usr/bin/env python3
"""Checks the rendered pictures before they are committed.

Each of the window's pictures also comes at twice its size (name@2x.png),
for screens at twice the density; the same checks apply at that size.

The skin matters most: the window's shape is cut from its fuchsia pixels, so
  - it must be 465 x 465 true colour without alpha (an alpha channel or a
    palette could shift the key colour);
  - every pixel clearly outside the octagon must be exact fuchsia and every
    pixel clearly inside must not be (a stray fuchsia pixel is a hole);
  - no pixel next to the fuchsia may be a pinkish blend (it would show as a
    fringe around the window);
  - the cut must be mirror-symmetric.
The other pictures are checked for their size and colour type, and the
minimise picture for its four see-through corners.

Reads the PNG files itself (zlib only), so it needs nothing but Python.
Exit status 0 when all is well; each fault is printed.
"""
import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
FUCHSIA = (255, 0, 255)
SIZE = 465
CUT = 135

# name -> (width, height, PNG colour type: 2 = RGB, 6 = RGBA)
EXPECTED = {"skin.png": (465, 465, 2),
            "arrow_open.png": (19, 19, 6), "arrow_close.png": (19, 19, 6),
            "minimise.png": (20, 9, 6),
            "folder.png": (19, 19, 6), "folder_grey.png": (19, 19, 6),
            "icon_16.png": (16, 16, 6), "icon_32.png": (32, 32, 6),
            "icon_48.png": (48, 48, 6), "icon_64.png": (64, 64, 6)}
for lang in ("sk", "cz", "en", "de"):
    EXPECTED["flag_%s.png" % lang] = (46, 23, 6)
for n in range(4):
    EXPECTED["activity_%d.png" % n] = (20, 20, 6)
    EXPECTED["tray_%d.png" % n] = (15, 15, 6)
for name, (w, h, ctype) in list(EXPECTED.items()):
    if not name.startswith("icon_"):
        EXPECTED[name.replace(".png", "@2x.png")] = (2 * w, 2 * h, ctype)


def read_png(path):
    """Returns (width, height, colour type, rows of pixel tuples)."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat, head = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            head = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, ctype, _, _, interlace = head
    if depth != 8 or ctype not in (2, 6) or interlace:
        return width, height, ctype, None  # size and type still checkable
    bpp = 3 if ctype == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * bpp
    rows, prev, i = [], bytearray(stride), 0
    for _ in range(height):
        ftype, line = raw[i], bytearray(raw[i + 1:i + 1 + stride])
        i += 1 + stride
        for x in range(stride):
            a = line[x - bpp] if x >= bpp else 0
            b = prev[x]
            c = prev[x - bpp] if x >= bpp else 0
            if ftype == 1:
                line[x] = (line[x] + a) & 255
            elif ftype == 2:
                line[x] = (line[x] + b) & 255
            elif ftype == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif ftype == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[x] = (line[x] + pred) & 255
        rows.append([tuple(line[x:x + bpp]) for x in range(0, stride, bpp)])
        prev = line
    return width, height, ctype, rows


def outside_distance(x, y, scale):
    """Signed distance of pixel (x, y)'s centre from the octagon's edge,
    positive outside, at the skin's scale."""
    SIZE, CUT = globals()["SIZE"] * scale, globals()["CUT"] * scale
    px, py, r2 = x + 0.5, y + 0.5, math.sqrt(2)
    return max(-px, -py, px - SIZE, py - SIZE,
               (CUT - (px + py)) / r2,
               ((px - py) - (SIZE - CUT)) / r2,
               ((py - px) - (SIZE - CUT)) / r2,
               ((px + py) - (2 * SIZE - CUT)) / r2)


def pinkish(p):
    r, g, b = p[:3]
    return r > g + 40 and b > g + 40


def check_skin(rows, faults, scale):
    SIZE, CUT = globals()["SIZE"] * scale, globals()["CUT"] * scale
    fuchsia = [[p[:3] == FUCHSIA for p in row] for row in rows]
    count = 0
    for y in range(SIZE):
        for x in range(SIZE):
            d = outside_distance(x, y, scale)
            if fuchsia[y][x]:
                count += 1
                if d < -0.75:
                    faults.append("skin: fuchsia inside the octagon at %d,%d" % (x, y))
            elif d > 0.75:
                faults.append("skin: not fuchsia outside the octagon at %d,%d %s" % (x, y, rows[y][x]))
            elif pinkish(rows[y][x]) and any(
                    fuchsia[v][u] for u in range(max(0, x - 1), min(SIZE, x + 2))
                    for v in range(max(0, y - 1), min(SIZE, y + 2))):
                faults.append("skin: blended edge pixel at %d,%d %s" % (x, y, rows[y][x]))
            if fuchsia[y][x] != fuchsia[y][SIZE - 1 - x] or fuchsia[y][x] != fuchsia[SIZE - 1 - y][x]:
                faults.append("skin: cut not symmetric at %d,%d" % (x, y))
    expected = 2 * CUT * CUT  # four right triangles with legs of CUT
    if abs(count - expected) > 4 * CUT:
        faults.append("skin: %d fuchsia pixels, expected about %d" % (count, expected))
    return count


def main():
    faults = []
    for name, (w, h, ctype) in sorted(EXPECTED.items()):
        path = os.path.join(HERE, name)
        if not os.path.exists(path):
            faults.append("%s: missing" % name)
            continue
        width, height, got_type, rows = read_png(path)
        if (width, height, got_type) != (w, h, ctype):
            faults.append("%s: %dx%d colour type %d, expected %dx%d colour type %d"
                          % (name, width, height, got_type, w, h, ctype))
            continue
        scale = 2 if "@2x" in name else 1
        if name.startswith("skin"):
            count = check_skin(rows, faults, scale)
            print("%s: %d fuchsia pixels outside the octagon" % (name, count))
        elif name.startswith("minimise"):
            # The four corner pixels, each a square of scale x scale.
            corners = {(x, y) for cx in (0, w - scale) for cy in (0, h - scale)
                       for x in range(cx, cx + scale) for y in range(cy, cy + scale)}
            for x, y in sorted(corners):
                if rows[y][x] != FUCHSIA + (255,):
                    faults.append("%s: corner %d,%d is %s, not opaque fuchsia" % (name, x, y, rows[y][x]))
            others = sum(rows[y][x][:3] == FUCHSIA for y in range(h) for x in range(w)
                         if (x, y) not in corners)
            if others:
                faults.append("%s: %d fuchsia pixels besides the corners" % (name, others))
    for fault in faults[:50]:
        print(fault)
    if faults:
        print("%d fault(s)" % len(faults))
        return 1
    print("%d pictures checked, all well" % len(EXPECTED))
    return 0


if __name__ == "__main__":
    sys.exit(main())
