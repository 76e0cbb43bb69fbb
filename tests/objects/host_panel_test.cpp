#include "media/base/media.h"
#include "media/base/screen_manager.h"
#include "objects/base_list.h"
#include "objects/scene/registry_link.h"
#include "objects/host_panel.h"
#include "platform/display/video.h"
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

TEST_F(PanelTest, RepaintStaysInsideThePanel) {
    SetScreenSurfaceMaker([](int32_t w, int32_t h, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
        auto s = std::make_unique<TDIBX>();
        s->SetSize(w, h, bits);
        return s;
    });
    TScreenManager screen(video.get(), 8, 4, 8, 4);
    ScreenManager = &screen;
    TBasePanel panel(*video);
    InitDisplayObjects(&panel);
    TCustomDIBX* s = screen.Surface();
    s->FillRect(MakeRect(0, 0, 8, 4), static_cast<uint32_t>(s->ColorToPixel(0x00FF00)));
    struct Case {
        TRect bounds;
        TRect painted;  // in the 64 x 48 client area
    };
    const Case cases[] = {
        {{0, 22, 64, 48}, {0, 22, 64, 48}},    // below a toolbar's dock
        {{}, {0, 0, 64, 48}},                  // not placed: the whole client area
        {{16, 40, 200, 300}, {16, 40, 64, 48}},  // clipped to the client area
        {{10, 60, 64, 90}, {}},                // outside: nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bounds.Top);
        const std::vector<uint32_t> mark(64 * 48, 0x123456);
        video->Update(mark.data(), 64, 48, 64, 0, 0);
        panel.SetBounds(c.bounds);
        panel.Paint();
        const uint32_t* px = video->ReadPixels();
        for (int32_t y = 0; y < 48; ++y)
            for (int32_t x = 0; x < 64; ++x) {
                const bool inside = x >= c.painted.Left && x < c.painted.Right && y >= c.painted.Top && y < c.painted.Bottom;
                ASSERT_EQ(px[y * 64 + x] & 0xFFFFFF, inside ? 0x00FF00u : 0x123456u) << x << "," << y;
            }
    }
}
