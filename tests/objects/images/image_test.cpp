// Picture objects and image sets on a 32-bit layer: opacity codes, zoom,
// rotation, hit tests through masks, the SOURCE picture and its brightness,
// frame stepping on an injected frame time, and saved records.
#include "script/game_clock.h"
#include "objects/images/image.h"
#include "objects/images/images.h"
#include "platform/exception.h"
#include "render/dibx.h"
#include "tests/objects/images/image_pictures.h"
#include "tests/objects/record_io.h"
#include "tests/objects/scene_fixture.h"

#include <cstdlib>

namespace {
std::function<int32_t(int32_t, int32_t)> solid(int32_t c) {
    return [c](int32_t, int32_t) { return c; };
}

class ImageTest : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        SetDisplayBitCount(32);
        // Red, left column keyed (green) in "keyed.tes".
        pictures.Add("red.tes", {{4, 4, 100, solid(0x0000FF)}});
        pictures.Add("wide.tes", {{4, 2, 100, solid(0x0000FF)}});
        pictures.Add("keyed.tes", {{4, 4, 100, [](int32_t x, int32_t) { return x == 0 ? 0x00FF00 : 0x808080; },
                                    0x00FF00}});
        pictures.Add("three.tes", {{2, 2, 100, solid(0x0000FF)}, {2, 2, 100, solid(0x00FF00)},
                                   {2, 2, 100, solid(0xFF0000)}});
        pictures.Add("two.tes", {{2, 2, 100, solid(0x0000FF)}, {2, 2, 100, solid(0x00FF00)}});
        TeskCollection = new TTeskCollection(&pictures);
        FrameTime = 16;
    }
    void TearDown() override {
        reg.reset();
        delete TeskCollection;
        TeskCollection = nullptr;
        SetDisplayBitCount(15);
        SceneTest::TearDown();
    }
    TCustomDIBX& Surface() { return *Layer().GetSurface(); }
    // The layer in blue, then obj drawn over it.
    void Paint(TVorqObject& obj) {
        Surface().ClearClipRect();
        Surface().Fill(0x0000FF);
        obj.Draw();
    }
    uint32_t At(int x, int y) { return Surface().GetPixel(x, y) & 0xFFFFFF; }
    TVorqImage* Image(const std::string& source, int x = 10, int y = 10) {
        auto* img = new TVorqImage(reg.get());
        img->SetLeft(x);
        img->SetTop(y);
        img->SetSource(source);
        img->SetParent(reg->ActiveBase());
        return img;
    }
    MemoryPictures pictures;
};

int channel(uint32_t pixel, int shift) { return static_cast<int>(pixel >> shift & 0xFF); }

TEST_F(ImageTest, OpacityCodes) {
    struct Case {
        int32_t alpha;
        int red, blue;  // at a picture pixel; the layer is blue, the picture red
    };
    const Case cases[] = {
        {0, 0, 255},       // nothing drawn
        {128, 128, 127},   // 128/255 of red over blue
        {255, 255, 0},     // opaque
        {300, 44, 255},    // additive at level 44
        {511, 255, 255},   // additive at level 255
        {900, 255, 255},   // capped at level 255, never wrapping
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.alpha);
        TVorqImage* img = Image("red.tes");
        img->SetAlpha(c.alpha);
        Paint(*img);
        EXPECT_NEAR(channel(At(11, 11), 16), c.red, 1);
        EXPECT_NEAR(channel(At(11, 11), 0), c.blue, 1);
        EXPECT_EQ(At(14, 11), 0x0000FFu);  // outside the picture
        img->FreeNow();
    }
}

TEST_F(ImageTest, SourceShowsTheWholePictureAndBrightnessKeepsTheKey) {
    TVorqImage* img = Image("keyed.tes");
    EXPECT_EQ(img->GetWidth(), 4);
    EXPECT_EQ(img->GetHeight(), 4);
    EXPECT_EQ(img->GetOrigWidth(), 4);
    Paint(*img);
    EXPECT_EQ(At(13, 13), 0x808080u);  // the last pixel of the picture
    EXPECT_EQ(At(10, 12), 0x0000FFu);  // keyed column: the layer shows through
    img->SetBrightness(255 - 0x30);
    EXPECT_EQ(img->GetBrightness(), 255 - 0x30);
    Paint(*img);
    EXPECT_EQ(At(13, 13), 0x505050u);
    EXPECT_EQ(At(10, 12), 0x0000FFu);
    img->SetBrightness(-5);
    EXPECT_EQ(img->GetBrightness(), 0);
    Paint(*img);
    EXPECT_EQ(At(13, 13), 0x000000u);
    EXPECT_EQ(At(10, 12), 0x0000FFu);
}

TEST_F(ImageTest, ZoomAndExplicitSize) {
    TVorqImage* img = Image("red.tes");
    img->SetZoomX(512);
    img->Update();  // relayout
    EXPECT_EQ(img->GetWidth(), 8);
    EXPECT_EQ(img->GetHeight(), 4);
    Paint(*img);
    EXPECT_EQ(At(17, 13), 0xFF0000u);
    EXPECT_EQ(At(18, 13), 0x0000FFu);
    img->SetZoomX(0);
    EXPECT_EQ(img->GetZoomX(), 1);
    img->SetWidth(6);
    EXPECT_EQ(img->GetZoomX(), 0);
    Paint(*img);  // stretched to the explicit size
    EXPECT_EQ(At(15, 12), 0xFF0000u);
    EXPECT_EQ(At(16, 12), 0x0000FFu);
}

TEST_F(ImageTest, AngleBoundsUseTheLowEightBits) {
    TVorqImage* img = Image("wide.tes");
    const TRect plain = img->GetRect();
    img->SetAngle(256);
    EXPECT_EQ(img->GetRect(), plain);
    img->SetAngle(64);  // a quarter turn about the top-left pixel
    const TRect turned = img->GetRect();
    EXPECT_NEAR(turned.Width(), 2, 1);
    EXPECT_NEAR(turned.Height(), 4, 1);
    Paint(*img);
    int red = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) red += At(x, y) == 0xFF0000u;
    EXPECT_EQ(red, 8);
}

TEST_F(ImageTest, HitTests) {
    TVorqImage* img = Image("red.tes");
    TPlainDIBX mask(4, 4, 8);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) mask.SetPixel(x, y, x == 0 ? 127 : 128);
    img->SetMaskSurface(&mask);
    struct Case {
        const char* what;
        bool capture;
        uint8_t ignore;
        uint32_t event_mask;
        int x, y;
        bool hit;
    };
    const Case cases[] = {
        {"rectangle alone without capture", false, 0, kMaskLeftPress, 10, 10, true},
        {"mask 127 misses", true, 0, kMaskLeftPress, 10, 11, false},
        {"mask 128 hits", true, 0, kMaskLeftPress, 11, 11, true},
        {"outside", false, 0, kMaskLeftPress, 14, 11, false},
        {"IGNOREMOUSE 4 with mask 17", false, 4, 17, 12, 12, true},
        {"IGNOREMOUSE 4 with mask 9", false, 4, 9, 12, 12, false},
        {"IGNOREMOUSE 8 never", false, 8, 0xFFFFFFFF, 12, 12, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        img->SetCaptureMask(c.capture);
        img->SetIgnoreMouse(c.ignore);
        EXPECT_EQ(img->HitTest(TPoint{c.x, c.y}, c.event_mask) == img, c.hit);
    }
    // Flipped, the 127 column is on the right.
    img->SetIgnoreMouse(0);
    img->SetCaptureMask(true);
    img->SetFlipH(true);
    const int32_t left = img->GetRect().Left;
    EXPECT_EQ(img->HitTest(TPoint{left, 11}, kMaskLeftPress), img);
    EXPECT_EQ(img->HitTest(TPoint{left + 3, 11}, kMaskLeftPress), nullptr);
    img->SetFlipH(false);
    // Zoomed twice: the 127 column covers two screen columns.
    img->SetZoomX(512);
    img->Update();
    EXPECT_EQ(img->HitTest(TPoint{11, 11}, kMaskLeftPress), nullptr);
    EXPECT_EQ(img->HitTest(TPoint{12, 11}, kMaskLeftPress), img);
    // An explicit size leaves zoom 0: the size is the scale, no division by 0.
    img->SetWidth(40);
    EXPECT_EQ(img->GetZoomX(), 0);
    EXPECT_EQ(img->HitTest(TPoint{19, 11}, kMaskLeftPress), nullptr);
    EXPECT_EQ(img->HitTest(TPoint{20, 11}, kMaskLeftPress), img);
    img->SetMaskSurface(nullptr);
}

TEST_F(ImageTest, RotatedHitTestMapsThePointBack) {
    TVorqImage* img = Image("wide.tes", 20, 20);  // 4 x 2
    img->SetAngle(64);
    // Whatever the turn's direction, the picture now stands 2 wide and 4
    // tall next to (20, 20); the unrotated rectangle's far end is not hit.
    int hits = 0;
    for (int y = 10; y < 30; ++y)
        for (int x = 10; x < 30; ++x) hits += img->HitTestRotated(TPoint{x, y});
    EXPECT_EQ(hits, 8);
    EXPECT_FALSE(img->HitTestRotated(TPoint{23, 20}));
}

TEST_F(ImageTest, ImageSetsStepByFrameTimes) {
    struct Case {
        const char* what;
        const char* source;
        bool repeat;
        int32_t delta;
        std::vector<int32_t> indexes;  // after each update
    };
    const Case cases[] = {
        {"three frames repeating", "three.tes", true, 50, {0, 1, 1, 2, 2, 0, 0, 1}},
        {"lateness carries within a pass", "three.tes", false, 150, {1, 2, 2, 2}},
        {"two frames never skip", "two.tes", true, 1000, {1, 0, 1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto* img = new TVorqImages(reg.get());
        img->SetParent(reg->ActiveBase());
        img->SetSource(c.source);
        img->SetRepeat(c.repeat);
        ASSERT_EQ(img->GetIndex(), 0);
        FrameTime = static_cast<uint32_t>(c.delta);
        std::vector<int32_t> seen;
        for (size_t i = 0; i < c.indexes.size(); ++i) {
            EXPECT_FALSE(img->Update());
            seen.push_back(img->GetIndex());
        }
        EXPECT_EQ(seen, c.indexes);
        img->FreeNow();
    }
}

TEST_F(ImageTest, ImageSetEnds) {
    FrameTime = 400;
    auto* img = new TVorqImages(reg.get());
    img->SetParent(reg->ActiveBase());
    img->SetOnPlayEnd("end");
    img->SetSource("three.tes");
    for (int i = 0; i < 6; ++i) EXPECT_FALSE(img->Update());
    EXPECT_EQ(img->GetIndex(), 2);
    EXPECT_FALSE(img->GetPlaying());
    EXPECT_EQ(CountEvents(PR_ONPLAYEND), 1);  // once per end, not every frame
    img->SetAutoScrap(true);
    img->SetIndex(0);
    bool finished = false;
    for (int i = 0; i < 3 && !finished; ++i) finished = img->Update();
    EXPECT_TRUE(finished);
    EXPECT_EQ(CountEvents(PR_ONPLAYEND), 1);

    img->SetSource("picture.bmp");
    EXPECT_EQ(img->GetIndex(), -1);
    EXPECT_EQ(img->GetCount(), 0);
    Paint(*img);
    EXPECT_EQ(At(0, 0), 0x0000FFu);
    img->FreeNow();
}

TEST_F(ImageTest, PauseAndVisibilityRestartTheFrame) {
    FrameTime = 16;
    auto* img = new TVorqImages(reg.get());
    img->SetParent(reg->ActiveBase());
    img->SetSource("three.tes");
    img->SetPaused(true);
    EXPECT_FALSE(img->Update());
    EXPECT_EQ(img->GetIndex(), 0);
    img->SetPaused(false);
    EXPECT_EQ(img->Countdown(), 0);
    img->Update();
    EXPECT_EQ(img->GetIndex(), 1);
    img->SetVisible(false);
    img->SetVisible(true);
    img->Update();
    EXPECT_EQ(img->GetIndex(), 2);
}

TEST_F(ImageTest, OnlyThePiecesOfALayeredFrameAreDrawn) {
    // Red by column, 40 apart; pieces: the left half, and a stray rectangle
    // past the picture that clipping cuts away.
    pictures.Add("halves.tes", {{4, 4, 100, [](int32_t x, int32_t) { return 40 * (x + 1); }, -1,
                                 {TRect{0, 0, 2, 4}, TRect{10, 10, 90, 90}}}});
    struct Case {
        const char* what;
        bool image_set, flip;
        int32_t brightness;
        const char* row;  // picture column per screen pixel, '.' the layer
    };
    const Case cases[] = {
        {"image set", true, false, 0, "01.."},
        {"image set mirrored", true, true, 0, "..10"},
        {"image set lightened", true, false, 40, "01.."},
        {"picture from SOURCE", false, false, 255, "01.."},
        {"picture darkened", false, true, 200, "..10"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TVorqCustomImage* img;
        if (c.image_set) {
            auto* set = new TVorqImages(reg.get());
            set->SetLeft(10);
            set->SetTop(10);
            set->SetSource("halves.tes");
            set->SetParent(reg->ActiveBase());
            set->SetBrightness(c.brightness);
            img = set;
        } else {
            TVorqImage* pic = Image("halves.tes");
            pic->SetBrightness(c.brightness);
            img = pic;
        }
        img->SetFlipH(c.flip);
        Paint(*img);
        // A mirrored picture is anchored at its right edge: read from its rectangle.
        const int left = img->GetRect().Left;
        std::string row;
        for (int x = left; x < left + 4; ++x) {
            const uint32_t p = At(x, 12);
            row += (p & 0xFF) == 0xFF ? '.' : '*';
        }
        std::string drawn = c.row;
        for (char& ch : drawn)
            if (ch != '.') ch = '*';
        EXPECT_EQ(row, drawn);
        // The drawn columns keep their picture order (mirrored with the flip).
        const int shift = c.brightness > 0 && c.image_set ? 40 : 0;
        const int dim = c.image_set ? 0 : 255 - c.brightness;
        for (int x = left; x < left + 4; ++x) {
            const char want = c.row[x - left];
            if (want == '.') continue;
            const int red = std::max(0, std::min(255, 40 * (want - '0' + 1) + shift) - dim);
            EXPECT_EQ(channel(At(x, 12), 16), red) << x;
        }
        EXPECT_EQ(Surface().GetClipRect(), Surface().BoundsRect());  // the clip is given back
        img->FreeNow();
    }
}

// ---- saved records ----

TEST_F(ImageTest, RecordsLoadBackAndEveryTruncationIsRefused) {
    struct Case {
        const char* kind;
        std::function<TVorqObject*()> build;
        std::function<TVorqObject*()> blank;
    };
    const Case cases[] = {
        {"image",
         [&] {
             TVorqImage* img = Image("keyed.tes", 5, 6);
             img->SetAlpha(300);
             img->SetAngle(17);
             img->SetZoomY(300);
             img->SetFlipV(true);
             img->SetCaptureMask(true);
             img->SetBrightness(100);
             return img;
         },
         [&] { return new TVorqImage(reg.get()); }},
        {"image set",
         [&] {
             auto* img = new TVorqImages(reg.get());
             img->SetParent(reg->ActiveBase());
             img->SetSource("three.tes");
             img->SetIndex(2);
             img->SetBrightness(-20);
             img->SetRepeat(true);
             img->SetAutoScrap(true);
             img->SetOnPlayEnd("end.vsb");
             img->SetOnIdle("idle.vsb");
             return img;
         },
         [&] { return new TVorqImages(reg.get()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        TVorqObject* original = c.build();
        const std::vector<uint8_t> bytes = SavedRecord(*original);
        original->FreeNow();
        {
            TVorqObject* copy = c.blank();
            LoadRecordInto(*copy, bytes, bytes.size(), 130);
            EXPECT_EQ(SavedRecord(*copy), bytes);
            copy->FreeNow();
        }
        for (size_t n = 0; n < bytes.size(); ++n) {
            TVorqObject* copy = c.blank();
            EXPECT_THROW(LoadRecordInto(*copy, bytes, n, 130), Exception) << n;
            copy->FreeNow();
        }
    }
}

}  // namespace
