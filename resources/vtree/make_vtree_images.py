#!/usr/bin/env python3
"""Draws the list control's bitmaps and cursors and writes them to this folder.

Run it from this folder after changing a picture; the .bmp and .cur files are
kept in the repository beside vtree.rc.

Bitmaps (24-bit, fuchsia RGB(255,0,255) is transparent):
  vt_check_light.bmp ... vt_xp.bmp  check images, 25 pictures of 16 x 16 each:
      0 empty; 1-4 radio button unticked, 5-8 ticked; 9-12 check box
      unticked, 13-16 ticked; 17-20 check box mixed; 21-24 button; every
      group of four normal, hot, pressed, disabled. White, silver
      RGB(192,192,192) and grey RGB(128,128,128) follow the system colours
      (window, button face, button shadow) when the program loads them.
  vt_utilities.bmp  9 pictures of 16 x 16: drop mark left and right, sort
      descending and ascending, the same two for themed headers, and the
      left cap, middle and right cap of the XP header's hot bar.
  vt_xpbuttonplus.bmp, vt_xpbuttonminus.bmp  9 x 9 expand buttons.
  vt_moveall.bmp, vt_moveew.bmp, vt_movens.bmp  wheel panning images.
Cursors (32 x 32, two colours): the header split cursor and the panning
cursors, one per direction.
"""
import math
import struct

F = (255, 0, 255)       # transparent
W = (255, 255, 255)     # window colour
S = (192, 192, 192)     # button face
G = (128, 128, 128)     # button shadow
K = (0, 0, 0)
NAVY = (0, 0, 128)
HOT_FILL = (232, 240, 255)
GREEN = (0, 128, 0)


class Picture:
    def __init__(self, width, height, fill=F):
        self.width, self.height = width, height
        self.px = [[fill] * width for _ in range(height)]

    def set(self, x, y, c):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        """Fills x0..x1, y0..y1 (inclusive)."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def frame(self, x0, y0, x1, y1, tl, br=None):
        br = tl if br is None else br
        for x in range(x0, x1 + 1):
            self.set(x, y0, tl)
            self.set(x, y1, br)
        for y in range(y0, y1 + 1):
            self.set(x0, y, tl)
            self.set(x1, y, br)
        self.set(x1, y0, br)
        self.set(x0, y1, br)

    def pattern(self, x0, y0, rows, c):
        for dy, row in enumerate(rows):
            for dx, ch in enumerate(row):
                if ch == 'X':
                    self.set(x0 + dx, y0 + dy, c)

    def paste(self, other, x0, y0):
        for y in range(other.height):
            for x in range(other.width):
                self.set(x0 + x, y0 + y, other.px[y][x])

    def bmp(self):
        stride = (self.width * 3 + 3) & ~3
        data = bytearray()
        for row in reversed(self.px):          # bottom-up
            line = bytearray()
            for r, g, b in row:
                line += bytes((b, g, r))
            data += line + b'\0' * (stride - len(line))
        header = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(data), 0, 0, 14 + 40)
        info = struct.pack('<IiiHHIIiiII', 40, self.width, self.height, 1, 24, 0, len(data),
                           2835, 2835, 0, 0)
        return header + info + bytes(data)


CHECK = ["......X",
         ".....XX",
         "X...XXX",
         "XX.XXX.",
         "XXXXX..",
         ".XXX...",
         "..X...."]

TICK = ["........X",
        ".......XX",
        "......XX.",
        "X....XX..",
        "XX..XX...",
        ".XXXX....",
        "..XX....."]

# Looks of the check image kinds: for each state (normal, hot, pressed,
# disabled) the frame, the fill and the mark colour; the frame kind; the mark.
STATES = range(4)


def style(kind):
    if kind in ('light', 'lighttick'):
        frames = [(G, G), (NAVY, NAVY), (G, G), (G, G)]
        look = 'single'
    elif kind in ('dark', 'darktick'):
        frames = [(G, W)] * 4
        look = 'sunken'
    elif kind == 'flat':
        frames = [(K, K), (NAVY, NAVY), (K, K), (G, G)]
        look = 'single'
    else:  # xp
        frames = [((28, 81, 128),) * 2] * 3 + [((202, 200, 187),) * 2]
        look = 'xp'
    if kind == 'xp':
        fills = [(244, 244, 240), (244, 244, 240), (176, 176, 167), W]
        marks = [(33, 161, 33)] * 3 + [(202, 200, 187)]
    else:
        fills = [W, HOT_FILL, S, S]
        mark = GREEN if kind in ('lighttick', 'darktick') else K
        marks = [mark, mark, mark, G]
    return frames, fills, marks, look, (TICK if 'tick' in kind else CHECK)


def box(p, state, kind, mark=None):
    frames, fills, marks, look, shape = style(kind)
    tl, br = frames[state]
    p.rect(1, 1, 13, 13, fills[state])
    if look == 'sunken':
        p.frame(1, 1, 13, 13, G, W)
        p.frame(2, 2, 12, 12, K, S)
    else:
        p.frame(1, 1, 13, 13, tl, br)
        if look == 'xp' and state == 1:
            p.frame(2, 2, 12, 12, (248, 179, 48))
    if mark == 'check':
        if shape is TICK:
            p.pattern(3, 4, shape, marks[state])
        else:
            p.pattern(4, 4, shape, marks[state])
    elif mark == 'mixed':
        p.rect(5, 5, 9, 9, marks[state] if kind != 'xp' else (115, 200, 115))


def radio(p, state, kind, ticked):
    frames, fills, marks, look, _ = style(kind)
    cx = cy = 7
    for y in range(16):
        for x in range(16):
            d = math.hypot(x - cx, y - cy)
            upper = (x - cx) + (y - cy) < 0
            if d <= 5.5:
                p.set(x, y, fills[state])
            elif d <= 6.6:
                if look == 'sunken':
                    p.set(x, y, G if upper else W)
                else:
                    p.set(x, y, frames[state][0])
            if look == 'sunken' and 4.6 < d <= 5.5:
                p.set(x, y, K if upper else S)
            if ticked and d <= 2.3:
                p.set(x, y, marks[state])


def button(p, state, kind):
    face = S if state != 1 else (224, 224, 224)
    p.rect(1, 1, 13, 13, face)
    if kind in ('flat', 'xp'):
        p.frame(1, 1, 13, 13, G if state == 3 else (K if kind == 'flat' else (28, 81, 128)))
    elif state == 2:
        p.frame(1, 1, 13, 13, K, W)
        p.frame(2, 2, 12, 12, G, S)
    else:
        p.frame(1, 1, 13, 13, W, K)
        p.frame(2, 2, 12, 12, S, G)
    if state == 3:
        p.rect(5, 6, 9, 8, G)


def check_strip(kind):
    strip = Picture(16 * 25, 16)
    for index in range(1, 25):
        cell = Picture(16, 16)
        group, state = (index - 1) // 4, (index - 1) % 4
        if group in (0, 1):
            radio(cell, state, kind, group == 1)
        elif group == 2:
            box(cell, state, kind)
        elif group == 3:
            box(cell, state, kind, 'check')
        elif group == 4:
            box(cell, state, kind, 'mixed')
        else:
            button(cell, state, kind)
        strip.paste(cell, 16 * index, 0)
    return strip


def triangle(p, cx, top, height, down, c):
    """A filled triangle, its point at the bottom (down) or at the top."""
    for i in range(height):
        half = i if not down else height - 1 - i
        p.rect(cx - half, top + i, cx + half, top + i, c)


def utilities():
    strip = Picture(16 * 9, 16)
    # 0, 1: drop marks, an arrow at the left or right edge pointing at the
    # place the column goes.
    left, right = Picture(16, 16), Picture(16, 16)
    for i in range(5):
        left.rect(i, 7 - i, i, 7 + i, K)
        right.rect(15 - i, 7 - i, 15 - i, 7 + i, K)
    left.rect(5, 6, 8, 8, K)
    right.rect(7, 6, 10, 8, K)
    # 2, 3: sort glyphs drawn in relief; 4, 5: the flat ones for themed headers.
    desc, asc = Picture(16, 16), Picture(16, 16)
    triangle(desc, 7, 6, 5, True, G)
    for i in range(5):
        desc.set(7 + (4 - i), 6 + i, W)
    triangle(asc, 7, 5, 5, False, G)
    asc.rect(3, 9, 11, 9, W)
    tdesc, tasc = Picture(16, 16), Picture(16, 16)
    for i in range(4):
        tdesc.set(4 + i, 6 + i, (96, 96, 96))
        tdesc.set(10 - i, 6 + i, (96, 96, 96))
        tasc.set(4 + i, 9 - i, (96, 96, 96))
        tasc.set(10 - i, 9 - i, (96, 96, 96))
    # 6-8: the hot bar of the XP look, three rows at the bottom.
    bar = [(255, 213, 140), (248, 179, 48), (229, 151, 0)]
    pieces = [Picture(16, 16) for _ in range(3)]
    for n, piece in enumerate(pieces):
        for i, c in enumerate(bar):
            piece.rect(0, 13 + i, 15, 13 + i, c)
    pieces[0].set(0, 13, F)
    pieces[0].set(0, 15, F)
    pieces[2].set(15, 13, F)
    pieces[2].set(15, 15, F)
    for i, cell in enumerate([left, right, desc, asc, tdesc, tasc] + pieces):
        strip.paste(cell, 16 * i, 0)
    return strip


def xp_button(plus):
    p = Picture(9, 9)
    for y in range(1, 8):
        shade = 255 - (y - 1) * 9
        p.rect(1, y, 7, y, (shade, shade, shade - 8))
    p.frame(0, 0, 8, 8, (122, 152, 175))
    for x, y in ((0, 0), (8, 0), (0, 8), (8, 8)):
        p.set(x, y, F)
    p.rect(2, 4, 6, 4, K)
    if plus:
        p.rect(4, 2, 4, 6, K)
    return p


def arrow_cells(directions, size=32, centre=15):
    """Character rows of a panning picture: a ring with arrows ('X' black,
    'o' white, '.' transparent) pointing in the given directions
    (n, s, e, w, ne, nw, se, sw)."""
    grid = [['.'] * size for _ in range(size)]

    def put(x, y, ch):
        if 0 <= x < size and 0 <= y < size:
            grid[y][x] = ch

    for y in range(size):
        for x in range(size):
            d = math.hypot(x - centre, y - centre)
            if d <= 2.2:
                put(x, y, 'X')
            elif d <= 3.2:
                put(x, y, 'o')
    vectors = {'n': (0, -1), 's': (0, 1), 'e': (1, 0), 'w': (-1, 0),
               'ne': (1, -1), 'nw': (-1, -1), 'se': (1, 1), 'sw': (-1, 1)}
    for name in directions:
        dx, dy = vectors[name]
        if dx == 0 or dy == 0:
            # A straight head: rows across the direction, widening towards
            # the centre, its tip 14 pixels out.
            for i in range(6):
                px, py = centre + dx * (14 - i), centre + dy * (14 - i)
                for j in range(-i, i + 1):
                    put(px + j * (dx == 0), py + j * (dy == 0), 'X')
        else:
            # A diagonal head: the corner triangle between the tip and the
            # points five steps back along each axis.
            tx, ty = centre + dx * 11, centre + dy * 11
            for a in range(6):
                for b in range(6 - a):
                    put(tx - dx * a, ty - dy * b, 'X')
    # Everything black gets a white outline, so it shows on dark backgrounds.
    outlined = [row[:] for row in grid]
    for y in range(size):
        for x in range(size):
            if grid[y][x] == '.':
                near = any(0 <= x + i < size and 0 <= y + j < size and grid[y + j][x + i] == 'X'
                           for i in (-1, 0, 1) for j in (-1, 0, 1))
                if near:
                    outlined[y][x] = 'o'
    return [''.join(row) for row in outlined]


def panning_picture(directions):
    rows = arrow_cells(directions)
    p = Picture(32, 32)
    for y, row in enumerate(rows):
        for x, ch in enumerate(row):
            if ch == 'X':
                p.set(x, y, K)
            elif ch == 'o':
                p.set(x, y, W)
    return p


def cursor(rows, hot):
    xor_rows, and_rows = [], []
    for line in reversed(rows):          # bitmaps are stored bottom-up
        xor_bits = and_bits = 0
        for ch in line:
            xor_bits <<= 1
            and_bits <<= 1
            if ch == '.':
                and_bits |= 1
            elif ch == 'o':
                xor_bits |= 1
        xor_rows.append(struct.pack('>I', xor_bits))
        and_rows.append(struct.pack('>I', and_bits))
    header = struct.pack('<IiiHHIIiiII', 40, 32, 64, 1, 1, 0, 256, 0, 0, 2, 0)
    palette = bytes([0, 0, 0, 0, 255, 255, 255, 0])
    image = header + palette + b''.join(xor_rows) + b''.join(and_rows)
    directory = struct.pack('<HHH', 0, 2, 1)
    entry = struct.pack('<BBBBHHII', 32, 32, 2, 0, hot[0], hot[1], len(image), 6 + 16)
    return directory + entry + image


def split_cursor():
    grid = [['.'] * 32 for _ in range(32)]
    for y in range(6, 25):
        for x in (14, 16):
            grid[y][x] = 'X'
    for i in range(4):
        for j in range(-i, i + 1):
            grid[15 + j][9 + i] = 'X'       # left arrow head
            grid[15 + j][21 - i] = 'X'      # right arrow head
    for x in range(12, 14):
        grid[15][x] = 'X'
    for x in range(17, 19):
        grid[15][x] = 'X'
    rows = [''.join(r) for r in grid]
    out = [list(r) for r in rows]
    for y in range(32):
        for x in range(32):
            if rows[y][x] == '.' and any(0 <= x + i < 32 and 0 <= y + j < 32 and rows[y + j][x + i] == 'X'
                                         for i in (-1, 0, 1) for j in (-1, 0, 1)):
                out[y][x] = 'o'
    return [''.join(r) for r in out]


if __name__ == '__main__':
    for kind, name in (('light', 'vt_check_light'), ('dark', 'vt_check_dark'),
                       ('lighttick', 'vt_tick_light'), ('darktick', 'vt_tick_dark'),
                       ('flat', 'vt_flat'), ('xp', 'vt_xp')):
        with open(name + '.bmp', 'wb') as f:
            f.write(check_strip(kind).bmp())
    with open('vt_utilities.bmp', 'wb') as f:
        f.write(utilities().bmp())
    with open('vt_xpbuttonplus.bmp', 'wb') as f:
        f.write(xp_button(True).bmp())
    with open('vt_xpbuttonminus.bmp', 'wb') as f:
        f.write(xp_button(False).bmp())
    pannings = {'moveall': ['n', 's', 'e', 'w'], 'moveew': ['e', 'w'], 'movens': ['n', 's']}
    for name, dirs in pannings.items():
        with open('vt_%s.bmp' % name, 'wb') as f:
            f.write(panning_picture(dirs).bmp())
        with open('vt_%s.cur' % name, 'wb') as f:
            f.write(cursor(arrow_cells(dirs), (15, 15)))
    for d in ('n', 's', 'e', 'w', 'ne', 'nw', 'se', 'sw'):
        with open('vt_move%s.cur' % d, 'wb') as f:
            f.write(cursor(arrow_cells([d]), (15, 15)))
    with open('vt_headersplit.cur', 'wb') as f:
        f.write(cursor(split_cursor(), (15, 15)))
