#!/usr/bin/env python3
"""Draws the program's clock icon: one 32x32 image at 24 bits per pixel.

Writes an icon file of a 22-byte directory and a 3,240-byte image (bitmap
header, colours bottom-up, then the 1-bit transparency mask).
Usage: tools/make-icon.py app/Vesmor.ico
"""
import math
import struct
import sys

SIZE = 32
CENTRE = (SIZE - 1) / 2.0

BLUE = (0x1F, 0x5F, 0xB4)      # rim
FACE = (0xFA, 0xFA, 0xF4)
MARK = (0x30, 0x30, 0x38)
HAND = (0x20, 0x20, 0x28)
RED = (0xD0, 0x20, 0x20)       # second hand


def near_segment(x, y, angle_deg, length, width):
    """True when (x, y) lies within width/2 of the hand from the centre."""
    a = math.radians(angle_deg)
    dx, dy = math.sin(a), -math.cos(a)
    px, py = x - CENTRE, y - CENTRE
    t = max(0.0, min(length, px * dx + py * dy))
    return math.hypot(px - t * dx, py - t * dy) <= width / 2.0


def pixel(x, y):
    """Colour of a pixel, or None where the icon is transparent."""
    r = math.hypot(x - CENTRE, y - CENTRE)
    if r > 15.6:
        return None
    if r > 13.2:
        return BLUE
    if near_segment(x, y, 45, 12.2, 1.0):          # second hand
        return RED
    if near_segment(x, y, 300, 7.0, 2.6):           # hour hand at ten
        return HAND
    if near_segment(x, y, 60, 10.5, 1.8):           # minute hand
        return HAND
    if r < 1.8:
        return HAND
    for hour in range(12):
        a = math.radians(hour * 30)
        mx, my = CENTRE + 11.2 * math.sin(a), CENTRE - 11.2 * math.cos(a)
        if math.hypot(x - mx, y - my) <= (1.3 if hour % 3 == 0 else 0.8):
            return MARK
    return FACE


def image_bytes():
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 24, 0, 0, 0, 0, 0, 0)
    colours = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):                 # bitmaps run bottom-up
        bits = 0
        for x in range(SIZE):
            c = pixel(x, y)
            if c is None:
                bits |= 1 << (SIZE - 1 - x)
                c = (0, 0, 0)
            colours += bytes((c[2], c[1], c[0]))    # stored as blue, green, red
        mask += bits.to_bytes(4, "big")
    return header + bytes(colours) + bytes(mask)


def main():
    image = image_bytes()
    assert len(image) == 3240
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 24, len(image), 22)
    with open(sys.argv[1], "wb") as out:
        out.write(directory + image)


if __name__ == "__main__":
    main()
