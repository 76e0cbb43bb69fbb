// The video object on a registry with the real video manager and module:
// frames copied into its surface and drawn on the layer, sizes from the
// source and zoom, overlay placement, the end event, stop, fade-out and
// new sources freeing their items, and the save record with its gates.
#include "script/game_clock.h"
#include "media/base/media.h"
#include "media/base/media_managers.h"
#include "media/media_modules.h"
#include "media/video/video_items.h"
#include "objects/base_list.h"
#include "objects/object_kinds.h"
#include "objects/media/video.h"
#include "objects/media/volume_fade.h"
#include "platform/system/clock.h"
#include "platform/filesystem/stream.h"
#include "tests/objects/kind_scene.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace {
std::string clip(const char* name = "bars.wmv") { return std::string(VORQ_TEST_DATA) + "/video/" + name; }

class VideoObject : public KindScene {
protected:
    std::atomic<uint32_t> now{5000};

    void SetUp() override {
        SetClockSource([this] { return now.load(); });
        InstallMediaManagers();
        InitMedia(nullptr, nullptr, TPoint{}, 0, 0, 0, 0);
        GameClock = 0;
        OpenScene(320, 240);
    }
    void TearDown() override {
        reg.reset();
        FinalMedia();
        SetClockSource({});
        KindScene::TearDown();
    }
    TVorqVideo* video(const std::string& name, const std::string& source, bool overlay = false) {
        auto* v = static_cast<TVorqVideo*>(CreateObjectByType(reg.get(), LT_VIDEO));
        v->SetName(name);
        v->SetParent(reg->ActiveBase());
        v->SetOverlay(overlay);
        v->SetSource(source);
        return v;
    }
    // Updates and draws until the object's surface shows a new frame of the
    // wanted colour at (x, y) of the screen, within real-time bounds.
    bool shows(TVorqVideo* v, int x, int y, uint32_t rgb) {
        // The clock stays where the test put it; the decoder runs on.
        reg->Update();
        v->Draw();
        return StepUntil(
            [&] {
                const uint32_t p = at(x, y);
                auto close = [](uint32_t a, uint32_t b) { return a > b ? a - b <= 40 : b - a <= 40; };
                return close(p >> 16, rgb >> 16) && close((p >> 8) & 0xFF, (rgb >> 8) & 0xFF) &&
                       close(p & 0xFF, rgb & 0xFF);
            },
            [&] {
                reg->Update();
                v->Draw();
            });
    }
};
}  // namespace

TEST_F(VideoObject, FramesAreCopiedIntoItsSurfaceAndDrawnWhereItStands) {
    TVorqVideo* v = video("op", clip());
    v->SetLeft(100);
    v->SetTop(50);
    v->SetPlayState(PS_PLAY);
    ASSERT_NE(v->Item(), nullptr);
    EXPECT_FALSE(v->Item()->Overlay());
    EXPECT_EQ(v->GetWidth(), 160);
    EXPECT_EQ(v->GetHeight(), 120);
    ASSERT_NE(v->FrameSurface(), nullptr);
    EXPECT_EQ(v->FrameSurface()->Width(), 160);
    // The first bar (75% grey), then the blue second.
    EXPECT_TRUE(shows(v, 100 + 12, 50 + 30, 0xBFBFBF));
    now += 1500;
    EXPECT_TRUE(shows(v, 100 + 80, 50 + 60, 0x0000FF));
    // Drawn again with no newer frame due: the picture stays.
    screen.Fill(0);
    v->Draw();
    EXPECT_NEAR(double(screen.GetPixel(180, 110) & 0xFF), 255.0, 40.0);
    EXPECT_EQ(screen.GetPixel(99, 110) & 0xFFFFFF, 0u);
}

TEST_F(VideoObject, SizeFollowsSourceAndZoom) {
    const struct {
        int32_t zoom_x, zoom_y, width, height, stored_x;
    } cases[] = {{256, 256, 160, 120, 256}, {128, 512, 80, 240, 128}, {0, 256, 0, 120, 1},
                 {-5, 100, 0, 46, 1},        {300, 255, 187, 119, 300}};
    for (auto c : cases) {
        TVorqVideo* v = video("z", clip());
        v->SetPlayState(PS_PLAY);
        v->SetZoomX(c.zoom_x);
        v->SetZoomY(c.zoom_y);
        EXPECT_EQ(v->GetZoomX(), c.stored_x);
        EXPECT_EQ(v->GetWidth(), c.width) << c.zoom_x;
        EXPECT_EQ(v->GetHeight(), c.height) << c.zoom_y;
        v->FreeNow();
    }
}

TEST_F(VideoObject, OverlayIsPlacedClippedAndReopensInTheOtherModeWhereItWas) {
    TVorqVideo* v = video("ov", clip(), true);
    v->SetLeft(-40);
    v->SetTop(10);
    v->SetZoomX(128);
    v->SetPlayState(PS_PLAY);
    TVideoItem* item = v->Item();
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->Overlay());
    EXPECT_TRUE(item->GetVisible());
    EXPECT_EQ(item->NeedPaint(), false) << "the module paints an overlay itself";
    v->SetVisible(false);
    EXPECT_FALSE(item->GetVisible());
    v->SetVisible(true);
    EXPECT_TRUE(item->GetVisible());
    v->SetLeft(400);  // outside the layer
    EXPECT_FALSE(item->GetVisible());
    // Changing the mode keeps the position.
    now += 700;
    v->SetLeft(0);
    v->SetOverlay(false);
    ASSERT_NE(v->Item(), nullptr);
    EXPECT_FALSE(v->Item()->Overlay());
    EXPECT_NEAR(double(v->GetIndex()), 700.0, 1.0);
    EXPECT_EQ(VideoManager()->Count(), 1);
}

TEST_F(VideoObject, AnEndedVideoQueuesOnPlayEndWhileItRestsAndAutoScrapFreesIt) {
    TVorqVideo* v = video("op", clip());
    v->SetOnPlayEnd("end.vsb");
    v->SetPlayState(PS_PLAY);
    now += 3000;
    StepUntil([&] { return reg->Events.Count() != 0; }, [&] { reg->Update(); });
    // Resting at its end it reports the end on every update, with no second
    // copy while one waits.
    for (int i = 0; i < 10; ++i) reg->Update();
    ASSERT_EQ(reg->Events.Count(), 1);
    EXPECT_EQ(reg->Events.Find(v, PR_ONPLAYEND), 0);
    EXPECT_FALSE(v->GetPlaying());
    reg->Events.Get(0).State = 1;  // its handler runs
    reg->Update();
    ASSERT_EQ(reg->Events.Count(), 2);
    EXPECT_EQ(reg->Events.Get(1).EventId, PR_ONPLAYEND);

    TVorqVideo* gone = video("se", clip());
    gone->SetAutoScrap(true);
    gone->SetPlayState(PS_PLAY);
    now += 3000;
    StepUntil([&] { return reg->IndexOfObject(gone) < 0; }, [&] { reg->Update(); });
    EXPECT_EQ(reg->IndexOfObject(gone), -1);
}

TEST_F(VideoObject, StopFadeOutAndNewSourcesFreeTheirItems) {
    TVorqVideo* v = video("op", clip());
    v->SetVolume(1000);
    v->SetPlayState(PS_PLAY);
    EXPECT_EQ(VideoManager()->Count(), 1);
    v->SetPlayState(PS_STOP);
    EXPECT_EQ(v->Item(), nullptr);
    EXPECT_EQ(v->FrameSurface(), nullptr);
    EXPECT_EQ(VideoManager()->Count(), 0);
    EXPECT_EQ(reg->IndexOfObject(v), 0) << "a stopped video stays";

    // A fade-in whose item goes with a new source goes with it.
    v->SetDelay(500);
    v->SetPlayState(PS_FADEIN);
    ASSERT_NE(v->Fade(), nullptr);
    v->SetSource(clip("sync.wmv"));
    EXPECT_EQ(v->Fade(), nullptr);
    EXPECT_EQ(VideoManager()->Count(), 0);

    // A fade-out drives the item to silence; the item is freed with the object.
    v->SetPlayState(PS_PLAY);
    GameClock = 1000;
    v->SetPlayState(PS_FADEOUT);
    EXPECT_EQ(v->Item(), nullptr);
    EXPECT_EQ(VideoManager()->Count(), 1);
    reg->Update();
    GameClock = 1250;
    reg->Update();
    EXPECT_EQ(VideoManager()->Item(0)->GetVolume(), -2500);
    GameClock = 1500;
    reg->Update();
    EXPECT_EQ(reg->IndexOfObject(v), -1);
    EXPECT_EQ(VideoManager()->Count(), 0);
}

TEST_F(VideoObject, VolumeBalanceAndPauseReachTheItem) {
    TVorqVideo* v = video("op", clip());
    v->SetVolume(500);
    v->SetBalance(20000);
    v->SetPlayState(PS_PLAY);
    TVideoItem* item = v->Item();
    EXPECT_EQ(item->GetVolume(), -2500);
    EXPECT_EQ(item->GetPan(), 10000);
    EXPECT_TRUE(v->GetPlaying());
    v->SetPaused(true);
    EXPECT_TRUE(item->IsPaused());
    EXPECT_FALSE(v->GetPlaying());
    v->SetAniPaused(true);
    v->SetPaused(false);
    EXPECT_TRUE(item->IsPaused()) << "still held by the animation pause";
    v->SetAniPaused(false);
    EXPECT_FALSE(item->IsPaused());
    v->SetRepeat(true);
    EXPECT_TRUE(item->GetAutoRepeat());
    EXPECT_GT(v->GetCount(), 1900);
    TVorqVideo* idle = video("idle", clip());
    EXPECT_EQ(idle->GetCount(), v->GetCount()) << "measured with a temporary item";
    EXPECT_EQ(VideoManager()->Count(), 1);
}

TEST_F(VideoObject, SaveRecordRoundTripsAndOlderVersionsLeaveNewFieldsAtTheirDefaults) {
    TVorqVideo* v = video("op", clip());
    v->SetRepeat(true);
    v->SetVolume(700);
    v->SetBalance(-300);
    v->SetDelay(250);
    v->SetOnPlayEnd("end.vsb");
    v->SetOnIdle("idle.vsb");
    v->SetRewindOnLoad(true);
    v->SetMuteOnLoad(true);
    v->SetOverlay(false);
    v->SetPlusX(0x11223344);
    v->Tag = "TAGX";
    v->SetOnKeyDown("KD01");
    v->SetOnKeyUp("KU01");
    v->SetOnKeyRepeat("KR01");
    v->SetOnFocusIn("FI01");
    v->SetOnFocusOut("FO01");
    v->SetPlayState(PS_PLAY);
    TMemoryStream s;
    v->SaveToStream(s);
    const std::vector<uint8_t> whole(s.Memory(), s.Memory() + s.GetSize());
    auto find = [&](std::vector<uint8_t> what) {
        return size_t(std::search(whole.begin(), whole.end(), what.begin(), what.end()) - whole.begin());
    };
    // Where the control part's later fields lie: the tag (from 120) and
    // motion x, y and plus x, y (from 130), the key fields (from 118).
    const size_t tag_at = find({4, 0, 0, 0, 'T', 'A', 'G', 'X'});
    const size_t keys_at = find({4, 0, 0, 0, 'K', 'D', '0', '1'}) - 1;
    ASSERT_LT(keys_at, whole.size());
    const size_t motion_at = find({0x44, 0x33, 0x22, 0x11}) - 8;
    ASSERT_LT(motion_at, whole.size());
    ASSERT_LT(tag_at, motion_at);
    // The record as a game of the version wrote it.
    auto record_of = [&](int32_t version) {
        std::vector<uint8_t> r = whole;
        if (version < 129) r.pop_back();                   // mute on load
        if (version < 112) r.pop_back();                   // overlay
        std::vector<std::pair<size_t, size_t>> gone;  // offset, length
        if (version < 130) gone.push_back({motion_at, 16});
        if (version < 118) gone.push_back({keys_at, 41});
        if (version < 120) gone.push_back({tag_at, 8});
        std::sort(gone.rbegin(), gone.rend());  // last first: the offsets stay true
        for (auto [at, n] : gone) r.erase(r.begin() + long(at), r.begin() + long(at + n));
        return r;
    };
    struct Case {
        int32_t version;
        bool overlay, mute;
        int32_t volume;
    } cases[] = {{130, false, true, 0}, {129, false, true, 0}, {128, false, false, 700}, {112, false, false, 700},
                   {111, true, false, 700}, {108, true, false, 700}};
    for (auto c : cases) {
        SCOPED_TRACE(c.version);
        TMemoryStream old;
        const std::vector<uint8_t> r = record_of(c.version);
        old.WriteBuffer(r.data(), int64_t(r.size()));
        old.SetPosition(0);
        auto* w = static_cast<TVorqVideo*>(CreateObjectByType(reg.get(), LT_VIDEO));
        w->SetParent(reg->ActiveBase());
        w->LoadFromStream(old, c.version);
        EXPECT_EQ(old.GetPosition(), old.GetSize());
        EXPECT_EQ(w->GetSource(), clip());
        EXPECT_TRUE(w->GetRepeat());
        EXPECT_EQ(w->GetVolume(), c.volume);
        EXPECT_EQ(w->GetBalance(), -300);
        EXPECT_EQ(w->GetDelay(), 250);
        EXPECT_EQ(w->GetOnIdle(), "idle.vsb");
        EXPECT_EQ(w->GetOverlay(), c.overlay);
        EXPECT_EQ(w->GetMuteOnLoad(), c.mute);
        EXPECT_EQ(w->GetPlayState(), PS_PLAY);
        ASSERT_NE(w->Item(), nullptr) << "a playing video plays again after a load";
        w->FreeNow();
    }
    // Every prefix of the record is refused, never read past.
    for (int64_t len = 0; len < s.GetSize(); ++len) {
        TMemoryStream cut;
        cut.WriteBuffer(s.Memory(), len);
        cut.SetPosition(0);
        auto* w = static_cast<TVorqVideo*>(CreateObjectByType(reg.get(), LT_VIDEO));
        EXPECT_ANY_THROW(w->LoadFromStream(cut, 130)) << len;
        w->FreeNow();
    }
}
