#!/usr/bin/python3
# Writes the "vf" archive samples the archive tests read, with Python's own
# struct, zlib.compress (level 1) and zlib.crc32, independently of the
# player's code. The directory scrambling is computed here from the
# generator x := 5x + c (mod 2^32), c = 1508263974, x starting at 0:
# each name byte is XORed with the low byte of the next x; each offset with
# the next x (sign-extended to 64 bits for i64 offsets).
# Run from this folder: /usr/bin/python3 make_archives.py
import os
import shutil
import struct
import zlib

SEED = 1508263974


class Gen:
    def __init__(self):
        self.x = 0

    def next(self):
        self.x = (5 * self.x + SEED) & 0xFFFFFFFF
        return self.x


def scramble_names(names):
    g = Gen()
    return [bytes(b ^ (g.next() & 0xFF) for b in n) for n in names]


def archive(version, entries, base=0):
    """entries: list of (name bytes, stored bytes, raw, date, crc, crc mode).
    base is the position of the archive's first byte in its file."""
    names = [e[0] for e in entries]
    n = len(entries)
    head = b''
    if version >= 100:
        head += b'vf' + struct.pack('<I', version)
    head += struct.pack('<I', n)
    stored_names = scramble_names(names) if version >= 100 else names
    head += b''.join(struct.pack('<I', len(x)) + x for x in stored_names)
    width = 8 if version >= 101 else 4
    tables = n * (10 if version >= 102 else 9 if version >= 101 else 0)
    pos = len(head) + (n + 1) * width + tables
    offsets = []
    for e in entries:
        offsets.append(pos)
        pos += len(e[1])
    offsets.append(pos)
    g = Gen()
    out = head
    for o in offsets:
        if version >= 101:
            x = g.next()
            mask = x | (0xFFFFFFFF00000000 if x >= 0x80000000 else 0)
            out += struct.pack('<Q', o ^ mask)
        elif version >= 100:
            out += struct.pack('<I', o ^ g.next())
        else:
            out += struct.pack('<I', o)
    if version >= 101:
        out += bytes(e[2] for e in entries)
        out += b''.join(struct.pack('<I', e[3]) for e in entries)
        out += b''.join(struct.pack('<I', e[4]) for e in entries)
    if version >= 102:
        out += bytes(e[5] for e in entries)
    return out + b''.join(e[1] for e in entries)


def packed(name, content, date=0, mode=0):
    z = zlib.compress(content, 1)
    return (name, z, 0, date, zlib.crc32(content if mode else z), mode)


def raw(name, content, date=0):
    return (name, content, 1, date, zlib.crc32(content), 0)


def write(name, data):
    with open(name, 'wb') as f:
        f.write(data)


text = b''.join(b'line %d of the scenario text\r\n' % i for i in range(200))
jname = '画像\\背景.bmp'.encode('cp932')  # trail byte 0x5C inside the name
old_entries = [packed(b'script\\start.vsb', text), packed(jname, bytes(range(256)) * 8), packed(b'empty', b'')]

# Old forms: every entry packed, no tables.
write('v0.dat', archive(0, old_entries))
write('v100.dat', archive(100, old_entries))
# 101: i64 offsets, raw flags, dates and CRCs; 102 adds the CRC modes.
mixed = [packed(b'script\\start.vsb', text, 0x5A2E6000), raw(b'se\\click.wav', b'RIFF' + bytes(500), 0x5A2E6001),
         packed(jname, bytes(range(256)) * 8, 0, 1), raw(b'zero.dat', b'')]
write('v101.dat', archive(101, [e[:5] + (0,) for e in mixed]))
write('v102.dat', archive(102, mixed))

# Appended to an executable: stub, archive, u32 start, "vq".
stub = b'MZ' + bytes(1000)
write('app.exe', stub + archive(102, mixed, len(stub)) + struct.pack('<I', len(stub)) + b'vq')

# Side directory: side.ext holds the directory, side.dat only entry bytes;
# the offsets count from side.ext's start and point into side.dat.
full = archive(102, mixed)
data_start = len(full) - sum(len(e[1]) for e in mixed)
write('side.ext', full[:data_start])
write('side.dat', bytes(data_start) + full[data_start:])

# Hostile directories.
write('huge_count.dat', b'vf' + struct.pack('<II', 102, 0xFFFFFFFF) + bytes(64))
write('name_past_end.dat', b'vf' + struct.pack('<III', 102, 1, 1000000) + bytes(64))
write('bad_version.dat', b'vf' + struct.pack('<II', 103, 0))
backwards = bytearray(archive(100, [packed(b'a', b'aaaa'), packed(b'b', b'bbbb')]))
# Swap the scrambled offsets of entries 0 and 1 after unscrambling.
g = Gen()
m = [g.next() for _ in range(3)]
at = 10 + 5 + 5
o0, o1 = (struct.unpack_from('<I', backwards, at + 4 * i)[0] ^ m[i] for i in range(2))
struct.pack_into('<I', backwards, at, o1 ^ m[0])
struct.pack_into('<I', backwards, at + 4, o0 ^ m[1])
write('offsets_backwards.dat', bytes(backwards))
past = archive(102, mixed)
write('offset_past_end.dat', past[:-10])  # the end offset now lies past the file
write('truncated.dat', past[:60])
corrupt = bytearray(archive(102, [packed(b'bad.txt', text)]))
corrupt[-40:-30] = bytes(10)  # damage the deflate data, keep the length
write('bad_zlib.dat', bytes(corrupt))

# What the writer must produce from the loose files below, in this order,
# with these dates and CRC modes. A Tesk header with compression 1 (none)
# makes a layered image worth packing; compression 0 keeps it raw.
tesk_plain = b'Tesk106' + struct.pack('<I', 40) + bytes(22) + b'\x01' + bytes(17) + bytes(3000)
tesk_zlib = b'Tesk106' + struct.pack('<I', 40) + bytes(22) + b'\x00' + bytes(17) + bytes(3000)
noise = bytes((i * 7919 + (i >> 3) * 104729) % 251 for i in range(3000))
incompressible = zlib.compress(noise, 9)[:2000]
loose = [
    ('text\\b.txt', text, 1),
    ('se\\a.wav', b'RIFF' + bytes(2000), 0),
    ('c.txt', incompressible, 0),
    ('empty.txt', b'', 0),
    ('img\\u.tes', tesk_plain, 0),
    ('img\\c.tes', tesk_zlib, 0),
    ('画像\\絵.bmp', bytes(range(256)) * 4, 1),
]
if os.path.isdir('loose'):
    shutil.rmtree('loose')
entries = []
for i, (name, content, mode) in enumerate(loose):
    path = os.path.join('loose', *name.split('\\'))
    os.makedirs(os.path.dirname(path) or '.', exist_ok=True)
    write(path, content)
    date = 0x5A2E6000 + i
    sname = name.encode('cp932')
    ext = os.path.splitext(name)[1].upper()
    if ext == '.TES':
        pack = content[7 + 4 + 22] == 1  # header compression byte
    elif ext and ext in '.WAV.WMA.OGG.MPG.MPEG.WMV.ASF.DAT.':
        pack = False
    else:
        pack = len(content) < 5242880
    z = zlib.compress(content, 1)
    if pack and len(z) <= len(content) * 9 // 10:
        entries.append((sname, z, 0, date, zlib.crc32(content if mode else z), mode))
    else:
        entries.append((sname, content, 1, date, zlib.crc32(content), mode))
# An entry held in memory is always packed below 5 MiB.
memory = bytes(range(256)) * 40
entries.append((b'mem\\data.bin', zlib.compress(memory, 1), 0, 0, zlib.crc32(zlib.compress(memory, 1)), 0))
write('memory.bin', memory)
write('written.dat', archive(102, entries))
with open('loose_dates.txt', 'w') as f:
    for i, (name, content, mode) in enumerate(loose):
        f.write('%d %d\n' % (0x5A2E6000 + i, mode))
