#!/usr/bin/python3
"""Writes the MIDI test files and, for each, the events the reader must give
(sorted, with times), read back by mido (ticks, bytes) and checked against
midicsv's absolute ticks; times are the exact running time (ticks times
tempo) rounded half to even to the millisecond once per event, and are
checked against mido's tick2second to within half a millisecond.

    python3 tests/data/midi/make_midi.py     (run once; the output is committed)
"""
import os
import random
import struct
import subprocess

import mido
from fractions import Fraction

HERE = os.path.dirname(os.path.abspath(__file__))


def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, 0x80 | (n & 0x7F))
        n >>= 7
    return bytes(out)


def chunk(kind, body):
    return kind + struct.pack(">I", len(body)) + body


def header(fmt, ntracks, division):
    return chunk(b"MThd", struct.pack(">HHH", fmt, ntracks, division))


def tempo_file():
    # Division 480, tempo 500000, then 250000 from tick 960.
    t = bytearray()
    t += vlq(0) + bytes([0xFF, 0x51, 3]) + (500000).to_bytes(3, "big")
    t += vlq(480) + bytes([0x90, 60, 100])
    t += vlq(480) + bytes([0xFF, 0x51, 3]) + (250000).to_bytes(3, "big")
    t += vlq(0) + bytes([0x80, 60, 0])
    t += vlq(480) + bytes([0x90, 62, 90])
    t += vlq(0) + bytes([0xFF, 0x2F, 0])
    return header(0, 1, 480) + chunk(b"MTrk", bytes(t))


def running_status_file():
    # Running status across notes, a note on with velocity 0, a 200-byte
    # meta event (two-byte length) followed by a normal event, a GS reset.
    t = bytearray()
    t += vlq(0) + bytes([0xF0]) + vlq(10) + bytes([0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7])
    t += vlq(0) + bytes([0x90, 60, 100])
    t += vlq(10) + bytes([64, 100])
    t += vlq(10) + bytes([60, 0])
    t += vlq(0) + bytes([0xFF, 0x01]) + vlq(200) + bytes(range(200))
    t += vlq(5) + bytes([0xB0, 7, 100])
    t += vlq(0) + bytes([10, 64])
    t += vlq(20) + bytes([0xC1, 5])
    t += vlq(0) + bytes([0xE2, 0, 64])
    t += vlq(30) + bytes([0xFF, 0x2F, 0])
    return header(0, 1, 96) + chunk(b"MTrk", bytes(t))


def two_track_file():
    a = vlq(0) + bytes([0xFF, 0x03, 1, 65]) + vlq(100) + bytes([0x90, 1, 1]) + vlq(0) + bytes([0xFF, 0x2F, 0])
    b = vlq(100) + bytes([0x91, 2, 2]) + vlq(0) + bytes([0xFF, 0x2F, 0])
    return header(1, 2, 120) + chunk(b"MTrk", a) + chunk(b"MTrk", b)


def random_file(seed, tracks, events):
    rnd = random.Random(seed)
    mid = mido.MidiFile(type=1, ticks_per_beat=rnd.choice([96, 120, 384, 480, 960]))
    for t in range(tracks):
        tr = mido.MidiTrack()
        for _ in range(events):
            d = rnd.choice([0, 0, 1, 7, 13, 120, 481])
            k = rnd.random()
            ch = rnd.randrange(16)
            if k < 0.4:
                tr.append(mido.Message("note_on", channel=ch, note=rnd.randrange(128), velocity=rnd.randrange(128), time=d))
            elif k < 0.55:
                tr.append(mido.Message("note_off", channel=ch, note=rnd.randrange(128), velocity=rnd.randrange(128), time=d))
            elif k < 0.7:
                tr.append(mido.Message("control_change", channel=ch, control=rnd.randrange(128), value=rnd.randrange(128), time=d))
            elif k < 0.75:
                tr.append(mido.Message("program_change", channel=ch, program=rnd.randrange(128), time=d))
            elif k < 0.8:
                tr.append(mido.Message("pitchwheel", channel=ch, pitch=rnd.randrange(-8192, 8192), time=d))
            elif k < 0.85:
                tr.append(mido.Message("aftertouch", channel=ch, value=rnd.randrange(128), time=d))
            elif k < 0.9:
                tr.append(mido.Message("sysex", data=[rnd.randrange(128) for _ in range(rnd.randrange(1, 9))], time=d))
            elif k < 0.95 and t == 0:
                tr.append(mido.MetaMessage("set_tempo", tempo=rnd.randrange(200000, 1500000), time=d))
            else:
                tr.append(mido.MetaMessage("marker", text="m%d" % rnd.randrange(1000), time=d))
        mid.tracks.append(tr)
    path = os.path.join(HERE, "_tmp.mid")
    mid.save(path)
    data = open(path, "rb").read()
    os.remove(path)
    return data


def sequencer_song():
    # The shape common sequencers write: a tempo track, then a track whose
    # notes go on in running status across an empty text event, a marker
    # and a SysEx (the standard cancels running status there; readers and
    # these files keep the last channel status).
    t0 = bytearray()
    t0 += vlq(0) + bytes([0xFF, 0x03, 4]) + b"song"
    t0 += vlq(0) + bytes([0xFF, 0x51, 3]) + (468750).to_bytes(3, "big")
    t0 += vlq(0) + bytes([0xFF, 0x58, 4, 4, 2, 24, 8])
    t0 += vlq(1920) + bytes([0xFF, 0x51, 3]) + (500001).to_bytes(3, "big")
    t0 += vlq(0) + bytes([0xFF, 0x2F, 0])
    t1 = bytearray()
    t1 += vlq(0) + bytes([0xFF, 0x03, 5]) + b"piano"
    t1 += vlq(0) + bytes([0xC0, 0])
    t1 += vlq(0) + bytes([0x90, 60, 100])
    t1 += vlq(0) + bytes([0xFF, 0x01, 0])
    notes = [62, 64, 65, 67, 69, 71, 72]
    for i in range(60):
        t1 += vlq(37) + bytes([notes[i % len(notes)], 90 if i % 2 else 0])
        if i == 20:
            t1 += vlq(0) + bytes([0xFF, 0x06, 1]) + b"A"
        if i == 40:
            t1 += vlq(5) + bytes([0xF0, 4, 0x7E, 0x7F, 0x09, 0xF7])
    t1 += vlq(0) + bytes([0xFF, 0x2F, 0])
    return header(1, 2, 480) + chunk(b"MTrk", bytes(t0)) + chunk(b"MTrk", bytes(t1))


def drift_song():
    # A note every tick at 96 ticks per quarter note (5.2083 ms a tick):
    # a time rounded at every event would fall behind by 0.2 ms each.
    t = bytearray()
    t += vlq(0) + bytes([0x99, 42, 80])
    for i in range(1500):
        t += vlq(1) + bytes([42, 80 if i % 2 else 0])
    t += vlq(0) + bytes([0xFF, 0x2F, 0])
    return header(0, 1, 96) + chunk(b"MTrk", bytes(t))


def meta_bytes(msg):
    raw = msg.bytes()  # FF type vlq(len) data
    i = 2
    while raw[i] & 0x80:
        i += 1
    return bytes(raw[:2]) + bytes(raw[i + 1:])


def canonical(path):
    # midicsv decodes the file (running status included) and csvmidi writes
    # it back with every status byte, for mido to read.
    csv = subprocess.run(["midicsv", path], capture_output=True, check=True).stdout
    out = path + ".canonical"
    subprocess.run(["csvmidi", "-", out], input=csv, check=True)
    return out


def expected(path, via_midicsv=False):
    source = canonical(path) if via_midicsv else path
    mid = mido.MidiFile(source)
    if via_midicsv:
        os.remove(source)
    events = []
    seq = 0
    for ti, tr in enumerate(mid.tracks):
        tick = 0
        for msg in tr:
            tick += msg.time
            data = meta_bytes(msg) if msg.is_meta else bytes(msg.bytes())
            events.append((tick, seq, ti, data))
            seq += 1
    # midicsv agrees on every event's absolute tick, track by track.
    csv = subprocess.run(["midicsv", path], capture_output=True, check=True).stdout.decode("latin-1")
    csv_ticks = [(int(f[0]) - 1, int(f[1])) for f in (l.split(", ") for l in csv.splitlines())
                 if f[2] not in ("Header", "Start_track", "End_of_file")]
    assert csv_ticks == [(e[2], e[0]) for e in events], path
    events.sort(key=lambda e: (e[0], e[1]))
    tempo, prev_tick, running, exact = 500000, 0, 0, 0.0
    out = []
    for tick, seq, track, data in events:
        running += (tick - prev_tick) * tempo
        time = round(Fraction(running, mid.ticks_per_beat * 1000))  # halves to even
        exact += mido.tick2second(tick - prev_tick, mid.ticks_per_beat, tempo) * 1000.0
        assert abs(time - exact) <= 0.5 + 1e-9 * exact, (path, time, exact)
        out.append("%d %d %d %d %s" % (tick, time, track, round(exact * 1000), data.hex()))
        if data[:2] == b"\xff\x51" and len(data) >= 5:
            tempo = int.from_bytes(data[2:5], "big")
        prev_tick = tick
    return out


def main():
    files = {
        "tempo.mid": tempo_file(),
        "running.mid": running_status_file(),
        "two_tracks.mid": two_track_file(),
        "random1.mid": random_file(1, 3, 400),
        "random2.mid": random_file(2, 1, 1500),
        "sequencer.mid": sequencer_song(),
        "drift.mid": drift_song(),
    }
    for name, data in files.items():
        path = os.path.join(HERE, name)
        with open(path, "wb") as f:
            f.write(data)
        with open(path[:-4] + ".events", "w") as f:
            f.write("# tick time_ms track exact_us bytes\n")
            f.write("\n".join(expected(path, via_midicsv=name == "sequencer.mid")) + "\n")


if __name__ == "__main__":
    main()
