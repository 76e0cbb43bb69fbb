// The widgets scene: a panel comes in with a title label that grows and
// turns, a gauge that rises, drops (its lost part lingering as a trail) and
// rises again, and a slider whose thumb the page moves along; a second label
// tells the gauge's value. It plays by itself in about four seconds.
#include "files/vocab.h"
#include "platform/filesystem/stream.h"
#include "tests/support/bmp_writer.h"
#include "tools/demo/common.h"
#include "tools/demo/scenes.h"

#include <cstdint>
#include <string>

namespace {

// The pictures: the gauge's filled cell (green, lighter at the top) and its
// trail cell (red); the slider's bar cells (the part below the value lit),
// its thumb in three states and its two step buttons in three states each.
void write_pictures(const std::string& folder) {
    WriteBmp24(folder + "wg_gauge.bmp", 2 * 200, 20, [](int32_t x, int32_t y) {
        const uint32_t shade = uint32_t(255 - y * 6);
        return x < 200 ? (shade << 8) | 0x200020u : (shade << 16) | 0x000020u;
    });
    WriteBmp24(folder + "wg_bar.bmp", 2 * 16, 8, [](int32_t x, int32_t y) {
        const bool edge = y == 0 || y == 7;
        if (x < 16) return edge ? 0x303030u : 0x606060u;
        return edge ? 0x2060A0u : 0x40A0FFu;
    });
    const uint32_t thumb[3] = {0xE0E0E0u, 0xFFFFA0u, 0xFFC040u};
    WriteBmp24(folder + "wg_thumb.bmp", 3 * 12, 24, [&thumb](int32_t x, int32_t y) {
        const bool edge = x % 12 == 0 || x % 12 == 11 || y == 0 || y == 23;
        return edge ? 0x202020u : thumb[x / 12];
    });
    const uint32_t button[3] = {0x8080C0u, 0xA0A0FFu, 0x5050A0u};
    WriteBmp24(folder + "wg_buttons.bmp", 6 * 20, 20, [&button](int32_t x, int32_t y) {
        const int32_t cell = x / 20, u = x % 20;
        // A small arrow: left on button 0, right on button 1.
        const int32_t tip = cell < 3 ? u : 19 - u;
        const bool arrow = tip >= 6 && tip <= 13 && y >= 10 - (tip - 6) && y <= 10 + (tip - 6);
        return arrow ? 0xFFFFFFu : button[cell % 3];
    });
}

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

void WriteWidgetsScene(const std::string& folder, const std::string& next) {
    write_pictures(folder);
    TPageWriter w;
    DemoBoxMasks(w);
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_OFFSETX, PR_OFFSETY, PR_TEXT, PR_FONTHEIGHT, PR_FONTCOLOR,
                   PR_ANTIALIAS, PR_ALPHA, PR_HALIGN})
        w.SetMask(opCaption, id);
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_SOURCE, PR_MIN, PR_MAX, PR_VALUE, PR_DELAY, PR_DURATION,
                   PR_ALPHA})
        w.SetMask(opGaugeNew, id);
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_SOURCE, PR_THUMBSOURCE, PR_BUTTONSOURCE, PR_MIN, PR_MAX,
                   PR_VALUE, PR_SMALLCHANGE, PR_ALPHA, PR_BARSIZE})
        w.SetMask(opSliderNew, id);

    DemoBox(w, "wg_back", kHidden, 0, 0, 640, 480, 0x402818, 255, 0, -1, -20);
    DemoBox(w, "wg_panel", kHidden, 100, 170, 440, 220, 0x604030, 200, 3, 0xC0A080, -10);
    w.Component(opCaption, {{PR_NAME, quoted("wg_title")},
                            {PR_PARENT, kHidden},
                            {PR_LEFT, "320"},
                            {PR_TOP, "90"},
                            {PR_OFFSETX, "60"},
                            {PR_OFFSETY, "16"},
                            {PR_TEXT, quoted("Widgets")},
                            {PR_FONTHEIGHT, "32"},
                            {PR_FONTCOLOR, "65535"},
                            {PR_ANTIALIAS, "1"},
                            {PR_ALPHA, "255"}});
    w.Component(opCaption, {{PR_NAME, quoted("wg_value")},
                            {PR_PARENT, kHidden},
                            {PR_LEFT, "120"},
                            {PR_TOP, "190"},
                            {PR_TEXT, quoted("Gauge 0")},
                            {PR_FONTHEIGHT, "20"},
                            {PR_FONTCOLOR, "16777215"},
                            {PR_ANTIALIAS, "1"},
                            {PR_ALPHA, "255"}});
    w.Component(opGaugeNew, {{PR_NAME, quoted("wg_gauge")},
                             {PR_PARENT, kHidden},
                             {PR_LEFT, "120"},
                             {PR_TOP, "230"},
                             {PR_SOURCE, quoted("wg_gauge.bmp")},
                             {PR_MIN, "0"},
                             {PR_MAX, "100"},
                             {PR_VALUE, "0"},
                             {PR_DELAY, "800"},
                             {PR_DURATION, "300"},
                             {PR_ALPHA, "255"}});
    w.Component(opSliderNew, {{PR_NAME, quoted("wg_slider")},
                              {PR_PARENT, kHidden},
                              {PR_LEFT, "120"},
                              {PR_TOP, "300"},
                              {PR_SOURCE, quoted("wg_bar.bmp")},
                              {PR_THUMBSOURCE, quoted("wg_thumb.bmp")},
                              {PR_BUTTONSOURCE, quoted("wg_buttons.bmp")},
                              {PR_MIN, "0"},
                              {PR_MAX, "10"},
                              {PR_VALUE, "0"},
                              {PR_SMALLCHANGE, "1"},
                              {PR_ALPHA, "255"},
                              {PR_BARSIZE, "340"}});
    TPageWriter::FlipFields flip;
    flip.Kind = "1";
    flip.Duration = "500";
    flip.ClearOld = "1";
    w.Flip(flip);
    // Each step: the gauge to a new value, the slider one notch on, the
    // title a little larger and turned, the value label told.
    const int gauge[] = {80, 30, 95, 45, 100, 60};
    for (size_t i = 0; i < std::size(gauge); ++i) {
        w.SetProp(quoted("wg_gauge"), std::to_string(PR_VALUE), std::to_string(gauge[i]));
        w.SetProp(quoted("wg_slider"), std::to_string(PR_VALUE), std::to_string(2 * (i + 1)));
        w.SetProp(quoted("wg_title"), std::to_string(PR_ZOOMX), std::to_string(256 + 24 * (i + 1)));
        w.SetProp(quoted("wg_title"), std::to_string(PR_ZOOMY), std::to_string(256 + 24 * (i + 1)));
        w.SetProp(quoted("wg_title"), std::to_string(PR_ANGLE), std::to_string((i % 2 ? 4 : 252)));
        w.SetProp(quoted("wg_value"), std::to_string(PR_TEXT), quoted("Gauge " + std::to_string(gauge[i])));
        w.Wait("500");
    }
    w.SetProp(quoted("wg_title"), std::to_string(PR_ANGLE), "0");
    w.Wait("300");
    w.Jump(next);
    w.SaveToFile(folder + "widgets.vsb");
}
