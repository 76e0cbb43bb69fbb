// Frame lists over the image cache: stepping on an injected frame time,
// index bounds, brightness copies that keep the colour key, the cache use
// given back, and rich text's inline images served by the same lists.
#include "objects/base_list.h"
#include "objects/scene/registry_link.h"
#include "objects/images/image_list.h"
#include "render/dibx.h"
#include "render/text/display_link.h"
#include "tests/objects/images/image_pictures.h"

#include <gtest/gtest.h>

namespace {
class ImageListTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetDisplayBitCount(32);
        auto solid = [](int32_t c) { return [c](int32_t, int32_t) { return c; }; };
        pictures.Add("three.tes", {{4, 4, 100, solid(0x0000FF)}, {4, 4, 100, solid(0x00FF00)},
                                   {4, 4, 100, solid(0xFF0000)}});
        pictures.Add("four.tes", {{2, 2, 50, solid(1)}, {2, 2, 60, solid(2)}, {2, 2, 70, solid(3)},
                                  {2, 2, 80, solid(4)}});
        pictures.Add("one.tes", {{2, 2, 40, solid(0x123456)}});
        // Left half the key colour, right half a grey.
        pictures.Add("keyed.tes", {{4, 2, 100, [](int32_t x, int32_t) { return x < 2 ? 0x00F0E0 : 0x202020; },
                                    0x00F0E0}});
        InitDisplayObjects(nullptr, &pictures);
    }
    void TearDown() override {
        DoneDisplayObjects();
        SetDisplayBitCount(15);
    }
    MemoryPictures pictures;
    int user = 0;
};

TEST_F(ImageListTest, StepAdvancesByDisplayTimes) {
    struct Case {
        const char* what;
        const char* file;
        int32_t index, countdown, delta;
        bool changed;
        int32_t index_after, countdown_after;
    };
    const Case cases[] = {
        {"late frames are skipped within a pass", "three.tes", 0, 101, 250, true, 2, 51},
        {"lateness is dropped at the wrap", "three.tes", 2, 10, 30, true, 0, 100},
        {"time left: no change", "three.tes", 1, 50, 49, false, 1, 1},
        {"exactly run out", "three.tes", 1, 50, 50, true, 2, 100},
        {"a long delta stops at frame 0", "four.tes", 1, 10, 1000, true, 0, 50},
        {"one frame never changes", "one.tes", 0, 41, 1000, false, 0, 41},
        {"an index set below the frames restarts at 0", "three.tes", -1, 5, 10, true, 0, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TVorqImageList list;
        list.LoadFromFile(&user, c.file, false);
        list.SetIndex(c.index);
        list.SetCountdown(c.countdown);
        EXPECT_EQ(list.Step(c.delta), c.changed);
        EXPECT_EQ(list.Index(), c.index_after);
        EXPECT_EQ(list.Countdown(), c.countdown_after);
    }
}

TEST_F(ImageListTest, LoadingAndIndexBounds) {
    TVorqImageList list;
    list.LoadFromFile(&user, "four.tes", false);
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Index(), 0);
    EXPECT_EQ(list.Countdown(), 51);
    list.SetIndex(10);
    EXPECT_EQ(list.Index(), 3);
    EXPECT_EQ(list.Countdown(), 81);
    list.SetIndex(-1);
    EXPECT_EQ(list.Index(), -1);
    EXPECT_EQ(list.Countdown(), 81);
    EXPECT_EQ(list.GetItem(-1), nullptr);
    EXPECT_EQ(list.GetItem(4), nullptr);
    ASSERT_NE(list.GetItem(2), nullptr);
    EXPECT_EQ(list.GetItem(2)->GetDelay(), 70);

    TTeskItem* item = list.Item();
    ASSERT_EQ(item->Users().size(), 1u);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(item->Users().empty());
    // A missing file gives the cache's placeholder, never a crash.
    list.LoadFromFile(&user, "missing.tes", false);
    EXPECT_LE(list.Count(), 1);
}

TEST_F(ImageListTest, BrightnessKeepsTheColourKey) {
    struct Case {
        int32_t level;
        uint32_t grey_after;  // 32-bit pixel of the right half
        uint32_t key_after;
    };
    // Channels saturate: lighter at 255, darker at 0. The key colour
    // 0x00F0E0 is the pixel 0xE0F000 (red high, blue low).
    const Case cases[] = {
        {40, 0x484848, 0xFFFF28},
        {-40, 0x000000, 0xB8C800},
        {-0x30, 0x000000, 0xB0C000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        TVorqImageList list;
        list.LoadFromFile(&user, "keyed.tes", false);
        TVorqImageData& d = *list.GetItem(0);
        TCustomDIBX* original = d.GetSurface();
        ASSERT_EQ(original->BitCount(), 32);
        const uint32_t key_before = static_cast<uint32_t>(original->TransparentColor());
        d.SetBrightness(c.level);
        TCustomDIBX* s = d.GetSurface();
        ASSERT_NE(s, original);
        EXPECT_EQ(s->GetPixel(3, 1) & 0xFFFFFF, c.grey_after);
        EXPECT_EQ(static_cast<uint32_t>(s->TransparentColor()) & 0xFFFFFF, c.key_after);
        // The keyed pixels still match the key.
        EXPECT_EQ(s->GetPixel(0, 0), static_cast<uint32_t>(s->TransparentColor()));
        EXPECT_EQ(s->GetPixel(1, 1), static_cast<uint32_t>(s->TransparentColor()));
        // The cached frame is left alone.
        EXPECT_EQ(static_cast<uint32_t>(original->TransparentColor()), key_before);
        d.SetBrightness(0);
        EXPECT_EQ(d.GetSurface(), original);
    }
}

TEST_F(ImageListTest, AdjustedCopiesAreRebuiltAfterADisplayChange) {
    TVorqImageList list;
    list.LoadFromFile(&user, "one.tes", false);
    list.GetItem(0)->SetBrightness(-16);
    const uint32_t dark = list.GetItem(0)->GetSurface()->GetPixel(0, 0);
    list.ReleaseAdjusted();
    list.RebuildAdjusted();
    TCustomDIBX* s = list.GetItem(0)->GetSurface();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetPixel(0, 0), dark);
    EXPECT_EQ(dark & 0xFFFFFF, 0x462402u);  // 0x563412 less 0x10 per channel
}

TEST_F(ImageListTest, RichTextImagesUseTheLists) {
    InstallRichTextImages();
    TWdImageSource* source = RichTextImageSource();
    ASSERT_NE(source, nullptr);
    EXPECT_TRUE(source->FileExists("three.tes"));
    EXPECT_FALSE(source->FileExists("none.tes"));
    auto frames = source->CreateFrames();
    frames->LoadFromFile(&user, "three.tes");
    EXPECT_EQ(frames->FrameCount(), 3);
    ASSERT_NE(frames->CurrentSurface(), nullptr);
    EXPECT_EQ(frames->CurrentSurface()->GetPixel(1, 1) & 0xFFFFFF, 0xFF0000u);
    frames.reset();
    SetRichTextImageSource(nullptr);
}
}  // namespace
