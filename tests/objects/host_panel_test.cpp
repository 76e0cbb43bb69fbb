#include "media/media.h"
#include "media/screen_manager.h"
#include "objects/base_list.h"
#include "objects/host_panel.h"
#include "platform/video.h"
#include "render/dibx.h"
#include "tests/objects/scene_fixture.h"

#include <gtest/gtest.h>

namespace {
struct PanelTest : ::testing::Test {
    PanelTest() {
        video = Video::Create(VideoBackend::Headless);
        video->CreateWindow(64, 48, "");
    }
    ~PanelTest() override {
        DoneDisplayObjects();
        SetScreenSurfaceMaker(nullptr);
        ScreenManager = nullptr;
    }
    std::unique_ptr<Video> video;
};
}  // namespace

TEST_F(PanelTest, WithoutRegistryOrScreenManagerPaintingLeavesTheBackground) {
    TBasePanel panel(*video);
    uint32_t presented = video->PresentCount();
    panel.Paint();
    InitDisplayObjects(&panel);
    panel.Paint();  // still no screen manager
    EXPECT_EQ(video->PresentCount(), presented);
    EXPECT_EQ(video->ReadPixels()[0], 0u);
}

TEST_F(PanelTest, RepaintShowsTheLastFrameStretchedOverTheClientArea) {
    SetScreenSurfaceMaker([](int32_t w, int32_t h, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
        auto s = std::make_unique<TDIBX>();
        s->SetSize(w, h, bits);
        return s;
    });
    TScreenManager screen(video.get(), 64, 48, 64, 48);
    screen.SetModeIndex(-1);
    ASSERT_NE(screen.Surface(), nullptr);
    ScreenManager = &screen;
    TBasePanel panel(*video);
    InitDisplayObjects(&panel);
    TVorqBaseList& reg = *VorqBaseList;
    reg.SetWidth(64);
    reg.SetHeight(48);
    EXPECT_EQ(reg.GetOwnSurface(), screen.Surface());
    // Left half red, right half blue (colours are 0x00BBGGRR).
    reg.ActiveBase()->SetColor(0x0000FF);
    auto* right = new TTestBox(&reg);
    right->SetRect(32, 0, 32, 48);
    right->SetParent(reg.ActiveBase());
    reg.ActiveBase()->InvalidateWhole();
    reg.Draw();
    TCustomDIBX* s = screen.Surface();
    s->FillRect(MakeRect(32, 0, 64, 48), static_cast<uint32_t>(s->ColorToPixel(0xFF0000)));
    video->SetClientSize(128, 96);  // the panel grew: the picture is stretched
    panel.Paint();
    const uint32_t* px = video->ReadPixels();
    EXPECT_EQ(px[0] & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(px[63] & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(px[64] & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(px[95 * 128 + 127] & 0xFFFFFF, 0x0000FFu);
}
