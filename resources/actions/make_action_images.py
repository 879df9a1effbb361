#!/usr/bin/env python3
"""Draws the actions' pictures: one 24-bit bitmap strip of 16 x 16 pictures,
fuchsia RGB(255,0,255) transparent, in the order of TActionImage
(src/controls/ActionImages.h).

Run by the build: make_action_images.py OUTPUT.bmp [PREVIEW.ppm] (a preview
four times as large, for looking at the pictures).
"""
import math
import os
import sys

# The bitmap picture of the list control's generator: pixels, rectangles,
# frames, patterns and the .bmp file.
sys.dont_write_bytecode = True   # nothing written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'vtree'))
from make_vtree_images import Picture as StripPicture  # noqa: E402

F = (255, 0, 255)
K = (0, 0, 0)
W = (255, 255, 255)
DARK = (64, 64, 64)
GREY = (128, 128, 128)
LIGHT = (200, 200, 200)
PAPER = (250, 250, 250)
RED = (200, 30, 30)
DARKRED = (130, 0, 0)
GREEN = (20, 150, 40)
DARKGREEN = (0, 90, 20)
BLUE = (40, 90, 200)
NAVY = (20, 40, 120)
YELLOW = (250, 205, 90)
OCHRE = (170, 120, 30)
STEEL = (150, 160, 175)

SIZE = 16


class Picture(StripPicture):
    """One 16 x 16 picture; points may fall between pixels."""

    def __init__(self):
        super().__init__(SIZE, SIZE)

    def set(self, x, y, c):
        super().set(int(round(x)), int(round(y)), c)

    def box(self, x0, y0, x1, y1, fill, edge):
        self.rect(x0, y0, x1, y1, fill)
        self.frame(x0, y0, x1, y1, edge)

    def line(self, x0, y0, x1, y1, c):
        n = int(math.ceil(max(abs(x1 - x0), abs(y1 - y0), 1)))
        for i in range(n + 1):
            self.set(x0 + (x1 - x0) * i / n, y0 + (y1 - y0) * i / n, c)

    def disc(self, cx, cy, r, fill, edge=None):
        for y in range(SIZE):
            for x in range(SIZE):
                d = math.hypot(x - cx, y - cy)
                if d <= r + 0.3:
                    self.set(x, y, edge if edge and d > r - 0.8 else fill)

    def ring(self, cx, cy, r, width, c, skip=None):
        """Pixels whose distance from the centre is within width of r;
        skip(angle in degrees, 0 = right, counter-clockwise) leaves a gap."""
        for y in range(SIZE):
            for x in range(SIZE):
                d = math.hypot(x - cx, y - cy)
                if abs(d - r) <= width / 2:
                    a = math.degrees(math.atan2(cy - y, x - cx)) % 360
                    if skip is None or not skip(a):
                        self.set(x, y, c)

    def polygon(self, points, c):
        ys = [p[1] for p in points]
        for y in range(int(min(ys)), int(max(ys)) + 1):
            xs = []
            n = len(points)
            for i in range(n):
                (x0, y0), (x1, y1) = points[i], points[(i + 1) % n]
                if (y0 <= y < y1) or (y1 <= y < y0):
                    xs.append(x0 + (y - y0) * (x1 - x0) / (y1 - y0))
            xs.sort()
            for a, b in zip(xs[::2], xs[1::2]):
                for x in range(int(math.ceil(a - 0.01)), int(math.floor(b + 0.01)) + 1):
                    self.set(x, y, c)

    def text(self, x0, y0, word, c):
        for ch in word:
            self.pattern(x0, y0, FONT[ch], c)
            x0 += len(FONT[ch][0]) + 1


FONT = {
    'A': [".X.", "X.X", "XXX", "X.X", "X.X"],
    'D': ["XX.", "X.X", "X.X", "X.X", "XX."],
    'E': ["XXX", "X..", "XX.", "X..", "XXX"],
    'M': ["X...X", "XX.XX", "X.X.X", "X...X", "X...X"],
    'N': ["X..X", "XX.X", "X.XX", "X..X", "X..X"],
    'R': ["XX.", "X.X", "XX.", "X.X", "X.X"],
    'U': ["X.X", "X.X", "X.X", "X.X", "XXX"],
    'i': ["X", ".", "X", "X", "X"],
    '?': ["XX.", "..X", ".X.", "...", ".X."],
}


# ---- pieces

def folder(p):
    p.box(1, 3, 6, 5, YELLOW, OCHRE)
    p.box(1, 5, 14, 13, YELLOW, OCHRE)
    p.line(2, 6, 13, 6, (255, 235, 160))


def badge_plus(p, cx=11, cy=11):
    p.rect(cx - 4, cy - 1, cx + 4, cy + 1, DARKGREEN)
    p.rect(cx - 1, cy - 4, cx + 1, cy + 4, DARKGREEN)
    p.line(cx - 3, cy, cx + 3, cy, GREEN)
    p.line(cx, cy - 3, cx, cy + 3, GREEN)


def badge_minus(p, cx=11, cy=11):
    p.rect(cx - 4, cy - 1, cx + 4, cy + 1, DARKRED)
    p.line(cx - 3, cy, cx + 3, cy, RED)


def badge_cross(p, cx=10, cy=10):
    for i in range(-3, 4):
        for dx in (0, 1):
            p.set(cx + i + dx, cy + i, RED)
            p.set(cx + i + dx, cy - i, RED)


def page(p):
    p.box(2, 1, 11, 14, PAPER, GREY)
    for y in (4, 6, 8, 10):
        p.line(4, y, 9, y, LIGHT)


def arc_arrow(p, color, dark):
    # Three quarters of a circle, clockwise from the top, and a head at its end.
    p.ring(7.5, 8, 5, 2.2, color, skip=lambda a: 20 < a < 100)
    p.polygon([(9, 0.5), (13.5, 3.5), (9, 6.5)], color)
    p.line(9, 1, 12.5, 3.5, dark)


def gear(p, cx, cy, r, color, edge):
    for k in range(8):
        a = math.radians(k * 45)
        p.disc(cx + math.cos(a) * (r + 1), cy - math.sin(a) * (r + 1), 1.3, edge)
    p.disc(cx, cy, r, color, edge)
    p.disc(cx, cy, max(r / 2.5, 1.5), F)


def letter_disc(p, fill, edge, word, x, y=6):
    p.disc(7.5, 7.5, 7, fill, edge)
    p.text(x, y, word, W)


def language(p, word):
    p.box(0, 3, 15, 12, PAPER, NAVY)
    width = sum(len(FONT[c][0]) + 1 for c in word) - 1
    p.text((16 - width) // 2, 5, word, NAVY)


# ---- the pictures, in TActionImage order

def refresh(p):
    arc_arrow(p, GREEN, DARKGREEN)


def add_folder(p):
    folder(p)
    badge_plus(p)


def edit_folder(p):
    folder(p)
    p.line(8, 14, 14, 8, OCHRE)
    p.line(9, 14, 15, 8, (230, 120, 40))
    p.line(8, 13, 14, 7, (230, 120, 40))
    p.set(7, 15, K)


def delete_folder(p):
    folder(p)
    badge_cross(p)


def service(p):
    gear(p, 7.5, 7.5, 5, STEEL, DARK)


def stop_service(p):
    p.box(3, 3, 12, 12, RED, DARKRED)


def restart_service(p):
    arc_arrow(p, BLUE, NAVY)
    p.polygon([(6, 5), (10, 8), (6, 11)], GREEN)


def startup_type(p):
    for i, y in enumerate((3, 8, 13)):
        p.disc(3, y, 1.6, GREEN if i == 0 else GREY)
        p.line(6, y, 14, y, DARK)


def start_auto(p):
    letter_disc(p, GREEN, DARKGREEN, 'A', 6)


def start_manual(p):
    letter_disc(p, BLUE, NAVY, 'M', 5)


def start_disabled(p):
    p.disc(7.5, 7.5, 7, RED, DARKRED)
    p.disc(7.5, 7.5, 4.8, PAPER)
    for d in (-0.7, 0, 0.7):
        p.line(4 + d, 4 - d, 11 + d, 11 - d, RED)


def update_database(p):
    p.box(1, 3, 9, 13, STEEL, DARK)
    for y in (3, 6, 9):
        p.line(2, y + 1, 8, y + 1, LIGHT)
    p.rect(11, 2, 13, 8, GREEN)
    p.polygon([(9, 8), (15.5, 8), (12, 13)], GREEN)


def check_update(p):
    p.ring(6, 6, 4, 2, DARK)
    p.disc(6, 6, 3, (190, 220, 255))
    p.line(9, 9, 14, 14, OCHRE)
    p.line(10, 9, 15, 14, OCHRE)


def hide_inactive(p):
    p.polygon([(1, 2), (15, 2), (9.5, 8), (9.5, 14), (6.5, 12), (6.5, 8)], BLUE)
    p.line(1, 2, 15, 2, NAVY)


def options(p):
    for y, knob in ((3, 4), (8, 10), (13, 6)):
        p.line(1, y, 14, y, DARK)
        p.box(knob - 1, y - 2, knob + 1, y + 2, STEEL, NAVY)


def columns(p):
    p.box(0, 2, 15, 13, PAPER, DARK)
    p.rect(1, 3, 14, 5, (180, 200, 230))
    for x in (5, 10):
        p.line(x, 3, x, 12, DARK)


def copy(p):
    p.box(1, 1, 9, 11, PAPER, GREY)
    p.box(6, 4, 14, 14, PAPER, NAVY)
    for y in (7, 9, 11):
        p.line(8, y, 12, y, LIGHT)


def auto_update(p):
    p.disc(7.5, 7.5, 7, PAPER, NAVY)
    p.line(7.5, 7.5, 7.5, 3, K)
    p.line(7.5, 7.5, 11, 7.5, K)
    for a in range(0, 360, 90):
        r = math.radians(a)
        p.set(7.5 + math.cos(r) * 5.5, 7.5 - math.sin(r) * 5.5, GREY)


def exit_program(p):
    p.ring(7.5, 8.5, 5.5, 2, RED, skip=lambda a: 60 < a < 120)
    p.rect(7, 1, 8, 8, RED)


def about(p):
    letter_disc(p, BLUE, NAVY, 'i', 7, 5)


def help_topics(p):
    letter_disc(p, BLUE, NAVY, '?', 6, 5)


def lang_en(p):
    language(p, 'EN')


def lang_ru(p):
    language(p, 'RU')


def lang_ua(p):
    language(p, 'UA')


def cpu_usage(p):
    for i in range(4):
        p.line(3 + i * 3, 0, 3 + i * 3, 15, GREY)
        p.line(0, 3 + i * 3, 15, 3 + i * 3, GREY)
    p.box(2, 2, 13, 13, (60, 70, 80), K)
    p.rect(5, 5, 10, 10, (110, 190, 110))


def web_link(p):
    p.disc(7.5, 7.5, 7, (90, 150, 230), NAVY)
    p.ring(7.5, 7.5, 3.5, 1, W)
    p.line(0.5, 7.5, 14.5, 7.5, W)
    p.line(7.5, 0.5, 7.5, 14.5, W)


def add_line(p):
    page(p)
    badge_plus(p, 11, 11)


def delete_line(p):
    page(p)
    badge_minus(p, 11, 11)


def save(p):
    p.box(1, 1, 14, 14, BLUE, NAVY)
    p.box(4, 1, 11, 6, PAPER, NAVY)
    p.rect(8, 2, 10, 5, NAVY)
    p.box(3, 9, 12, 14, LIGHT, NAVY)


def cancel(p):
    # A curved arrow back to the left.
    p.ring(8.5, 9, 4.5, 2.2, (220, 100, 20), skip=lambda a: a > 200 or a < 0)
    p.ring(8.5, 9, 4.5, 2.2, (220, 100, 20), skip=lambda a: not (270 < a < 360))
    p.polygon([(0.5, 9), (6, 5), (6, 13)], (220, 100, 20))


PICTURES = [
    refresh, add_folder, edit_folder, delete_folder, service, stop_service, restart_service,
    startup_type, start_auto, start_manual, start_disabled, update_database, check_update,
    hide_inactive, options, columns, copy, auto_update, exit_program, about, help_topics,
    lang_en, lang_ru, lang_ua, cpu_usage, web_link, add_line, delete_line, save, cancel,
]


def strip():
    whole = StripPicture(SIZE * len(PICTURES), SIZE)
    for i, draw in enumerate(PICTURES):
        p = Picture()
        draw(p)
        whole.paste(p, i * SIZE, 0)
    return whole


def ppm(whole, scale=4):
    out = bytearray(b'P6 %d %d 255\n' % (whole.width * scale, SIZE * scale))
    for row in whole.px:
        line = bytearray()
        for c in row:
            line += bytes(c if c != F else (236, 233, 216)) * scale
        out += bytes(line) * scale
    return bytes(out)


def main():
    whole = strip()
    with open(sys.argv[1], 'wb') as f:
        f.write(whole.bmp())
    if len(sys.argv) > 2:
        with open(sys.argv[2], 'wb') as f:
            f.write(ppm(whole))


if __name__ == '__main__':
    main()
