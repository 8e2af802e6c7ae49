#!/usr/bin/env python3
"""Generates the screen pictures and user-interface textures of the demo data.

Plain Python 3, no third-party modules: every picture is drawn here from
shapes, gradients and a small block-letter alphabet, and written as BMP
(24-bit, rows bottom-up) or TGA (32-bit, top-left origin).

    python3 tools/gen_images.py [data-directory]

Writes, under the data directory (default: data/ beside this folder):
  misc/HUD/hud_logo_harn.bmp     start-up logo, 512 x 512
  misc/loading/loading1.bmp      loading picture, 800 x 512 (1600:1024)
  misc/czarne.tga                black console bar texture
  misc/menu/menu_black.tga       black dimming layer texture
  misc/HUD/hud_progress_bar.tga  loading progress bar texture, 64 x 64

The loading picture has a 40-pixel band of its own colour at each side
edge: a 4:3 screen crops more than that from each side, so neither band
shows there when the picture is cropped evenly.
"""
import math
import os
import struct
import sys

# 5 x 7 block letters for the titles.
LETTERS = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    " ": ["00000"] * 7,
}


class Picture:
    def __init__(self, width, height, color=(0, 0, 0, 255)):
        self.width = width
        self.height = height
        self.px = [list(color) for _ in range(width * height)]

    def get(self, x, y):
        return self.px[y * self.width + x]

    def put(self, x, y, color, alpha=1.0):
        if not (0 <= x < self.width and 0 <= y < self.height):
            return
        d = self.px[y * self.width + x]
        for k in range(3):
            d[k] = int(round(d[k] * (1.0 - alpha) + color[k] * alpha))
        if len(color) > 3:
            d[3] = int(round(d[3] * (1.0 - alpha) + color[3] * alpha))

    def fill_rect(self, x0, y0, x1, y1, color):
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                self.put(x, y, color)

    def disc(self, cx, cy, r, color, inner=0.0):
        """A disc (or a ring when inner > 0) with a soft one-pixel edge."""
        for y in range(int(cy - r - 2), int(cy + r + 3)):
            for x in range(int(cx - r - 2), int(cx + r + 3)):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                a = min(1.0, max(0.0, r - d + 0.5))
                if inner > 0:
                    a = min(a, min(1.0, max(0.0, d - inner + 0.5)))
                if a > 0:
                    self.put(x, y, color, a)

    def text(self, s, x, y, scale, color):
        for ch in s:
            rows = LETTERS[ch]
            for ry, row in enumerate(rows):
                for rx, bit in enumerate(row):
                    if bit == "1":
                        self.fill_rect(x + rx * scale, y + ry * scale, x + (rx + 1) * scale, y + (ry + 1) * scale, color)
            x += 6 * scale

    def text_width(self, s, scale):
        return len(s) * 6 * scale - scale


def write_bmp(path, pic):
    row_bytes = (pic.width * 3 + 3) & ~3
    data = bytearray()
    for y in range(pic.height - 1, -1, -1):
        row = bytearray()
        for x in range(pic.width):
            r, g, b = pic.get(x, y)[:3]
            row += bytes((b, g, r))
        row += bytes(row_bytes - len(row))
        data += row
    header = b"BM" + struct.pack("<IHHI", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, pic.width, pic.height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    write_file(path, header + info + bytes(data))


def write_tga(path, pic):
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, pic.width, pic.height, 32, 0x28)
    data = bytearray()
    for y in range(pic.height):
        for x in range(pic.width):
            r, g, b, a = pic.get(x, y)
            data += bytes((b, g, r, a))
    write_file(path, header + bytes(data))


def write_file(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def logo():
    """The studio logo: a golden ring around a tower on a moor, and the name."""
    pic = Picture(512, 512, (0, 0, 0, 255))
    gold = (214, 170, 72)
    # Dark red disc inside a gold ring.
    pic.disc(256, 220, 170, (60, 12, 10))
    pic.disc(256, 220, 176, gold, inner=162)
    # The moor: two hills.
    for x in range(86, 427):
        for base, amp, phase, color in ((300, 22, 0.0, (34, 30, 26)), (318, 14, 1.7, (22, 20, 18))):
            top = int(base - amp * math.sin(x / 60.0 + phase))
            for y in range(top, 390):
                if math.hypot(x + 0.5 - 256, y + 0.5 - 220) < 162:
                    pic.put(x, y, color)
    # The tower with a lit window.
    pic.fill_rect(236, 120, 276, 300, (18, 16, 14))
    pic.fill_rect(228, 108, 284, 122, (18, 16, 14))
    for i in range(4):
        pic.fill_rect(228 + i * 16, 98, 236 + i * 16, 108, (18, 16, 14))
    pic.fill_rect(250, 150, 262, 170, gold)
    # The name under the ring.
    name = "BRAKMOOR"
    scale = 7
    pic.text(name, 256 - pic.text_width(name, scale) // 2, 420, scale, gold)
    return pic


def loading():
    """A dusk moor at 1600:1024, with a side band at each edge."""
    w, h = 800, 512
    pic = Picture(w, h)
    for y in range(h):
        t = y / (h - 1)
        sky = (int(40 + 150 * t), int(30 + 70 * t), int(70 + 20 * t))
        for x in range(w):
            pic.px[y * w + x] = [sky[0], sky[1], sky[2], 255]
    # A low sun in the middle and the hills in front of it.
    pic.disc(400, 300, 60, (250, 200, 120))
    for x in range(w):
        for base, amp, freq, color in ((330, 30, 90.0, (50, 40, 44)), (380, 24, 55.0, (30, 26, 28)),
                                       (430, 12, 35.0, (18, 16, 18))):
            top = int(base - amp * math.sin(x / freq))
            for y in range(top, h):
                pic.put(x, y, color)
    # A stone tower on the horizon, centred, so the middle of the picture is
    # easy to find on any screen.
    pic.fill_rect(392, 250, 408, 340, (12, 10, 12))
    pic.fill_rect(386, 242, 414, 252, (12, 10, 12))
    # Side bands.
    pic.fill_rect(0, 0, 40, h, (120, 20, 20))
    pic.fill_rect(w - 40, 0, w, h, (20, 20, 120))
    return pic


def solid(size, color):
    return Picture(size, size, color)


def progress_bar():
    """White with a soft vertical shading; the bar colour comes from the tint."""
    pic = Picture(64, 64)
    for y in range(64):
        v = int(255 - 60 * abs(y - 24) / 40)
        for x in range(64):
            pic.px[y * 64 + x] = [v, v, v, 255]
    return pic


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    data = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "data")
    write_bmp(os.path.join(data, "misc", "HUD", "hud_logo_harn.bmp"), logo())
    write_bmp(os.path.join(data, "misc", "loading", "loading1.bmp"), loading())
    write_tga(os.path.join(data, "misc", "czarne.tga"), solid(8, (0, 0, 0, 255)))
    write_tga(os.path.join(data, "misc", "menu", "menu_black.tga"), solid(8, (0, 0, 0, 255)))
    write_tga(os.path.join(data, "misc", "HUD", "hud_progress_bar.tga"), progress_bar())


if __name__ == "__main__":
    main()
