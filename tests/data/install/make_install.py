#!/usr/bin/python3
# Writes install.dat samples with Python's struct module, independently of
# the player's code: versions 0 (untagged), 100 and 107, and a truncated one.
# Run from this folder: /usr/bin/python3 make_install.py
import struct

def s(b):
    return struct.pack('<i', len(b)) + b

def lst(items):
    return struct.pack('<i', len(items)) + b''.join(s(x) for x in items)

title = 'テスト物語'.encode('cp932')

def body(version):
    wide = 'q' if version >= 100 else 'i'
    out = struct.pack('<i', 1) + s(title) + s(b'Product') + s(b'Publisher') + s(b'C:\\Games\\Test')
    out += bytes([1]) + s(b'Group') + bytes([0]) + struct.pack('<i', 2)
    out += s(b'test.exe') + struct.pack('<i', 12345) + bytes([1, 0]) + s(b'readme.txt') + s(b'')
    for d in range(2):
        out += struct.pack('<4' + wide, 100 + d, 200 + d, 300 + d, -1 - d)
    out += struct.pack('<4' + wide, 7, 8, 9, 10) + bytes([1])
    if version >= 101: out += bytes([1])
    if version >= 102: out += lst([b'save\\shot1.bmp', '画像.bmp'.encode('cp932')])
    if version >= 103: out += bytes([1])
    if version >= 104: out += bytes([0])
    if version >= 105: out += bytes([1])
    if version >= 106: out += lst([b'extra'])
    if version >= 107: out += s(b'last')
    return out

open('v0.dat', 'wb').write(body(0))
open('v100.dat', 'wb').write(b'is100' + body(100))
v107 = b'is107' + body(107)
open('v107.dat', 'wb').write(v107)
open('truncated.dat', 'wb').write(v107[:60])
