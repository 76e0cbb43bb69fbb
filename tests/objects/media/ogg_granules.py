#!/usr/bin/python3
# Copies an Ogg with every granule position past 0 raised by a count, each
# page's checksum made anew: a stream cut from a longer one and not
# renumbered. Usage: ogg_granules.py IN OUT COUNT
import struct
import sys


def crc_table():
    table = []
    for i in range(256):
        c = i << 24
        for _ in range(8):
            c = ((c << 1) ^ 0x04C11DB7) if c & 0x80000000 else c << 1
        table.append(c & 0xFFFFFFFF)
    return table


TABLE = crc_table()
data = bytearray(open(sys.argv[1], "rb").read())
raise_by = int(sys.argv[3])
at = 0
while at < len(data):
    assert data[at:at + 4] == b"OggS", at
    segments = data[at + 26]
    end = at + 27 + segments + sum(data[at + 27:at + 27 + segments])
    (granule,) = struct.unpack_from("<q", data, at + 6)
    if granule > 0:
        struct.pack_into("<q", data, at + 6, granule + raise_by)
    struct.pack_into("<I", data, at + 22, 0)
    crc = 0
    for byte in data[at:end]:
        crc = ((crc << 8) & 0xFFFFFFFF) ^ TABLE[(crc >> 24) ^ byte]
    struct.pack_into("<I", data, at + 22, crc)
    at = end
open(sys.argv[2], "wb").write(data)
