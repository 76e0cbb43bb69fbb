// Two games played one after the other in one process, each with a sound
// through the media module: the first game's sound device and sound
// component must not outlive it and reach the second.
#include "engine/scenario_writer.h"
#include "media/base/media.h"
#include "media/base/media_managers.h"
#include "media/companion/companion.h"
#include "platform/system/audio.h"
#include "shell/player_modules.h"
#include "tests/support/player_window.h"

#include <gtest/gtest.h>

namespace {

class TwoGames : public PlayerWindowTest {
protected:
    void SetUp() override {
        InstallPlayerModules();
        PlayerWindowTest::SetUp();
    }
};

TEST_F(TwoGames, EachPlaysItsSoundThroughItsOwnDeviceAndLeavesNoneBehind) {
    TPageWriter w;
    for (int id : {PR_NAME, PR_SOURCE, PR_REPEAT}) w.SetMask(opSound, id);
    w.Component(opSound, {{PR_NAME, "\"bgm\""},
                          {PR_SOURCE, "\"" + std::string(VORQ_TEST_DATA) + "/audio/tone.ogg\""},
                          {PR_REPEAT, "1"}});
    w.Wait("100000");
    folder.WritePage("main.vsb", w);
    folder.WriteProject(TestProjectData("main.vsb"));
    for (int game = 0; game < 2; ++game) {
        if (game > 0) SetUp();  // the fixture set up the first
        open_view();
        ASSERT_FALSE(Terminating) << game;
        for (int i = 0; i < 100 && !CompanionSoundDevice(); ++i) {
            clock += 16;
            view->ApplicationEventsIdle();
        }
        AudioDevice* device = view->DXSound.Device();
        ASSERT_NE(device, nullptr) << game;
        EXPECT_EQ(CompanionSoundDevice(), device) << game;
        EXPECT_GT(device->Bus().SourceCount(), 0u) << game;
        TearDown();
        EXPECT_EQ(LibrarySoundCell, nullptr) << game;
        EXPECT_EQ(MediaSoundComponent, nullptr) << game;
    }
}

}  // namespace
