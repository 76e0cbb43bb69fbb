#!/usr/bin/python3
"""Makes the bitmap test files of tests/render and their decoded pixels.

Run once with Debian's Python (python3-pil) and ImageMagick's `convert`:
    /usr/bin/python3 tests/data/dib/make_golden.py
Each picture NAME.{bmp,tga,ico,cur} is written either by Pillow, by
ImageMagick or byte by byte below (for layouts neither writes: RLE4,
deltas, 16-bit fields, top-down rows, gaps before the pixels), and then
decoded by Pillow (ImageMagick where Pillow cannot) into NAME.rgb: raw
red, green, blue bytes, top row first. manifest.txt lists NAME WIDTH
HEIGHT for every decoded picture.

With --check-writers DIR it instead decodes the files our writers left in
DIR (written by the render tests) with Pillow and ImageMagick and compares
them with the .rgb files written next to them; verified files are copied
here under written/ and the tests compare our writers' output with them.
"""
import os, shutil, struct, subprocess, sys
from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
manifest = []


def pattern(w, h, colors):
    """Deterministic picture over a small set of colours, with runs."""
    px = []
    seed = 12345
    for y in range(h):
        for x in range(w):
            seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
            if (seed >> 16) % 3 == 0 and px:
                px.append(px[-1])  # runs for the run-length encoders
            else:
                px.append(colors[(seed >> 8) % len(colors)])
    return px


COLORS8 = [(0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 255, 0), (0, 0, 255), (17, 34, 51), (200, 100, 50),
           (128, 128, 128)]
COLORS_MANY = [((i * 37) & 255, (i * 91) & 255, (i * 53 + 7) & 255) for i in range(40)]


def golden(name, decoder="pil", size=None):
    path = os.path.join(HERE, name)
    base = os.path.splitext(name)[0]
    if decoder == "pil":
        im = Image.open(path).convert("RGB")
        w, h = im.size
        data = im.tobytes()
    else:
        # ImageMagick warns (and exits 1) on an end-of-bitmap mark before the
        # last row, which the format allows; the pixels are complete anyway.
        w, h = size
        data = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True).stdout
    assert len(data) == w * h * 3
    open(os.path.join(HERE, base + ".rgb"), "wb").write(data)
    manifest.append(f"{base} {w} {h}")


def pil_image(w, h, px, mode="RGB"):
    im = Image.new("RGB", (w, h))
    im.putdata(px)
    return im if mode == "RGB" else im.quantize(colors=256, dither=Image.Dither.NONE)


def write(name, data):
    open(os.path.join(HERE, name), "wb").write(data)


def bmp(w, h, bpp, rows, table=(), compression=0, masks=None, header=40, gap=0, top_down=False, image=None):
    """A BMP file; rows are the stored rows (bottom-up unless top_down)."""
    if header == 12:
        info = struct.pack("<IHHHH", 12, w, h, 1, bpp)
        tab = b"".join(struct.pack("<BBB", b, g, r) for r, g, b in table)
    else:
        info = struct.pack("<IiiHHIIiiII", 40, w, -h if top_down else h, 1, bpp, compression,
                           len(image) if image is not None else 0, 0, 0, len(table), 0)
        tab = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in table)
    if masks:
        info += struct.pack("<III", *masks)
    pixels = image if image is not None else b"".join(rows)
    off = 14 + len(info) + len(tab) + gap
    return b"BM" + struct.pack("<IHHI", off + len(pixels), 0, 0, off) + info + tab + b"\xEE" * gap + pixels


def pad(row):
    return row + b"\0" * (-len(row) % 4)


def make_bmps():
    # Pillow: 1, 8, 24 and 32 bits.
    w, h = 13, 5
    im = pil_image(w, h, pattern(w, h, [(0, 0, 0), (255, 255, 255)])).convert("1", dither=Image.Dither.NONE)
    im.save(os.path.join(HERE, "bmp_1bit.bmp")); golden("bmp_1bit.bmp")
    w, h = 11, 7
    pil_image(w, h, pattern(w, h, COLORS_MANY), "P").save(os.path.join(HERE, "bmp_8bit.bmp")); golden("bmp_8bit.bmp")
    w, h = 9, 4
    pil_image(w, h, pattern(w, h, COLORS_MANY)).save(os.path.join(HERE, "bmp_24bit.bmp")); golden("bmp_24bit.bmp")
    im = pil_image(w, h, pattern(w, h, COLORS_MANY)).convert("RGBA")
    im.save(os.path.join(HERE, "bmp_32bit.bmp")); golden("bmp_32bit.bmp")
    # 32 bits with 0 in every fourth byte, as Windows and most tools write
    # a picture without alpha.
    im.putalpha(0)
    im.save(os.path.join(HERE, "bmp_32_noalpha.bmp")); golden("bmp_32_noalpha.bmp")
    # ImageMagick: RLE8 and the 12-byte (OS/2) header with a 4-bit table.
    src = os.path.join(HERE, "tmp_src.png")
    w, h = 23, 9
    pil_image(w, h, pattern(w, h, COLORS8)).save(src)
    subprocess.check_call(["convert", src, "-type", "Palette", "-compress", "RLE", "BMP3:" + os.path.join(HERE, "bmp_rle8.bmp")])
    golden("bmp_rle8.bmp")
    w, h = 6, 3
    pil_image(w, h, pattern(w, h, COLORS8)).save(src)
    subprocess.check_call(["convert", src, "-type", "Palette", "BMP2:" + os.path.join(HERE, "bmp_os2.bmp")])
    golden("bmp_os2.bmp")
    os.remove(src)
    # Byte by byte: 4-bit, RLE4 and RLE8 with deltas, 16-bit 5-5-5 and
    # 5-6-5, 32-bit bit fields, top-down rows, a gap before the pixels.
    table16 = [((i * 16) & 255, (i * 40) & 255, 255 - i * 15) for i in range(16)]
    w, h = 7, 3
    idx = [[(x * 3 + y * 5) % 16 for x in range(w)] for y in range(h)]
    rows = [pad(bytes((r[x] << 4) | (r[x + 1] if x + 1 < w else 0) for x in range(0, w, 2))) for r in idx]
    write("bmp_4bit.bmp", bmp(w, h, 4, rows[::-1], table16)); golden("bmp_4bit.bmp")
    # Pillow 9.4 misreads deltas and odd RLE4 literals: ImageMagick decodes
    # these two. RLE4: a run, a literal of 5 nibbles (3 bytes + pad), end of line; a delta
    # of (2, 1) skipping a row; an end of line; a run; end of bitmap before the
    # last row (left as index 0).
    rle4 = bytes([5, 0x12, 0, 5, 0x34, 0x56, 0x70, 0, 0, 0,
                  3, 0xAB, 0, 2, 2, 1, 4, 0xCD, 0, 0,
                  9, 0xEF, 0, 1])
    write("bmp_rle4.bmp", bmp(10, 5, 4, None, table16, compression=2, image=rle4)); golden("bmp_rle4.bmp", decoder="im", size=(10, 5))
    table8 = [(i, 255 - i, (i * 7) & 255) for i in range(256)]
    rle8 = bytes([3, 10, 0, 3, 20, 21, 22, 0, 2, 30, 0, 0,
                  0, 2, 4, 1, 2, 40, 0, 0,
                  0, 4, 1, 2, 3, 4, 4, 50, 0, 1])
    write("bmp_rle8_delta.bmp", bmp(8, 4, 8, None, table8, compression=1, image=rle8)); golden("bmp_rle8_delta.bmp", decoder="im", size=(8, 4))
    w, h = 5, 3
    px = pattern(w, h, COLORS_MANY)
    def p555(c): return (c[0] >> 3) << 10 | (c[1] >> 3) << 5 | c[2] >> 3
    def p565(c): return (c[0] >> 3) << 11 | (c[1] >> 2) << 5 | c[2] >> 3
    rows = [pad(b"".join(struct.pack("<H", p555(px[y * w + x])) for x in range(w))) for y in range(h)]
    write("bmp_16_555.bmp", bmp(w, h, 16, rows[::-1])); golden("bmp_16_555.bmp")
    rows = [pad(b"".join(struct.pack("<H", p565(px[y * w + x])) for x in range(w))) for y in range(h)]
    write("bmp_16_565.bmp", bmp(w, h, 16, rows[::-1], compression=3, masks=(0xF800, 0x7E0, 0x1F))); golden("bmp_16_565.bmp")
    rows = [b"".join(struct.pack("<BBBB", c[2], c[1], c[0], 0x99) for c in px[y * w:(y + 1) * w]) for y in range(h)]
    write("bmp_32_fields.bmp", bmp(w, h, 32, rows[::-1], compression=3, masks=(0xFF0000, 0xFF00, 0xFF))); golden("bmp_32_fields.bmp")
    rows = [pad(b"".join(struct.pack("<BBB", c[2], c[1], c[0]) for c in px[y * w:(y + 1) * w])) for y in range(h)]
    write("bmp_topdown.bmp", bmp(w, h, 24, rows, top_down=True)); golden("bmp_topdown.bmp")
    write("bmp_offbits.bmp", bmp(w, h, 24, rows[::-1], gap=6)); golden("bmp_offbits.bmp")


def tga(w, h, image_type, depth, pixels, cmap=b"", cm_len=0, cm_first=0, cm_depth=0, desc=0, footer=b""):
    hdr = struct.pack("<BBBHHBHHHHBB", 0, 1 if cm_len else 0, image_type, cm_first, cm_len, cm_depth, 0, 0, w, h,
                      depth, desc)
    return hdr + cmap + pixels + footer


def make_tgas():
    w, h = 9, 5
    px = pattern(w, h, COLORS_MANY)
    im = pil_image(w, h, px)
    im.quantize(colors=64, dither=Image.Dither.NONE).save(os.path.join(HERE, "tga_type1.tga")); golden("tga_type1.tga")
    im.save(os.path.join(HERE, "tga_type2.tga")); golden("tga_type2.tga")
    im.quantize(colors=64, dither=Image.Dither.NONE).save(os.path.join(HERE, "tga_type9.tga"), compression="tga_rle")
    golden("tga_type9.tga")
    im.save(os.path.join(HERE, "tga_type10.tga"), compression="tga_rle"); golden("tga_type10.tga")
    rgba = im.convert("RGBA")
    rgba.putalpha(Image.frombytes("L", (w, h), bytes((x * 40) & 255 for x in range(w * h))))
    rgba.save(os.path.join(HERE, "tga_type10_32.tga"), compression="tga_rle")
    golden("tga_type10_32.tga")
    open(os.path.join(HERE, "tga_type10_32.alpha"), "wb").write(rgba.getchannel("A").tobytes())
    # 16-bit 5-5-5, top-down (decoded by ImageMagick), with a footer whose
    # extension area gives the key colour (red 10, green 20, blue 30).
    w, h = 4, 2
    words = [0x7FFF, 0x001F, 0x03E0, 0x7C00, 0x1234, 0x0000, 0x4210, 0x2108]
    ext = bytearray(495)
    struct.pack_into("<H", ext, 0, 495)
    struct.pack_into("<BBBB", ext, 470, 30, 20, 10, 0)
    data = tga(w, h, 2, 16, b"".join(struct.pack("<H", v) for v in words), desc=0x20)
    footer = bytes(ext) + struct.pack("<II", len(data), 0) + b"TRUEVISION-XFILE.\0"
    write("tga_16_topdown.tga", data + footer)
    golden("tga_16_topdown.tga", decoder="im", size=(w, h))
    # The same pixels right-to-left and bottom-up (Pillow honours both flags).
    write("tga_16_mirrored.tga", tga(w, h, 2, 16, b"".join(struct.pack("<H", v) for v in words), desc=0x10))
    golden("tga_16_mirrored.tga")


def make_icons():
    src1 = os.path.join(HERE, "tmp_a.png")
    src2 = os.path.join(HERE, "tmp_b.png")
    # A 16x16 picture with soft alpha (32-bit entry) and an 8x8 one of few
    # colours without alpha (palette entry with an AND mask).
    im = pil_image(16, 16, pattern(16, 16, COLORS_MANY)).convert("RGBA")
    im.putalpha(Image.frombytes("L", (16, 16), bytes((i * 7) & 255 for i in range(256))))
    im.save(src1)
    im2 = pil_image(8, 8, pattern(8, 8, COLORS8[:4])).convert("RGBA")
    im2.putalpha(Image.frombytes("L", (8, 8), bytes(0 if i % 5 == 0 else 255 for i in range(64))))
    im2.save(src2)
    subprocess.check_call(["convert", src1, src2, os.path.join(HERE, "ico_two.ico")])
    subprocess.check_call(["convert", src2, os.path.join(HERE, "ico_one.ico")])
    os.remove(src1)
    os.remove(src2)
    # A 4-bit icon with an AND mask, byte by byte (ImageMagick writes only
    # 32-bit entries here): 10 x 6, index (x + 2y) mod 16, AND bit set on
    # the diagonal x == y and in the last column.
    w, h = 10, 6
    table = [((i * 16) & 255, 255 - i * 15, (i * 40) & 255) for i in range(16)]
    xor_rows, and_rows = [], []
    for y in range(h):
        idx = [(x + 2 * y) % 16 for x in range(w)]
        xor_rows.append(pad(bytes((idx[x] << 4) | (idx[x + 1] if x + 1 < w else 0) for x in range(0, w, 2))))
        bits = 0
        for x in range(w):
            if x == y or x == w - 1:
                bits |= 1 << (31 - x)
        and_rows.append(struct.pack(">I", bits))
    img = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 4, 0, 0, 0, 0, 0, 0)
    img += b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in table)
    img += b"".join(xor_rows[::-1]) + b"".join(and_rows[::-1])
    data = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", w, h, 16, 0, 1, 4, len(img), 22) + img
    write("ico_4bit.ico", data)
    for name in ("ico_two", "ico_one", "ico_4bit"):
        ico = Image.open(os.path.join(HERE, name + ".ico"))
        count = struct.unpack_from("<H", open(os.path.join(HERE, name + ".ico"), "rb").read(), 4)[0]
        for i in range(count):
            fr = ico.ico.frame(i).convert("RGBA")
            base = f"{name}_{i}"
            open(os.path.join(HERE, base + ".rgb"), "wb").write(fr.convert("RGB").tobytes())
            open(os.path.join(HERE, base + ".alpha"), "wb").write(fr.getchannel("A").tobytes())
            manifest.append(f"{base} {fr.size[0]} {fr.size[1]}")
    # A cursor: the one-image icon with type 2 and hot spot (3, 5).
    data = bytearray(open(os.path.join(HERE, "ico_one.ico"), "rb").read())
    struct.pack_into("<H", data, 2, 2)
    struct.pack_into("<HH", data, 6 + 4, 3, 5)
    write("cur_one.cur", bytes(data))


def check_writers(out):
    os.makedirs(os.path.join(HERE, "written"), exist_ok=True)
    ok = True
    for name in sorted(os.listdir(out)):
        base, ext = os.path.splitext(name)
        if ext == ".rgb" or ext == ".alpha":
            continue
        expect = open(os.path.join(out, base + ".rgb"), "rb").read()
        path = os.path.join(out, name)
        im = Image.open(path)
        got = (im.ico.frame(0) if ext == ".ico" else im).convert("RGBA")
        rgb = got.convert("RGB").tobytes()
        im_rgb = subprocess.check_output(["convert", path + ("[0]" if ext in (".ico", ".cur") else ""), "-auto-orient",
                                          "-depth", "8", "rgb:-"])
        alpha_path = os.path.join(out, base + ".alpha")
        if os.path.exists(alpha_path) and ext == ".cur":
            # Pillow reads a cursor without its AND mask: the masked-out
            # pixels must read black, as the expected colours say.
            good = rgb == expect
        elif os.path.exists(alpha_path):
            want_a = open(alpha_path, "rb").read()
            good = got.getchannel("A").tobytes() == want_a
            # Only visible pixels have to keep their colour.
            good &= all(want_a[i] == 0 or rgb[3 * i:3 * i + 3] == expect[3 * i:3 * i + 3] for i in range(len(want_a)))
        elif "_16_" in name or "_15_" in name:
            # Decoders widen 5- and 6-bit fields differently: compare the
            # field bits only.
            good = len(rgb) == len(expect) and len(im_rgb) == len(expect)
            good = good and all((a >> 3) == (b >> 3) and (c >> 3) == (b >> 3) for a, b, c in zip(rgb, expect, im_rgb))
        else:
            good = rgb == expect and im_rgb == expect
        print(("ok   " if good else "FAIL ") + name)
        ok &= good
        if good:
            shutil.copy(path, os.path.join(HERE, "written", name))
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--check-writers":
        check_writers(sys.argv[2])
    make_bmps()
    make_tgas()
    make_icons()
    open(os.path.join(HERE, "manifest.txt"), "w").write("\n".join(manifest) + "\n")
