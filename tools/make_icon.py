#!/usr/bin/env python3
"""Writes res/MorvexDisabler.ico: one 32x32 4-bit image, a bold red "M" on a transparent square."""
import struct
import sys

SIZE = 32
RED = 9  # palette entry: pure red in the standard 16-colour palette
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def letter_m():
    """Rows 5..27, columns 5..28: two 4-pixel uprights, and two 5-pixel diagonals (about 4 pixels
    across the slope) from the top of the uprights to a point at row 20, mirrored about the middle."""
    lit = set()
    top, bottom, left, right = 5, 27, 5, 28
    for y in range(top, bottom + 1):
        for x in range(4):
            lit.add((left + x, y))
            lit.add((right - x, y))
    width, point = 5, 20
    middle = (left + right) / 2
    steps = point - top
    for i in range(steps + 1):
        start = left + round(i * (middle - width / 2 - left) / steps)
        for x in range(start, start + width):
            lit.add((x, top + i))
            lit.add((left + right - x, top + i))  # mirrored, so the letter is symmetric to the pixel
    return lit


def main(path):
    lit = letter_m()
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    xor_rows, and_rows = [], []
    for y in reversed(range(SIZE)):  # bottom-up
        nibbles = [RED if (x, y) in lit else 0 for x in range(SIZE)]
        xor_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, SIZE, 2)))
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (0 if (x, y) in lit else 1)
        and_rows.append(struct.pack('>I', bits))
    image = header + palette + b''.join(xor_rows) + b''.join(and_rows)
    assert len(image) == 744, len(image)
    directory = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', SIZE, SIZE, 16, 0, 1, 4, len(image), 22)
    with open(path, 'wb') as f:
        f.write(directory + image)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'res/MorvexDisabler.ico')
