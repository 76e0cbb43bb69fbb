#!/usr/bin/python3
"""Writes clipboard_golden.inc: texts as code page 932 bytes and as the
UTF-8 the desktop clipboard holds, both from Python's own cp932 codec.
Run once from this folder; the output is committed."""

TEXTS = [
    "山田太郎",            # plain double-byte characters
    "表示ソ能",            # trail bytes equal to a backslash (0x5C)
    "ﾃｽﾄ half ｶﾅ",         # single-byte katakana beside ASCII
    "①Ⅲ㈱～－￢",          # NEC and IBM rows, where code page 932 differs from plain Shift-JIS
    "名前: Ｎａｍｅ 123",    # full-width letters
]


def c_string(data):
    return '"' + "".join("\\x%02x" % b for b in data) + '"'


with open("clipboard_golden.inc", "w", encoding="ascii") as out:
    out.write("// Written by make_clipboard_golden.py from Python's cp932 codec.\n")
    for text in TEXTS:
        sjis = text.encode("cp932")
        utf8 = sjis.decode("cp932").encode("utf-8")
        out.write("{std::string(%s, %d), std::string(%s, %d)},\n" % (c_string(sjis), len(sjis), c_string(utf8), len(utf8)))
