// End to end: the player's window on the headless video service plays a
// page that places boxes, changes one by property, runs a timer's handler
// and switches to the other layer with a transition; the pixels of the
// presented frames show each step.
#include "shell/form_view.h"

#include "script/game_clock.h"
#include "script/param_collection.h"
#include "shell/player_modules.h"
#include "engine/scenario_writer.h"
#include "objects/scene/scene.h"
#include "platform/system/clock.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/player_window.h"

#include <gtest/gtest.h>

namespace {

class PlayedFrames : public PlayerWindowTest {
protected:
    void SetUp() override {
        InstallPlayerModules();
        PlayerWindowTest::SetUp();
    }
    void start(const TPageWriter& main, const TPageWriter& tick) {
        folder.WritePage("main.vsb", main);
        folder.WritePage("tick.vsb", tick);
        folder.WriteProject(TestProjectData("main.vsb"));
        open_view();
        ASSERT_FALSE(Terminating);
    }
    void idle(int frames = 1) {
        for (int i = 0; i < frames; ++i) {
            clock += 16;
            view->ApplicationEventsIdle();
        }
    }
    // The window's pixel at a point of the picture, 0x00RRGGBB.
    uint32_t shown(int32_t x, int32_t y) const {
        const Video& w = view->Window();
        return w.ReadPixels()[size_t(view->ImageOffsetY + y) * size_t(w.ClientWidth()) +
                              size_t(view->ImageOffsetX + x)] & 0xFFFFFF;
    }
};

TEST_F(PlayedFrames, BoxesAppearChangeAndGiveWayToTheOtherLayer) {
    TPageWriter w;
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_WIDTH, PR_HEIGHT, PR_COLOR, PR_ALPHA, PR_PRIORITY})
        w.SetMask(opBoxNew, id);
    for (int id : {PR_NAME, PR_DELAY, PR_ONNOTIFY}) w.SetMask(opTimer, id);
    const auto box = [&](const char* name, const char* parent, int l, int t, int wd, int h, const char* colour,
                         const char* alpha, const char* priority) {
        w.Component(opBoxNew, {{PR_NAME, name}, {PR_PARENT, parent}, {PR_LEFT, std::to_string(l)},
                               {PR_TOP, std::to_string(t)}, {PR_WIDTH, std::to_string(wd)},
                               {PR_HEIGHT, std::to_string(h)}, {PR_COLOR, colour}, {PR_ALPHA, alpha},
                               {PR_PRIORITY, priority}});
    };
    // Colours are 0x00BBGGRR: 255 red, 65280 green, 16711680 blue.
    box("\"back\"", "\"\x01" "BASE0\"", 0, 0, 640, 480, "8421504", "255", "-1");  // grey
    box("\"red\"", "\"\x01" "BASE0\"", 100, 50, 200, 100, "255", "255", "0");
    box("\"veil\"", "\"red\"", 0, 0, 100, 100, "16711680", "384", "0");  // adds half of blue
    w.VarNew("go", PT_INT, "0");
    w.Component(opTimer, {{PR_NAME, "\"t\""}, {PR_DELAY, "100"}, {PR_ONNOTIFY, "\"tick.vsb\""}});
    w.Wait("100000", "go == 0");
    w.Wait("150");
    box("\"other\"", "\"\x01\"", 0, 0, 640, 480, "65280", "255", "0");
    TPageWriter::FlipFields f;
    f.Kind = "1";
    f.Duration = "200";
    w.Flip(f);
    w.Wait("100000");
    TPageWriter tick;
    tick.SetProp("\"red\"", "4", "200");  // TOP
    tick.Calc("go = 1");
    tick.ObjDel("\"t\"");
    tick.Exit();
    start(w, tick);

    idle(2);
    EXPECT_EQ(shown(10, 10), 0x808080u);
    EXPECT_EQ(shown(250, 60), 0xFF0000u);   // red, right of the veil
    EXPECT_EQ(shown(150, 60), 0xFF007Fu);   // red plus half of blue (255 * 128 >> 8)
    EXPECT_EQ(shown(150, 160), 0x808080u);  // below the box
    // The timer's handler moves the box down.
    for (int i = 0; i < 30 && Params->Find("go")->GetAsInt() == 0; ++i) idle();
    idle();
    EXPECT_EQ(shown(250, 60), 0x808080u);
    EXPECT_EQ(shown(250, 210), 0xFF0000u);
    // The fade runs over 200 ms and the green layer is shown whole.
    bool mixed = false;
    for (int i = 0; i < 30 && VorqBaseList->ActiveIndex == 0; ++i) {
        idle();
        const uint32_t p = shown(10, 10);
        mixed = mixed || (p != 0x808080u && p != 0x00FF00u);
    }
    EXPECT_TRUE(mixed);
    idle(2);
    EXPECT_EQ(VorqBaseList->ActiveIndex, 1);
    EXPECT_EQ(shown(10, 10), 0x00FF00u);
    EXPECT_EQ(shown(250, 210), 0x00FF00u);
}

}  // namespace
