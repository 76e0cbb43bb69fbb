// Inline images through the display objects' frames: sizes, drawing levels
// from the glyph's and the owner's opacity, animation while revealed, and
// the surface release around display changes.
#include "render/text/display_link.h"
#include "tests/render/text/text_fixture.h"

#include <gtest/gtest.h>

using namespace texttest;

namespace {

struct Frames : TWdImageFrames {
    TPlainDIBX surface{4, 2, 32};
    int frames = 1, steps = 0, released = 0, rebuilt = 0;
    std::string loaded;
    void LoadFromFile(void*, const std::string& name) override {
        loaded = name;
        for (int32_t y = 0; y < 2; ++y)
            for (int32_t x = 0; x < 4; ++x) surface.SetPixel(x, y, 0x808080);
    }
    int32_t FrameCount() const override { return frames; }
    TCustomDIBX* CurrentSurface() override { return &surface; }
    bool Step() override { return ++steps % 2 == 0; }
    void ReleaseAdjusted() override { ++released; }
    void RebuildAdjusted() override { ++rebuilt; }
};

struct Source : TWdImageSource {
    std::vector<Frames*> made;
    int frames = 1;
    bool FileExists(const std::string& name) override { return name != "gone.png"; }
    std::unique_ptr<TWdImageFrames> CreateFrames() override {
        auto f = std::make_unique<Frames>();
        f->frames = frames;
        made.push_back(f.get());
        return f;
    }
};

struct Images : ::testing::Test {
    Source source;
    std::unique_ptr<TWzWord> w = make_word();
    TWdPageList pages;
    TPlainDIBX target{20, 10, 32};
    void SetUp() override {
        SetRichTextImageSource(&source);
        w->ViewWidth = 20;
        w->PageHeight = 10;
        w->Target = &target;
        w->Delay = 0;
    }
    void TearDown() override {
        pages.clear();
        w.reset();
        SetRichTextImageSource(nullptr);
    }
    uint32_t drawn(int32_t glyph_opacity, int32_t owner_opacity) {
        for (int32_t y = 0; y < 10; ++y)
            for (int32_t x = 0; x < 20; ++x) target.SetPixel(x, y, 0x404040);
        w->Opacity = owner_opacity;
        w->GlyphAt(0)->SetOpacity(glyph_opacity);
        w->DrawPage(*pages[0]);
        return target.GetPixel(0, 0);
    }
};

}  // namespace

TEST_F(Images, LevelsFromGlyphAndOwnerOpacity) {
    compile(*w, "<IMG SRC=a.png ALIGN=top>");
    EXPECT_EQ(layout(*w, pages), "[a.png]");
    ASSERT_EQ(source.made.size(), 1u);
    EXPECT_EQ(source.made[0]->loaded, "a.png");
    EXPECT_EQ(w->GlyphAt(0)->GetWidth(), 4);
    EXPECT_EQ(w->GlyphAt(0)->GetHeight(), 2);
    struct Case {
        int32_t glyph, owner;
        uint32_t pixel;
    };
    const Case cases[] = {
        {255, 255, 0x808080},  // opaque
        {0, 255, 0x404040},    // hidden
        {128, 255, 0x606060},  // half way
        {255, 128, 0x606060},  // the owner's alpha scales the glyph's
        {255, 256 + 64, 0x606060},  // additive, at a quarter of 0x80
        {255, 256, 0x404040},  // additive at level 0
    };
    for (const Case& c : cases) {
        const uint32_t p = drawn(c.glyph, c.owner);
        for (int shift : {0, 8, 16})
            EXPECT_NEAR(static_cast<int>(p >> shift & 0xFF), static_cast<int>(c.pixel >> shift & 0xFF), 1)
                << c.glyph << "/" << c.owner;
    }
    // Nothing beyond the picture.
    EXPECT_EQ(target.GetPixel(4, 0), 0x404040u);
}

TEST_F(Images, MissingFilesAnimationAndSurfaceRelease) {
    source.frames = 3;
    compile(*w, "<IMG SRC=gone.png>x<IMG SRC=b.png>");
    EXPECT_EQ(layout(*w, pages), "[gone.png]x[b.png]");
    EXPECT_EQ(w->GlyphAt(0)->GetWidth(), 0);
    ASSERT_EQ(source.made.size(), 1u);  // none made for the missing file
    TWdPage& p = *pages[0];
    p.ResetTypewriter();
    std::string log;
    AdvanceTypewriter(p, 16, log);
    EXPECT_EQ(log, "*x*");
    EXPECT_EQ(p.Animated.size(), 1u);
    EXPECT_EQ(source.made[0]->steps, 1);
    w->ClearDirtyRects();
    AdvanceTypewriter(p, 16, log);
    EXPECT_EQ(source.made[0]->steps, 2);
    // A frame change is redrawn.
    EXPECT_FALSE(w->DirtyRects.empty());
    w->ReleaseSurfaces();
    w->RestoreSurfaces();
    EXPECT_EQ(source.made[0]->released, 1);
    EXPECT_EQ(source.made[0]->rebuilt, 1);
}
