// Layers and the pictures of the image cache are made at one depth: the
// screen's, 15 without a screen manager, in the main registry and in a
// private scene alike, so that a cached picture always draws on a layer.
#include "media/base/media.h"
#include "media/base/screen_manager.h"
#include "objects/base_list.h"
#include "objects/scene/registry_link.h"
#include "platform/filesystem/stream.h"
#include "render/custom_dibx.h"
#include "render/tesk.h"
#include "render/tesk_collection.h"
#include "tests/support/plain_dibx.h"
#include "tests/support/scripted_video.h"

#include <gtest/gtest.h>

namespace {
// One 4 x 4 picture, "pic.tes", of one colour.
class OnePicture : public TTeskSource {
public:
    bool FileExists(const std::string& name) override { return name == "pic.tes"; }
    bool ManagerFileExists(const std::string& name) override { return FileExists(name); }
    void LoadToStream(TStream& stream, const std::string&) override {
        TTeskFrameList list;
        TTeskFrame& f = *list.AddFrame();
        f.Image.SetSize(4, 4, 24);
        f.Image.FillRect(TRect{0, 0, 4, 4}, 0x336699);
        TMemoryStream s;
        list.SaveToStream(s, 0);
        stream.WriteBuffer(s.Memory(), s.GetSize());
    }
    uint32_t IdCode() override { return 0; }
};

struct DepthCase {
    const char* what;
    uint32_t desktop_bits;  // 0: no screen manager
    bool private_scene;
    int32_t depth;
};

class SurfaceDepth : public ::testing::TestWithParam<DepthCase> {
protected:
    void TearDown() override {
        DoneDisplayObjects();
        ScreenManager = nullptr;
        screen.reset();
        SetScreenSurfaceMaker(nullptr);
    }
    OnePicture source;
    ScriptedVideo video;
    std::unique_ptr<TScreenManager> screen;
};
}  // namespace

TEST_P(SurfaceDepth, CachedPicturesDrawOnTheLayers) {
    const DepthCase& c = GetParam();
    if (c.desktop_bits) {
        SetScreenSurfaceMaker([](int32_t w, int32_t h, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
            return std::make_unique<TPlainDIBX>(w, h, bits);
        });
        video.Desktop = {1024, 768, c.desktop_bits, 60};
        video.CreateWindow(32, 32, "");
        screen = std::make_unique<TScreenManager>(&video, 32, 32, 640, 480);
        ScreenManager = screen.get();
    }
    InitDisplayObjects(nullptr, &source);
    std::unique_ptr<TVorqBaseList> own;
    TVorqBaseList* registry = VorqBaseList;
    if (c.private_scene) {
        own = std::make_unique<TVorqBaseList>(VorqBaseList);
        registry = own.get();
    }
    registry->SetWidth(32);
    registry->SetHeight(32);
    TCustomDIBX* layer = registry->InactiveBase()->LayerSurface();
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(registry->CurrentSurfaceBits(), c.depth);
    EXPECT_EQ(layer->BitCount(), c.depth);

    int user = 0;
    TTeskItem* item = TeskCollection->Acquire(&user, "pic.tes", false, false);
    ASSERT_EQ(item->GetFrameCount(), 1);
    const TTeskItemFrame& frame = *item->Frames[0];
    EXPECT_EQ(frame.Image->BitCount(), c.depth);
    layer->Fill(0);
    frame.Draw(*layer, 2, 2, 255, false, false, frame.Image->BoundsRect());
    ASSERT_NE(frame.Image->GetPixel(0, 0), 0u);
    EXPECT_EQ(layer->GetPixel(3, 3), frame.Image->GetPixel(1, 1));
    EXPECT_EQ(layer->GetPixel(1, 1), 0u);
    item->Release(&user);
}

INSTANTIATE_TEST_SUITE_P(
    MainAndPrivate, SurfaceDepth,
    ::testing::Values(DepthCase{"no screen manager", 0, false, 15},
                      DepthCase{"private scene, no screen manager", 0, true, 15},
                      DepthCase{"32-bit screen", 32, false, 32},
                      DepthCase{"private scene on a 32-bit screen", 32, true, 32},
                      DepthCase{"private scene on a 16-bit screen", 16, true, 16},
                      DepthCase{"private scene on a 5-5-5 screen", 15, true, 15}),
    [](const ::testing::TestParamInfo<DepthCase>& i) { return std::to_string(i.index); });
