#!/usr/bin/env python3
"""Draws the database picture (a cylinder of three stacked discs) and writes
it as a Windows icon file with 32-bit images of the given sizes.

    python3 scripts/make-database-icon.py OUT.ico [16 24 32]
"""
import struct
import sys


def blend(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def body_colour(u):
    # Light falls from a little left of the middle of the side.
    dark_l, light, dark_r = (176, 120, 20), (255, 214, 110), (150, 96, 10)
    return blend(dark_l, light, u / 0.45) if u < 0.45 else blend(light, dark_r, (u - 0.45) / 0.55)


def sample(size, x, y):
    """Colour (r, g, b, a) of the picture at the point (x, y) in pixels."""
    margin = size / 8.0
    left, right = margin, size - margin
    width = right - left
    cx = (left + right) / 2
    rim = size / 6.0
    top = size / 16.0 + rim / 2
    bottom = size - size / 16.0 - rim / 2
    line = max(1.0, size / 22.0)
    outline = (90, 56, 0)
    rx, ry = width / 2, rim / 2

    def ell(cy):  # value below 1 inside the ellipse centred at (cx, cy)
        return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2

    edge_x = line / rx
    # The top face.
    e = ell(top)
    if e <= 1:
        near_edge = e > (1 - edge_x * 2.2)
        return outline + (255,) if near_edge else (255, 236, 170, 255)
    # The side with its rounded bottom.
    inside_side = left <= x <= right and top <= y <= bottom
    inside_bottom = ell(bottom) <= 1 and y >= bottom
    if inside_side or inside_bottom:
        if x - left < line or right - x < line or (inside_bottom and ell(bottom) > 1 - edge_x * 2.2):
            return outline + (255,)
        step = (bottom - top) / 3
        for i in (1, 2):
            cy = top + step * i
            if y >= cy and abs(ell(cy) - 1) < edge_x * 2.2:
                return outline + (255,)
        return body_colour((x - left) / width) + (255,)
    return (0, 0, 0, 0)


def draw(size, grid=4):
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(grid):
                for sx in range(grid):
                    r, g, b, a = sample(size, px + (sx + 0.5) / grid, py + (sy + 0.5) / grid)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            a = acc[3]
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(acc[0] / a), round(acc[1] / a), round(acc[2] / a), round(a / grid / grid)))
        rows.append(row)
    return rows


def icon_image(size):
    pixels = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b''.join(bytes((b, g, r, a)) for row in reversed(pixels) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    mask = b''
    for row in reversed(pixels):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + xor + mask


def main():
    out = sys.argv[1]
    sizes = [int(s) for s in sys.argv[2:]] or [16, 24, 32]
    images = [icon_image(s) for s in sizes]
    data = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, img in zip(sizes, images):
        data += struct.pack('<BBBBHHII', s % 256, s % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    data += b''.join(images)
    with open(out, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main()
