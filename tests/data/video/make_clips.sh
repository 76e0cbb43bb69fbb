#!/bin/sh
# Makes the video test clips with ffmpeg's own test sources; run once, the
# clips and reference pictures are committed.
set -e
cd "$(dirname "$0")"
# One second of colour bars, then one second of solid blue, with a tone.
ffmpeg -v error -y -f lavfi -i smptebars=s=160x120:r=10:d=1 -f lavfi -i color=c=0x0000FF:s=160x120:r=10:d=1 \
  -f lavfi -i sine=f=440:d=2:sample_rate=22050 \
  -filter_complex '[0:v][1:v]concat=n=2:v=1:a=0[v]' -map '[v]' -map 2:a \
  -c:v wmv2 -b:v 400k -c:a wmav2 -b:a 64k bars.wmv
# Frames 5 and 15 as ffmpeg itself decodes them, the reference for ours.
ffmpeg -v error -y -i bars.wmv -vf "select=eq(n\\,5)+eq(n\\,15)" -vsync 0 -f rawvideo -pix_fmt bgra bars_5_15.bgra
# A sound file with no picture.
ffmpeg -v error -y -f lavfi -i sine=f=440:d=1 -c:a wmav2 tone.wma
ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 bars.wmv > bars.frames
# Picture and sound in step: one second black and silent, then one second
# white with a 1 kHz tone; both change at 1000 ms.
ffmpeg -v error -y -f lavfi -i color=c=black:s=160x120:r=25:d=1 -f lavfi -i color=c=white:s=160x120:r=25:d=1 \
  -f lavfi -i anullsrc=r=44100:cl=stereo:d=1 -f lavfi -i sine=f=1000:d=1:sample_rate=44100 \
  -filter_complex '[0:v][1:v]concat=n=2:v=1:a=0[v];[2:a]atrim=0:1[s];[3:a]aformat=channel_layouts=stereo[t];[s][t]concat=n=2:v=0:a=1[a]' \
  -map '[v]' -map '[a]' -c:v wmv2 -b:v 200k -c:a wmav2 -b:a 128k sync.wmv
# The lengths ffprobe reads from the containers, in ms.
for f in bars sync; do
  ffprobe -v error -show_entries format=duration -of csv=p=0 $f.wmv | awk '{ printf "%d\n", $1 * 1000 + 0.5 }' > $f.duration
done
# An AVI whose picture codec the tests rename to one nobody decodes.
ffmpeg -v error -y -f lavfi -i testsrc=s=64x48:r=10:d=0.5 -c:v msmpeg4 -b:v 100k tiny.avi
