#!/usr/bin/env python3
"""Draws the application icon, res/vandrel.ico: one 230 x 276 image at 24 bits
per pixel showing a page cut into four tiles on black gaps (red, green, blue,
yellow), the green tile's top-right corner folded over in white.

Standard library only. Run it again after changing the drawing and commit
the .ico, so that the build needs no Python.
"""

import struct
import sys
from pathlib import Path

WIDTH, HEIGHT = 230, 276
BORDER = 6      # black edge around the page
GAP = 10        # black gap between the tiles
FOLD = 64       # side of the folded corner
EDGE = 3        # black line along the fold

BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
RED = (220, 30, 30)
GREEN = (40, 170, 40)
BLUE = (40, 70, 210)
YELLOW = (245, 215, 30)


def colour_at(x, y):
    """Colour of pixel (x, y), y counted from the top; None where the page is cut away."""
    # The folded corner: beyond the diagonal the page is gone, on this side
    # of it lies the fold's white back.
    fx, fy = x - (WIDTH - FOLD), y
    if fx >= 0 and fy < FOLD:
        if fx - fy > 0:
            return None
        if fy - fx < EDGE or fx < EDGE or fy >= FOLD - EDGE:
            return BLACK
        return WHITE
    if x < BORDER or y < BORDER or x >= WIDTH - BORDER or y >= HEIGHT - BORDER:
        return BLACK
    middle_x, middle_y = WIDTH // 2, HEIGHT // 2
    if abs(x - middle_x) < GAP // 2 or abs(y - middle_y) < GAP // 2:
        return BLACK
    left, top = x < middle_x, y < middle_y
    if top:
        return RED if left else GREEN
    return BLUE if left else YELLOW


def icon_bytes():
    pixels = bytearray()
    mask = bytearray()
    pixel_row_pad = (-WIDTH * 3) % 4
    mask_row_bytes = ((WIDTH + 31) // 32) * 4
    for y in reversed(range(HEIGHT)):  # bitmaps are stored bottom-up
        mask_row = bytearray(mask_row_bytes)
        for x in range(WIDTH):
            colour = colour_at(x, y)
            if colour is None:
                mask_row[x // 8] |= 0x80 >> (x % 8)
                colour = BLACK
            r, g, b = colour
            pixels += bytes((b, g, r))
        pixels += bytes(pixel_row_pad)
        mask += mask_row
    header = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT * 2, 1, 24, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    image = header + pixels + mask
    # Sizes of 256 and more are written as 0; the bitmap header holds the real ones.
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack(
        "<BBBBHHII", WIDTH if WIDTH < 256 else 0, HEIGHT if HEIGHT < 256 else 0,
        0, 0, 1, 24, len(image), 6 + 16)
    return directory + image


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "res" / "vandrel.ico"
    out.write_bytes(icon_bytes())


if __name__ == "__main__":
    main()
