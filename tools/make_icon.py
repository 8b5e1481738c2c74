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
    """Rows 5..27, columns 5..28: two 4-pixel uprights and two diagonals meeting in the middle."""
    lit = set()
    top, bottom, left, right = 5, 27, 5, 28
    for y in range(top, bottom + 1):
        for x in range(left, left + 4):
            lit.add((x, y))
        for x in range(right - 3, right + 1):
            lit.add((x, y))
    # The diagonals run from the top of each upright down to where they meet in the middle.
    for i in range(12):
        for dx in range(4):
            lit.add((left + 1 + round(i * 9 / 11) + dx, top + i))
            lit.add((right - 4 - round(i * 10 / 11) + dx, top + i))
    return {(x, y) for (x, y) in lit if left <= x <= right and top <= y <= bottom}


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
