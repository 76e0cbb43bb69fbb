#!/usr/bin/python3
# Writes rotate.bin: DrawRotate results computed pixel by pixel with numpy
# from the stated algorithm (bounds from the turned corners, 16.16 inverse
# steps, nearest sampling, 32-bit wrapping positions, flips mirror the sampled
# pixel). Source: 7 x 5, pixel (x, y) = 1 + x + 16 * y; destination 24 x 24,
# cleared to 0, centre drawn at (12, 12). Little-endian uint32, one 24 x 24
# plane per case of CASES. Run with Debian's /usr/bin/python3.
import math
import numpy as np

SW, SH, DW, DH, X, Y = 7, 5, 24, 24, 12, 12
# angle, zoomX, zoomY, centerX, centerY, flipH, flipV
CASES = [
    (0, 256, 256, 0, 0, False, False),
    (32, 256, 256, 3, 2, False, False),
    (64, 256, 256, 3, 2, True, False),
    (-20, 384, 300, 1, 4, False, True),
    (100, 200, 512, 6, 0, True, True),
    (200, 700, 256, 2, 2, False, False),
]

def trunc(v):
    return int(v)  # toward zero

def s32(v):
    v &= 0xFFFFFFFF
    return v - (1 << 32) if v & 0x80000000 else v

def draw(angle, zx_, zy_, cx_, cy_, fh, fv):
    out = np.zeros((DH, DW), dtype=np.uint32)
    zx, zy = zx_ / 256, zy_ / 256
    t = angle * 2 * math.pi / 256
    cx, cy = cx_ * zx, cy_ * zy
    px = [-cx, SW * zx - cx - 1, -cx, SW * zx - cx - 1]
    py = [-cy, -cy, SH * zy - cy - 1, SH * zy - cy - 1]
    xs = [a * math.cos(t) - b * math.sin(t) + X for a, b in zip(px, py)]
    ys = [a * math.sin(t) + b * math.cos(t) + Y for a, b in zip(px, py)]
    l, tp = max(trunc(min(xs)), 0), max(trunc(min(ys)), 0)
    r, bt = min(trunc(max(xs) + 1), DW), min(trunc(max(ys) + 1), DH)
    dudx = trunc(65536 * math.cos(-t) / zx)
    dvdx = trunc(65536 * math.sin(-t) / zy)
    dudy = trunc(65536 * -math.sin(-t) / zx)
    dvdy = trunc(65536 * math.cos(-t) / zy)
    for y in range(tp, bt):
        for x in range(l, r):
            u = s32(cx_ * 65536 + (x - X) * dudx + (y - Y) * dudy)
            v = s32(cy_ * 65536 + (x - X) * dvdx + (y - Y) * dvdy)
            if u < 0 or v < 0:
                continue
            c, w = u >> 16, v >> 16
            if fh:
                c = SW - 1 - c
            if fv:
                w = SH - 1 - w
            if 0 <= c < SW and 0 <= w < SH:
                out[y, x] = 1 + c + 16 * w
    return out

np.concatenate([draw(*c).astype('<u4').ravel() for c in CASES]).tofile("rotate.bin")
