#!/usr/bin/python3
# Expected output of the software mixer for its eight source layouts,
# computed with audioop: widen to 16-bit stereo at 44100 Hz, scale, and add
# into a block that already holds sound, with saturation.
# Each case file: u32 source byte count, the source bytes, the block before
# (352 bytes: 88 stereo frames) and the block after.
import audioop, random, struct, os

BLOCK = 352  # 2 ms of 44100 Hz stereo 16-bit, the mixer's WavBlockBytes(2)
here = os.path.dirname(os.path.abspath(__file__))
rnd = random.Random(21)

def widen(data, channels, rate, bits):
    if bits == 8:
        data = audioop.lin2lin(audioop.bias(data, 1, -128), 1, 2)
    if channels == 1:
        data = audioop.tostereo(data, 2, 1, 1)
    if rate == 22050:  # each frame held for two output frames
        data = b"".join(data[i:i + 4] * 2 for i in range(0, len(data), 4))
    return data

for channels in (1, 2):
    for rate in (44100, 22050):
        for bits in (8, 16):
            divisor = 4 * (2 if rate == 22050 else 1) // (channels * bits // 8)
            src = bytes(rnd.randrange(256) for _ in range(BLOCK // divisor))
            if bits == 8:  # the extremes must appear: 0x00, 0x80, 0xFF
                src = b"\x00\x80\xff\xff" + src[4:]
            else:
                src = struct.pack("<4h", 32767, -32768, 32767, -32768) + src[8:]
            base = struct.pack("<%dh" % (BLOCK // 2), *[rnd.randrange(-32768, 32768) for _ in range(BLOCK // 2)])
            for volume in (256, 128):
                wide = widen(src, channels, rate, bits)
                if volume < 255:
                    # the mixer shifts the product right (floor); audioop.mul
                    # truncates, so floor it here by hand from exact values
                    n = len(wide) // 2
                    vals = struct.unpack("<%dh" % n, wide)
                    wide = struct.pack("<%dh" % n, *[(v * volume) >> 8 for v in vals])
                out = audioop.add(base, wide, 2)
                name = "mix_%dch_%d_%dbit_v%d.bin" % (channels, rate, bits, volume)
                with open(os.path.join(here, name), "wb") as f:
                    f.write(struct.pack("<I", len(src)) + src + base + out)
