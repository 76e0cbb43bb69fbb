#!/usr/bin/python3
# Golden data of the widget tests, from outside oracles. Run with Debian's
# /usr/bin/python3; the output is committed.
#   /usr/bin/python3 tests/data/widgets/make_golden.py tests/data/widgets
#
# label_widths.txt: the width of one line of label text as FreeType lays it
# out through Pillow (the sum of the hinted advances), for a font given by
# its cell height as labels give it, turned into the em size with the face's
# Windows ascent and descent from fontTools.
# rounding.txt: slider thumb offsets and drag values with Python's
# half-to-even round of the exact fractions.
import sys, os
from fractions import Fraction
from fontTools.ttLib import TTFont
from PIL import ImageFont

out = sys.argv[1]
FACES = {
    'PGOTHIC': '/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf',
    'GOTHIC': '/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf',
}
TEXTS = ['Hello', 'Vorq label 123', 'あいうえお', '漢字とABC', 'ｱｲｳｴｵ', 'Wg,.!?']

with open(os.path.join(out, 'label_widths.txt'), 'w') as f:
    f.write('# face cell-height text-as-shift-jis-hex width\n')
    for face, path in FACES.items():
        o, hd = TTFont(path)['OS/2'], TTFont(path)['head']
        tot = o.usWinAscent + o.usWinDescent
        for height in (12, 16, 24, 31):
            ppem = max(1, (height * hd.unitsPerEm * 2 + tot) // (2 * tot))
            font = ImageFont.truetype(path, ppem, layout_engine=ImageFont.Layout.BASIC)
            for text in TEXTS:
                width = sum(round(font.getlength(ch)) for ch in text)
                f.write('%s %d %s %d\n' % (face, height, text.encode('cp932').hex(), width))

with open(os.path.join(out, 'rounding.txt'), 'w') as f:
    f.write('# offset min max value length expected  (Round((value-min)/(max-min)*length))\n')
    for mn, mx, v, L in [(0, 8, 1, 100), (0, 8, 3, 100), (0, 8, 5, 100), (0, 8, 7, 100), (0, 3, 1, 7),
                         (-50, 50, 0, 33), (10, 20, 15, 5), (10, 20, 15, 7), (0, 1000, 1, 500), (0, 1000, 3, 500),
                         (-2147483648, 2147483647, 0, 1000), (-2147483648, 2147483647, 2147483647, 999),
                         (5, 5, 5, 100), (9, 1, 4, 100)]:
        e = 0 if mx - mn <= 0 else round(Fraction(v - mn, mx - mn) * L)
        f.write('offset %d %d %d %d %d\n' % (mn, mx, v, L, e))
    f.write('# drag min max length distance expected  (Round((max-min)/length*distance)+min, limited)\n')
    for mn, mx, L, d in [(0, 8, 100, 12), (0, 8, 100, 13), (0, 8, 100, 19), (0, 8, 100, 31), (0, 8, 100, 37),
                         (0, 100, 200, 1), (0, 100, 200, 3), (0, 100, 200, 5), (-10, 10, 40, 21), (-10, 10, 40, 23),
                         (0, 8, 100, -5), (0, 8, 100, 250), (100, 200, 7, 3), (0, 5, 10, 5), (0, 5, 10, 7),
                         (-2147483648, 2147483647, 100, 50)]:
        e = round(Fraction(mx - mn, L) * d) + mn
        e = max(mn, min(mx, e))
        f.write('drag %d %d %d %d %d\n' % (mn, mx, L, d, e))
