#!/usr/bin/env python3
"""Golden values of the property motion: the value at elapsed time t of a
motion over d ms from s to e, for easing 0 (linear), 1 and 2 (quarter
sines), computed with Python's math.sin and its round (half to even).

    tests/data/objects/make_prop_motion_golden.py > tests/data/objects/prop_motion.txt

Each line: easing d t s e value rounded. Rows whose value lies within 1e-6
of a rounding tie are left out unless the tie is exact (a float carries them
differently), so that the whole-number column is exact.
"""
import math

HALF_PI = 1.5707963267948966


def value(easing, t, d, s, e):
    if t == 0:
        return s
    if t >= d - 1:
        return e
    if easing == 1:
        return e - math.sin((d - t - 1) * HALF_PI / d) * (e - s)
    if easing == 2:
        return s + math.sin(t * HALF_PI / d) * (e - s)
    return s + (e - s) * t / d


def main():
    cases = []
    for easing in (0, 1, 2, 7):
        for d, s, e in ((10, 0, 5), (1000, 0, 640), (400, 255, 0), (16, -100, 100), (1, 3, 9), (2, 10, 20)):
            for t in sorted({0, 1, 2, 3, 5, d // 4, d // 3, d // 2, d - 2, d - 1, d, d + 50}):
                if t < 0:
                    continue
                cases.append((easing, d, t, s, e))
    print("# easing d t s e value rounded")
    for easing, d, t, s, e in cases:
        v = value(easing, t, d, s, e)
        frac = abs(v - math.floor(v) - 0.5)
        if frac < 1e-6 and frac != 0:
            continue
        print(f"{easing} {d} {t} {s} {e} {v!r} {round(v)}")


if __name__ == "__main__":
    main()
