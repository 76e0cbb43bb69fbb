#!/usr/bin/python3
# Writes particle_golden.inc: the positions of one particle sprite of each
# movement pattern, born from a parameter record and stepped by chosen tick
# counts, computed in numpy's 80-bit long double with half-even rounding
# (np.rint) and truncation (np.trunc). The process-wide generator is
# seed := seed * 0x08088405 + 1 (mod 2^32); a draw of n is the high 32 bits
# of seed * n, the real form seed / 2^32.
#
# Sprite picture 6 x 4 (offsets 3, 2); emitter 320 x 240; frame period 16.
import numpy as np

L = np.longdouble
PI = L("3.14159265358979323846264338327950288")
W, H = 6, 4
PW, PH = 320, 240


class Gen:
    def __init__(self, seed):
        self.seed = seed

    def next(self):
        self.seed = (self.seed * 0x08088405 + 1) & 0xFFFFFFFF
        return self.seed

    def draw(self, n):
        return (self.next() * (n & 0xFFFFFFFF)) >> 32

    def real(self):
        return L(self.next()) / L(4294967296)


def trunc(v):
    return int(np.trunc(v))


def rint(v):
    return int(np.rint(v))


def zoomed(v, z):
    # v * z / 256 truncated toward zero
    p = v * z
    q = abs(p) // 256
    return q if p >= 0 else -q


def run(motion, seed, params, birth, steps):
    g = Gen(seed)
    xmin, xrange_, ymin, yrange_ = birth
    x = g.draw(xrange_) + xmin
    y = g.draw(yrange_) + ymin
    g.draw(1)  # the interval (its minimum keeps the next birth away)
    p1, p2, p3 = (L(v) for v in params)  # the doubles the test passes, widened exactly
    left, top = x, y
    offx, offy = W // 2, H // 2
    zoom = 256
    prio = 0
    finished = 0
    xacc = yacc = a = b = angle = r = reach = L(0)
    ox = oy = 0
    if motion == 1:
        ox, oy = left, top
        a = L(0)
        b = g.real() * L("0.02") + L("0.02")
        if p1 <= 0:
            p1 = L("0.1")
        if p2 < p3:
            a = g.real() * (p3 - p2)
    elif motion == 2:
        ox, oy = left, top
        angle = g.real() * PI * 2
        r = p1 + L("0.1")
        left = rint(np.cos(angle) * r) + ox
        top = rint(np.sin(angle) * r) + oy
        w, h = L(PW), L(PH)
        dx = w if ox < w / 2 else L(0)
        dy = h if oy < h / 2 else L(0)
        reach = np.hypot(abs(dx - ox), abs(dy - oy))
        p3 = g.real() * (p3 * L("0.3")) + p3 * L("0.7")
    elif motion == 3:
        p2 = g.real() * (p3 - p2) + p2
        xacc = L(left)
        oy = top
    elif motion == 4:
        ox = left
        yacc = L(top)
        a = g.real() * (p2 / 2 * L("0.05")) + p2 / 2 * L("0.95")
        r = g.real() * (p3 * L("0.5")) + p3 * L("0.5")
    rows = []
    for n in steps:
        ln = L(n)
        if motion == 1:
            angle += ln * b
            left = rint(np.sin(angle) * (p2 + a)) + ox
            yacc += ln * p1
            if yacc >= 1:
                t = trunc(yacc)
                top += t
                yacc -= t
            if not finished:
                finished = int(PH <= top - offy)
        elif motion == 2:
            if n > 1:
                r *= np.power(p2, L(n - 1))
            if not (abs(r) <= L(2147483647)):
                finished = 1
                rows.append((left, top, zoom, prio, finished))
                continue
            left = rint(np.cos(angle) * r) + ox
            top = rint(np.sin(angle) * r) + oy
            r *= p2
            if not finished:
                finished = int(r >= reach)
            angle += p3
        elif motion == 3:
            xacc += ln * p2
            left = trunc(xacc)
            yacc += ln
            top = oy - trunc(p1 * yacc * yacc)
            if not finished:
                lx, ty = left - offx, top - offy
                if p2 >= 0:
                    finished = int(PW <= lx or ty + H < 0)
                else:
                    finished = int(lx + W < 0 or ty + H < 0)
        elif motion == 4:
            angle += ln * r
            if angle > 2 * PI:
                angle -= 2 * PI
            s = abs(np.cos(angle / 2)) * L("0.5") + L("0.5")
            zoom = rint(s * 256)
            left = trunc(np.sin(angle) * a * s) + ox
            yacc -= p1
            top = trunc(yacc)
            prio = rint((s - L("0.5")) / L("0.5") * 2000 - 1000)
            if not finished:
                finished = int(top - zoomed(offy, zoom) + H < 0)
        else:
            finished = 1
        rows.append((left, top, zoom, prio, finished))
    return x, y, rows


ticks = [1, 1, 2, 3, 1, 5, 1, 1, 4, 1, 2, 7, 1, 1, 3, 1, 1, 10, 2, 1]
cases = [
    # motion, seed, PARAM1..3, birth (x min, x range, y min, y range), steps
    (1, 12345, (0.7, 20.0, 35.0), (100, 50, 10, 5), ticks * 3),
    (1, 777, (0.0, 9.0, 3.0), (10, 300, 0, 1), ticks),  # PARAM1 0 -> 0.1; no amplitude draw
    (1, 3, (5.0, 4.0, 2.0), (0, 320, 200, 10), ticks),  # falls out of the bottom
    (2, 4242, (5.0, 1.08, 0.05), (150, 20, 110, 20), ticks * 2),
    (2, 99, (3.0, 0.95, 0.2), (40, 10, 200, 10), ticks),  # shrinks: never reaches
    (2, 5, (2.0, 1e300, 0.1), (160, 1, 120, 1), [1, 1, 1, 2]),  # the radius overflows: stops
    (3, 31337, (0.01, -1.0, 2.0), (150, 20, 200, 10), ticks * 2),
    (3, 8, (0.05, -3.0, -2.0), (30, 5, 230, 5), ticks),
    (4, 2024, (1.5, 80.0, 0.2), (150, 20, 230, 5), ticks * 2),
    (5, 1, (1.0, 1.0, 1.0), (0, 1, 0, 1), [1]),
]

out = ["// Generated by make_particle_golden.py; do not edit.",
       "// {motion, seed, {PARAM1, PARAM2, PARAM3}, {x min, x range, y min, y range}, born x, born y,",
       "//  {{ticks, LEFT, TOP, ZOOMX, PRIORITY, finished} ...}}"]
for motion, seed, params, birth, steps in cases:
    x, y, rows = run(motion, seed, params, birth, steps)
    body = ", ".join("{%d, %d, %d, %d, %d, %d}" % ((n,) + row) for n, row in zip(steps, rows))
    out.append("{%d, %du, {%r, %r, %r}, {%d, %d, %d, %d}, %d, %d, {%s}}," %
               ((motion, seed) + tuple(params) + tuple(birth) + (x, y, body)))
with open("particle_golden.inc", "w") as f:
    f.write("\n".join(out) + "\n")
