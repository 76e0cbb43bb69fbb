// The media commands on pages played headless, with sound objects playing
// through the real media managers into a device nobody listens to.
#include "script/game_clock.h"
#include "shell/headless_runner.h"
#include "script/param_collection.h"
#include "engine/scenario_writer.h"
#include "media/base/media.h"
#include "media/base/media_managers.h"
#include "media/media_modules.h"
#include "objects/scene/scene.h"
#include "platform/system/audio.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/plain_dibx.h"

#include <gtest/gtest.h>

namespace {

class MediaCommands : public ::testing::Test {
protected:
    TTestGameFolder folder;
    TPlainDIBX screen{32, 32, 32};
    std::unique_ptr<TVorqBaseList> reg;
    std::unique_ptr<TRegistrySceneLink> link;
    std::unique_ptr<THeadlessRunner> runner;
    std::unique_ptr<AudioDevice> device = AudioDevice::Open(AudioBackend::Manual);
    TVorqBaseList* saved_registry = nullptr;
    const std::string source = "\"" + std::string(VORQ_TEST_DATA) + "/audio/tone.ogg\"";

    void SetUp() override {
        SetSurfaceMaker([](int32_t w, int32_t h, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
            return std::make_unique<TPlainDIBX>(w, h, bits);
        });
        InstallMediaManagers();
        LibrarySoundCell = device.get();
        InitMedia(nullptr, nullptr, TPoint{}, 0, 0, 0, 0);
        reg = std::make_unique<TVorqBaseList>();
        reg->SurfaceBits = 32;
        reg->SetWidth(32);
        reg->SetHeight(32);
        reg->SetScreenSurface(&screen);
        saved_registry = VorqBaseList;
        VorqBaseList = reg.get();
        link = std::make_unique<TRegistrySceneLink>(*reg);
    }
    void TearDown() override {
        runner.reset();
        VorqBaseList = saved_registry;
        reg.reset();
        FinalMedia();
        LibrarySoundCell = nullptr;
        SetSurfaceMaker(nullptr);
    }
    void start(const TPageWriter& w) {
        folder.WritePage("main.vsb", w);
        folder.WriteProject(TestProjectData("main.vsb"));
        runner = std::make_unique<THeadlessRunner>(folder.Path(), link.get());
        ASSERT_TRUE(runner->Running());
    }
    void frames(int n, uint32_t ms = 50) {
        for (int i = 0; i < n; ++i) {
            runner->Frame(ms);
            reg->Update();
        }
    }
    void sound(TPageWriter& w, const char* name, const char* delay = "0") {
        w.Component(opSound, {{PR_NAME, std::string("\"") + name + "\""},
                              {PR_SOURCE, source},
                              {PR_VOLUME, "1000"},
                              {PR_REPEAT, "1"},
                              {PR_DELAY, delay}});
    }
    static int32_t var(const std::string& name) { return Params->Find(name)->GetAsInt(); }
};

}  // namespace

TEST_F(MediaCommands, StopDeletesAtOnceAndAFadeOutIsWaitedFor) {
    TPageWriter w;
    for (int id : {PR_NAME, PR_SOURCE, PR_VOLUME, PR_REPEAT, PR_DELAY}) w.SetMask(opSound, id);
    w.VarNew("stopped", PT_INT, "0");
    w.VarNew("faded", PT_INT, "0");
    sound(w, "a");
    sound(w, "b");
    sound(w, "c", "300");  // fades in
    w.MovieStop("\"a\"", "0");
    w.Calc("stopped = 1");
    // A sound that already fades out is neither faded again nor waited for.
    w.MovieStop("\"c\"", "400");
    w.MovieStop("\"SCRAP_c\"", "5000", "1");
    w.MovieStop("\"b\"", "500", "1");
    w.Calc("faded = 1");
    w.Wait("100000");
    start(w);
    frames(1);
    EXPECT_EQ(reg->FindObject("a"), nullptr);
    EXPECT_EQ(var("stopped"), 1);
    ASSERT_NE(reg->FindObject("SCRAP_b"), nullptr);
    EXPECT_NE(reg->FindObject("SCRAP_c"), nullptr);
    EXPECT_EQ(reg->FindObject("b"), nullptr);
    const struct {
        int frames;
        int faded;
        bool b_there, c_there;
    } steps[] = {{4, 0, true, true}, {4, 0, true, false}, {4, 1, false, false}};
    for (auto s : steps) {
        frames(s.frames);
        EXPECT_EQ(var("faded"), s.faded) << GameClock;
        EXPECT_EQ(reg->FindObject("SCRAP_b") != nullptr, s.b_there) << GameClock;
        EXPECT_EQ(reg->FindObject("SCRAP_c") != nullptr, s.c_there) << GameClock;
    }
}

TEST_F(MediaCommands, MediaPlayRestartsASoundFromItsStart) {
    TPageWriter w;
    for (int id : {PR_NAME, PR_SOURCE, PR_VOLUME, PR_REPEAT, PR_DELAY}) w.SetMask(opSound, id);
    sound(w, "bgm");
    w.SetProp("\"bgm\"", std::to_string(PR_PAUSED), "1");
    w.SetProp("\"bgm\"", std::to_string(PR_INDEX), "300");
    w.MediaPlay("\"bgm\"");
    w.MediaPlay("\"nothing\"");
    w.Wait("100000");
    start(w);
    frames(1);
    auto* s = dynamic_cast<TVorqSound*>(reg->FindObject("bgm"));
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(s->GetPaused());
    ASSERT_NE(s->Item(), nullptr);
    EXPECT_LT(s->GetIndex(), 100);
    EXPECT_TRUE(s->GetPlaying());
}
