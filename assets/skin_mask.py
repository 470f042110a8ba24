#!/usr/bin/env python3
"""Cut the window's shape into the rendered skin.

Reads a 465 x 465 raw RGB image (the rendered skin.svg) on stdin, or with
the argument 2 the 930 x 930 one for screens at twice the density, and writes
it back as raw RGB with every pixel outside the octagon set to exact fuchsia.
The cut is decided per pixel, with no blending, because the window's mask is
made from the fuchsia pixels: a blended pixel would show as a pink fringe.

A pixel belongs to the octagon when its centre lies inside the octagon with
corners (135,0) (330,0) (465,135) (465,330) (330,465) (135,465) (0,330)
(0,135), centres exactly on a diagonal counting as inside. That keeps the
shape symmetric in both axes. At scale 2 every length doubles and the same
rule cuts a diagonal of single pixels, not one of doubled ones.
"""
import sys

SCALE = int(sys.argv[1]) if len(sys.argv) > 1 else 1
SIZE = 465 * SCALE
CUT = 135 * SCALE
FUCHSIA = b"\xff\x00\xff"


def inside(x: int, y: int) -> bool:
    # centre (x+.5, y+.5); each diagonal rule is the corner cut measured
    # from the nearest corner, so all four cuts are mirror images
    far = SIZE - 1
    return (x + y >= CUT - 1 and (far - x) + y >= CUT - 1
            and x + (far - y) >= CUT - 1 and (far - x) + (far - y) >= CUT - 1)


def main() -> None:
    data = bytearray(sys.stdin.buffer.read())
    if len(data) != SIZE * SIZE * 3:
        sys.exit("skin_mask: expected %d bytes of RGB, got %d" % (SIZE * SIZE * 3, len(data)))
    for y in range(SIZE):
        for x in range(SIZE):
            if not inside(x, y):
                i = (y * SIZE + x) * 3
                data[i:i + 3] = FUCHSIA
    sys.stdout.buffer.write(data)


if __name__ == "__main__":
    main()
