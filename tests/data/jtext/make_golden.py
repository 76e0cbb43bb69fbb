#!/usr/bin/python3
"""Golden tables for the Shift-JIS string routines, made from Python's own
cp932 / euc_jp codecs and Unicode normalisation (run with /usr/bin/python3).

Output (hex, one case per line, "input output"):
  hanzen.txt   HanToZen of every single byte and of every half-width katakana
               followed by a voicing mark
  zenhan.txt   every two-byte code that ZenToHan keeps, with its result
               (all other two-byte codes give the empty string)
  jis_sjis.txt JIS X 0208 row/cell -> Shift-JIS, for every code euc_jp defines
  eucjp_sample.euc / eucjp_sample.sjs  one text in EUC-JP and in Shift-JIS
  cp932_utf8.txt  Shift-JIS bytes and UTF-8 bytes of the same character
"""
import os
import unicodedata

HERE = os.path.dirname(os.path.abspath(__file__))

# Where the player's table picks a different full-width glyph than Unicode's
# compatibility mapping: curly quotes and the yen sign for the backslash,
# and the spacing voicing marks.
ASCII_OVERRIDE = {'"': '\u201d', "'": '\u2019', '`': '\u2018', '\\': '\uffe5', ' ': '\u3000'}
KANA_OVERRIDE = {'\uff9e': '\u309b', '\uff9f': '\u309c'}
# Half-width u + voiced mark stays two characters in HanToZen.
NO_MERGE = {'\uff73'}


def zen_of_byte(b):
    if 0x20 <= b <= 0x7e:
        ch = chr(b)
        full = ASCII_OVERRIDE.get(ch, chr(b + 0xfee0))
        return full.encode('cp932')
    if 0xa1 <= b <= 0xdf:
        h = bytes([b]).decode('cp932')
        return KANA_OVERRIDE.get(h, unicodedata.normalize('NFKC', h)).encode('cp932')
    return b''


def zen_of_pair(b, mark):
    h = bytes([b, mark]).decode('cp932')
    merged = unicodedata.normalize('NFKC', h)
    if len(merged) == 1 and h[0] not in NO_MERGE:
        try:
            return merged.encode('cp932')
        except UnicodeEncodeError:
            pass
    return zen_of_byte(b) + zen_of_byte(mark)


def write(name, rows):
    with open(os.path.join(HERE, name), 'w') as f:
        for a, b in rows:
            f.write(f'{a.hex()} {b.hex()}\n'.replace(' \n', ' -\n'))


def main():
    han = [(bytes([b]), zen_of_byte(b)) for b in range(256)
           if not (0x81 <= b <= 0x9f or 0xe0 <= b <= 0xfc)]
    for b in range(0xa1, 0xe0):
        for mark in (0xde, 0xdf):
            han.append((bytes([b, mark]), zen_of_pair(b, mark)))
    write('hanzen.txt', han)

    # ZenToHan is the inverse of HanToZen on its outputs, plus the left
    # double quote and every voiced katakana (split into letter + mark).
    half_kana = {}
    for b in range(0xa1, 0xe0):
        h = bytes([b]).decode('cp932')
        half_kana[KANA_OVERRIDE.get(h, unicodedata.normalize('NFKC', h))] = bytes([b])
    zen = {}
    for src, out in han:
        if len(out) == 2:
            zen[out] = None
    zen['\u201c'.encode('cp932')] = None
    for code in range(0x8340, 0x8397):
        try:
            ch = bytes([code >> 8, code & 0xff]).decode('cp932')
        except UnicodeDecodeError:
            continue
        d = unicodedata.normalize('NFD', ch)
        if len(d) == 2 and d[0] in half_kana:
            zen[ch.encode('cp932')] = None
    rev_ascii = {v: k for k, v in ASCII_OVERRIDE.items()}
    rows = []
    for code in sorted(zen):
        ch = code.decode('cp932')
        if ch in rev_ascii or ch == '\u201c':
            out = rev_ascii.get(ch, '"').encode('ascii')
        elif ch in half_kana:
            out = half_kana[ch]
        elif len(unicodedata.normalize('NFD', ch)) == 2:
            d = unicodedata.normalize('NFD', ch)
            out = half_kana[d[0]] + {'\u3099': b'\xde', '\u309a': b'\xdf'}[d[1]]
        else:
            out = unicodedata.normalize('NFKC', ch).encode('ascii')
        rows.append((code, out))
    write('zenhan.txt', rows)
    print('zenhan pairs:', len(rows))

    jis = []
    for r in range(0x21, 0x7f):
        for c in range(0x21, 0x7f):
            try:
                u = bytes([r | 0x80, c | 0x80]).decode('euc_jp')
                jis.append((bytes([r, c]), u.encode('cp932')))
            except UnicodeError:
                pass
    write('jis_sjis.txt', jis)
    print('jis codes:', len(jis))

    text = ('吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。\n'
            'ASCII 123 ｱｲｳｴｵ ﾊﾟﾋﾟﾌﾟ ｶﾞｷﾞ ｰ｢｣､｡\n'
            '全角：ＡＢＣ１２３！？　「括弧」【記号】※〒→←↑↓◎○●△▲□■\n'
            '漢字：東京都新宿区、北海道札幌市、沖縄県那覇市。ヴァイオリン。\n'
            'ギリシャ：αβγΩ　ロシア：АБВ　罫線：─│┌┐\n')
    euc, sjs = text.encode('euc_jp'), text.encode('cp932')
    assert euc.decode('euc_jp') == sjs.decode('cp932')
    with open(os.path.join(HERE, 'eucjp_sample.euc'), 'wb') as f:
        f.write(euc)
    with open(os.path.join(HERE, 'eucjp_sample.sjs'), 'wb') as f:
        f.write(sjs)

    chars = [chr(c) for c in range(0x20, 0x7f)]
    chars += [chr(c) for c in range(0xff61, 0xffa0)]          # half-width katakana
    chars += [chr(c) for c in range(0x3041, 0x3094)]          # hiragana
    chars += [chr(c) for c in range(0x30a1, 0x30f7)]          # katakana
    chars += list('、。・ー「」『』【】〒※→←↑↓〜♪☆★○●◎◇◆□■△▲▽▼')
    chars += list('亜唖娃阿哀愛挨姶逢葵茜穐悪握渥旭葦芦鯵梓圧斡扱宛姐虻飴絢綾鮎或粟袷安庵按暗案闇鞍杏')
    chars += list('弌丐丕个丱丶丼丿乂乖乘亂亅豫亊舒弍于亞亟亠亢亰亳亶从仍仄仆仂仗仞仭仟价伉佚估')
    chars += list('①②③ⅠⅡⅢ㈱№℡∮∑髙﨑')                       # NEC and IBM extensions
    rows = []
    for ch in chars:
        code = ch.encode('cp932')
        # Only characters that come back unchanged, and not those Python
        # writes into the NEC-selected rows 0xED/0xEE, which the system code
        # page writes as the IBM rows 0xFA..0xFC instead.
        if code.decode('cp932') == ch and code[0] not in (0xed, 0xee):
            rows.append((code, ch.encode('utf-8')))
    write('cp932_utf8.txt', rows)
    print('cp932 chars:', len(rows))


main()
