#!/usr/bin/python3
"""Golden masks of hit-area regions, drawn by cairo (python3-cairo) without
antialiasing and with the non-zero winding rule: regions.txt.

    /usr/bin/python3 tests/data/region/make_regions.py > tests/data/region/regions.txt

A rectangle l, t, r, b covers the pixels l..r, t..b; an ellipse is the one
inscribed in the box (l, t) - (r + 1, b + 1); a polygon joins its vertices.
Each case lists its shape, the clip rectangle the mask covers (left, top,
right, bottom; right and bottom exclusive) and one line per row: '#' a
pixel cairo fills, '.' one it leaves, '?' a pixel whose centre lies on or
within 1/64 pixel of the outline, where rasterisers may differ by their
rounding; those are not compared.

Before writing, every compared pixel is checked against an exact centre
test written here with fractions, so a cairo that samples elsewhere than
pixel centres would stop the script rather than produce goldens.
"""
import math
import sys
from fractions import Fraction as F

import cairo

NEAR = F(1, 64)

CASES = [
    ("rect", "rect", (2, 3, 9, 7), (0, 0, 16, 12)),
    ("rect_one_pixel", "rect", (5, 5, 5, 5), (0, 0, 10, 10)),
    ("rect_clipped", "rect", (-4, -3, 6, 20), (0, 0, 12, 12)),
    ("ellipse_even", "ellipse", (0, 0, 15, 9), (0, 0, 18, 12)),
    ("ellipse_odd", "ellipse", (1, 1, 17, 11), (0, 0, 20, 14)),
    ("ellipse_thin", "ellipse", (3, 3, 3, 10), (0, 0, 8, 14)),
    ("ellipse_flat", "ellipse", (2, 2, 41, 3), (0, 0, 44, 6)),
    ("ellipse_circle", "ellipse", (0, 0, 30, 30), (0, 0, 31, 31)),
    ("ellipse_two", "ellipse", (5, 2, 6, 3), (0, 0, 10, 6)),
    ("ellipse_clipped", "ellipse", (-9, -5, 20, 14), (0, 0, 16, 12)),
    ("triangle", "polygon", [(2, 1), (20, 5), (6, 18)], (0, 0, 24, 20)),
    ("arrow", "polygon", [(1, 6), (12, 6), (12, 1), (22, 10), (12, 19), (12, 14), (1, 14)], (0, 0, 24, 20)),
    ("star", "polygon", [(20, 1), (31, 36), (2, 13), (38, 13), (9, 36)], (0, 0, 40, 38)),
    ("square_twice", "polygon", [(2, 2), (14, 2), (14, 14), (2, 14), (2, 2), (14, 2), (14, 14), (2, 14)],
     (0, 0, 16, 16)),
    ("opposed_squares", "polygon", [(1, 1), (20, 1), (20, 16), (1, 16), (1, 1), (6, 5), (6, 12), (15, 12),
                                   (15, 5), (6, 5)], (0, 0, 22, 18)),
    ("collinear_and_flat", "polygon", [(0, 0), (5, 0), (10, 0), (10, 3), (10, 9), (4, 9), (4, 4), (0, 4)],
     (0, 0, 12, 11)),
    ("steep_slivers", "polygon", [(3, 0), (4, 25), (5, 0), (30, 7), (0, 8)], (0, 0, 32, 26)),
    ("outside_clip", "polygon", [(-10, -6), (25, 3), (4, 30)], (0, 0, 16, 14)),
]


def cairo_mask(kind, shape, clip):
    left, top, right, bottom = clip
    w, h = right - left, bottom - top
    surface = cairo.ImageSurface(cairo.FORMAT_A8, w, h)
    ctx = cairo.Context(surface)
    ctx.set_antialias(cairo.ANTIALIAS_NONE)
    ctx.set_fill_rule(cairo.FILL_RULE_WINDING)
    ctx.set_tolerance(0.0005)
    ctx.translate(-left, -top)
    if kind == "rect":
        l, t, r, b = shape
        ctx.rectangle(l, t, r + 1 - l, b + 1 - t)
    elif kind == "ellipse":
        l, t, r, b = shape
        ctx.save()
        ctx.translate((l + r + 1) / 2, (t + b + 1) / 2)
        ctx.scale((r + 1 - l) / 2, (b + 1 - t) / 2)
        ctx.arc(0, 0, 1, 0, 2 * math.pi)
        ctx.restore()
    else:
        ctx.move_to(*shape[0])
        for p in shape[1:]:
            ctx.line_to(*p)
        ctx.close_path()
    ctx.set_source_rgba(0, 0, 0, 1)
    ctx.fill()
    surface.flush()
    data, stride = surface.get_data(), surface.get_stride()
    return [[data[y * stride + x] > 127 for x in range(w)] for y in range(h)]


def edges(points):
    return [(points[i], points[(i + 1) % len(points)]) for i in range(len(points))]


def exact(kind, shape, x, y):
    """(inside, near the outline) for the centre of pixel (x, y)."""
    cx, cy = F(2 * x + 1, 2), F(2 * y + 1, 2)
    if kind == "rect":
        l, t, r, b = shape
        return l <= x <= r and t <= y <= b, False
    if kind == "ellipse":
        l, t, r, b = shape
        ex, ey = F(l + r + 1, 2), F(t + b + 1, 2)
        rx, ry = F(r + 1 - l, 2), F(b + 1 - t, 2)
        dx, dy = cx - ex, cy - ey
        f = (dx / rx) ** 2 + (dy / ry) ** 2
        gx, gy = 2 * dx / rx ** 2, 2 * dy / ry ** 2
        grad = math.hypot(gx, gy)
        near = grad > 0 and abs(float(f - 1)) / grad < float(NEAR)
        return f <= 1, near
    winding, near = 0, False
    for (x0, y0), (x1, y1) in edges(shape):
        if y0 == y1 or not (min(y0, y1) <= cy < max(y0, y1)):
            continue
        xi = x0 + (cy - y0) * F(x1 - x0, y1 - y0)
        if abs(xi - cx) < NEAR:
            near = True
        if xi <= cx:
            winding += 1 if y1 > y0 else -1
    return winding != 0, near


def main():
    out = sys.stdout
    out.write("# Made by make_regions.py with cairo %s; do not edit.\n" % cairo.cairo_version_string())
    for name, kind, shape, clip in CASES:
        mask = cairo_mask(kind, shape, clip)
        left, top, right, bottom = clip
        nums = shape if kind != "polygon" else [v for p in shape for v in p]
        out.write("case %s\n%s %s\nclip %d %d %d %d\n" % (name, kind, " ".join(map(str, nums)), *clip))
        for y in range(top, bottom):
            row = []
            for x in range(left, right):
                filled = mask[y - top][x - left]
                inside, near = exact(kind, shape, x, y)
                if near:
                    row.append("?")
                    continue
                if inside != filled:
                    sys.exit("%s: cairo %s pixel (%d, %d) that the centre test %s" %
                             (name, "fills" if filled else "leaves", x, y, "leaves" if filled else "fills"))
                row.append("#" if filled else ".")
            out.write("".join(row) + "\n")
        out.write("end\n")


if __name__ == "__main__":
    main()
