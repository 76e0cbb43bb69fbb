#include "media/base/media_managers.h"
#include "media/media_modules.h"
#include "media/video/video_items.h"
#include "media/base/screen_manager.h"
#include "platform/system/clock.h"
#include "objects/base_list.h"
#include "tests/support/plain_dibx.h"
#include "tests/support/scripted_video.h"

#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
// An item that plays like a medium of a library kind: Play on an inactive
// manager only flags it, and an end is reported once.
struct RecordingItem : TDMediaItem {
    RecordingItem(TMediaManager* m, std::string name, std::vector<std::string>& log)
        : TDMediaItem(m), Name(std::move(name)), Log(log) {}
    ~RecordingItem() override { Log.push_back("free " + Name); }
    bool IsPlaying() override { return Playing; }
    bool IsPaused() override { return Paused; }
    bool CheckEnd() override {
        Log.push_back("end? " + Name);
        const bool e = AtEnd;
        AtEnd = false;
        return e;
    }
    void Play() override {
        if (!Manager()->Active()) {
            ResumeFlag = true;
            return;
        }
        Log.push_back("play " + Name);
        Playing = true;
        Paused = false;
    }
    void Pause() override {
        Log.push_back("pause " + Name);
        Paused = true;
    }
    std::string Name;
    std::vector<std::string>& Log;
    bool Playing = false, Paused = false, AtEnd = false;
};

RecordingItem* add(TMediaManager& m, const std::string& name, std::vector<std::string>& log, bool playing,
                   bool paused = false, bool at_end = false) {
    auto* item = static_cast<RecordingItem*>(m.Adopt(std::make_unique<RecordingItem>(&m, name, log)));
    item->Playing = playing;
    item->Paused = paused;
    item->AtEnd = at_end;
    return item;
}
}  // namespace

TEST(MediaManager, SuspendPausesAndFlagsOnlyItemsThatReallyPlay) {
    struct Case {
        const char* what;
        bool playing, paused, at_end;
        bool end_asked, paused_by_suspend, flagged;
    };
    const Case cases[] = {
        {"playing", true, false, false, true, true, true},
        {"stopped", false, false, false, false, false, false},
        {"paused by its owner", true, true, false, false, false, false},
        // The end is consumed by the question: neither paused nor flagged.
        {"just ended", true, false, true, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> log;
        TOggManager m;
        RecordingItem* item = add(m, "a", log, c.playing, c.paused, c.at_end);
        item->ResumeFlag = true;  // a stale flag is cleared for items not paused now
        m.Suspend();
        EXPECT_TRUE(m.Suspended());
        EXPECT_EQ(std::count(log.begin(), log.end(), "end? a"), c.end_asked ? 1 : 0);
        EXPECT_EQ(std::count(log.begin(), log.end(), "pause a"), c.paused_by_suspend ? 1 : 0);
        EXPECT_EQ(item->ResumeFlag, c.flagged);
        log.clear();
        m.Resume();
        EXPECT_FALSE(m.Suspended());
        EXPECT_EQ(log, c.flagged ? std::vector<std::string>{"play a"} : std::vector<std::string>{});
        EXPECT_FALSE(item->ResumeFlag);
    }
}

TEST(MediaManager, SuspendAndResumeAreNotNestedAndIdleWhileSoundIsOff) {
    std::vector<std::string> log;
    TMidiManager m;
    add(m, "a", log, true);
    m.Resume();  // not suspended: nothing
    m.Suspend();
    m.Suspend();  // already suspended: asks nothing again
    EXPECT_EQ(log, (std::vector<std::string>{"end? a", "pause a"}));
    log.clear();
    m.Resume();
    m.Resume();
    EXPECT_EQ(log, (std::vector<std::string>{"play a"}));

    // Sound off: the manager is inactive and a focus change touches nothing.
    log.clear();
    m.SetActive(false);
    EXPECT_EQ(log, (std::vector<std::string>{"end? a", "pause a"}));
    EXPECT_FALSE(m.Active());
    log.clear();
    m.Resume();
    m.Suspend();
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(m.Suspended());
    m.SetActive(false);  // no change: nothing
    EXPECT_TRUE(log.empty());
    m.SetActive(true);
    EXPECT_EQ(log, (std::vector<std::string>{"play a"}));
    EXPECT_TRUE(m.Active());
    EXPECT_FALSE(m.Suspended());
}

TEST(MediaManager, SwitchingSoundOnPlaysExactlyWhatPlayedOrWasAskedToPlay) {
    std::vector<std::string> log;
    TWmpManager m;
    add(m, "playing", log, true);
    add(m, "stopped", log, false);
    m.SetActive(false);
    RecordingItem* late = add(m, "asked", log, false);
    late->Play();  // sound off: only flagged
    log.clear();
    m.SetActive(true);
    EXPECT_EQ(log, (std::vector<std::string>{"play playing", "play asked"}));

    // Sound off while the window is in the background: the items paused on
    // deactivation come back when sound is switched on again.
    log.clear();
    m.Suspend();
    m.SetActive(false);
    m.Resume();
    EXPECT_EQ(log, (std::vector<std::string>{"end? playing", "pause playing", "end? asked", "pause asked"}));
    log.clear();
    m.SetActive(true);
    EXPECT_EQ(log, (std::vector<std::string>{"play playing", "play asked"}));
}

TEST(MediaManager, VideosPauseAndResumeWhetherSoundIsOnOrNot) {
    std::vector<std::string> log;
    TVideoManager m;
    add(m, "v", log, true);
    m.SetActive(false);
    EXPECT_TRUE(m.Active());
    EXPECT_TRUE(log.empty());
    m.Suspend();
    m.Resume();
    EXPECT_EQ(log, (std::vector<std::string>{"end? v", "pause v", "play v"}));
}

TEST(MediaManager, RemoveFreesListedItemsOnlyAndTheManagerFreesTheRest) {
    std::vector<std::string> log;
    {
        TCddaManager m;
        RecordingItem* a = add(m, "a", log, false);
        add(m, "b", log, false);
        TCddaManager other;
        RecordingItem* c = add(other, "c", log, false);
        m.Remove(c);
        EXPECT_EQ(m.Count(), 2);
        m.Remove(a);
        EXPECT_EQ(m.Count(), 1);
        EXPECT_EQ(static_cast<RecordingItem*>(m.Item(0))->Name, "b");
        EXPECT_EQ(m.Item(1), nullptr);
        EXPECT_EQ(m.Item(-1), nullptr);
        EXPECT_EQ(m.Adopt(nullptr), nullptr);
    }
    EXPECT_EQ(log, (std::vector<std::string>{"free a", "free c", "free b"}));
}

namespace {
struct ManagersRunning : ::testing::Test {
    ManagersRunning() {
        SetScreenSurfaceMaker([](int32_t w, int32_t h, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
            return std::make_unique<TPlainDIBX>(w, h, bits);
        });
        video.CreateWindow(64, 70, "");
        InstallMediaManagers();
        InitMedia(&video, &video, {0, 22}, 64, 48, 640, 480);
    }
    ~ManagersRunning() override {
        FinalMedia();
        SetMediaManagerFactory(nullptr);
        SetScreenSurfaceMaker(nullptr);
    }
    ScriptedVideo video;
    std::vector<std::string> log;  // outlives the managers' items
};

// Paints a square of one colour straight into the window.
struct SquareOverlay : TScreenOverlay {
    explicit SquareOverlay(uint32_t c) : colour(c) {}
    void DrawOverlay(Video& window, TPoint origin) override {
        ++drawn;
        const uint32_t px[4] = {colour, colour, colour, colour};
        window.Update(px, 2, 2, 2, origin.X + 10, origin.Y + 10);
    }
    uint32_t colour;
    int drawn = 0;
};
}  // namespace

TEST_F(ManagersRunning, EveryKindHasItsManagerAndSoundOnReachesTheSoundManagers) {
    ASSERT_NE(VideoManager(), nullptr);
    ASSERT_NE(WmpManager(), nullptr);
    ASSERT_NE(OggManager(), nullptr);
    ASSERT_NE(CddaManager(), nullptr);
    ASSERT_NE(MidiManager(), nullptr);
    EXPECT_EQ(static_cast<TMediaManager*>(OggManager()), MediaManager(TMediaManagerKind::Ogg));

    add(*OggManager(), "ogg", log, true);
    add(*MidiManager(), "midi", log, true);
    add(*VideoManager(), "video", log, true);
    TVorqBaseList registry;
    registry.SetSoundOn(0);
    EXPECT_FALSE(OggManager()->Active());
    EXPECT_FALSE(WmpManager()->Active());
    EXPECT_FALSE(CddaManager()->Active());
    EXPECT_FALSE(MidiManager()->Active());
    EXPECT_TRUE(VideoManager()->Active());
    EXPECT_EQ(log, (std::vector<std::string>{"end? ogg", "pause ogg", "end? midi", "pause midi"}));
    log.clear();
    registry.SetSoundOn(1);
    EXPECT_EQ(log, (std::vector<std::string>{"play ogg", "play midi"}));
    EXPECT_TRUE(WmpManager()->Active());
}

// An overlay video is drawn into the window at every present, over the
// game picture, where the object placed it.
TEST_F(ManagersRunning, OverlayVideosAreDrawnByThePresent) {
    auto* item = static_cast<TVideoItem*>(VideoManager()->Add(std::string(VORQ_TEST_DATA) + "/video/bars.wmv", true));
    item->SetRect({0, 0, 160, 120}, {8, 4, 48, 34});  // a quarter of the size
    item->SetVisible(true);
    item->Play();
    const uint32_t* p = video.ReadPixels();
    const auto at = [&](int32_t x, int32_t y) { return p[size_t(y) * size_t(video.ClientWidth()) + size_t(x)] & 0xFFFFFF; };
    TClipList active, other;
    bool grey = false;
    EXPECT_TRUE(StepUntil([&] { return grey; },
                          [&] {
                              ScreenManager->Flip({{}, 100, &active, &other});
                              const uint32_t c = at(9, 22 + 5);  // the first bar, 75% grey
                              grey = (c & 0xFF) > 160 && ((c >> 8) & 0xFF) > 160 && ((c >> 16) & 0xFF) > 160;
                          }));
    EXPECT_EQ(at(7, 22 + 5), 0u);
    EXPECT_EQ(at(9, 22 + 34), 0u);
    VideoManager()->Remove(item);
}

TEST_F(ManagersRunning, TheVideoManagerPlaysVideoFilesThroughTheModule) {
    TDMediaItem* item = VideoManager()->Add(std::string(VORQ_TEST_DATA) + "/video/bars.wmv", false);
    auto* video_item = dynamic_cast<TVideoItem*>(item);
    ASSERT_NE(video_item, nullptr);
    EXPECT_EQ(VideoManager()->Count(), 1);
    EXPECT_EQ(video_item->SourceWidth(), 160);
    EXPECT_GT(item->GetLength(), 1900);
    VideoManager()->Remove(item);
    EXPECT_EQ(VideoManager()->Count(), 0);
}

TEST_F(ManagersRunning, OverlaysAreDrawnOverEveryPresentUntilHidden) {
    SquareOverlay overlay(0xABCDEF);
    const uint32_t* p = video.ReadPixels();
    const auto at = [&](int32_t x, int32_t y) { return p[size_t(y) * size_t(video.ClientWidth()) + size_t(x)]; };
    VideoManager()->ShowOverlay(&overlay);
    VideoManager()->ShowOverlay(&overlay);  // once only
    TClipList active, other;
    // Nothing of the game changed: the overlay is drawn and shown anyway.
    const uint32_t presents = video.PresentCount();
    ScreenManager->Flip({{}, 100, &active, &other});
    EXPECT_EQ(overlay.drawn, 1);
    EXPECT_EQ(video.PresentCount(), presents + 1);
    EXPECT_EQ(ScreenManager->FrameCount, 0);
    EXPECT_EQ(at(10, 32), 0xABCDEFu);
    // Drawn after the frame's rectangles: the game picture does not cover it.
    ScreenManager->Surface()->Fill(0);
    active.AddRect({0, 0, 64, 48});
    ScreenManager->Flip({{}, 100, &active, &other});
    EXPECT_EQ(overlay.drawn, 2);
    EXPECT_EQ(at(11, 33), 0xABCDEFu);
    EXPECT_EQ(at(9, 32), 0u);

    VideoManager()->HideOverlay(&overlay);
    ScreenManager->Flip({{}, 100, &active, &other});
    EXPECT_EQ(overlay.drawn, 2);
    EXPECT_EQ(video.PresentCount(), presents + 2);

    // A manager that ends takes its overlays with it.
    SquareOverlay left(1);
    auto own = std::make_unique<TVideoManager>();
    own->ShowOverlay(&left);
    ScreenManager->Flip({{}, 100, &active, &other});
    EXPECT_EQ(left.drawn, 1);
    own.reset();
    ScreenManager->Flip({{}, 100, &active, &other});
    EXPECT_EQ(left.drawn, 1);
}
