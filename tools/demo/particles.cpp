// The particle scene: snow falls over a night sky (already in full flow when
// the scene comes in, by its pre-roll) while a burst of sparks flies out
// from the middle for two seconds. After a second the page counts the snow
// emitter's sprites and, when there are some, goes on through a page of its
// own, which the demo's run test looks for; the scene ends after about
// three seconds. The flake and spark pictures are layered-image files
// written here with the player's own writer.
#include "files/vocab.h"
#include "render/tesk.h"
#include "tools/demo/common.h"
#include "tools/demo/scenes.h"

#include <cmath>
#include <cstdint>
#include <string>

namespace {

constexpr int32_t kKey = 0xFF00FF;  // magenta: the clear corners

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

// A keyed picture of side x side; colour(dx, dy) from the centre, 0x00BBGGRR
// or kKey.
template <class Colour>
void write_sprite(const std::string& path, int32_t side, Colour colour) {
    TTeskFrameList list;
    TTeskFrame& f = *list.AddFrame();
    f.Delay = 100;
    f.Image.SetSize(side, side, 24);
    const double c = (side - 1) / 2.0;
    for (int32_t y = 0; y < side; ++y) {
        uint8_t* row = f.Image.ScanLine(y);
        for (int32_t x = 0; x < side; ++x) {
            const uint32_t v = static_cast<uint32_t>(colour(x - c, y - c));
            row[3 * x] = uint8_t(v >> 16);  // blue first
            row[3 * x + 1] = uint8_t(v >> 8);
            row[3 * x + 2] = uint8_t(v);
        }
    }
    f.TransparentColor = kKey;
    f.TransparentPixel = 0xFF00FF;
    list.SaveToFile(path);
}

}  // namespace

void WriteParticlesScene(const std::string& folder, const std::string& next) {
    // A soft round flake, white in the middle and blue-grey at its rim.
    write_sprite(folder + "flake.tes", 9, [](double dx, double dy) {
        const double r = std::hypot(dx, dy);
        if (r > 4.2) return kKey;
        return r < 2.5 ? 0xFFFFFF : 0xE0C8B0;
    });
    // A four-pointed spark.
    write_sprite(folder + "spark.tes", 7, [](double dx, double dy) {
        const double ax = std::fabs(dx), ay = std::fabs(dy);
        if (ax + ay > 3.2 && (ax > 0.5 && ay > 0.5)) return kKey;
        return ax + ay < 1.5 ? 0x80FFFF : 0x20A0FF;
    });

    TPageWriter w;
    DemoBoxMasks(w);
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_WIDTH, PR_HEIGHT, PR_SOURCE, PR_PARTMOTION, PR_APPEARX,
                   PR_APPEARY, PR_DELAY, PR_PARAM1, PR_PARAM2, PR_PARAM3, PR_INDEX, PR_ALPHA, PR_DURATION})
        w.SetMask(opParticleNew, id);
    DemoBox(w, "pt_sky", kHidden, 0, 0, 640, 480, 0x401808, 255, 0, -1, -20);
    DemoBox(w, "pt_ground", kHidden, 0, 430, 640, 50, 0xF0E8E0, 255, 0, -1, -10);
    TPageWriter::FlipFields flip;
    flip.Kind = "1";
    flip.Duration = "300";
    flip.ClearOld = "1";
    w.Flip(flip);
    w.Component(opParticleNew, {{PR_NAME, quoted("pt_snow")},
                                {PR_PARENT, kShown},
                                {PR_WIDTH, "640"},
                                {PR_HEIGHT, "440"},
                                {PR_SOURCE, quoted("flake.tes")},
                                {PR_PARTMOTION, "1"},
                                {PR_APPEARX, "Random(640)"},
                                {PR_APPEARY, "0"},
                                {PR_DELAY, "25"},
                                {PR_PARAM1, "0.9"},
                                {PR_PARAM2, "6"},
                                {PR_PARAM3, "18"},
                                {PR_INDEX, "6000"}});
    w.Component(opParticleNew, {{PR_NAME, quoted("pt_sparks")},
                                {PR_PARENT, kShown},
                                {PR_LEFT, "120"},
                                {PR_TOP, "60"},
                                {PR_WIDTH, "400"},
                                {PR_HEIGHT, "320"},
                                {PR_SOURCE, quoted("spark.tes")},
                                {PR_PARTMOTION, "2"},
                                {PR_APPEARX, "200"},
                                {PR_APPEARY, "160"},
                                {PR_DELAY, "12"},
                                {PR_PARAM1, "3"},
                                {PR_PARAM2, "1.06"},
                                {PR_PARAM3, "0.09"},
                                {PR_ALPHA, "400"},
                                {PR_DURATION, "2000"}});
    w.Wait("1000");
    w.VarNew("pt_names", PT_STR, "\"\"");
    w.VarNew("pt_count", PT_INT, "0");
    w.Calc("pt_count = ListCompo(pt_names, 0, \"pt_snow\")");
    w.Jump("snowseen.vsb", 0, "pt_count > 20");
    w.Wait("2000");
    w.Jump(next);
    w.SaveToFile(folder + "particles.vsb");

    TPageWriter seen;
    seen.Wait("2000");
    seen.Jump(next);
    seen.SaveToFile(folder + "snowseen.vsb");
}
