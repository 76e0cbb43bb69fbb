// The map scene: a sea chart of three islands (a square harbour, an oval
// wood and a star-shaped reef) comes in with a curtain. The island under the
// pointer lights up; arrows and Enter work as well. Picking one closes the
// chart and lights the beacon in the island's colour; without a pick the
// scene goes on by itself after three seconds. The chart, its lit copy and
// the hit map are made here with the player's own writers.
#include "script/param.h"
#include "engine/scenario_writer.h"
#include "files/hit_map.h"
#include "files/vocab.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/stream.h"
#include "render/region.h"
#include "render/tesk.h"
#include "tools/demo/scenes.h"

#include <string>
#include <vector>

namespace {

constexpr int kWidth = 320, kHeight = 200;

std::vector<THitArea> islands() {
    THitArea harbour;
    harbour.Text = Sjis("港");
    harbour.Shape = kHitRectangle;
    harbour.Left = 24, harbour.Top = 30, harbour.Right = 111, harbour.Bottom = 105;
    THitArea wood;
    wood.Text = Sjis("森");
    wood.Shape = kHitEllipse;
    wood.Left = 140, wood.Top = 20, wood.Right = 299, wood.Bottom = 99;
    THitArea reef;
    reef.Text = Sjis("岩礁");
    reef.Shape = kHitPolygon;
    reef.Points = {{160, 108}, {186, 190}, {116, 140}, {204, 140}, {134, 190}};
    return {harbour, wood, reef};
}

TRegion region_of(const THitArea& a) {
    if (a.Shape == kHitRectangle) return TRegion::Rect(a.Left, a.Top, a.Right, a.Bottom);
    if (a.Shape == kHitEllipse) return TRegion::Ellipse(a.Left, a.Top, a.Right, a.Bottom);
    return TRegion::Polygon(a.Points);
}

// The chart: the sea, then each island in its colour (0x00BBGGRR).
void write_chart(const std::string& path, int32_t sea, const std::vector<int32_t>& colours) {
    TTeskFrameList list;
    TTeskFrame& f = *list.AddFrame();
    f.Delay = 100;
    f.Image.SetSize(kWidth, kHeight, 24);
    // 24-bit pixels hold blue in the low byte.
    auto pixel = [](int32_t c) {
        const uint32_t v = static_cast<uint32_t>(c);
        return (v & 0xFF) << 16 | (v & 0xFF00) | (v >> 16 & 0xFF);
    };
    f.Image.FillRect(TRect{0, 0, kWidth, kHeight}, pixel(sea));
    const std::vector<THitArea> areas = islands();
    for (size_t i = 0; i < areas.size(); ++i)
        region_of(areas[i]).ForEachSpan(TRect{0, 0, kWidth, kHeight}, [&](int32_t y, int32_t x0, int32_t x1) {
            f.Image.FillRect(TRect{x0, y, x1, y + 1}, pixel(colours[i]));
        });
    TFileStream out(path, fmCreate);
    list.SaveToStream(out, 0);
}

void write_pick(const std::string& folder) {
    TPageWriter w;
    // The beacon takes the picked island's colour.
    w.Calc("picked = 1");
    w.If("@SelIndex == 0");
    w.Indent = 1;
    w.SetProp("\"beacon\"", "8", "4235519");
    w.Indent = 0;
    w.Elseif("@SelIndex == 1");
    w.Indent = 1;
    w.SetProp("\"beacon\"", "8", "4259648");
    w.Indent = 0;
    w.Else();
    w.Indent = 1;
    w.SetProp("\"beacon\"", "8", "16744512");
    w.Indent = 0;
    w.Exit();
    w.SaveToFile(folder + "map_pick.vsb");
}

void write_map(const std::string& folder, const std::string& next) {
    write_chart(folder + "chart.tes", 0x804010, {0x306080, 0x307030, 0x506070});
    write_chart(folder + "chart_lit.tes", 0x804010, {0x40A0FF, 0x40FF40, 0xFF8040});
    {
        TFileStream out(folder + "chart.map", fmCreate);
        WriteHitMap(out, islands());
    }
    write_pick(folder);
    TPageWriter w;
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_WIDTH, PR_HEIGHT, PR_COLOR, PR_ALPHA}) w.SetMask(opBoxNew, id);
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_ALPHA, PR_SOURCE, PR_HOVERSOURCE, PR_MAPSOURCE, PR_ONSELECT,
                   PR_AUTOSCRAP, PR_RCLICKSCRAP, PR_HANDLEKEY})
        w.SetMask(opMapImgNew, id);
    w.Comment(Sjis("海図"));
    w.VarNew("picked", PT_INT, "0");
    w.VarNew("tick", PT_INT, "0");
    // The chart is laid out on the hidden layer and comes in with a curtain.
    const std::string hidden = "\"\x01\"";
    w.Component(opBoxNew, {{PR_NAME, "\"deep\""}, {PR_PARENT, hidden}, {PR_LEFT, "0"}, {PR_TOP, "0"},
                           {PR_WIDTH, "640"}, {PR_HEIGHT, "480"}, {PR_COLOR, "4198400"}, {PR_ALPHA, "255"}});
    w.Component(opBoxNew, {{PR_NAME, "\"beacon\""}, {PR_PARENT, hidden}, {PR_LEFT, "580"}, {PR_TOP, "400"},
                           {PR_WIDTH, "40"}, {PR_HEIGHT, "40"}, {PR_COLOR, "96"}, {PR_ALPHA, "255"}});
    w.Component(opMapImgNew, {{PR_NAME, "\"chart\""},
                              {PR_PARENT, hidden},
                              {PR_LEFT, "160"},
                              {PR_TOP, "140"},
                              {PR_ALPHA, "255"},
                              {PR_SOURCE, "\"chart.tes\""},
                              {PR_HOVERSOURCE, "\"chart_lit.tes\""},
                              {PR_MAPSOURCE, "\"chart.map\""},
                              {PR_ONSELECT, "\"map_pick.vsb\""},
                              {PR_AUTOSCRAP, "1"},
                              {PR_RCLICKSCRAP, "1"},
                              {PR_HANDLEKEY, "1"}});
    TPageWriter::FlipFields flip;
    flip.Kind = "4";
    flip.Duration = "600";
    flip.ClearOld = "1";
    w.Flip(flip);
    // Three seconds for a pick, then on.
    w.While("picked == 0 & tick < 30");
    w.Indent = 1;
    w.Wait("100");
    w.Calc("tick = tick + 1");
    w.Indent = 0;
    w.EndWhile();
    w.Wait("500");
    w.Jump(next);
    w.SaveToFile(folder + "map.vsb");
}

}  // namespace

void WriteMapScene(const std::string& folder, const std::string& next) { write_map(folder, next); }
