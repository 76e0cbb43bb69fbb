#!/usr/bin/python3
"""Golden pictures of the screen-shot tests, made once with Pillow (Debian's
/usr/bin/python3): the test scene of tests/shell/system_funcs_test.cpp
drawn as rectangles, saved as raw RGB rows (top row first):
    active.rgb   the active layer, 160 x 120
    half.rgb     the same reduced to 80 x 60 (2 x 2 box average, Pillow's reduce)
    other.rgb    the other layer, 160 x 120
"""
import os
from PIL import Image, ImageDraw

os.chdir(os.path.dirname(os.path.abspath(__file__)))
W, H = 160, 120

# (left, top, width, height, (r, g, b)) in drawing order: siblings of equal
# priority are drawn in the order of their names ("blue", "green", "red").
ACTIVE = [
    (150, 110, 30, 30, (10, 20, 255)),  # "blue", partly off the screen
    (40, 30, 61, 45, (0, 200, 50)),     # "green"
    (43, 33, 9, 9, (250, 250, 250)),    # "white", a child of "green" at (3, 3)
    (11, 7, 50, 33, (255, 0, 0)),       # "red", over "green"
]
OTHER = [(0, 0, 20, 20, (255, 255, 255))]


def scene(back, boxes):
    im = Image.new("RGB", (W, H), back)
    d = ImageDraw.Draw(im)
    for l, t, w, h, c in boxes:
        d.rectangle([l, t, l + w - 1, t + h - 1], fill=c)
    return im


active = scene((32, 64, 96), ACTIVE)
open("active.rgb", "wb").write(active.tobytes())
open("half.rgb", "wb").write(active.reduce(2).tobytes())
open("other.rgb", "wb").write(scene((200, 100, 0), OTHER).tobytes())
