#!/usr/bin/env python3
"""Writes feditbmp.bmp, the glyph of the file and folder edits' button: a small
open folder. Run it from this folder after editing the picture; the .bmp is
kept in the repository. Picture characters: '.' transparent (fuchsia),
'X' black, 'y' yellow, 'o' dark yellow, 'w' white.
"""
import struct

PICTURE = """
...............
...............
..XXXX.........
.XwyywX........
.XyyyyXXXXXX...
.XyyyyyyyyyX...
.XyyXXXXXXXXXX.
.XyXoooooooooX.
.XXoooooooooX..
.XoooooooooX...
.XXXXXXXXXXX...
...............
...............
"""

COLOURS = {
    '.': (255, 0, 255),
    'X': (0, 0, 0),
    'y': (255, 255, 0),
    'o': (128, 128, 0),
    'w': (255, 255, 255),
}


def write_bmp(path, rows):
    height = len(rows)
    width = len(rows[0])
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):          # bottom-up
        line = bytearray()
        for ch in row:
            r, g, b = COLOURS[ch]
            line += bytes((b, g, r))
        line += b'\0' * (stride - len(line))
        pixels += line
    header = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(pixels), 0, 0, 14 + 40)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, 'wb') as f:
        f.write(header + info + pixels)


if __name__ == '__main__':
    rows = [r for r in PICTURE.strip('\n').split('\n')]
    assert all(len(r) == len(rows[0]) for r in rows), 'rows of different widths'
    write_bmp('feditbmp.bmp', rows)
