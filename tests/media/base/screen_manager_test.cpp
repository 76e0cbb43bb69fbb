#include "media/base/screen_manager.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "render/dibx.h"
#include "tests/support/scripted_video.h"
#include "tests/support/plain_dibx.h"

#include <gtest/gtest.h>

namespace {
std::unique_ptr<TCustomDIBX> plain_surface(int32_t w, int32_t h, int32_t bits) {
    return std::make_unique<TPlainDIBX>(w, h, bits);
}

struct ScreenManagerTest : ::testing::Test {
    ScreenManagerTest() {
        SetScreenSurfaceMaker(plain_surface);
        video.CreateWindow(640, 502, "");
    }
    ~ScreenManagerTest() override { SetScreenSurfaceMaker(nullptr); }
    ScriptedVideo video;
};

int32_t preferred_of(const std::vector<DisplayMode>& modes, int32_t pw, int32_t ph, uint32_t bits,
                     std::vector<DisplayMode>* kept = nullptr) {
    int32_t preferred = -2;
    auto out = UsableDisplayModes(modes, 640, 480, pw, ph, bits, preferred);
    if (kept) *kept = out;
    return preferred;
}
}  // namespace

TEST(ScreenModes, TooSmallAndTooShallowModesAreDroppedAndLeaveNoPreferredMode) {
    std::vector<DisplayMode> kept;
    EXPECT_EQ(preferred_of({{320, 240, 32, 60}, {639, 480, 32, 60}, {640, 479, 32, 60}}, 640, 480, 32, &kept), -1);
    EXPECT_TRUE(kept.empty());
    EXPECT_EQ(preferred_of({{640, 480, 8, 60}, {1024, 768, 8, 60}}, 640, 480, 32, &kept), -1);
    EXPECT_TRUE(kept.empty());
    // 15 bits is below 16 as well; 16 is the shallowest kept.
    EXPECT_EQ(preferred_of({{640, 480, 15, 60}, {640, 480, 16, 60}}, 640, 480, 32, &kept), 0);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].BitsPerPixel, 16u);
}

TEST(ScreenModes, PreferredSizeDepthAndRefreshDecideInListOrder) {
    // The first mode of the preferred size wins over earlier modes of other sizes.
    EXPECT_EQ(preferred_of({{1024, 768, 32, 60}, {800, 600, 16, 75}, {640, 480, 32, 60}}, 800, 600, 32), 1);
    // Among modes of the preferred size the desktop depth wins ...
    EXPECT_EQ(preferred_of({{800, 600, 16, 60}, {800, 600, 32, 85}, {800, 600, 16, 50}}, 800, 600, 32), 1);
    // ... and among those the lowest refresh rate; an equal rate keeps the first.
    EXPECT_EQ(preferred_of({{800, 600, 32, 75}, {800, 600, 32, 60}, {800, 600, 32, 85}, {800, 600, 32, 60}},
                           800, 600, 32),
              1);
    // A mode of another depth never replaces one at the desktop depth, even at a lower rate.
    EXPECT_EQ(preferred_of({{800, 600, 32, 75}, {800, 600, 16, 50}}, 800, 600, 32), 0);
    // Without a mode of the preferred size the first kept mode stays.
    EXPECT_EQ(preferred_of({{320, 200, 32, 60}, {1280, 1024, 32, 60}, {1024, 768, 32, 60}}, 800, 600, 32), 0);
    // Without a desktop depth of the list (24 when unreadable), the first mode of the size stays.
    EXPECT_EQ(preferred_of({{800, 600, 32, 75}, {800, 600, 16, 60}, {800, 600, 32, 60}}, 800, 600, 24), 0);
}

TEST(ScreenModes, SurfaceDepthFollowsTheDisplayFormat) {
    // A 5-5-5 display gives 15 bits in both modes; a 24-bit mode gives 32.
    EXPECT_EQ(ScreenSurfaceDepth({0, 0, 15, 0}, false), 15);
    EXPECT_EQ(ScreenSurfaceDepth({0, 0, 15, 0}, true), 15);
    EXPECT_EQ(ScreenSurfaceDepth({0, 0, 24, 0}, true), 32);
    EXPECT_EQ(ScreenSurfaceDepth({0, 0, 24, 0}, false), 32);
    EXPECT_EQ(ScreenSurfaceDepth({0, 0, 16, 0}, true), 16);
    EXPECT_EQ(ScreenSurfaceDepth({0, 0, 16, 0}, false), 16);
    // Shallower displays: 16 in the window, 15 in full screen.
    EXPECT_EQ(ScreenSurfaceDepth({0, 0, 8, 0}, false), 16);
    EXPECT_EQ(ScreenSurfaceDepth({0, 0, 8, 0}, true), 15);
    EXPECT_EQ(ScreenSurfaceDepth({0, 0, 32, 0}, false), 32);
}

TEST_F(ScreenManagerTest, WithoutVideoServiceCreationFailsWithItsMessage) {
    try {
        TScreenManager m(nullptr, 640, 480, 640, 480);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), Sjis("DirectDrawを初期化できません"));
    }
}

TEST_F(ScreenManagerTest, StartsInTheWindowWithASurfaceOfTheGameSize) {
    video.Modes = {{1024, 768, 32, 60}, {640, 480, 32, 60}, {640, 480, 32, 75}, {320, 240, 32, 60}};
    video.Desktop = {1280, 1024, 15, 60};
    TScreenManager m(&video, 640, 480, 640, 480);
    EXPECT_EQ(m.ModeIndex(), -1);
    EXPECT_FALSE(m.FullScreen());
    EXPECT_TRUE(m.GdiSurface());
    EXPECT_EQ(m.GetModeCount(), 3);
    // The desktop depth (15) matches no mode of the preferred size: the first stays.
    EXPECT_EQ(m.PreferredBits, 15);
    EXPECT_EQ(m.PreferredModeIndex, 1);
    ASSERT_NE(m.Surface(), nullptr);
    EXPECT_EQ(m.Surface()->Width(), 640);
    EXPECT_EQ(m.Surface()->Height(), 480);
    EXPECT_EQ(m.Surface()->BitCount(), 15);
    EXPECT_EQ(m.SurfaceBits(), 15);
    DisplayMode mode;
    EXPECT_TRUE(m.GetMode(2, mode));
    EXPECT_EQ(mode, (DisplayMode{640, 480, 32, 75}));
    EXPECT_FALSE(m.GetMode(3, mode));
    EXPECT_FALSE(m.GetMode(-1, mode));
    // The window was never asked to change its mode.
    EXPECT_TRUE(video.Switches.empty());
}

TEST_F(ScreenManagerTest, UnreadableDesktopDepthCountsAs24) {
    video.Modes = {{640, 480, 24, 60}, {640, 480, 32, 60}};
    video.Desktop = {};
    TScreenManager m(&video, 640, 480, 640, 480);
    EXPECT_EQ(m.PreferredBits, 24);
    EXPECT_EQ(m.PreferredModeIndex, 0);
}

TEST_F(ScreenManagerTest, ModeSwitchesBetweenWindowAndFullScreen) {
    video.Modes = {{800, 600, 32, 60}, {640, 480, 24, 60}, {640, 480, 15, 60}, {640, 480, 16, 60}};
    TScreenManager m(&video, 640, 480, 640, 480);
    ASSERT_EQ(m.GetModeCount(), 3);  // the 15-bit mode is too shallow
    m.SetModeIndex(1);
    EXPECT_EQ(m.ModeIndex(), 1);
    EXPECT_TRUE(m.FullScreen());
    EXPECT_TRUE(video.IsFullScreen());
    EXPECT_EQ(video.FullScreenMode(), (DisplayMode{640, 480, 24, 60}));
    EXPECT_EQ(m.DisplayBits(), 24);
    EXPECT_EQ(m.SurfaceBits(), 32);  // a 24-bit mode gives a 32-bit surface
    ASSERT_NE(m.Surface(), nullptr);
    EXPECT_EQ(m.Surface()->BitCount(), 32);

    // The same index again does nothing.
    const size_t switches = video.Switches.size();
    TCustomDIBX* surface = m.Surface();
    m.SetModeIndex(1);
    EXPECT_EQ(video.Switches.size(), switches);
    EXPECT_EQ(m.Surface(), surface);

    // Full screen to full screen keeps the connection: no return to the desktop between.
    m.SetModeIndex(2);
    EXPECT_EQ(m.ModeIndex(), 2);
    ASSERT_EQ(video.Switches.size(), switches + 1);
    EXPECT_EQ(video.Switches.back(), (DisplayMode{640, 480, 16, 60}));
    EXPECT_EQ(m.SurfaceBits(), 16);
    EXPECT_TRUE(m.Connected());

    // Back to the window.
    m.SetModeIndex(-1);
    EXPECT_EQ(m.ModeIndex(), -1);
    EXPECT_FALSE(m.FullScreen());
    EXPECT_FALSE(video.IsFullScreen());
    EXPECT_EQ(m.SurfaceBits(), 32);
    EXPECT_NE(m.Surface(), nullptr);
}

TEST_F(ScreenManagerTest, AFailedFullScreenFallsBackToTheWindow) {
    video.Modes = {{640, 480, 32, 60}, {800, 600, 32, 60}};
    video.Refused = {{800, 600, 32, 60}};
    TScreenManager m(&video, 640, 480, 640, 480);
    m.SetModeIndex(1);
    EXPECT_EQ(m.ModeIndex(), -1);
    EXPECT_FALSE(m.FullScreen());
    EXPECT_FALSE(video.IsFullScreen());
    EXPECT_TRUE(m.Connected());
    ASSERT_NE(m.Surface(), nullptr);
    EXPECT_EQ(m.Surface()->Width(), 640);

    // An index outside the list fails the same way, without touching the display.
    const size_t switches = video.Switches.size();
    m.SetModeIndex(7);
    EXPECT_EQ(m.ModeIndex(), -1);
    EXPECT_EQ(video.Switches.size(), switches);
    EXPECT_NE(m.Surface(), nullptr);

    // From full screen, a refused mode returns to the desktop and the window.
    m.SetModeIndex(0);
    ASSERT_TRUE(video.IsFullScreen());
    m.SetModeIndex(1);
    EXPECT_EQ(m.ModeIndex(), -1);
    EXPECT_FALSE(video.IsFullScreen());
    EXPECT_FALSE(m.FullScreen());
}

TEST_F(ScreenManagerTest, ReleaseAllGivesEverythingUpUntilTheNextMode) {
    video.Modes = {{640, 480, 32, 60}};
    TScreenManager m(&video, 640, 480, 640, 480);
    m.SetModeIndex(0);
    ASSERT_TRUE(video.IsFullScreen());
    m.ReleaseAll();
    EXPECT_EQ(m.ModeIndex(), -2);
    EXPECT_EQ(m.Surface(), nullptr);
    EXPECT_FALSE(m.Connected());
    EXPECT_FALSE(video.IsFullScreen());
    // The main window's switch: release, then the new mode.
    m.SetModeIndex(0);
    EXPECT_EQ(m.ModeIndex(), 0);
    EXPECT_TRUE(video.IsFullScreen());
    EXPECT_NE(m.Surface(), nullptr);
    m.ReleaseAll();
    m.SetModeIndex(-1);
    EXPECT_EQ(m.ModeIndex(), -1);
    EXPECT_FALSE(video.IsFullScreen());
    EXPECT_NE(m.Surface(), nullptr);
    // Flip on a released manager presents nothing and still clears the lists.
    m.ReleaseAll();
    TClipList dirty;
    dirty.AddRect({0, 0, 10, 10});
    const uint32_t presents = video.PresentCount();
    m.Flip({{}, 100, &dirty, nullptr});
    EXPECT_EQ(dirty.Count(), 0);
    EXPECT_EQ(video.PresentCount(), presents);
    EXPECT_EQ(m.FrameCount, 0);
}

namespace {
uint32_t pattern(int32_t x, int32_t y) { return 0x010000u * uint32_t(y & 0xFF) + 0x0100u * uint32_t(x & 0xFF) + 0x5A; }

struct FlipTest : ScreenManagerTest {
    FlipTest() {
        video.Modes = {{640, 480, 32, 60}};
        manager = std::make_unique<TScreenManager>(&video, 64, 48, 640, 480);
        manager->SetViewOrigin(0, 22);
        TCustomDIBX& s = *manager->Surface();
        for (int32_t y = 0; y < 48; ++y)
            for (int32_t x = 0; x < 64; ++x) s.SetPixel(x, y, pattern(x, y));
    }
    uint32_t shown(int32_t x, int32_t y) const { return video.ReadPixels()[size_t(y) * video.ClientWidth() + x]; }
    // Pixels of the game picture that reached the window.
    int count_shown() const {
        int n = 0;
        for (int32_t y = 0; y < 48; ++y)
            for (int32_t x = 0; x < 64; ++x) n += shown(x, y + 22) == pattern(x, y);
        return n;
    }
    std::unique_ptr<TScreenManager> manager;
};
}  // namespace

TEST_F(FlipTest, PresentsOnlyTheDirtyRectanglesOfTheActiveLayer) {
    TClipList active, other;
    active.AddRect({2, 3, 10, 7});
    active.AddRect({40, 30, 64, 48});
    other.AddRect({0, 0, 64, 48});
    manager->Flip({{}, 100, &active, &other});
    EXPECT_EQ(manager->FrameCount, 1);
    EXPECT_EQ(video.PresentCount(), 1u);
    EXPECT_EQ(count_shown(), 8 * 4 + 24 * 18);
    EXPECT_EQ(shown(2, 25), pattern(2, 3));
    EXPECT_EQ(shown(9, 28), pattern(9, 6));
    EXPECT_EQ(shown(63, 69), pattern(63, 47));
    EXPECT_EQ(shown(10, 25), 0u);
    EXPECT_EQ(active.Count(), 0);
    EXPECT_EQ(other.Count(), 0);

    // Nothing dirty: no frame, no present.
    manager->Flip({{}, 100, &active, &other});
    EXPECT_EQ(manager->FrameCount, 1);
    EXPECT_EQ(video.PresentCount(), 1u);
}

TEST_F(FlipTest, TheUpdateRectangleTakesThePlaceOfTheDirtyList) {
    TClipList active;
    active.AddRect({0, 0, 4, 4});
    manager->Flip({{20, 10, 30, 12}, 100, &active, nullptr});
    EXPECT_EQ(manager->FrameCount, 1);
    EXPECT_EQ(count_shown(), 10 * 2);
    EXPECT_EQ(shown(0, 22), 0u);
    EXPECT_EQ(active.Count(), 0);
}

TEST_F(FlipTest, WholeHundredZoomScalesTheRectanglesOtherZoomsTheWholePicture) {
    TClipList active;
    active.AddRect({0, 0, 8, 8});
    manager->Flip({{}, 200, &active, nullptr});
    EXPECT_EQ(video.Zoom(), 200);
    EXPECT_EQ(video.WindowSize(), (TPoint{1280, 1004}));
    EXPECT_EQ(count_shown(), 64);

    // 150 %: a stretch needs the whole picture, dirty or not.
    manager->Flip({{}, 150, &active, nullptr});
    EXPECT_EQ(video.Zoom(), 150);
    EXPECT_EQ(manager->FrameCount, 2);
    EXPECT_EQ(count_shown(), 64 * 48);

    // The window's zoom follows the frame's, also after someone else changed it.
    video.SetZoom(300);
    manager->Flip({{0, 0, 1, 1}, 100, nullptr, nullptr});
    EXPECT_EQ(video.Zoom(), 100);
}

TEST_F(FlipTest, SixteenBitSurfacesAreWidenedForTheWindow) {
    video.Modes = {{640, 480, 16, 60}};
    video.Desktop = {640, 480, 16, 60};
    TScreenManager m(&video, 4, 2, 640, 480);
    ASSERT_EQ(m.SurfaceBits(), 16);
    TCustomDIBX& s = *m.Surface();
    // 5-6-5 pixels; each channel widens by repeating its top bits.
    s.SetPixel(0, 0, 0xF800);
    s.SetPixel(1, 0, 0x07E0);
    s.SetPixel(2, 0, 0x001F);
    s.SetPixel(3, 0, 0x8410);
    s.SetPixel(0, 1, 0x0841);
    m.Flip({{0, 0, 4, 2}, 100, nullptr, nullptr});
    const uint32_t* p = video.ReadPixels();
    const int32_t w = video.ClientWidth();
    EXPECT_EQ(p[0], 0xFF0000u);
    EXPECT_EQ(p[1], 0x00FF00u);
    EXPECT_EQ(p[2], 0x0000FFu);
    EXPECT_EQ(p[3], 0x848284u);
    EXPECT_EQ(p[w], 0x080808u);
}

TEST_F(FlipTest, FifteenBitSurfacesAreWidenedForTheWindow) {
    video.Desktop = {640, 480, 15, 60};
    TScreenManager m(&video, 2, 1, 640, 480);
    ASSERT_EQ(m.SurfaceBits(), 15);
    m.Surface()->SetPixel(0, 0, 0x7C00);
    m.Surface()->SetPixel(1, 0, 0x4210);
    m.Flip({{0, 0, 2, 1}, 100, nullptr, nullptr});
    EXPECT_EQ(video.ReadPixels()[0], 0xFF0000u);
    EXPECT_EQ(video.ReadPixels()[1], 0x848484u);
}

TEST(ScreenSurface, TheDefaultSurfaceIsAMemoryDibAtTheScreenDepth) {
    SetScreenSurfaceMaker(nullptr);
    ScriptedVideo video;
    video.CreateWindow(8, 8, "");
    video.Modes = {{640, 480, 16, 60}};
    {
        TScreenManager m(&video, 8, 4, 640, 480);
        ASSERT_NE(dynamic_cast<TDIBX*>(m.Surface()), nullptr);
        EXPECT_EQ(m.Surface()->BitCount(), 32);
        EXPECT_EQ(DisplayBitCount(), 32);
        m.Surface()->SetPixel(7, 3, 0x123456);
        m.Surface()->SetPixel(0, 0, 0xABCDEF);
        m.Flip({{0, 0, 8, 4}, 100, nullptr, nullptr});
        EXPECT_EQ(video.ReadPixels()[3 * 8 + 7] & 0xFFFFFF, 0x123456u);
        EXPECT_EQ(video.ReadPixels()[0] & 0xFFFFFF, 0xABCDEFu);
        // Image surfaces follow the screen into a 16-bit full-screen mode.
        m.SetModeIndex(0);
        EXPECT_EQ(m.Surface()->BitCount(), 16);
        EXPECT_EQ(DisplayBitCount(), 16);
        m.Surface()->SetPixel(1, 1, 0xF800);
        m.Flip({{1, 1, 2, 2}, 100, nullptr, nullptr});
        EXPECT_EQ(video.ReadPixels()[9], 0xFF0000u);
    }
    // Without a screen manager the player draws at 15 bits.
    EXPECT_EQ(DisplayBitCount(), 15);
}

// The one mode listed is the picture's own size, not the small screen's:
// on a larger monitor full screen takes a mode that holds the picture, on
// this one the backend shows it scaled on its own mode.
TEST_F(ScreenManagerTest, AScreenSmallerThanThePictureStillTakesItInFullScreen) {
    video.Modes = {{600, 400, 32, 60}, {320, 240, 32, 60}};
    video.Desktop = {600, 400, 32, 60};
    TScreenManager m(&video, 640, 480, 640, 480);
    ASSERT_EQ(m.GetModeCount(), 1);
    EXPECT_EQ(m.PreferredModeIndex, 0);
    m.SetModeIndex(0);
    EXPECT_TRUE(m.FullScreen());
    EXPECT_EQ(video.FullScreenMode(), (DisplayMode{640, 480, 32, 0}));
}

