// The effects scene: a striped picture ripples inside a wave while flames
// burn along the bottom of the stage; the page goes on after about three
// seconds.
#include "files/vocab.h"
#include "tools/demo/common.h"
#include "tools/demo/scenes.h"

#include <string>

namespace {
std::string quoted(const std::string& s) { return "\"" + s + "\""; }
}  // namespace

void WriteEffectsScene(const std::string& folder, const std::string& next) {
    TPageWriter w;
    DemoBoxMasks(w);
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_WIDTH, PR_HEIGHT, PR_AMP, PR_WAVELEN, PR_DELAY})
        w.SetMask(opWaveNew, id);
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_ORIGWIDTH, PR_ORIGHEIGHT, PR_ZOOMX, PR_ZOOMY, PR_POWER})
        w.SetMask(opFireNew, id);
    DemoBox(w, "ef_stage", kHidden, 0, 0, 640, 480, 0x201008, 255, 0, -1, -20);
    TPageWriter::FlipFields flip;
    flip.Kind = "1";
    flip.Duration = "300";
    flip.ClearOld = "1";
    w.Flip(flip);
    w.Component(opWaveNew, {{PR_NAME, quoted("ef_wave")},
                            {PR_PARENT, kShown},
                            {PR_LEFT, "160"},
                            {PR_TOP, "60"},
                            {PR_WIDTH, "320"},
                            {PR_HEIGHT, "240"},
                            {PR_AMP, "12"},
                            {PR_WAVELEN, "80"},
                            {PR_DELAY, "1500"}});
    // The picture: a sky, a sea and a sun made of boxes, rippled as one.
    DemoBox(w, "ef_sky", "\"ef_wave\"", 0, 0, 320, 140, 0xE0A060);
    DemoBox(w, "ef_sea", "\"ef_wave\"", 0, 140, 320, 100, 0x804020);
    DemoBox(w, "ef_sun", "\"ef_wave\"", 130, 50, 60, 60, 0x40D0FF);
    for (int i = 0; i < 5; ++i)
        DemoBox(w, ("ef_stripe" + std::to_string(i)).c_str(), "\"ef_wave\"", 20 + 60 * i, 160 + 14 * (i % 3), 40, 6,
                0xFFFFFF, 160);
    w.Component(opFireNew, {{PR_NAME, quoted("ef_fire")},
                            {PR_PARENT, kShown},
                            {PR_LEFT, "0"},
                            {PR_TOP, "360"},
                            {PR_ORIGWIDTH, "160"},
                            {PR_ORIGHEIGHT, "30"},
                            {PR_ZOOMX, "1024"},
                            {PR_ZOOMY, "1024"},
                            {PR_POWER, "124"}});
    w.Wait("3000");
    w.Jump(next);
    w.SaveToFile(folder + "effects.vsb");
}
