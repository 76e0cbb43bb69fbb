// The video group of the companion module and the video items, against
// clips made by ffmpeg from its own test sources (tests/data/video/make_clips.sh):
// lengths as ffprobe reads them, the picture shown at a time, sound in step
// with the picture through a device whose mix the test pulls, overlays
// drawn into the window, ends, loops and damaged files.
#include "media/companion/companion.h"
#include "media/audio/sound_items.h"
#include "media/base/media_managers.h"
#include "media/companion/video_companion.h"
#include "media/decode/video_decoder.h"
#include "media/video/video_items.h"
#include "platform/system/audio.h"
#include "platform/system/clock.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "platform/display/video.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string clip(const std::string& name) { return std::string(VORQ_TEST_DATA) + "/video/" + name; }

int number_in(const std::string& name) {
    std::ifstream f(clip(name));
    int v = -1;
    f >> v;
    return v;
}

std::vector<uint8_t> bytes_of(const std::string& name) {
    std::ifstream f(clip(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

std::unique_ptr<TMemoryStream> memory_of(const std::vector<uint8_t>& bytes) {
    auto s = std::make_unique<TMemoryStream>();
    if (!bytes.empty()) s->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s->SetPosition(0);
    return s;
}

struct Rgb {
    int r, g, b;
};
Rgb pixel(const VideoPicture* p, int x, int y) {
    const uint32_t v = p->Pixels[size_t(y) * size_t(p->Width) + size_t(x)];
    return {int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF)};
}
bool near(Rgb a, Rgb b, int tol = 32) {
    return std::abs(a.r - b.r) <= tol && std::abs(a.g - b.g) <= tol && std::abs(a.b - b.b) <= tol;
}

// Waits (real time, up to the deadline) until the condition holds.
template <class F>
bool eventually(F f) {
    return WaitUntil(f);
}

// The module with a device whose mix the test pulls, and a clock the test sets.
struct VideoModule : ::testing::Test {
    std::unique_ptr<AudioDevice> device = AudioDevice::Open(AudioBackend::Manual);
    AudioDevice* cell = nullptr;
    std::atomic<uint32_t> now{1000};
    std::vector<std::unique_ptr<TStream>> streams;
    void SetUp() override {
        SetClockSource([this] { return now.load(); });
        vorqInit(nullptr, nullptr, nullptr, &cell, StreamGetSizeCallback, StreamReadCallback,
                 StreamGetPositionCallback, StreamSeekCallback, nullptr, nullptr, 0);
    }
    void TearDown() override {
        vorqFinal();
        SetClockSource({});
    }
    uint32_t add(const std::string& name, bool overlay = false) {
        streams.push_back(memory_of(bytes_of(name)));
        return vorqVidmanAdd(name.c_str(), streams.back().get(), overlay ? -1 : 0);
    }
};

}  // namespace

TEST_F(VideoModule, LengthAndSizeAreFfprobes) {
    struct Case {
        const char* name;
        int width, height;
    };
    for (const Case& c : {Case{"bars.wmv", 160, 120}, Case{"sync.wmv", 160, 120}}) {
        const uint32_t h = add(c.name);
        const std::string base = std::string(c.name).substr(0, std::string(c.name).size() - 4);
        EXPECT_NEAR(vorqVideoGetLen(h), number_in(base + ".duration"), 1) << c.name;
        EXPECT_EQ(vorqVideoGetSourceWidth(h), c.width);
        EXPECT_EQ(vorqVideoGetSourceHeight(h), c.height);
        vorqVidmanDel(h);
    }
}

// Without a device the system clock paces the picture: the frame due at a
// time is the one shown, earlier ones are skipped.
TEST_F(VideoModule, FrameShownAtATimeHasTheClipsColours) {
    struct Case {
        uint32_t at_ms;
        int x, y;
        Rgb want;
    };
    const Case cases[] = {
        {0, 12, 30, {191, 191, 191}},  // first bar, grey
        {450, 60, 30, {0, 191, 191}},  // third bar, cyan
        {500, 84, 30, {0, 191, 0}},    // fourth bar, green
        {1500, 80, 60, {0, 0, 255}},   // the blue second
        {1950, 5, 5, {0, 0, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.at_ms);
        const uint32_t h = add("bars.wmv");
        now = 1000;
        vorqVideoPlay(h);
        now = 1000 + c.at_ms;
        Rgb got{};
        EXPECT_TRUE(eventually([&] {
            if (!vorqVideoNeedPaint(h)) return false;
            got = pixel(vorqVideoGetDC(h), c.x, c.y);
            return near(got, c.want);
        })) << got.r << "," << got.g << "," << got.b;
        EXPECT_EQ(vorqVideoGetPosition(h), int32_t(c.at_ms));
        vorqVidmanDel(h);
    }
}

TEST_F(VideoModule, PauseHoldsTheClockAndSeekingMovesIt) {
    const uint32_t h = add("bars.wmv");
    vorqVideoPlay(h);
    now += 300;
    vorqVideoPause(h);
    EXPECT_NE(vorqVideoIsPaused(h), 0);
    EXPECT_EQ(vorqVideoIsPlaying(h), 0);
    now += 5000;
    EXPECT_EQ(vorqVideoGetPosition(h), 300);
    EXPECT_EQ(vorqVideoIsEnd(h), 0);
    vorqVideoSetPosition(h, 1500);
    EXPECT_EQ(vorqVideoGetPosition(h), 1500);
    EXPECT_TRUE(eventually([&] { return vorqVideoNeedPaint(h) && near(pixel(vorqVideoGetDC(h), 80, 60), {0, 0, 255}); }));
    vorqVideoPlay(h);
    now += 100;
    EXPECT_EQ(vorqVideoGetPosition(h), 1600);
}

TEST_F(VideoModule, EndsOnceAllIsShownAndRepeatsWhenAsked) {
    const uint32_t once = add("bars.wmv");
    const uint32_t loop = add("bars.wmv");
    vorqVideoSetAutoRepeat(loop, -1);
    vorqVideoPlay(once);
    vorqVideoPlay(loop);
    now += 1000;
    EXPECT_EQ(vorqVideoIsEnd(once), 0);
    now += 1200;
    EXPECT_TRUE(eventually([&] { return vorqVideoIsEnd(once) != 0; }));
    EXPECT_EQ(vorqVideoIsPlaying(once), 0);
    EXPECT_EQ(vorqVideoIsEnd(once), -1) << "an end is reported every time it is asked";
    // The loop starts over at 0: its position falls back below the length.
    EXPECT_TRUE(eventually([&] { return vorqVideoGetPosition(loop) < 500; }));
    EXPECT_EQ(vorqVideoIsEnd(loop), 0);
    EXPECT_NE(vorqVideoIsPlaying(loop), 0);
}

// The sound comes out of the device the module was handed, and the picture
// turns white when the tone starts: both at 1000 ms, within 40 ms.
TEST_F(VideoModule, SoundPlaysThroughTheDeviceInStepWithThePicture) {
    cell = device.get();
    const uint32_t h = add("sync.wmv");
    vorqVideoSetVol(h, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    vorqVideoPlay(h);
    const size_t step = 441;  // 10 ms
    int64_t heard = -1, seen = -1;
    std::vector<int16_t> out(step * 2);
    for (int64_t frame = 0; frame < 44100 * 2 && (heard < 0 || seen < 0); frame += step) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the decoder keeps ahead
        device->Bus().Mix(out.data(), step);
        long peak = 0;
        for (int16_t s : out) peak = std::max<long>(peak, std::abs(int(s)));
        const int64_t ms = (frame + int64_t(step)) * 1000 / 44100;
        if (heard < 0 && peak > 3000) heard = frame * 1000 / 44100;
        if (seen < 0 && vorqVideoNeedPaint(h) && pixel(vorqVideoGetDC(h), 80, 60).r > 200) seen = ms;
        EXPECT_NEAR(vorqVideoGetPosition(h), ms, 1);
    }
    EXPECT_NEAR(double(heard), 1000.0, 40.0);
    EXPECT_NEAR(double(seen), double(heard), 40.0);
    // Silent at -10000.
    vorqVideoSetVol(h, -10000);
    device->Bus().Mix(out.data(), step);
    for (int16_t s : out) ASSERT_EQ(s, 0);
}

TEST_F(VideoModule, OverlayDrawsThePlacedPartScaledIntoTheWindow) {
    ForceHeadless(true);
    auto window = Video::Create(VideoBackend::Headless);
    window->CreateWindow(320, 240, "v");
    const uint32_t h = add("bars.wmv", true);
    vorqVideoPlay(h);
    now += 1500;  // the blue second
    EXPECT_EQ(vorqVideoNeedPaint(h), 0) << "the module paints overlays itself";
    const TRect source{0, 0, 160, 120}, dest{10, 20, 90, 80};  // half size
    vorqVideoSetRect(h, &source, &dest);
    auto at = [&](int x, int y) { return window->ReadPixels()[size_t(y) * 320 + size_t(x)] & 0xFFFFFF; };
    vorqVideoPaintOverlay(h, *window, TPoint{0, 0});
    EXPECT_EQ(at(50, 50), 0u) << "invisible: nothing drawn";
    vorqVideoSetVisible(h, -1);
    EXPECT_TRUE(eventually([&] {
        vorqVideoPaintOverlay(h, *window, TPoint{5, 0});
        return (at(50, 50) & 0xFF) > 200;
    }));
    EXPECT_GT(at(15, 20) & 0xFF, 200u);  // dest's corner, moved by the view origin
    EXPECT_EQ(at(14, 20), 0u);
    EXPECT_GT(at(94, 50) & 0xFF, 200u);
    EXPECT_EQ(at(95, 50), 0u);
    EXPECT_GT(at(50, 79) & 0xFF, 200u);
    EXPECT_EQ(at(50, 80), 0u);
    ForceHeadless(false);
}

TEST_F(VideoModule, UnknownHandlesAnswerNothing) {
    EXPECT_EQ(vorqVideoGetLen(77), 0);
    EXPECT_EQ(vorqVideoIsEnd(77), 0);
    EXPECT_EQ(vorqVideoGetDC(77), nullptr);
    vorqVideoPlay(77);
    vorqVidmanDel(77);
}

TEST(VideoItem, GameDataOfWmvAndAsfIsExtractedFirst) {
    struct Case {
        const char* name;
        bool extracted;
    };
    const Case cases[] = {{"op.wmv", true}, {"OP.WMV", true}, {"op.Asf", true},   {"op.mpg", false},
                          {"op.avi", false}, {"op.wm", false}, {"op", false},      {"\\movies\\op.wmv", false},
                          {"c:op.wmv", false}, {"dir.wmv\\op", false}};
    for (const Case& c : cases) EXPECT_EQ(TVideoItem::ExtractedFirst(c.name), c.extracted) << c.name;
}

// Damaged files end the video or are refused with our message; never a
// hang or a crash. Files that are no video say so.
struct VideoItemFiles : VideoModule {
    std::string scratch = "/tmp/vorq_video_item_" + std::to_string(getpid()) + ".wmv";
    void TearDown() override {
        std::remove(scratch.c_str());
        VideoModule::TearDown();
    }
    void write(const std::vector<uint8_t>& data) {
        std::ofstream f(scratch, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    }
};

TEST_F(VideoItemFiles, RefusesWhatIsNoVideoWithAClearMessage) {
    struct Case {
        const char* what;
        std::vector<uint8_t> data;
        const char* message;
    };
    // The AVI's picture codec renamed (both places its four-character code lies).
    auto unknown_codec = bytes_of("tiny.avi");
    for (size_t i = 0; i + 4 <= unknown_codec.size(); ++i)
        if (std::string(unknown_codec.begin() + long(i), unknown_codec.begin() + long(i) + 4) == "MP43")
            std::copy_n("XQZ1", 4, unknown_codec.begin() + long(i));
    const Case cases[] = {
        {"sound only", bytes_of("tone.wma"), kVideoFormatUnsupported},
        {"unknown codec", unknown_codec, kVideoFormatUnsupported},
        {"the AVI itself plays", bytes_of("tiny.avi"), nullptr},
        {"text", {'n', 'o', ' ', 'v', 'i', 'd', 'e', 'o'}, kVideoDataCorrupt},
        {"empty", {}, kVideoDataCorrupt},
    };
    TVideoManager manager;
    for (const Case& c : cases) {
        write(c.data);
        try {
            TDMediaItem* item = manager.Add(scratch, false);
            EXPECT_EQ(c.message, nullptr) << c.what << " was taken";
            EXPECT_EQ(static_cast<TVideoItem*>(item)->SourceWidth(), 64);
            manager.Remove(item);
        } catch (const ECorruptData& e) {
            ASSERT_NE(c.message, nullptr) << c.what;
            EXPECT_EQ(std::string(e.what()), Sjis(c.message)) << c.what;
        }
        EXPECT_EQ(manager.Count(), 0);
    }
}

TEST_F(VideoItemFiles, DamagedFilesEndLikeFinishedOnes) {
    const auto good = bytes_of("sync.wmv");
    cell = device.get();
    std::vector<std::vector<uint8_t>> damaged;
    for (size_t len : {good.size() / 3, good.size() / 2, good.size() - 100}) damaged.emplace_back(good.begin(), good.begin() + long(len));
    uint32_t seed = 99;
    for (int round = 0; round < 6; ++round) {
        auto bad = good;
        for (int k = 0; k < 40; ++k) {
            seed = seed * 1664525u + 1013904223u;
            bad[5000 + seed % (bad.size() - 5000)] = uint8_t(seed >> 24);
        }
        damaged.push_back(bad);
    }
    TVideoManager manager;
    std::vector<int16_t> out(4410 * 2);
    for (size_t i = 0; i < damaged.size(); ++i) {
        SCOPED_TRACE("damaged " + std::to_string(i));
        write(damaged[i]);
        TDMediaItem* item = nullptr;
        try {
            item = manager.Add(scratch, false);
        } catch (const ECorruptData&) {
            continue;
        }
        item->Play();
        auto* video = static_cast<TVideoItem*>(item);
        // 100 ms of sound a step until the clip ends: a decoder kept from
        // running on a busy machine ends late, and only one that never
        // ends reaches the deadline.
        EXPECT_TRUE(StepUntil([&] { return item->CheckEnd(); }, [&] {
            device->Bus().Mix(out.data(), 4410);
            now += 100;
            if (video->NeedPaint()) video->GetDC();
        }));
        manager.Remove(item);
    }
}

// Around a screen switch the videos are suspended and resumed: a playing
// video pauses where it was and plays on from there; a paused one stays.
TEST_F(VideoModule, SuspendAndResumeKeepAPlayingVideoPlaying) {
    TVideoManager manager;
    TDMediaItem* playing = manager.Add(clip("bars.wmv"), false);
    TDMediaItem* paused = manager.Add(clip("bars.wmv"), false);
    playing->Play();
    now += 400;
    manager.Suspend();
    EXPECT_TRUE(playing->IsPaused());
    now += 1000;
    EXPECT_EQ(playing->GetPosition(), 400);
    manager.Resume();
    EXPECT_TRUE(playing->IsPlaying());
    EXPECT_FALSE(paused->IsPlaying());
    now += 100;
    EXPECT_EQ(playing->GetPosition(), 500);
}
