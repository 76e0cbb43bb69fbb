// In full screen the toolbar hides until the pointer touches the top row;
// then a real pointer (xdotool on an X server: this program runs itself
// again on Xvfb) must be able to go down onto its buttons and click
// them: "画面切替" back to the window, "終了" to the quit question. On a
// screen taller than 4:3 the top row lies in the band above the picture,
// and the bar stays while the pointer goes down through the band.
#include "tests/support/player_on_x.h"

#include <gtest/gtest.h>

namespace {

TEST(FullScreenToolbar, ARealPointerReachesAndClicksBothButtons) {
    if (const char* tool = MissingTool({"Xvfb", "xdotool"})) GTEST_SKIP() << tool << " is not installed";
    EXPECT_EQ(RunSelfUnderXvfb("FullScreenToolbar.DISABLED_Inner"), 0);
}

TEST(FullScreenToolbar, DISABLED_Inner) {
    PlayerOnX p;
    ASSERT_FALSE(Terminating);
    ASSERT_FALSE(p.window.empty());
    ASSERT_TRUE(p.FramesUntil([&] { return p.view->PresentedFrames > 5u; }));
    // 1: "画面切替", 0: "終了".
    for (const int button : {1, 0}) {
        SCOPED_TRACE(button);
        p.Pointer(p.Centre(1).X, p.Centre(1).Y, true);
        ASSERT_TRUE(p.FramesUntil([&] { return p.Full() && !p.Bar().Visible(); }));
        p.Pointer(300, 0, false);
        ASSERT_TRUE(p.FramesUntil([&] { return p.Bar().Visible(); }));
        // Down onto the button, over the bar: it stays, and takes the click.
        // The picture fills the 1024x768 screen, scaled by 8 / 5.
        p.Pointer(p.Centre(button).X * 8 / 5, p.Centre(button).Y * 8 / 5, true, true);
        if (button == 1) {
            ASSERT_TRUE(p.FramesUntil([&] { return !p.Full() && p.Bar().Visible(); }));
        } else {
            ASSERT_TRUE(p.FramesUntil([&] { return p.view->ClosePosted(); }));
            EXPECT_EQ(p.Asked(), 1);
        }
    }
}

// A 5:4 screen under a window manager: the 640x480 picture is scaled by 2
// to 1280x960 with a black band of 32 rows above and below it.
TEST(FullScreenToolbar, OnATallerScreenTheTopRowLiesAboveThePicture) {
    if (const char* tool = MissingTool({"Xvfb", "xdotool", "xprop", "openbox"}))
        GTEST_SKIP() << tool << " is not installed";
    EXPECT_EQ(RunSelfUnderXvfb("FullScreenToolbar.DISABLED_TallInner", "1280x1024", true), 0);
}

TEST(FullScreenToolbar, DISABLED_TallInner) {
    constexpr int32_t kScale = 2, kBand = 32;
    PlayerOnX p;
    ASSERT_FALSE(Terminating);
    ASSERT_FALSE(p.window.empty());
    ASSERT_TRUE(p.FramesUntil([&] { return p.view->PresentedFrames > 5u; }));
    const TPoint button = p.Centre(1);
    p.Pointer(button.X, button.Y, true);
    ASSERT_TRUE(p.FramesUntil([&] { return p.Full() && !p.Bar().Visible(); }));
    ASSERT_EQ(p.view->Window().FullScreenMode().Height, 1024u);
    // Up to the screen's top edge in small steps, across the picture's first
    // row and the band.
    for (int32_t y = 200; y >= 0; y -= 2) ASSERT_TRUE(p.PointerOnScreen(640, y)) << y;
    ASSERT_TRUE(p.Bar().Visible());
    // Down from the edge onto "画面切替": the bar stays all the way.
    for (int32_t y = 2; y <= kBand + kScale * button.Y; y += 2) {
        ASSERT_TRUE(p.PointerOnScreen(kScale * button.X, y)) << y;
        ASSERT_TRUE(p.Bar().Visible()) << y;
    }
    p.Pointer(kScale * button.X, kBand + kScale * button.Y, true, true);
    EXPECT_TRUE(p.FramesUntil([&] { return !p.Full() && p.Bar().Visible(); }));
}

}  // namespace
