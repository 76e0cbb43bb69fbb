#!/usr/bin/env python3
"""Golden values of the property motion: the value at elapsed time t of a
motion over d ms from s to e, for easing 0 (linear), 1 and 2 (quarter
sines), computed with Python's math.sin, and the whole value a whole
property takes (truncated toward zero, math.trunc).

    tests/data/objects/make_prop_motion_golden.py > tests/data/objects/prop_motion.txt

Each line: easing d t s e value whole. Rows whose value lies within 1e-6
of a whole number without being one are left out (a float carries them
across it differently), and so are whole values the sines reach only by
rounding, so that the whole-number column is exact.
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
        for d, s, e in ((10, 0, 5), (1000, 0, 640), (400, 255, 0), (16, -100, 100), (1, 3, 9), (2, 10, 20),
                        (1000, 0, 100)):
            # Frames of 16 ms as well: LEFT 0 -> 100 over 1000 ms shows 0 1 3 4 6 8 9 11.
            for t in sorted({0, 1, 2, 3, 5, d // 4, d // 3, d // 2, d - 2, d - 1, d, d + 50} | set(range(0, 128, 16))):
                if t < 0:
                    continue
                cases.append((easing, d, t, s, e))
    print("# easing d t s e value whole")
    for easing, d, t, s, e in cases:
        v = value(easing, t, d, s, e)
        near = abs(v - round(v))
        exact = t == 0 or t >= d - 1 or easing not in (1, 2)
        if near < 1e-6 and (near != 0 or not exact):
            continue
        print(f"{easing} {d} {t} {s} {e} {v!r} {math.trunc(v)}")


if __name__ == "__main__":
    main()
