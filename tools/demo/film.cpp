// A short film in a cinema: two sprites glide in on eased paths, one turning
// and growing, over a night sky whose colour fades, with the sound effect
// played by the film's sound track. The film is written with our own film
// writer; the sprite picture is drawn here.
#include "files/vocab.h"
#include "platform/filesystem/stream.h"
#include "tests/support/bmp_writer.h"
#include "tests/support/film_writer.h"
#include "tools/demo/common.h"
#include "tools/demo/scenes.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// A 48x48 24-bit picture: a warm disc with a bright rim on dark blue.
void write_sprite(const std::string& path) {
    WriteBmp24(path, 48, 48, [](int32_t x, int32_t y) {
        const double d = std::hypot(x - 23.5, y - 23.5);
        uint32_t b = 60, g = 20, r = 10;
        if (d < 20) b = 40, g = uint8_t(200 - 4 * d), r = 250;
        else if (d < 23) b = 200, g = 240, r = 255;
        return r << 16 | g << 8 | b;
    });
}

// 150 frames (2.5 s) on a 400x300 screen of its own.
void write_film(const std::string& path) {
    TFilmWriter w;
    w.Header(400, 300, 0x201008);
    w.TrackCount(5);
    // The sky: a box whose colour and border fade over the whole film.
    const int32_t sky[16] = {0, 0, 0, 0, 255, 255, 400, 300, 400, 300, 0x402010, 0x804020, 4, 12, 0xFFFFFF, 0x40C0FF};
    w.Track(2, -1, 150, 0, 0, -10);
    w.Box(sky);
    // A sprite sliding in from the left with a slow end, turning once.
    TFilmWriter::ImageBlock a;
    a.x_from = -50, a.y_from = 200, a.x_to = 300, a.y_to = 60, a.x_kind = 2, a.y_kind = 1;
    a.angle_from = 0, a.angle_to = 360;
    a.alpha_from = 60, a.alpha_to = 255;
    a.anchor_x = 24, a.anchor_y = 24;
    w.Track(0, -1, 120, 0);
    w.Image(a, "sprite.bmp");
    // A second one growing as it falls, then chained: it bounces back up.
    TFilmWriter::ImageBlock b;
    b.x_from = 200, b.y_from = -50, b.x_to = 120, b.y_to = 220, b.y_kind = 2;
    b.zoom_x_from = 0.5, b.zoom_x_to = 2.0, b.zoom_y_from = 0.5, b.zoom_y_to = 2.0;
    b.anchor_x = 24, b.anchor_y = 24;
    w.Track(0, -1, 70, 20);
    w.Image(b, "sprite.bmp");
    TFilmWriter::ImageBlock c = b;
    c.x_to = 60, c.y_to = 120, c.y_kind = 1, c.zoom_x_to = 1.0, c.zoom_y_to = 1.0;
    w.Track(0, 2, 60, 0);
    w.Image(c, "sprite.bmp");
    // The sound effect as the second sprite lands.
    w.Track(4, -1, 30, 88);
    w.Sound("effect.wav", 1000, 800, -3000, 3000);
    TFileStream out(path, fmCreate);
    out.WriteBuffer(w.Bytes().data(), int64_t(w.Bytes().size()));
}

}  // namespace

void WriteFilmScene(const std::string& folder, const std::string& next) {
    write_sprite(folder + "sprite.bmp");
    write_film(folder + "demo.vcm");
    TPageWriter w;
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_SOURCE})
        w.SetMask(opCinema, id);
    w.Component(opCinema, {{PR_NAME, "\"film\""},
                           {PR_PARENT, kShown},
                           {PR_LEFT, "120"},
                           {PR_TOP, "90"},
                           {PR_SOURCE, "\"demo.vcm\""}});
    // The film runs 2.5 s; the page goes on after it by itself.
    w.Wait("2700");
    w.ObjDel("\"film\"");
    w.Jump(next);
    w.SaveToFile(folder + "film.vsb");
}
