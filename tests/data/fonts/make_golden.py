#!/usr/bin/python3
# Makes the golden data of the font back-end tests from the installed IPA
# faces with fontTools (metric tables) and Pillow (FreeType rendering at a
# pixel em size). Run with Debian's /usr/bin/python3; output is committed.
#   /usr/bin/python3 tests/data/fonts/make_golden.py tests/data/fonts
import sys, os
from fontTools.ttLib import TTFont
from PIL import ImageFont

out = sys.argv[1]
GOTHIC = '/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf'
PGOTHIC = '/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf'

def sc(v, ppem, upem):
    # round half away from zero, as the platform scales font units
    n = v * ppem * 2
    return (n + upem) // (2 * upem) if n >= 0 else -((-n + upem) // (2 * upem))

# Outline metrics: one line per field, for a request (face, height).
with open(os.path.join(out, 'metrics.txt'), 'w') as f:
    f.write('# request: face-file height; then field value lines\n')
    for path, height in ((GOTHIC, 16), (GOTHIC, 24), (PGOTHIC, 32), (GOTHIC, -20)):
        t = TTFont(path)
        o, h, p, hd = t['OS/2'], t['hhea'], t['post'], t['head']
        upem = hd.unitsPerEm
        wa, wd = o.usWinAscent, o.usWinDescent
        tot = wa + wd
        if height > 0:
            ppem = max(1, (height * upem * 2 + tot) // (2 * tot))
            asc = (wa * height * 2 + tot) // (2 * tot)
            desc = height - asc
        else:
            ppem = -height
            asc, desc = sc(wa, ppem, upem), sc(wd, ppem, upem)
        s = lambda v: sc(v, ppem, upem)
        fields = [
            ('ppem', ppem), ('tmHeight', asc + desc), ('tmAscent', asc), ('tmDescent', desc),
            ('tmInternalLeading', asc + desc - ppem),
            ('tmAveCharWidth', s(o.xAvgCharWidth)), ('tmMaxCharWidth', s(h.advanceWidthMax)),
            ('tmWeight', o.usWeightClass), ('tmCharSet', 128),
            ('otmEMSquare', upem), ('otmAscent', s(o.sTypoAscender)), ('otmDescent', s(o.sTypoDescender)),
            ('otmLineGap', s(o.sTypoLineGap)), ('otmsCapEmHeight', s(getattr(o, 'sCapHeight', 0))),
            ('otmsXHeight', s(getattr(o, 'sxHeight', 0))),
            ('otmrcFontBox.left', s(hd.xMin)), ('otmrcFontBox.top', s(hd.yMax)),
            ('otmrcFontBox.right', s(hd.xMax)), ('otmrcFontBox.bottom', s(hd.yMin)),
            ('otmMacAscent', s(h.ascent)), ('otmMacDescent', s(h.descent)), ('otmMacLineGap', s(h.lineGap)),
            ('otmusMinimumPPEM', hd.lowestRecPPEM), ('otmfsType', o.fsType),
            ('otmsCharSlopeRise', h.caretSlopeRise), ('otmsCharSlopeRun', h.caretSlopeRun),
            ('otmItalicAngle', int(round(p.italicAngle * 10))),
            ('otmptSubscriptSize.x', s(o.ySubscriptXSize)), ('otmptSubscriptSize.y', s(o.ySubscriptYSize)),
            ('otmptSubscriptOffset.x', s(o.ySubscriptXOffset)), ('otmptSubscriptOffset.y', s(o.ySubscriptYOffset)),
            ('otmptSuperscriptSize.x', s(o.ySuperscriptXSize)), ('otmptSuperscriptSize.y', s(o.ySuperscriptYSize)),
            ('otmptSuperscriptOffset.x', s(o.ySuperscriptXOffset)), ('otmptSuperscriptOffset.y', s(o.ySuperscriptYOffset)),
            ('otmsStrikeoutSize', max(1, s(o.yStrikeoutSize))), ('otmsStrikeoutPosition', s(o.yStrikeoutPosition)),
            ('otmsUnderscoreSize', max(1, s(p.underlineThickness))), ('otmsUnderscorePosition', s(p.underlinePosition)),
            ('panose.bProportion', o.panose.bProportion), ('panose.bSerifStyle', o.panose.bSerifStyle),
        ]
        f.write('request %s %d\n' % (os.path.basename(path), height))
        for k, v in fields:
            f.write('%s %d\n' % (k, v))

# Advances and black boxes from Pillow (FreeType, hinted) at pixel em sizes.
# Characters are given by their Shift-JIS code.
chars = ['A', 'g', 'W', '1', 'あ', '漢', '、', 'ｱ', '鬱', 'ー']
with open(os.path.join(out, 'glyphs.txt'), 'w') as f:
    f.write('# file ppem sjis-code advance left top width height (top = rows above baseline)\n')
    for path in (GOTHIC, PGOTHIC):
        for ppem in (12, 15, 24, 33, 48):
            font = ImageFont.truetype(path, ppem, layout_engine=ImageFont.Layout.BASIC)
            for ch in chars:
                code = int.from_bytes(ch.encode('cp932'), 'big')
                adv = font.getlength(ch)
                # the ink box of the rendered mask (getbbox spans the advance)
                mask, (ox, oy) = font.getmask2(ch, mode='L', anchor='ls')
                w, h = mask.size
                xs = [x for x in range(w) for y in range(h) if mask.getpixel((x, y))]
                ys = [y for x in range(w) for y in range(h) if mask.getpixel((x, y))]
                l, t = ox + min(xs), oy + min(ys)
                f.write('%s %d %d %d %d %d %d %d\n' % (os.path.basename(path), ppem, code, round(adv),
                                                      l, -t, max(xs) - min(xs) + 1, max(ys) - min(ys) + 1))

# Coverage of one known glyph: Pillow's 8-bit mask of 'あ' at em 24.
font = ImageFont.truetype(GOTHIC, 24, layout_engine=ImageFont.Layout.BASIC)
mask, offset = font.getmask2('あ', mode='L', anchor='ls')
w, h = mask.size
with open(os.path.join(out, 'a_24.pgm'), 'wb') as f:
    f.write(b'P5\n# offset %d %d\n%d %d\n255\n' % (offset[0], offset[1], w, h))
    f.write(bytes(mask))
