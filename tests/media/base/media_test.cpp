#include "media/base/media.h"
#include "media/base/screen_manager.h"
#include "media/base/sound_device.h"
#include "tests/support/scripted_video.h"
#include "tests/support/plain_dibx.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {
std::vector<std::string> journal;

template <int Kind>
struct FakeManager : TMediaManager {
    static constexpr const char* names[] = {"video", "wmp", "ogg", "cdda", "midi"};
    FakeManager() { journal.push_back(std::string("make ") + names[Kind]); }
    ~FakeManager() override { journal.push_back(std::string("free ") + names[Kind]); }
    void Suspend() override { journal.push_back(std::string("suspend ") + names[Kind]); }
    void Resume() override { journal.push_back(std::string("resume ") + names[Kind]); }
    void Restore() override { journal.push_back(std::string("restore ") + names[Kind]); }
};
template <int Kind>
std::unique_ptr<TMediaManager> make() {
    return std::make_unique<FakeManager<Kind>>();
}

struct MediaTest : ::testing::Test {
    MediaTest() {
        journal.clear();
        video.CreateWindow(64, 70, "");
        SetScreenSurfaceMaker([](int32_t w, int32_t h, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
            journal.push_back("surface " + std::to_string(w) + "x" + std::to_string(h));
            return std::make_unique<TPlainDIBX>(w, h, bits);
        });
    }
    ~MediaTest() override {
        FinalMedia();
        for (int i = 0; i < MediaManagerKinds; ++i) RegisterMediaManager(static_cast<TMediaManagerKind>(i), nullptr);
        SetMediaLibraryHooks({});
        SetScreenSurfaceMaker(nullptr);
    }
    ScriptedVideo video;
};
}  // namespace

TEST_F(MediaTest, StartsAndStopsInOrder) {
    // Registered out of order: creation still follows the kind order.
    RegisterMediaManager(TMediaManagerKind::Midi, make<4>);
    RegisterMediaManager(TMediaManagerKind::Video, make<0>);
    RegisterMediaManager(TMediaManagerKind::Ogg, make<2>);
    SetMediaLibraryHooks({[] { journal.push_back("library init"); }, [] { journal.push_back("library final"); }});
    InitMedia(&video, &video, {0, 22}, 64, 48, 640, 480);
    ASSERT_NE(ScreenManager, nullptr);
    EXPECT_EQ(MediaMainWindow, &video);
    EXPECT_EQ(ScreenManager->ViewOrigin(), (TPoint{0, 22}));
    EXPECT_EQ(ScreenManager->ModeIndex(), -1);
    EXPECT_NE(MediaManager(TMediaManagerKind::Video), nullptr);
    EXPECT_EQ(MediaManager(TMediaManagerKind::Wmp), nullptr);
    SuspendVideos();
    ResumeVideos();
    RestoreMediaManagers();
    FinalMedia();
    EXPECT_EQ(ScreenManager, nullptr);
    EXPECT_EQ(MediaManager(TMediaManagerKind::Video), nullptr);
    const std::vector<std::string> want = {"library init", "surface 64x48", "make video", "make ogg", "make midi",
                                           "suspend video", "resume video", "restore video", "restore ogg",
                                           "restore midi", "free video", "free ogg", "free midi",
                                           "library final"};
    EXPECT_EQ(journal, want);
}

TEST_F(MediaTest, NoScreenManagerWithoutAPositiveSizeAndNoVideoManagerMeansNothingToPause) {
    RegisterMediaManager(TMediaManagerKind::Wmp, make<1>);
    InitMedia(&video, &video, {}, 64, 0, 640, 480);
    EXPECT_EQ(ScreenManager, nullptr);
    FinalMedia();
    InitMedia(&video, &video, {}, 0, 48, 640, 480);
    EXPECT_EQ(ScreenManager, nullptr);
    SuspendVideos();
    ResumeVideos();
    FinalMedia();
    const std::vector<std::string> want = {"make wmp", "free wmp", "make wmp", "free wmp"};
    EXPECT_EQ(journal, want);
}

TEST_F(MediaTest, ScreenManagerFailureReachesTheCaller) {
    EXPECT_THROW(InitMedia(nullptr, nullptr, {}, 64, 48, 640, 480), Exception);
    EXPECT_EQ(ScreenManager, nullptr);
}

TEST(SoundDevice, PcmFormatRecord) {
    const TWaveFormatEx f = MakePCMWaveFormat(44100, 16, 2);
    EXPECT_EQ(f.wFormatTag, 1);
    EXPECT_EQ(f.nChannels, 2);
    EXPECT_EQ(f.nSamplesPerSec, 44100u);
    EXPECT_EQ(f.nBlockAlign, 4);
    EXPECT_EQ(f.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(f.wBitsPerSample, 16);
    EXPECT_EQ(f.cbSize, 0);
    const TWaveFormatEx m = MakePCMWaveFormat(22050, 8, 1);
    EXPECT_EQ(m.nBlockAlign, 1);
    EXPECT_EQ(m.nAvgBytesPerSec, 22050u);
}

TEST(SoundDevice, InitialiseSetsThePlayersFormatAndRestoreReachesThePlayers) {
    TDXSound sound;
    int restored = 0;
    sound.OnInitialize = SetPlayerSoundFormat;
    sound.OnRestore = [&](TDXSound&) { ++restored; };
    sound.Restore();  // no device yet: nothing to restore
    EXPECT_EQ(restored, 0);
    ASSERT_TRUE(InitializeSoundGuarded(sound));
    EXPECT_EQ(sound.FormatResult(), 0);
    EXPECT_EQ(sound.PrimaryFormat(), MakePCMWaveFormat(44100, 16, 2));
    ASSERT_NE(sound.Device(), nullptr);
    EXPECT_EQ(sound.Device()->DriverName(), "dummy");
    // A format the device does not play is refused; it keeps its own.
    EXPECT_EQ(sound.SetFormat(MakePCMWaveFormat(22050, 8, 1)), SoundFormatRefused);
    EXPECT_EQ(sound.FormatResult(), SoundFormatRefused);
    EXPECT_EQ(sound.PrimaryFormat().nSamplesPerSec, 44100u);
    sound.Restore();
    EXPECT_EQ(restored, 1);
    sound.Finalize();
    EXPECT_FALSE(sound.Initialized());
}

TEST(SoundDevice, FailuresAreSwallowedAndTheLibraryCellKeepsWhatItHeld) {
    // An audio driver that does not exist makes the output fail to open.
    const char* old = std::getenv("SDL_AUDIODRIVER");
    const std::string saved = old ? old : "";
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    TDXSound sound;
    bool called = false;
    sound.OnInitialize = [&](TDXSound&) { called = true; };
    EXPECT_THROW(sound.Initialize(), Exception);
    EXPECT_FALSE(InitializeSoundGuarded(sound));
    EXPECT_FALSE(called);
    EXPECT_FALSE(sound.Initialized());

    LibrarySoundInitialised = false;
    LibrarySoundCell = nullptr;
    EXPECT_EQ(PrepareLibrarySound(sound), nullptr);
    EXPECT_TRUE(LibrarySoundInitialised);
    setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
    // Set up once only: the next item does not try again.
    EXPECT_EQ(PrepareLibrarySound(sound), nullptr);
    EXPECT_FALSE(sound.Initialized());
    LibrarySoundInitialised = false;
}

// With sound on, the device the start-up step opened is the one the first
// item takes: never closed and opened again under a playing frame.
TEST(SoundDevice, WithSoundOnTheFirstLibraryItemTakesTheOpenDevice) {
    TDXSound sound;
    sound.OnInitialize = SetPlayerSoundFormat;
    ASSERT_TRUE(InitializeSoundGuarded(sound));
    AudioDevice* opened = sound.Device();
    // A device opened anew would come without the sources of the old one.
    opened->Bus().AddSource([](int32_t*, size_t) { return true; });
    LibrarySoundInitialised = false;
    LibrarySoundCell = nullptr;
    EXPECT_EQ(PrepareLibrarySound(sound), opened);
    EXPECT_EQ(sound.Device(), opened);
    EXPECT_EQ(opened->Bus().SourceCount(), 1u);
    LibrarySoundInitialised = false;
    LibrarySoundCell = nullptr;
}

TEST(SoundDevice, WithSoundOffTheFirstLibraryItemCreatesTheDevice) {
    TDXSound sound;
    sound.OnInitialize = SetPlayerSoundFormat;
    LibrarySoundInitialised = false;
    LibrarySoundCell = nullptr;
    // Sound off: the start-up step skipped the device.
    AudioDevice* cell = PrepareLibrarySound(sound);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell, sound.Device());
    EXPECT_EQ(sound.PrimaryFormat().nChannels, 2);
    EXPECT_EQ(PrepareLibrarySound(sound), cell);
    LibrarySoundInitialised = false;
    LibrarySoundCell = nullptr;
}

TEST(DXForm, FullScreenAndBackRestoresThePlaceAndSize) {
    auto video = Video::Create(VideoBackend::Headless);
    video->CreateWindow(640, 502, "");
    video->Move(120, 40);
    video->SetZoom(200);
    TDXForm form(video.get());
    EXPECT_FALSE(form.PlacementSaved());
    form.RestoreWindowPlacement();  // nothing saved: nothing moves
    EXPECT_EQ(video->Position(), (TPoint{120, 40}));
    ASSERT_TRUE(form.SaveWindowPlacement());
    // What the switch does to the window in full screen.
    video->SetZoom(100);
    video->SetClientSize(640, 480);
    video->Move(0, 0);
    DisplayMode mode{640, 480, 32, 60};
    ASSERT_TRUE(video->SetFullScreen(&mode));
    ASSERT_TRUE(video->SetFullScreen(nullptr));
    form.RestoreWindowPlacement();
    EXPECT_EQ(video->Position(), (TPoint{120, 40}));
    EXPECT_EQ(video->ClientWidth(), 640);
    EXPECT_EQ(video->ClientHeight(), 502);
    EXPECT_EQ(video->Zoom(), 200);
    EXPECT_FALSE(form.PlacementSaved());
    // Restored once: a second restore changes nothing.
    video->Move(5, 5);
    form.RestoreWindowPlacement();
    EXPECT_EQ(video->Position(), (TPoint{5, 5}));
    EXPECT_FALSE(TDXForm(nullptr).SaveWindowPlacement());
}
