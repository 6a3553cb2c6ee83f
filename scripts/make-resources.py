#!/usr/bin/env python3
"""Draws Delvora's own resources and writes them into resources/.

  delvora.ico   the application icon at every size Windows asks for (16, 20,
                24, 32, 48, 128 and 256 pixels: title bars and lists at
                100% to 200% scaling, Explorer's views), each at 32-bit colour
                with an alpha channel, so that edges blend into any
                background
  HAND-M.CUR    the hand pointer shown over push buttons (32x32, hotspot on
                the tip of the index finger)
  drag.ico      the pointer while an entry of the file list is dragged

and the same application icon as PNG files for the desktop's hicolor icon
theme, into share/linux/icons/hicolor/<size>x<size>/apps/.

The skin, resources/x/o.cjs, is plain text and edited by hand.

Pure Python (no imaging library): shapes are signed-distance functions,
which gives smooth edges at every size. Run from anywhere:
    python3 scripts/make-resources.py
"""

import math
import os
import struct
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
ICON_THEME = os.path.join(ROOT, "..", "share", "linux", "icons", "hicolor")
APP_ID = "example.quorvane.Delvora"
THEME_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
APP_ICON_SIZES = (16, 20, 24, 32, 48, 128, 256)


# ---- drawing ---------------------------------------------------------------

def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def sd_round_rect(px, py, x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r
    dx, dy = abs(px - cx) - hx, abs(py - cy) - hy
    outside = math.hypot(max(dx, 0.0), max(dy, 0.0))
    return outside + min(max(dx, dy), 0.0) - r


def sd_circle(px, py, cx, cy, r):
    return math.hypot(px - cx, py - cy) - r


def sd_capsule(px, py, ax, ay, bx, by, r):
    pax, pay, bax, bay = px - ax, py - ay, bx - ax, by - ay
    h = clamp((pax * bax + pay * bay) / (bax * bax + bay * bay))
    return math.hypot(pax - bax * h, pay - bay * h) - r


def sd_polygon(px, py, pts):
    d = min((px - x) ** 2 + (py - y) ** 2 for x, y in pts)
    sign = 1.0
    n = len(pts)
    for i in range(n):
        x0, y0 = pts[i - 1]
        x1, y1 = pts[i]
        ex, ey = x0 - x1, y0 - y1
        wx, wy = px - x1, py - y1
        h = clamp((wx * ex + wy * ey) / (ex * ex + ey * ey))
        d = min(d, (wx - ex * h) ** 2 + (wy - ey * h) ** 2)
        c1, c2, c3 = py >= y1, py < y0, ex * wy > ey * wx
        if (c1 and c2 and c3) or (not c1 and not c2 and not c3):
            sign = -sign
    return sign * math.sqrt(d)


def union(*fs):
    return lambda x, y: min(f(x, y) for f in fs)


class Canvas:
    """RGBA canvas in unit coordinates (0..1 across the image)."""

    def __init__(self, size):
        self.size = size
        self.px = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]

    def fill(self, sdf, colour, grow=0.0):
        """Paints where sdf < grow; colour is (r,g,b,a) or a function of (x, y)."""
        n = self.size
        aa = 1.0 / n  # one pixel in unit coordinates
        for j in range(n):
            y = (j + 0.5) / n
            row = self.px[j]
            for i in range(n):
                x = (i + 0.5) / n
                cover = clamp(0.5 - (sdf(x, y) - grow) / aa)
                if cover <= 0.0:
                    continue
                c = colour(x, y) if callable(colour) else colour
                a = c[3] * cover
                r0, g0, b0, a0 = row[i]
                out_a = a + a0 * (1 - a)
                if out_a <= 0:
                    continue
                mix = lambda s, d: (s * a + d * a0 * (1 - a)) / out_a
                row[i] = (mix(c[0], r0), mix(c[1], g0), mix(c[2], b0), out_a)

    def bgra_rows_bottom_up(self):
        for row in reversed(self.px):
            yield row


def rgb(hex_text, alpha=1.0):
    v = int(hex_text.lstrip("#"), 16)
    return ((v >> 16 & 255) / 255.0, (v >> 8 & 255) / 255.0, (v & 255) / 255.0, alpha)


def vertical(top, bottom):
    t, b = rgb(top), rgb(bottom)
    return lambda x, y: tuple(t[k] + (b[k] - t[k]) * y for k in range(3)) + (1.0,)


# ---- pictures ----------------------------------------------------------------

def draw_app_icon(size):
    c = Canvas(size)
    # Tile
    c.fill(lambda x, y: sd_round_rect(x, y, 0.04, 0.04, 0.96, 0.96, 0.2), vertical("#3B82F6", "#1D4ED8"))
    # A sheet with a grid: the table being converted
    sheet = lambda x, y: sd_round_rect(x, y, 0.20, 0.17, 0.72, 0.80, 0.05)
    c.fill(sheet, rgb("#0B2A6F", 0.35), grow=0.02)
    c.fill(sheet, rgb("#FFFFFF"))
    line = 0.018 if size >= 64 else 0.03
    grid = rgb("#93C5FD")
    for yy in (0.33, 0.48, 0.63):
        c.fill(lambda x, y, yy=yy: sd_capsule(x, y, 0.27, yy, 0.65, yy, line), grid)
    for xx in (0.40, 0.53):
        c.fill(lambda x, y, xx=xx: sd_capsule(x, y, xx, 0.25, xx, 0.72, line * 0.8), grid)
    # Badge with the tab arrow
    c.fill(lambda x, y: sd_circle(x, y, 0.70, 0.70, 0.22), rgb("#0B2A6F", 0.35), grow=0.02)
    c.fill(lambda x, y: sd_circle(x, y, 0.70, 0.70, 0.22), vertical("#FDBA74", "#EA580C"))
    w = 0.035 if size >= 64 else 0.05
    white = rgb("#FFFFFF")
    c.fill(lambda x, y: sd_capsule(x, y, 0.58, 0.70, 0.76, 0.70, w), white)
    c.fill(lambda x, y: sd_polygon(x, y, [(0.74, 0.60), (0.84, 0.70), (0.74, 0.80)]), white)
    c.fill(lambda x, y: sd_capsule(x, y, 0.855, 0.60, 0.855, 0.80, w * 0.8), white)
    return c


def hand_shape():
    finger = 0.062
    return union(
        lambda x, y: sd_capsule(x, y, 0.36, 0.10, 0.36, 0.52, finger),        # index
        lambda x, y: sd_capsule(x, y, 0.485, 0.40, 0.485, 0.56, finger),      # middle
        lambda x, y: sd_capsule(x, y, 0.605, 0.43, 0.605, 0.58, finger),      # ring
        lambda x, y: sd_capsule(x, y, 0.72, 0.47, 0.72, 0.60, finger * 0.9),  # little
        lambda x, y: sd_capsule(x, y, 0.14, 0.54, 0.30, 0.70, finger),        # thumb
        lambda x, y: sd_round_rect(x, y, 0.30, 0.48, 0.78, 0.90, 0.12),       # palm
    )


HAND_HOTSPOT = (11, 1)  # the top of the index finger, in 32x32 pixels


def draw_hand(size):
    c = Canvas(size)
    shape = hand_shape()
    c.fill(shape, rgb("#000000"), grow=0.045)
    c.fill(shape, rgb("#FFFFFF"))
    return c


def draw_drag(size):
    c = Canvas(size)
    sheet = lambda x, y: sd_round_rect(x, y, 0.16, 0.22, 0.70, 0.78, 0.06)
    c.fill(sheet, rgb("#1F2937"), grow=0.04)
    c.fill(sheet, rgb("#FFFFFF"))
    for yy in (0.38, 0.50, 0.62):
        c.fill(lambda x, y, yy=yy: sd_capsule(x, y, 0.26, yy, 0.58, yy, 0.03), rgb("#2563EB"))
    # Up and down arrow: the entry moves within the list
    arrow = union(
        lambda x, y: sd_capsule(x, y, 0.84, 0.24, 0.84, 0.76, 0.045),
        lambda x, y: sd_polygon(x, y, [(0.70, 0.30), (0.84, 0.08), (0.98, 0.30)]),
        lambda x, y: sd_polygon(x, y, [(0.70, 0.70), (0.98, 0.70), (0.84, 0.92)]),
    )
    c.fill(arrow, rgb("#FFFFFF"), grow=0.04)
    c.fill(arrow, rgb("#EA580C"))
    return c


# ---- file formats ------------------------------------------------------------

def dib(canvas, bits):
    """A BMP image as stored in .ico/.cur: header, XOR pixels, AND mask."""
    n = canvas.size
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, bits, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    mask = bytearray()
    mask_row_bytes = ((n + 31) // 32) * 4
    for row in canvas.bgra_rows_bottom_up():
        line = bytearray()
        mask_bits = bytearray(mask_row_bytes)
        for i, (r, g, b, a) in enumerate(row):
            if bits == 32:
                line += bytes((round(b * 255), round(g * 255), round(r * 255), round(a * 255)))
            else:
                # No alpha channel: edges are blended onto white, the rest masked out.
                if a >= 0.5:
                    line += bytes(round((v * a + (1 - a)) * 255) for v in (b, g, r))
                else:
                    line += b"\0\0\0"
            if a < 0.5:
                mask_bits[i // 8] |= 0x80 >> (i % 8)
        while len(line) % 4:
            line += b"\0"
        pixels += line
        mask += mask_bits
    return header + bytes(pixels) + bytes(mask)


def icon_file(images, cursor_hotspot=None):
    """images: list of (canvas, bits). A hotspot makes it a cursor file."""
    kind = 2 if cursor_hotspot else 1
    blobs = [dib(c, bits) for c, bits in images]
    out = bytearray(struct.pack("<HHH", 0, kind, len(images)))
    offset = 6 + 16 * len(images)
    for (c, bits), blob in zip(images, blobs):
        side = 0 if c.size >= 256 else c.size
        if cursor_hotspot:
            field1, field2 = cursor_hotspot
        else:
            field1, field2 = 1, bits
        out += struct.pack("<BBBBHHII", side, side, 0, 0, field1, field2, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    return bytes(out)


def png_file(canvas):
    """A straight-alpha RGBA PNG, no filters, no time stamp."""
    n = canvas.size
    raw = bytearray()
    for row in canvas.px:
        raw.append(0)
        for r, g, b, a in row:
            raw += bytes(round(v * 255) for v in (r, g, b, a))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    header = struct.pack(">IIBBBBB", n, n, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def write(name, data, root=ROOT):
    path = os.path.join(root, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    print("wrote", os.path.normpath(os.path.relpath(path, os.path.join(ROOT, ".."))), len(data), "bytes")


def main():
    write("delvora.ico", icon_file([(draw_app_icon(size), 32) for size in APP_ICON_SIZES]))
    write("HAND-M.CUR", icon_file([(draw_hand(32), 32)], cursor_hotspot=HAND_HOTSPOT))
    write("drag.ico", icon_file([(draw_drag(32), 32)]))
    for size in THEME_SIZES:
        write(os.path.join(f"{size}x{size}", "apps", APP_ID + ".png"),
              png_file(draw_app_icon(size)), root=ICON_THEME)


if __name__ == "__main__":
    main()
