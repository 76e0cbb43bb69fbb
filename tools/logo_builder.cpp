// logo_builder <folder>: writes the start-up logo's files into folder
// (MadeWithVorqLogo\logo.vcm and the emblem picture it shows); the build
// packs them into the archive linked into the player as resource MADEWITH.
// The emblem is drawn here: a ring around a bold V on a night-blue disc.
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/stream.h"
#include "tests/support/bmp_writer.h"
#include "tests/support/cursor_writer.h"
#include "tests/support/film_writer.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr int32_t kW = 160, kH = 120;

// Distance from p to the segment a-b.
double segment_distance(double px, double py, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    double t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy);
    t = std::fmax(0.0, std::fmin(1.0, t));
    return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

void write_emblem(const std::string& path) {
    const double cx = kW / 2.0, cy = kH / 2.0, r = 56;
    WriteBmp24(path, kW, kH, [&](int32_t x, int32_t y) {
        const double px = x + 0.5, py = y + 0.5;
        const double d = std::hypot(px - cx, py - cy);
        uint32_t red = 0, green = 0, blue = 0;
        if (d < r) {
            red = 16, green = 24, blue = uint8_t(60 + 60 * (1 - d / r));
        }
        if (std::fabs(d - r + 3) < 3) red = 230, green = 200, blue = 120;
        const double v = std::fmin(segment_distance(px, py, cx - 28, cy - 30, cx, cy + 32),
                                   segment_distance(px, py, cx + 28, cy - 30, cx, cy + 32));
        if (v < 7) red = 250, green = 250, blue = 255;
        return red << 16 | green << 8 | blue;
    });
}

// Two seconds: the emblem fades and grows in, holds, and our name appears
// below it as the label the player turns into a link.
void write_film(const std::string& path) {
    TFilmWriter w;
    // No colour of its own: the film's objects join the scene as the
    // cinema's children, so the player finds the label and takes its clicks.
    w.Header(320, 200, -1);
    w.TrackCount(4);
    const int32_t night[16] = {0, 0, 0, 0, 255, 255, 320, 200, 320, 200, 0x100804, 0x100804, 0, 0, 0, 0};
    w.Track(2, -1, 120, 0, 0, -1);
    w.Box(night);
    TFilmWriter::ImageBlock in;
    in.x_from = 160, in.y_from = 80, in.x_to = 160, in.y_to = 80;
    in.anchor_x = kW / 2, in.anchor_y = kH / 2;
    in.zoom_x_from = in.zoom_y_from = 0.7;
    in.y_kind = 2, in.zoom_x_kind = in.zoom_y_kind = 2;
    in.alpha_from = 1, in.alpha_to = 255;
    w.Track(0, -1, 40, 0);
    w.Image(in, "logo.bmp");
    TFilmWriter::ImageBlock hold = in;
    w.Track(0, 1, 80, 0);
    w.Image(hold, "logo.bmp");
    TFilmWriter::ImageBlock text;
    text.x_from = text.x_to = 88, text.y_from = 158, text.y_to = 154;
    text.alpha_from = 1, text.alpha_to = 255;
    w.Track(1, -1, 90, 30, 0, 1);
    w.Label(text, "Made with Vorq Player", 1, "", 16, 0, 0, 0xF0F0F0, 0);
    TFileStream out(path, fmCreate);
    out.WriteBuffer(w.Bytes().data(), int64_t(w.Bytes().size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: logo_builder <folder>\n");
        return 2;
    }
    try {
        const std::string folder = IncludeTrailingPathDelimiter(GamePath(argv[1])) + "MadeWithVorqLogo/";
        ForceDirectories(folder);
        write_emblem(folder + "logo.bmp");
        write_film(folder + "logo.vcm");
        // The pointer over the logo's link.
        WriteHandCursor(folder + "hand.cur");
    } catch (const Exception& e) {
        std::fprintf(stderr, "logo_builder: %s\n", e.Utf8Message().c_str());
        return 1;
    }
    return 0;
}
