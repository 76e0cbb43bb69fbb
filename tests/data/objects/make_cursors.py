#!/usr/bin/python3
"""Makes the cursor files of tests/objects and tests/app.

Run once with Debian's Python (python3-pil):
    /usr/bin/python3 tests/data/objects/make_cursors.py
Pillow writes each image as a one-image icon with bitmap entries; the
entries are then gathered into one directory, typed 2 (cursor), each with
the hot spot given below. Every image is one opaque colour, so the colour
of a loaded cursor tells which entry was taken.

choose_size.cur      16x16 32 bpp red, 48x48 32 bpp yellow, 32x32 8 bpp
                     green, 64x64 32 bpp white: the nearest size wins.
choose_colours.cur   32x32 1 bpp, 32x32 24 bpp blue, 32x32 8 bpp green:
                     of equal sizes the most colours win.
choose_tie.cur       48x48 8 bpp green, 16x16 32 bpp red: equally far from
                     32 x 32, the colours decide.
own_cursor.cur       32x32 32 bpp blue, its bottom-right quarter fully
                     transparent, hot spot (10, 20).
"""
import io, os, struct
from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))


def entry(size, mode, colour, clear_quarter=False):
    if mode == "P":
        im = Image.new("RGB", size, colour).quantize(colors=2)
    elif mode == "1":
        im = Image.new("1", size, 1)
    else:
        im = Image.new(mode, size, colour)
    if clear_quarter:
        w, h = size
        for y in range(h // 2, h):
            for x in range(w // 2, w):
                im.putpixel((x, y), (0, 0, 0, 0))
    buf = io.BytesIO()
    im.save(buf, format="ICO", sizes=[size], bitmap_format="bmp")
    data = buf.getvalue()
    assert struct.unpack_from("<H", data, 4)[0] == 1
    head = bytearray(data[6:22])
    offset = struct.unpack_from("<I", head, 12)[0]
    return head, data[offset:]


def cursor(name, entries, hot=(0, 0)):
    out = struct.pack("<HHH", 0, 2, len(entries))
    offset = 6 + 16 * len(entries)
    blobs = b""
    for head, blob in entries:
        struct.pack_into("<HHI", head, 4, hot[0], hot[1], len(blob))
        struct.pack_into("<I", head, 12, offset + len(blobs))
        out += bytes(head)
        blobs += blob
    open(os.path.join(HERE, name), "wb").write(out + blobs)


RED, YELLOW, GREEN, BLUE, WHITE = (255, 0, 0, 255), (255, 255, 0, 255), (0, 255, 0), (0, 0, 255), (255, 255, 255, 255)
cursor("choose_size.cur", [entry((16, 16), "RGBA", RED), entry((48, 48), "RGBA", YELLOW),
                           entry((32, 32), "P", GREEN), entry((64, 64), "RGBA", WHITE)])
cursor("choose_colours.cur", [entry((32, 32), "1", None), entry((32, 32), "RGB", BLUE), entry((32, 32), "P", GREEN)])
cursor("choose_tie.cur", [entry((48, 48), "P", GREEN), entry((16, 16), "RGBA", RED)])
cursor("own_cursor.cur", [entry((32, 32), "RGBA", (0, 0, 255, 255), clear_quarter=True)], hot=(10, 20))
