#!/usr/bin/env python3
"""Draws the module's icons (32x32 and 16x16, 32-bit with alpha) into res/icons/
and its toolbar bitmaps into res/bitmaps/.

Run by hand when an icon changes; the .ico files are committed."""
import os
import struct
import sys


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def s(self, v):  # drawings are made on a 32-unit grid
        return v * self.size / 32.0

    def rect(self, x0, y0, x1, y1, color):
        for y in range(self.size):
            for x in range(self.size):
                cx, cy = x + 0.5, y + 0.5
                if self.s(x0) <= cx < self.s(x1) and self.s(y0) <= cy < self.s(y1):
                    self.px[y][x] = color

    def frame(self, x0, y0, x1, y1, color, width=1):
        w = width
        self.rect(x0, y0, x1, y0 + w, color)
        self.rect(x0, y1 - w, x1, y1, color)
        self.rect(x0, y0, x0 + w, y1, color)
        self.rect(x1 - w, y0, x1, y1, color)

    def circle(self, cx, cy, r, color):
        for y in range(self.size):
            for x in range(self.size):
                dx = (x + 0.5) - self.s(cx)
                dy = (y + 0.5) - self.s(cy)
                if dx * dx + dy * dy <= self.s(r) ** 2:
                    self.px[y][x] = color

    def polygon(self, points, color):
        pts = [(self.s(x), self.s(y)) for x, y in points]
        for y in range(self.size):
            for x in range(self.size):
                px, py = x + 0.5, y + 0.5
                inside = False
                j = len(pts) - 1
                for i in range(len(pts)):
                    xi, yi = pts[i]
                    xj, yj = pts[j]
                    if (yi > py) != (yj > py) and px < (xj - xi) * (py - yi) / (yj - yi) + xi:
                        inside = not inside
                    j = i
                if inside:
                    self.px[y][x] = color


BLACK = (30, 30, 30, 255)
DARK = (70, 70, 80, 255)
GREY = (150, 150, 160, 255)
LIGHT = (215, 215, 220, 255)
WHITE = (250, 250, 250, 255)
BLUE = (50, 110, 200, 255)
SKY = (140, 190, 240, 255)
GREEN = (60, 160, 70, 255)
YELLOW = (240, 200, 70, 255)
FOLDER = (235, 190, 80, 255)
FOLDER_DARK = (190, 140, 40, 255)
RED = (200, 60, 50, 255)


def camera(c):
    c.rect(3, 10, 29, 26, DARK)
    c.rect(10, 7, 19, 11, DARK)
    c.rect(4, 11, 28, 25, GREY)
    c.circle(16, 18, 6, BLACK)
    c.circle(16, 18, 4, BLUE)
    c.circle(15, 17, 1.5, SKY)
    c.rect(23, 12, 27, 15, YELLOW)


def memory_card(c):
    c.polygon([(8, 4), (21, 4), (25, 8), (25, 28), (8, 28)], DARK)
    c.polygon([(9, 5), (20.5, 5), (24, 8.5), (24, 27), (9, 27)], BLUE)
    for x in (11, 14, 17, 20):
        c.rect(x, 6, x + 2, 11, YELLOW)
    c.rect(11, 16, 22, 24, WHITE)
    c.rect(12, 17, 21, 20, SKY)


def hard_disk(c):
    c.rect(3, 11, 29, 24, DARK)
    c.rect(4, 12, 28, 23, LIGHT)
    c.rect(4, 19, 28, 23, GREY)
    c.rect(22, 20, 26, 22, GREEN)
    c.rect(6, 20, 18, 21, DARK)


def folder(c, inner=None):
    c.polygon([(3, 7), (12, 7), (14, 10), (29, 10), (29, 26), (3, 26)], FOLDER_DARK)
    c.rect(4, 12, 28, 25, FOLDER)
    if inner:
        inner(c)


def photo_in_folder(c):
    c.rect(10, 14, 23, 23, WHITE)
    c.rect(11, 15, 22, 22, SKY)
    c.polygon([(11, 22), (15, 17), (18, 20), (20, 18), (22, 22)], GREEN)


def picture(c, badge_color):
    c.rect(6, 4, 26, 28, DARK)
    c.rect(7, 5, 25, 27, WHITE)
    c.rect(9, 8, 23, 20, SKY)
    c.polygon([(9, 20), (14, 13), (18, 17), (20, 15), (23, 20)], GREEN)
    c.circle(20, 11, 1.8, YELLOW)
    c.circle(23, 24, 6, badge_color)
    c.circle(23, 24, 3, WHITE if badge_color == GREEN else badge_color)


ICONS = {
    166: lambda c: folder(c, photo_in_folder),
    214: lambda c: picture(c, GREEN),   # file fetched
    215: lambda c: picture(c, RED),     # file not yet fetched
    239: hard_disk,
    240: memory_card,
    241: lambda c: folder(c),
    245: camera,
}


def bitmap(c):
    n = c.size
    rows = b''
    for y in reversed(range(n)):
        for r, g, b, a in c.px[y]:
            rows += struct.pack('BBBB', b, g, r, a)
    mask_stride = ((n + 31) // 32) * 4
    mask = b''
    for y in reversed(range(n)):
        bits = 0
        row = bytearray(mask_stride)
        for x in range(n):
            if c.px[y][x][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(row)
    header = struct.pack('<IiiHHIIiiII', 40, n, n * 2, 1, 32, 0, len(rows) + len(mask), 0, 0, 0, 0)
    return header + rows + mask


def ico(draw):
    images = []
    for size in (32, 16):
        c = Canvas(size)
        draw(c)
        images.append((size, bitmap(c)))
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return out


def settings_button(c):
    camera(c)
    c.circle(25, 25, 6.5, DARK)
    c.circle(25, 25, 4.5, YELLOW)
    c.circle(25, 25, 2, DARK)


def folder_button(c):
    folder(c)


def list_button(c):
    for y in (6, 13, 20):
        c.rect(4, y, 9, y + 5, BLUE)
        c.rect(11, y + 1, 28, y + 4, DARK)


def refresh_button(c):
    c.circle(16, 16, 11, GREEN)
    c.circle(16, 16, 7, (0, 0, 0, 0))
    c.rect(16, 3, 30, 16, (0, 0, 0, 0))
    c.polygon([(16, 1), (24, 8), (16, 14)], GREEN)


def rotate_button(c):
    c.rect(6, 10, 20, 28, DARK)
    c.rect(7, 11, 19, 27, SKY)
    c.circle(22, 10, 8, BLUE)
    c.circle(22, 10, 5, (0, 0, 0, 0))
    c.rect(14, 10, 22, 19, (0, 0, 0, 0))
    c.polygon([(27, 8), (31, 14), (23, 14)], BLUE)


def thumbs_button(c):
    for x in (4, 18):
        for y in (4, 18):
            c.rect(x, y, x + 10, y + 10, DARK)
            c.rect(x + 1, y + 1, x + 9, y + 9, SKY)


def turn_button(c):
    # A quarter turn clockwise: an arrow over the top of a picture.
    c.circle(18, 14, 11, BLUE)
    c.circle(18, 14, 7, (0, 0, 0, 0))
    c.rect(7, 14, 30, 26, (0, 0, 0, 0))
    c.polygon([(23, 12), (32, 12), (27.5, 20)], BLUE)
    c.rect(2, 14, 20, 30, DARK)
    c.rect(4, 16, 18, 28, SKY)
    c.polygon([(4, 28), (8, 21), (12, 25), (14, 23), (18, 28)], GREEN)


def magnifier(c, plus):
    c.polygon([(18, 21), (21, 18), (31, 28), (28, 31)], DARK)
    c.circle(13, 13, 11, DARK)
    c.circle(13, 13, 8.5, WHITE)
    c.rect(7, 11.5, 19, 14.5, BLACK)
    if plus:
        c.rect(11.5, 7, 14.5, 19, BLACK)


# Toolbar strips: (bitmap id, button drawings left to right), 16x16 per button.
BITMAPS = {
    231: [folder_button],
    232: [list_button],
    233: [refresh_button],
    234: [rotate_button],
    235: [settings_button],
    236: [thumbs_button],
    134: [turn_button, lambda c: magnifier(c, True), lambda c: magnifier(c, False)],  # the viewer
}


def bmp(draws, background=(192, 192, 192)):
    """A 16-colour (4-bit) strip: the light grey background is the colour the
    toolbar maps to its button face and treats as transparent."""
    n = 16
    width = n * len(draws)
    canvases = []
    for draw in draws:
        c = Canvas(n)
        draw(c)
        canvases.append(c)
    palette = [background]
    pixels = []
    for y in reversed(range(n)):
        row = []
        for c in canvases:
            for r, g, b, a in c.px[y]:
                colour = background if a == 0 else (r, g, b)
                if colour not in palette:
                    palette.append(colour)
                row.append(palette.index(colour))
        pixels.append(row)
    if len(palette) > 16:
        raise ValueError('a toolbar picture uses more than 16 colours')
    palette += [(0, 0, 0)] * (16 - len(palette))
    stride = ((width + 1) // 2 + 3) & ~3
    rows = b''
    for row in pixels:
        packed = bytearray()
        for x in range(0, width, 2):
            packed.append((row[x] << 4) | (row[x + 1] if x + 1 < width else 0))
        rows += bytes(packed) + b'\0' * (stride - len(packed))
    colours = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette)
    info = struct.pack('<IiiHHIIiiII', 40, width, n, 1, 4, 0, len(rows), 2835, 2835, 16, 16)
    offset = 14 + len(info) + len(colours)
    header = struct.pack('<2sIHHI', b'BM', offset + len(rows), 0, 0, offset)
    return header + info + colours + rows


def main():
    folder_out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', 'res', 'icons')
    os.makedirs(folder_out, exist_ok=True)
    for rid, draw in ICONS.items():
        with open(os.path.join(folder_out, '%d.ico' % rid), 'wb') as f:
            f.write(ico(draw))
    bitmaps_out = os.path.join(folder_out, '..', 'bitmaps')
    os.makedirs(bitmaps_out, exist_ok=True)
    for rid, draws in BITMAPS.items():
        with open(os.path.join(bitmaps_out, '%d.bmp' % rid), 'wb') as f:
            f.write(bmp(draws))


if __name__ == '__main__':
    main()
