#!/usr/bin/python3
# Writes blend_<bits>.bin: the expected results of the fills and blends of the
# drawing surface, computed with numpy straight from the channel-mask formulas
# ((d and M) * (255 - w) + (s and M) * w) shr 8 and M, per depth. Run with
# Debian's /usr/bin/python3 (python3-numpy); the output is committed.
#
# File layout (little-endian uint32, W x H pixels row-major each):
#   dst, src, mask, then one result array per case of CASES, in order.
import numpy as np

W, H = 13, 5
KEYPOS = [(1, 0), (2, 0), (7, 3), (12, 4)]
EQPOS = [(3, 1), (4, 1), (9, 2), (0, 4)]

def masks(bits):
    return {8: [0xFF], 15: [0x7C00, 0x03E0, 0x001F], 16: [0xF800, 0x07E0, 0x001F],
            24: [0xFF0000, 0xFF00, 0xFF], 32: [0xFF000000, 0xFF0000, 0xFF00, 0xFF]}[bits]

def stored(bits):
    return {8: 0xFF, 15: 0xFFFF, 16: 0xFFFF, 24: 0xFFFFFF, 32: 0xFFFFFFFF}[bits]

def packed(bits):
    return bits in (15, 16, 32)

U = np.uint64
E8 = U(8)

def blend(d, s, w, bits):
    r = np.zeros_like(d)
    w = U(w) if np.isscalar(w) else w
    for M in map(U, masks(bits)):
        r |= (((d & M) * (U(255) - w) + (s & M) * w) >> E8) & M
    return r

def add(d, s, k, bits):
    r = np.zeros_like(d)
    k = U(k) if np.isscalar(k) else k
    for M in map(U, masks(bits)):
        t = (d & M) + ((((s & M) * k) >> E8) & M)
        r |= np.minimum(t, M)
    return r

def add_full(d, c, bits):
    r = np.zeros_like(d)
    for M in map(U, masks(bits)):
        r |= np.minimum((d & M) + (c & M), M)
    return r

def sub(d, c, bits):
    r = np.zeros_like(d)
    for M in map(U, masks(bits)):
        t = (d & M).astype(np.int64) - (c & M).astype(np.int64)
        r |= np.where(t < 0, 0, t).astype(np.uint64)
    return r

# The cases, mirrored by the table in tests/render/surface_golden_test.cpp.
CASES = [
    ("draw", 0), ("draw_key", 0),
    ("alpha", 1), ("alpha", 128), ("alpha", 255), ("alpha_key", 77),
    ("mask", 0), ("mask_alpha", 128), ("mask_alpha", 255),
    ("add", 255), ("add", 100), ("mask_add", 200), ("mask_add", 255),
    ("fill_alpha", 128), ("fill_add", 0), ("fill_sub", 0),
    ("fill_mask", 255), ("fill_mask", 100),
]
FILL = {8: 0x5A, 15: 0x3DEF, 16: 0x7BCF, 24: 0x406080, 32: 0x11406080}

def run(bits, d, s, m, key, name, p):
    pk = packed(bits)
    s_is_key = s == key
    eq = s == d
    c = np.uint64(FILL[bits])
    if name == "draw":
        return s.copy()
    if name == "draw_key":
        return np.where(s_is_key, d, s)
    if name in ("alpha", "alpha_key"):
        r = blend(d, s, np.uint64(p), bits)
        r = np.where(eq, d, r)
        return np.where(s_is_key, d, r) if name == "alpha_key" else r
    if name == "mask":
        r = blend(d, s, m, bits)
        if pk:
            r = np.where(eq, d, r)
        r = np.where(m == 255, s, r)
        return np.where(m == 0, d, r)
    if name == "mask_alpha":
        e = (m * U(p)) >> E8
        if pk:
            e = np.where(m == 255, np.uint64(p), e)
        r = blend(d, s, e, bits)
        if pk:
            r = np.where(eq, d, r)
        return np.where(m == 0, d, r)
    if name == "add":
        if bits == 8:  # 8-bit surfaces add raw bytes
            r = np.minimum(d + s, U(255))
        else:
            r = add(d, s, np.uint64(p), bits)
        return np.where(s_is_key, d, r)  # the key always applies
    if name == "mask_add":
        e = (m * U(p)) >> E8
        if pk:
            e = np.where(m == 255, np.uint64(p), e)
        r = add(d, s, e, bits)
        return np.where(m == 0, d, r)
    if name == "fill_alpha":
        r = blend(d, np.full_like(d, c), np.uint64(p), bits)
        return np.where(d == c, d, r)
    if name == "fill_add":
        return add_full(d, np.full_like(d, c), bits)
    if name == "fill_sub":
        return sub(d, np.full_like(d, c), bits)
    if name == "fill_mask":
        if pk and p == 255:
            e = m
        else:
            e = (m * U(p)) >> E8
        r = blend(d, np.full_like(d, c), e, bits)
        if pk:
            r = np.where(d == c, d, r)
        return np.where(m == 0, d, r)
    raise ValueError(name)

def main():
    rng = np.random.default_rng(1234)
    for bits in (8, 15, 16, 24, 32):
        st = stored(bits)
        d = rng.integers(0, st + 1, size=(H, W), dtype=np.uint64)
        s = rng.integers(0, st + 1, size=(H, W), dtype=np.uint64)
        # Saturating corners: a few pixels at full and at zero.
        d[0, 5] = st
        s[0, 6] = st
        d[1, 7] = 0
        m = rng.integers(0, 256, size=(H, W), dtype=np.uint64)
        m[:, 0] = 0
        m[:, 1] = 255
        m[2, :] = 255
        m[3, 2:6] = 0
        key = s[0, 11]
        for x, y in KEYPOS:
            s[y, x] = key
        for x, y in EQPOS:
            d[y, x] = s[y, x]
        d[4, 3] = FILL[bits]
        out = [d, s, m]
        for name, p in CASES:
            out.append(run(bits, d, s, m, key, name, p))
        np.concatenate([a.astype('<u4').ravel() for a in out]).tofile(f"blend_{bits}.bin")

main()
