#!/bin/bash
# Sound files for the decoder tests and the outputs of independent decoders
# to compare with: oggdec for Ogg Vorbis, ffmpeg for Windows Media audio.
set -euo pipefail
cd "$(dirname "$0")"
python3 - <<'PY'
import math, struct, wave
def tone(name, rate, channels, seconds, freqs, amp):
    with wave.open(name, "wb") as w:
        w.setnchannels(channels); w.setsampwidth(2); w.setframerate(rate)
        frames = []
        for i in range(int(rate * seconds)):
            for c in range(channels):
                frames.append(int(amp * 32767 * math.sin(2 * math.pi * freqs[c] * i / rate)))
        w.writeframes(struct.pack("<%dh" % len(frames), *frames))
tone("tone.wav", 44100, 2, 0.5, (440, 660), 0.5)
tone("tone22m.wav", 22050, 1, 0.25, (330,), 0.4)
PY
oggenc -Q -q 3 -o tone.ogg tone.wav
oggdec -Q -R -o tone_ogg.raw tone.ogg
oggenc -Q -q 3 --resample 48000 -o tone48k.ogg tone.wav
ffmpeg -v error -y -i tone.wav -c:a wmav2 -b:a 128k tone.wma
ffmpeg -v error -y -i tone.wma -f s16le -ar 44100 -ac 2 tone_wma.raw
# Mono sounds in each compressed format, for the level of mono playback.
oggenc -Q -q 3 -o tone22m.ogg tone22m.wav
ffmpeg -v error -y -i tone22m.wav -c:a wmav2 -b:a 64k tone22m.wma
