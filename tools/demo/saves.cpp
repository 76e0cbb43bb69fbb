// The saves scene: a box stands on a new picture and the game is saved into
// slot 1; the box then moves and turns blue, and the game loads slot 1
// back: the box stands red where it was saved, and play goes on after the
// save a second time (a kept variable, which a load leaves alone, tells the
// passes apart). It plays by itself in about two seconds.
#include "files/vocab.h"
#include "tools/demo/common.h"
#include "tools/demo/scenes.h"

#include <string>

void WriteSavesScene(const std::string& folder, const std::string& next) {
    TPageWriter w;
    DemoBoxMasks(w);
    w.VarNew("sv_loads", PT_INT, "0", 3);
    w.Calc("sv_loads = 0");
    DemoBox(w, "sv_stage", kHidden, 0, 0, 640, 480, 0x202810, 255, 0, -1, -20);
    DemoBox(w, "sv_box", kHidden, 80, 160, 160, 120, 0x0000FF, 255, 4, 0xFFFFFF);
    TPageWriter::FlipFields flip;
    flip.Kind = "1";
    flip.Duration = "300";
    flip.ClearOld = "1";
    w.Flip(flip);
    // The music comes back with the loaded scene: at once, without its
    // opening fade.
    w.SetProp("\"music\"", std::to_string(PR_DELAY), "0");
    w.GameSave("1", "\"demo\"");
    w.If("sv_loads == 0");
    w.Indent = 1;
    w.Calc("sv_loads = 1");
    w.SetProp("\"sv_box\"", std::to_string(PR_LEFT), "400");
    w.SetProp("\"sv_box\"", std::to_string(PR_COLOR), "16711680");
    w.Wait("600");
    w.GameLoad("1");
    w.Indent = 0;
    w.Wait("600");
    w.Jump(next);
    w.SaveToFile(folder + "saves.vsb");
}
