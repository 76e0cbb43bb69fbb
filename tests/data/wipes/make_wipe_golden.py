#!/usr/bin/python3
"""Writes the expected geometry of the wipe tests, computed with Python's
math and round (ties to even), independently of the player's code:

  sectors.txt  masks of the clock hand, fans and circle: '#' painted, '.'
               not, '?' a pixel centre within 0.75 px of an edge
  ripple.txt   the ripple's quarter tables (distance, cos, sin) and wave
  spot.txt     per pixel of the spotlight: picture (o/n) and grey level
  grid.txt     the grid wipe's mask values

Run once with /usr/bin/python3; the outputs are committed."""
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def angle_of(p0):
    return p0 / 360 * 2 * math.pi - math.pi / 2


def sector_mask(w, h, sectors, r):
    """sectors: list of (from, sweep) clockwise on screen; r: radius."""
    cx, cy = w // 2, h // 2
    rows = []
    for y in range(h):
        row = []
        for x in range(w):
            px, py = x + 0.5 - cx, y + 0.5 - cy
            d = math.hypot(px, py)
            inside = False
            near = abs(d - r) < 0.75
            for a, sweep in sectors:
                if sweep <= 0:
                    continue
                if d <= r and (sweep >= 2 * math.pi or (math.atan2(py, px) - a) % (2 * math.pi) <= sweep):
                    inside = True
                if sweep < 2 * math.pi:
                    for edge in (a, a + sweep):
                        ux, uy = math.cos(edge), math.sin(edge)
                        along = ux * px + uy * py
                        off = abs(ux * py - uy * px) if along > 0 else d
                        if off < 0.75:
                            near = True
            if d > r + 0.75:
                near = False
            row.append('?' if near else '#' if inside else '.')
        rows.append(''.join(row))
    return rows


def sectors():
    w, h = 48, 36
    r = math.hypot(w // 2, h // 2)
    out = []
    cases = []
    # name kind p0 mode position duration
    for p0 in (0, 90):
        for mode in (0, 1):
            for pos in (125, 500, 875):
                cases.append(("clock", 31, p0, mode, pos, 1000))
    for pos in (250, 500, 999):
        cases.append(("fan", 34, 30, 0, pos, 1000))
        cases.append(("wfan", 35, 30, 0, pos, 1000))
    for mode in (0, 1):
        for pos in (300, 500):
            cases.append(("circle", 36, 0, mode, pos, 1000))
    for name, kind, p0, mode, pos, dur in cases:
        f = pos / dur
        if kind == 31:
            start = angle_of(p0)
            a = start - f * 2 * math.pi if mode else start + f * 2 * math.pi
            secs = [(a, start - a)] if mode else [(start, a - start)]
            rows = sector_mask(w, h, secs, r)
        elif kind == 34:
            c = angle_of(p0)
            rows = sector_mask(w, h, [(c - f * math.pi, 2 * f * math.pi)], r)
        elif kind == 35:
            c1 = angle_of(p0)
            c2 = p0 / 360 * 2 * math.pi + math.pi / 2
            dl = f * math.pi / 2
            rows = sector_mask(w, h, [(c1 - dl, 2 * dl), (c2 - dl, 2 * dl)], r)
        else:
            rr = round(r * (dur - pos) / dur) if mode else round(r * pos / dur)
            rows = sector_mask(w, h, [(0, 2 * math.pi)], rr)
            if mode:
                rows = [row.translate(str.maketrans('#.', '.#')) for row in rows]
        out.append(f"{kind} {p0} {mode} {pos} {dur} {w} {h}")
        out.extend(rows)
    return out


def ripple():
    out = []
    for w, h, amp in ((40, 30, 5), (41, 31, 9)):
        qw, qh = w // 2, h // 2
        out.append(f"{w} {h} {amp}")
        for y in range(qh):
            cells = []
            for x in range(qw):
                dx, dy = x - qw, y - qh
                phi = math.atan2(dy, dx)
                cells.append(f"{round(math.hypot(abs(dx), abs(dy)))},{round(math.cos(phi) * 65536)},{round(math.sin(phi) * 65536)}")
            out.append(' '.join(cells))
        n = (min(qw, qh) * 2) // 3
        p = n // 4
        out.append(' '.join(str((i % p) * amp // p) for i in range(n)))
    return out


def spot():
    out = []
    for w, h, mode, pos, dur in ((40, 30, 0, 500, 1000), (40, 30, 1, 300, 1000), (33, 21, 0, 700, 1000)):
        hw, hh = w // 2, h // 2
        outer = round(math.hypot(hh, hw))
        reach = outer + 512
        t = pos * reach // dur
        out.append(f"{w} {h} {mode} {pos} {dur}")
        for y in range(h):
            cells = []
            for x in range(w):
                d = round(math.hypot(abs(y - hh), abs(x - hw)))
                if mode:
                    d = outer - d
                passed = d + 256 <= t
                level = (d - t + 511 if passed else t - d) if d <= t < d + 512 else 0
                cells.append(('n' if passed else 'o') + str(level))
            out.append(' '.join(cells))
    return out


def grid():
    out = []
    for w, h, p0, p1, mode, pos, dur in ((64, 48, 16, 30, 0, 500, 1000), (64, 48, 16, 1, 1, 400, 1000),
                                          (70, 50, 16, 30, 0, 750, 1000)):
        cols, rows = (w + p0 - 1) // p0, (h + p0 - 1) // p0
        n = round(math.hypot(rows - 1, cols - 1))
        level = pos * ((n - 1) * 4 + p1) // dur
        mask = [[0] * w for _ in range(h)]
        for cy in range(rows):
            for cx in range(cols):
                k = round(math.hypot(rows - 1 - cy, cols - 1 - cx)) if mode else round(math.hypot(cy, cx))
                d = 4 * k
                if d > level:
                    continue
                v = min(255, (level - d) * 255 // p1)
                if v <= 0:
                    continue
                s = min(p0, (level - d) * p0 // p1)
                if s <= 0:
                    continue
                left, top = cx * p0 + (p0 - s) // 2, cy * p0 + (p0 - s) // 2
                for y in range(max(top, 0), min(top + s, h)):
                    for x in range(max(left, 0), min(left + s, w)):
                        mask[y][x] = v
        out.append(f"{w} {h} {p0} {p1} {mode} {pos} {dur}")
        out.extend(' '.join(str(v) for v in row) for row in mask)
    return out


for name, lines in (("sectors.txt", sectors()), ("ripple.txt", ripple()), ("spot.txt", spot()), ("grid.txt", grid())):
    with open(os.path.join(HERE, name), "w") as f:
        f.write('\n'.join(lines) + '\n')
