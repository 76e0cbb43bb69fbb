#!/usr/bin/python3
# Golden easing values of film tracks, computed independently of the player:
# numpy longdouble for the extended sine, Python's round (half-even).
import numpy as np

HALF_PI = np.longdouble("1.5707963267948966")

def tween_int(kind, a, b, n, i, child):
    if child:
        n += 1
    if i == 0:
        return a
    if i == n - 1:
        return b
    if kind == 0:
        q = abs((b - a) * i) // (n - 1)
        return (q if (b - a) * i >= 0 else -q) + a
    if kind == 1:
        s = np.sin(np.longdouble(n - i - 1) * HALF_PI / np.longdouble(n))
        return b - int(round(s * np.longdouble(b - a)))
    s = np.sin(np.longdouble(i) * HALF_PI / np.longdouble(n))
    return a + int(round(s * np.longdouble(b - a)))

rows = []
for kind in (0, 1, 2):
    for (a, b, n) in ((0, 100, 5), (0, 100, 10), (-37, 251, 17), (1000, -1000, 60), (0, 255, 90), (5, 6, 3)):
        for child in (0, 1):
            for i in range(0, n + child):
                rows.append((kind, a, b, n, i, child, tween_int(kind, a, b, n, i, child)))
with open(__file__.replace("make_tween_golden.py", "tween_golden.txt"), "w") as f:
    f.write("# kind a b n i child value\n")
    for r in rows:
        f.write(" ".join(str(v) for v in r) + "\n")
