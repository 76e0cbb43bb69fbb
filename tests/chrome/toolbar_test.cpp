#include "chrome/toolbar.h"
#include "platform/text/codepage.h"
#include "tests/chrome/chrome_events.h"

#include <gtest/gtest.h>

namespace {
// The bar as the main window builds it: two 67 x 18 buttons, then the
// dock's height := button height + 4.
struct ToolbarTest : ::testing::Test {
    ToolbarTest() : bar(563) {
        bar.SetBarHeight(18);
        bar.AddButton(Sjis("終了"), 67, 18, [this] { ++quits; });
        bar.AddButton(Sjis("画面切替"), 67, 18, [this] { ++switches; });
        bar.SetDockHeight(bar.ButtonAt(1).Bounds().Height() + 4);
        video = Video::Create(VideoBackend::Headless);
        video->CreateWindow(563, 22 + 100, "");
    }
    bool send(InputEventKind kind, int32_t x, int32_t y) { return bar.HandleWindowEvent(mouse_event(kind, x, y)); }
    uint32_t shown(int32_t x, int32_t y) const { return video->ReadPixels()[size_t(y) * video->ClientWidth() + x]; }
    TToolbar97 bar;
    std::unique_ptr<Video> video;
    int quits = 0;
    int switches = 0;
};
}  // namespace

TEST_F(ToolbarTest, TwoButtonsLeftToRightInADockOf22) {
    EXPECT_EQ(bar.DockHeight(), 22);
    ASSERT_EQ(bar.ButtonCount(), 2);
    EXPECT_EQ(bar.ButtonAt(0).GetCaption().Text, Sjis("終了"));
    EXPECT_EQ(bar.ButtonAt(1).GetCaption().Text, Sjis("画面切替"));
    EXPECT_EQ(bar.ButtonAt(0).Bounds(), (TRect{0, 2, 67, 20}));
    EXPECT_EQ(bar.ButtonAt(1).Bounds(), (TRect{67, 2, 134, 20}));
    EXPECT_TRUE(bar.ButtonAt(0).Flat);
}

TEST_F(ToolbarTest, AClickFiresOnReleaseOverTheButton) {
    EXPECT_TRUE(send(InputEventKind::MouseDown, 10, 10));
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(bar.ButtonAt(0).Pressed());
    EXPECT_TRUE(send(InputEventKind::MouseUp, 12, 11));
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(switches, 0);
    send(InputEventKind::MouseDown, 100, 10);
    send(InputEventKind::MouseUp, 100, 10);
    EXPECT_EQ(switches, 1);
    EXPECT_EQ(quits, 1);
}

TEST_F(ToolbarTest, PressAndDragDoesNothing) {
    // Off the button before the release: no click, and the bar stays put.
    send(InputEventKind::MouseDown, 10, 10);
    send(InputEventKind::MouseMove, 10, 60);
    EXPECT_FALSE(bar.ButtonAt(0).Pressed());
    // The release of a press that began on the bar is the bar's, even below it.
    EXPECT_TRUE(send(InputEventKind::MouseUp, 300, 80));
    // Dragged from one button onto the other: neither fires.
    send(InputEventKind::MouseDown, 10, 10);
    send(InputEventKind::MouseMove, 100, 10);
    send(InputEventKind::MouseUp, 100, 10);
    // A press on the empty part of the bar, dragged away.
    send(InputEventKind::MouseDown, 400, 10);
    send(InputEventKind::MouseMove, 200, 200);
    EXPECT_FALSE(send(InputEventKind::MouseUp, 200, 200));
    EXPECT_EQ(quits + switches, 0);
    EXPECT_EQ(bar.ButtonAt(0).Bounds(), (TRect{0, 2, 67, 20}));
    EXPECT_EQ(bar.DockHeight(), 22);
    // Events below the dock are the game's.
    EXPECT_FALSE(send(InputEventKind::MouseDown, 10, 22));
    EXPECT_FALSE(send(InputEventKind::MouseUp, 10, 22));
    EXPECT_EQ(quits, 0);
}

TEST_F(ToolbarTest, AHiddenBarTakesNothingAndDrawsNothing) {
    bar.SetVisible(false);
    EXPECT_FALSE(send(InputEventKind::MouseDown, 10, 10));
    EXPECT_FALSE(send(InputEventKind::MouseUp, 10, 10));
    EXPECT_EQ(quits, 0);
    EXPECT_FALSE(bar.Draw(*video, true));
    EXPECT_EQ(video->PresentCount(), 0u);
    // Hidden in the middle of a press: showing it again starts afresh.
    bar.SetVisible(true);
    send(InputEventKind::MouseDown, 10, 10);
    bar.SetVisible(false);
    bar.SetVisible(true);
    EXPECT_FALSE(send(InputEventKind::MouseUp, 10, 40));
    EXPECT_EQ(quits, 0);
}

TEST_F(ToolbarTest, FlatButtonsShowABorderOnlyUnderThePointer) {
    ASSERT_TRUE(bar.Draw(*video));
    EXPECT_FALSE(bar.Draw(*video));  // unchanged: nothing to show
    const uint32_t face = shown(33, 3);
    EXPECT_EQ(shown(0, 2), face);   // no border at rest
    EXPECT_EQ(shown(66, 19), face);
    EXPECT_EQ(shown(10, 21), chrome_colour::Shadow);  // the dock's bottom line
    send(InputEventKind::MouseMove, 30, 10);
    ASSERT_TRUE(bar.Draw(*video));
    EXPECT_EQ(shown(0, 2), chrome_colour::Highlight);
    EXPECT_EQ(shown(66, 19), chrome_colour::Shadow);
    EXPECT_EQ(shown(67, 2), face);  // the other button stays flat
    send(InputEventKind::MouseDown, 30, 10);
    bar.Draw(*video);
    EXPECT_EQ(shown(0, 2), chrome_colour::Shadow);  // pressed: sunk in
    send(InputEventKind::MouseMove, 30, 50);
    send(InputEventKind::MouseUp, 30, 50);
    bar.Draw(*video);
    EXPECT_EQ(shown(0, 2), face);
}

TEST_F(ToolbarTest, InFullScreenTheBarFollowsThePointerToTheTopRow) {
    bar.SetVisible(false);  // entering full screen hides it
    bar.FollowPointer(30, 5, false);
    EXPECT_FALSE(bar.Visible());
    bar.FollowPointer(30, -20, false);  // above the picture, but not the screen's edge
    EXPECT_FALSE(bar.Visible());
    bar.FollowPointer(30, -32, true);
    EXPECT_TRUE(bar.Visible());
    EXPECT_TRUE(bar.Draw(*video));
    bar.FollowPointer(30, -10, false);  // down through the band: the bar stays
    bar.FollowPointer(30, 10, false);   // onto a button: the bar stays
    EXPECT_TRUE(bar.Visible());
    bar.FollowPointer(30, bar.DockHeight(), false);
    EXPECT_FALSE(bar.Visible());
    EXPECT_FALSE(send(InputEventKind::MouseDown, 10, 10));
}
