#!/usr/bin/python3
"""Writes message_lengths.txt: for every status byte mido reads as a whole
message (SysEx aside), the length of the message a device receives,
"status length" in hex and decimal, one per line. The length is the one
byte count with which mido accepts the message.

    python3 tests/data/midi/make_message_lengths.py   (run once; the output is committed)
"""
import os

import mido

HERE = os.path.dirname(os.path.abspath(__file__))


def length_of(status):
    for n in range(1, 4):
        try:
            mido.Message.from_bytes([status] + [0] * (n - 1))
            return n
        except (ValueError, KeyError, IndexError):
            continue
    return None


with open(os.path.join(HERE, "message_lengths.txt"), "w") as out:
    for status in range(0x80, 0x100):
        n = None if status == 0xF0 else length_of(status)
        if n is not None:
            out.write("%02X %d\n" % (status, n))
