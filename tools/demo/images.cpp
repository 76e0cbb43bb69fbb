// Pictures: a painted backdrop, a floor of bricks tiled at a pitch that
// scrolls by, a spinning star that walks across, and a button. A click on
// the button makes the star grow and ends the wait at once; without one the
// page goes on after three seconds. The pictures are layered-image files
// written here with the player's own writer.
#include "files/vocab.h"
#include "render/tesk.h"
#include "tools/demo/common.h"
#include "tools/demo/scenes.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>

namespace {

constexpr int32_t kKey = 0xFF00FF;  // magenta: the star's and the button's clear corners

// Colour of a pixel, 0x00BBGGRR.
using Pixels = std::function<int32_t(int32_t x, int32_t y)>;

void add_frame(TTeskFrameList& list, int32_t w, int32_t h, int32_t delay, const Pixels& colour, bool keyed) {
    TTeskFrame& f = *list.AddFrame();
    f.Delay = delay;
    f.Image.SetSize(w, h, 24);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = f.Image.ScanLine(y);
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t c = static_cast<uint32_t>(colour(x, y));
            row[3 * x] = uint8_t(c >> 16);  // blue first
            row[3 * x + 1] = uint8_t(c >> 8);
            row[3 * x + 2] = uint8_t(c);
        }
    }
    if (keyed) {
        f.TransparentColor = kKey;
        f.TransparentPixel = 0xFF00FF;  // the same bytes in blue-green-red order
    }
}

int32_t rgb(double r, double g, double b) {
    auto c = [](double v) { return int32_t(std::lround(std::fmin(255.0, std::fmax(0.0, v)))); };
    return c(r) | c(g) << 8 | c(b) << 16;
}

// Evening sky over two rows of hills.
void write_backdrop(const std::string& path) {
    TTeskFrameList list;
    add_frame(list, 640, 480, 100, [](int32_t x, int32_t y) {
        const double hill1 = 300 + 30 * std::sin(x / 70.0), hill2 = 340 + 24 * std::sin(x / 45.0 + 1.3);
        if (y > hill2) return rgb(40, 90 - (y - hill2) / 4, 50);
        if (y > hill1) return rgb(70, 120, 80);
        const double t = y / 300.0;
        return rgb(250 - 150 * t, 150 - 60 * t, 90 + 120 * t);
    }, false);
    list.SaveToFile(path);
}

// Bricks of 30 x 14 with mortar, in a picture of 64 x 32.
void write_bricks(const std::string& path) {
    TTeskFrameList list;
    add_frame(list, 64, 32, 100, [](int32_t x, int32_t y) {
        const int32_t row = y / 16, shift = row % 2 ? 16 : 0;
        const bool mortar = y % 16 >= 14 || (x + shift) % 32 >= 30;
        return mortar ? rgb(200, 200, 190) : rgb(150 + (x * 7 + y * 3) % 20, 60, 40);
    }, false);
    list.SaveToFile(path);
}

// A five-pointed flower star turning in eight steps on a clear ground.
void write_star(const std::string& path) {
    TTeskFrameList list;
    for (int frame = 0; frame < 8; ++frame) {
        const double turn = frame * 2 * M_PI / 40;
        add_frame(list, 96, 96, 80, [turn](int32_t x, int32_t y) {
            const double dx = x - 47.5, dy = y - 47.5, r = std::hypot(dx, dy);
            const double a = std::atan2(dy, dx) + turn;
            const double edge = 26 + 18 * std::cos(5 * a);
            if (r > edge) return kKey;
            return rgb(255, 200 + 55 * (1 - r / 46), 40 + 80 * r / 46);
        }, true);
    }
    list.SaveToFile(path);
}

// A rounded button face of 160 x 48 in one colour with a lighter rim.
void write_button(const std::string& path, int32_t face, int32_t rim) {
    TTeskFrameList list;
    add_frame(list, 160, 48, 100, [face, rim](int32_t x, int32_t y) {
        const double cx = std::fmax(24.0, std::fmin(135.0, x + 0.5)), dx = x + 0.5 - cx, dy = y + 0.5 - 24.0;
        const double r = std::hypot(dx, dy);
        if (r > 23.5) return kKey;
        return r > 20 ? rim : face;
    }, true);
    list.SaveToFile(path);
}

}  // namespace

void WriteImagesScene(const std::string& folder, const std::string& next) {
    write_backdrop(folder + "backdrop.tes");
    write_bricks(folder + "bricks.tes");
    write_star(folder + "star.tes");
    write_button(folder + "button.tes", 0x2070D0, 0x80C0FF);
    write_button(folder + "button_hover.tes", 0x3090F0, 0xA0E0FF);
    write_button(folder + "button_down.tes", 0x104080, 0x2070D0);

    TPageWriter w;
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_SOURCE, PR_REPEAT, PR_PRIORITY}) w.SetMask(opImgNew, id);
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_WIDTH, PR_HEIGHT, PR_SOURCE, PR_DISTANCEX, PR_PRIORITY})
        w.SetMask(opTileNew, id);
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_SOURCE, PR_HOVERSOURCE, PR_PRESSEDSOURCE, PR_ONNOTIFY,
                   PR_PRIORITY})
        w.SetMask(opBtnNew, id);
    w.VarNew("clicked", PT_INT, "0");
    w.VarNew("waited", PT_INT, "0");
    w.Component(opImgNew, {{PR_NAME, "\"backdrop\""}, {PR_PARENT, kHidden}, {PR_LEFT, "0"}, {PR_TOP, "0"},
                           {PR_SOURCE, "\"backdrop.tes\""}, {PR_REPEAT, "0"}, {PR_PRIORITY, "-20"}});
    // Bricks every 80 pixels: the gaps show the hills behind.
    w.Component(opTileNew, {{PR_NAME, "\"floor\""}, {PR_PARENT, kHidden}, {PR_LEFT, "0"}, {PR_TOP, "400"},
                            {PR_WIDTH, "640"}, {PR_HEIGHT, "80"}, {PR_SOURCE, "\"bricks.tes\""},
                            {PR_DISTANCEX, "80"}, {PR_PRIORITY, "-10"}});
    w.Component(opImgNew, {{PR_NAME, "\"star\""}, {PR_PARENT, kHidden}, {PR_LEFT, "40"}, {PR_TOP, "290"},
                           {PR_SOURCE, "\"star.tes\""}, {PR_REPEAT, "1"}, {PR_PRIORITY, "0"}});
    w.Component(opBtnNew, {{PR_NAME, "\"go\""}, {PR_PARENT, kHidden}, {PR_LEFT, "240"}, {PR_TOP, "120"},
                           {PR_SOURCE, "\"button.tes\""}, {PR_HOVERSOURCE, "\"button_hover.tes\""},
                           {PR_PRESSEDSOURCE, "\"button_down.tes\""}, {PR_ONNOTIFY, "\"imgclick.vsb\""},
                           {PR_PRIORITY, "10"}});
    TPageWriter::FlipFields flip;
    flip.Kind = "1";
    flip.Duration = "500";
    flip.ClearOld = "1";
    w.Flip(flip);
    // The floor scrolls and the star walks while the page waits for a click.
    w.PropMotion("\"scroll\"", "\"floor\"", std::to_string(PR_SCROLLX), "320", "3000", "0");
    w.PropMotion("\"walk\"", "\"star\"", std::to_string(PR_LEFT), "500", "3000", "2");
    w.While("(clicked == 0) & (waited < 30)");
    w.Indent = 1;
    w.Wait("100");
    w.Calc("waited = waited + 1");
    w.Indent = 0;
    w.EndWhile();
    w.If("clicked == 1");
    w.Indent = 1;
    w.Wait("600");
    w.Indent = 0;
    w.Jump(next);
    w.SaveToFile(folder + "images.vsb");

    // The button's click: the star grows, and the waiting page goes on.
    TPageWriter c;
    c.Calc("clicked = 1");
    c.SetProp("\"star\"", std::to_string(PR_ZOOMX), "384");
    c.SetProp("\"star\"", std::to_string(PR_ZOOMY), "384");
    c.Exit();
    c.SaveToFile(folder + "imgclick.vsb");
}
