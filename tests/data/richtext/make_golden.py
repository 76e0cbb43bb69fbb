#!/usr/bin/python3
# Character boundaries of Shift-JIS texts, from Python's cp932 codec: each
# line holds the text's bytes in hex, then one hex code per character (high
# byte first). Texts mix trail bytes that look like ASCII (0x5C, 0x7C, 0x40)
# with single-byte and half-width characters.
import os

TEXTS = [
    "表示ソフト能力十分",
    "abc表def",
    "ｱｲｳ表ｴｵ",
    "予定表|ソ@能",
    "「十」。、",
    "構文　全角スペース",
    "A表B\u8868C",
    "ポーランド語ボ",
    "～①②ⅰ",
]

here = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(here, "sjis_chars.txt"), "w") as out:
    out.write("# made by make_golden.py from Python's cp932 codec\n")
    for t in TEXTS:
        b = t.encode("cp932")
        codes = [int.from_bytes(c.encode("cp932"), "big") for c in t]
        out.write(b.hex() + " " + " ".join("%x" % c for c in codes) + "\n")
