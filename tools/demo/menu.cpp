// The menu scene: a crossroads panel offers three roads through a selection
// menu that opens by growing; the road taken fills a supply gauge by its
// own amount. A click, the arrows with Enter, or nothing: after three
// seconds without a choice the first road is taken and the menu closes.
#include "files/vocab.h"
#include "tests/support/bmp_writer.h"
#include "tools/demo/common.h"
#include "tools/demo/scenes.h"

#include <cstdint>
#include <string>

namespace {

std::string quoted(const std::string& s) { return "\"" + s + "\""; }
std::string prop(int id) { return std::to_string(id); }

// The gauge picture: a filled cell (amber) and a trail cell (dark red) of
// 300 x 16 side by side, as a 24-bit BMP.
void write_gauge_picture(const std::string& path) {
    WriteBmp24(path, 600, 16, [](int32_t x, int32_t y) {
        const uint32_t shade = uint32_t(255 - y * 8);
        return x < 300 ? shade << 16 | (shade * 3 / 4) << 8 | 0x20 : 0x901010u;
    });
}

// The menu's handler: the chosen road sets the gauge.
void write_pick(const std::string& folder) {
    TPageWriter w;
    w.Calc("picked = 1");
    w.If("@SelIndex == 0");
    w.Indent = 1;
    w.SetProp(quoted("mn_gauge"), prop(PR_VALUE), "35");
    w.Indent = 0;
    w.Elseif("@SelIndex == 1");
    w.Indent = 1;
    w.SetProp(quoted("mn_gauge"), prop(PR_VALUE), "70");
    w.Indent = 0;
    w.Else();
    w.Indent = 1;
    w.SetProp(quoted("mn_gauge"), prop(PR_VALUE), "100");
    w.Indent = 0;
    w.Exit();
    w.SaveToFile(folder + "menu_pick.vsb");
}

}  // namespace

void WriteMenuScene(const std::string& folder, const std::string& next) {
    write_gauge_picture(folder + "mn_gauge.bmp");
    write_pick(folder);
    TPageWriter w;
    DemoBoxMasks(w);
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_TEXT, PR_FONTHEIGHT, PR_FONTCOLOR, PR_ANTIALIAS, PR_ALPHA})
        w.SetMask(opCaption, id);
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_SOURCE, PR_MIN, PR_MAX, PR_VALUE, PR_DELAY, PR_DURATION,
                   PR_ALPHA})
        w.SetMask(opGaugeNew, id);
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_TEXT, PR_FONTHEIGHT, PR_FONTCOLOR, PR_FONTHOVERCOLOR,
                   PR_HOVERCOLOR, PR_COLOR, PR_BORDERWIDTH, PR_BORDERCOLOR, PR_ROWCOUNT, PR_MARGINX, PR_MARGINY,
                   PR_LINESPACE, PR_DELAY, PR_ONSELECT, PR_AUTOSCRAP, PR_RCLICKSCRAP, PR_HANDLEKEY, PR_ANTIALIAS,
                   PR_ALPHA})
        w.SetMask(opMenu, id);
    w.VarNew("picked", PT_INT, "0");
    w.VarNew("tick", PT_INT, "0");

    DemoBox(w, "mn_back", kHidden, 0, 0, 640, 480, 0x283818, 255, 0, -1, -20);
    DemoBox(w, "mn_panel", kHidden, 110, 60, 420, 360, 0x304828, 220, 3, 0x90C080, -10);
    w.Component(opCaption, {{PR_NAME, quoted("mn_title")},
                            {PR_PARENT, kHidden},
                            {PR_LEFT, "140"},
                            {PR_TOP, "80"},
                            {PR_TEXT, quoted("The crossroads: which way?")},
                            {PR_FONTHEIGHT, "24"},
                            {PR_FONTCOLOR, "12648447"},
                            {PR_ANTIALIAS, "1"},
                            {PR_ALPHA, "255"}});
    w.Component(opCaption, {{PR_NAME, quoted("mn_supply")},
                            {PR_PARENT, kHidden},
                            {PR_LEFT, "140"},
                            {PR_TOP, "330"},
                            {PR_TEXT, quoted("Supplies")},
                            {PR_FONTHEIGHT, "16"},
                            {PR_FONTCOLOR, "16777215"},
                            {PR_ANTIALIAS, "1"},
                            {PR_ALPHA, "255"}});
    w.Component(opGaugeNew, {{PR_NAME, quoted("mn_gauge")},
                             {PR_PARENT, kHidden},
                             {PR_LEFT, "140"},
                             {PR_TOP, "356"},
                             {PR_SOURCE, quoted("mn_gauge.bmp")},
                             {PR_MIN, "0"},
                             {PR_MAX, "100"},
                             {PR_VALUE, "10"},
                             {PR_DELAY, "700"},
                             {PR_DURATION, "300"},
                             {PR_ALPHA, "255"}});
    TPageWriter::FlipFields flip;
    flip.Kind = "1";
    flip.Duration = "400";
    flip.ClearOld = "1";
    w.Flip(flip);
    // The menu opens on the shown panel, growing over 400 ms.
    w.Component(opMenu, {{PR_NAME, quoted("mn_menu")},
                         {PR_PARENT, quoted("mn_panel")},
                         {PR_LEFT, "40"},
                         {PR_TOP, "80"},
                         {PR_TEXT, quoted("The mountain pass\r\nThe river road\r\nThe old forest track")},
                         {PR_FONTHEIGHT, "22"},
                         {PR_FONTCOLOR, "14737632"},
                         {PR_FONTHOVERCOLOR, "65535"},
                         {PR_HOVERCOLOR, "4210752"},
                         {PR_COLOR, "1579032"},
                         {PR_BORDERWIDTH, "2"},
                         {PR_BORDERCOLOR, "9490560"},
                         {PR_ROWCOUNT, "3"},
                         {PR_MARGINX, "12"},
                         {PR_MARGINY, "8"},
                         {PR_LINESPACE, "10"},
                         {PR_DELAY, "400"},
                         {PR_ONSELECT, quoted("menu_pick.vsb")},
                         {PR_AUTOSCRAP, "1"},
                         {PR_RCLICKSCRAP, "0"},
                         {PR_HANDLEKEY, "1"},
                         {PR_ANTIALIAS, "1"},
                         {PR_ALPHA, "255"}});
    // Three seconds for a choice; without one the first road is taken.
    w.While("picked == 0 & tick < 30");
    w.Indent = 1;
    w.Wait("100");
    w.Calc("tick = tick + 1");
    w.Indent = 0;
    w.EndWhile();
    w.If("picked == 0");
    w.Indent = 1;
    w.SetProp(quoted("mn_gauge"), prop(PR_VALUE), "35");
    w.MenuClose(quoted("mn_menu"));
    w.Indent = 0;
    w.Wait("1500");
    w.Jump(next);
    w.SaveToFile(folder + "menu.vsb");
}
