// The demo's scenes that make objects after a switch of layers, played from
// the pages the build wrote, started with either layer shown: whatever they
// make must land on the shown layer and reach the presented picture.
#include "shell/player_modules.h"
#include "engine/scenario_writer.h"
#include "objects/base_list.h"
#include "tests/support/player_window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

const std::string kDemoPages = std::string(VORQ_BINARY_DIR) + "/demo_src";

struct SceneCase {
    const char* page;
    int frames;        // played before looking: any switch of layers is over
    int32_t x, y;      // a point the scene's new objects cover
    uint32_t backdrop;  // what shows there when they are missing, 0x00RRGGBB
};

class DemoSceneLayers : public PlayerWindowTest, public ::testing::WithParamInterface<std::tuple<SceneCase, int>> {
protected:
    void SetUp() override {
        InstallPlayerModules();
        PlayerWindowTest::SetUp();
    }
    // The scene starts after `flips` switches made by a page of our own.
    void start(const std::string& page, int flips) {
        for (const auto& e : std::filesystem::directory_iterator(kDemoPages))
            std::filesystem::copy_file(e.path(), folder.Path() + e.path().filename().string(),
                                       std::filesystem::copy_options::overwrite_existing);
        TPageWriter w;
        for (int i = 0; i < flips; ++i) {
            TPageWriter::FlipFields flip;
            flip.ClearOld = "1";
            w.Flip(flip);
        }
        w.Jump(page);
        folder.WritePage("before.vsb", w);
        folder.WriteProject(TestProjectData("before.vsb"));
        open_view();
        ASSERT_FALSE(Terminating);
    }
    void idle(int frames) {
        for (int i = 0; i < frames; ++i) {
            clock += 16;
            view->ApplicationEventsIdle();
        }
    }
    uint32_t shown(int32_t x, int32_t y) const {
        const Video& w = view->Window();
        return w.ReadPixels()[size_t(view->ImageOffsetY + y) * size_t(w.ClientWidth()) +
                              size_t(view->ImageOffsetX + x)] &
               0xFFFFFF;
    }
};

const SceneCase kScenes[] = {
    {"effects.vsb", 60, 320, 100, 0x081020},  // the stage behind the wave
    {"film.vsb", 20, 130, 100, 0},            // nothing behind the film
};

TEST_P(DemoSceneLayers, ObjectsMadeAfterASwitchShowWhicheverLayerIsShown) {
    const auto& [c, flips] = GetParam();
    ASSERT_TRUE(std::filesystem::exists(kDemoPages + "/" + c.page)) << "the demo is built with the player";
    start(c.page, flips);
    idle(c.frames);
    TVorqBaseList& reg = *VorqBaseList;
    int made = 0;
    for (int32_t i = 0; i < reg.GetObjectCount(); ++i) {
        TVorqObject* o = reg.GetObjectAt(i);
        if (!o->IsControl() || IsInternalName(o->GetName())) continue;
        ++made;
        EXPECT_EQ(o->GetBase(), reg.ActiveBase()) << o->GetName();
    }
    EXPECT_GT(made, 0);
    EXPECT_NE(shown(c.x, c.y), c.backdrop);
}

INSTANTIATE_TEST_SUITE_P(Scenes, DemoSceneLayers, ::testing::Combine(::testing::ValuesIn(kScenes), ::testing::Values(0, 1)),
                         [](const auto& info) {
                             std::string page = std::get<0>(info.param).page;
                             return page.substr(0, page.find('.')) + "_after_" +
                                    std::to_string(std::get<1>(info.param)) + "_switches";
                         });

}  // namespace
