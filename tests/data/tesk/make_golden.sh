#!/bin/sh
# Golden data of the layered-image tests, made once with libjpeg-turbo's own
# tools and with Pillow (Debian's /usr/bin/python3):
#   photo.ppm   a 37 x 21 test picture (gradients and a checker)
#   photo.jpg   cjpeg -quality 70 photo.ppm
#   photo_djpeg.ppm  djpeg -ppm photo.jpg   (what libjpeg's reader gives)
#   grey.jpg / grey_djpeg.pgm  the same for a greyscale picture
#   *.png and *.rgb / *.alpha  PNG files written by Pillow and the RGB bytes
#   and alpha planes Pillow decodes them to
set -e
cd "$(dirname "$0")"
/usr/bin/python3 - <<'PY'
from PIL import Image
w, h = 37, 21
im = Image.new("RGB", (w, h))
for y in range(h):
    for x in range(w):
        c = 255 if ((x // 4 + y // 4) % 2) else 0
        im.putpixel((x, y), ((x * 7) % 256, (y * 12) % 256, c))
im.save("photo.ppm")
im.convert("L").save("grey.pgm")
# PNG variants
im.save("rgb.png")
rgba = im.copy(); rgba.putalpha(Image.linear_gradient("L").resize((w, h)))
rgba.save("rgba.png")
pal = im.convert("P", palette=Image.ADAPTIVE, colors=16)
pal.save("pal_trns.png", transparency=3)
im.convert("L").save("grey.png")
for name in ["rgb", "rgba", "pal_trns", "grey"]:
    p = Image.open(name + ".png")
    p.convert("RGB").save(name + ".rgb.ppm")
    open(name + ".rgb", "wb").write(p.convert("RGB").tobytes())
    if name == "rgba":
        open(name + ".alpha", "wb").write(p.getchannel("A").tobytes())
    import os; os.remove(name + ".rgb.ppm")
PY
cjpeg -quality 70 photo.ppm > photo.jpg
djpeg -ppm photo.jpg > photo_djpeg.ppm
cjpeg -quality 70 -grayscale grey.pgm > grey.jpg
djpeg -pnm grey.jpg > grey_djpeg.pgm
rm -f grey.pgm
