#!/usr/bin/python3
"""Writes message_lengths.txt: for every status byte mido knows (SysEx
aside), the length of the message a device receives, "status length" in
hex and decimal, one per line.

    python3 tests/data/midi/make_message_lengths.py   (run once; the output is committed)
"""
import os

from mido.messages import specs

HERE = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(HERE, "message_lengths.txt"), "w") as out:
    for status in range(0x80, 0x100):
        spec = specs.SPEC_BY_STATUS.get(status)
        if spec is None or status == 0xF0:
            continue
        out.write("%02X %d\n" % (status, spec["length"]))
