// Tiles on a 32-bit layer: copies edge to edge or at a pitch, scroll
// origins, zoom, flips, colour keys, the pieces of layered-image frames, the
// placement under a scrolled parent, looping frames and saved records. The
// expected rows are worked out by hand from the tile's rules.
#include "script/game_clock.h"
#include "objects/images/tile.h"
#include "platform/exception.h"
#include "render/dibx.h"
#include "tests/objects/images/image_pictures.h"
#include "tests/objects/record_io.h"
#include "tests/objects/scene_fixture.h"

#include <cstdlib>

namespace {

// Red 40, 80, 120, 160 by column; the row shows in green.
int32_t ramp(int32_t x, int32_t y) { return 40 * (x + 1) | (100 * y) << 8; }

class TileTest : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        SetDisplayBitCount(32);
        pictures.Add("ramp.tes", {{4, 2, 100, ramp}});
        pictures.Add("half.tes", {{4, 2, 100, ramp, -1, {TRect{0, 0, 2, 2}}}});
        pictures.Add("wild.tes", {{4, 2, 100, ramp, -1, {TRect{-50, -50, 900, 900}, TRect{7, 0, 3, 2}}}});
        pictures.Add("keyed.tes", {{4, 2, 100, [](int32_t x, int32_t y) { return x == 0 ? 0x00FF00 : ramp(x, y); },
                                    0x00FF00}});
        pictures.Add("three.tes", {{4, 2, 100, ramp}, {4, 2, 100, ramp}, {4, 2, 100, ramp}});
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
    TVorqTile* Tile(const std::string& source, int32_t left = 10, int32_t top = 10, int32_t width = 100,
                    int32_t height = 2) {
        auto* t = new TVorqTile(reg.get());
        t->SetSource(source);
        t->SetRect(left, top, width, height);
        t->SetParent(reg->ActiveBase());
        return t;
    }
    // The layer in blue, then the tile over it.
    void Paint(TVorqObject& obj) {
        Surface().ClearClipRect();
        Surface().Fill(0x0000FF);
        obj.Draw();
    }
    // The picture column each pixel of a row shows: '0'..'3', '.' for the
    // layer.
    std::string Row(int32_t x0, int32_t y, int32_t n) {
        std::string out;
        for (int32_t x = x0; x < x0 + n; ++x) {
            const uint32_t p = Surface().GetPixel(x, y);
            const int red = static_cast<int>(p >> 16 & 0xFF);
            if (red == 0 && (p & 0xFF) == 0xFF) out += '.';
            // Drawn through a mask, a channel may come out one lower.
            else if (const int i = (red + 20) / 40; i >= 1 && i <= 4 && std::abs(red - 40 * i) <= 1)
                out += char('0' + i - 1);
            else out += '?';
        }
        return out;
    }
    MemoryPictures pictures;
};

TEST_F(TileTest, CopiesByPitchScrollZoomAndFlip) {
    struct Case {
        const char* what;
        const char* source;
        int32_t distance, scroll, zoom;
        bool flip;
        int32_t start;
        const char* row;  // 14 pixels from the tile's left + start
    };
    const Case cases[] = {
        {"edge to edge", "ramp.tes", 0, 0, 256, false, 0, "01230123012301"},
        {"scrolled one pixel", "ramp.tes", 0, 1, 256, false, 0, "12301230123012"},
        {"scrolled back one pixel", "ramp.tes", 0, -1, 256, false, 0, "30123012301230"},
        {"mirrored", "ramp.tes", 0, 0, 256, true, 0, "32103210321032"},
        {"pitch below half the width is none", "ramp.tes", 1, 0, 256, false, 0, "01230123012301"},
        {"overlapping copies", "ramp.tes", 3, 0, 256, false, 0, "01201201201201"},
        {"gaps between copies", "ramp.tes", 6, 0, 256, false, 0, "0123..0123..01"},
        {"gaps, scrolled", "ramp.tes", 6, 1, 256, false, 0, "123..0123..012"},
        {"a whole step back is the same pattern", "ramp.tes", 6, -6, 256, false, 0, "0123..0123..01"},
        {"gaps, zoomed twice", "ramp.tes", 6, 0, 512, false, 0, "00112233....00"},
        {"gaps, each copy mirrored", "ramp.tes", 6, 0, 256, true, 0, "3210..3210..32"},
        {"far pitch and origin", "ramp.tes", 100, 130, 256, false, 66, "....0123......"},
        {"pieces only", "half.tes", 6, 0, 256, false, 0, "01....01....01"},
        {"pieces mirrored inside each copy", "half.tes", 6, 0, 256, true, 0, "..10....10...."},
        {"pieces, scrolled", "half.tes", 6, 1, 256, false, 0, "1....01....01."},
        {"pieces, far origin 30 left of the edge", "half.tes", 100, 130, 256, false, 66, "....01........"},
        {"zoomed pieces draw whole copies", "half.tes", 6, 0, 512, false, 0, "00112233....00"},
        {"edge to edge draws whole copies", "half.tes", 0, 0, 256, false, 0, "01230123012301"},
        {"pieces cut to the picture", "wild.tes", 6, 0, 256, false, 0, "0123..0123..01"},
        {"keyed pixels stay clear", "keyed.tes", 0, 0, 256, false, 0, ".123.123.123.1"},
        {"keyed, at a pitch", "keyed.tes", 6, 0, 256, false, 0, ".123...123...1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TVorqTile* t = Tile(c.source);
        t->SetDistanceX(c.distance);
        t->SetScrollX(c.scroll);
        t->SetZoomX(c.zoom);
        t->SetFlipH(c.flip);
        EXPECT_EQ(t->GetWidth(), 100);  // the set size stays
        Paint(*t);
        EXPECT_EQ(Row(10 + c.start, 10, 14), c.row);
        EXPECT_EQ(Row(0, 10, 10), "..........");  // nothing left of the tile
        EXPECT_EQ(Row(110, 10, 4), "....");      // nor right of it
        t->FreeNow();
    }
}

TEST_F(TileTest, RowsFollowThePitchAndOriginToo) {
    TVorqTile* t = Tile("half.tes", 10, 10, 6, 12);
    t->SetDistanceY(5);
    t->SetScrollY(-2);  // 3 down into the step of 5
    Paint(*t);
    std::string column;
    for (int32_t y = 10; y < 22; ++y) {
        const uint32_t p = Surface().GetPixel(10, y);
        column += (p & 0xFF) == 0xFF ? '.' : (p >> 8 & 0xFF) == 100 ? '1' : '0';
    }
    // Copies two rows tall begin at 10 - 3 + 5k.
    EXPECT_EQ(column, "..01...01...");
    // The mirrored rows put row 1 first in each copy.
    t->SetFlipV(true);
    Paint(*t);
    column.clear();
    for (int32_t y = 10; y < 22; ++y) {
        const uint32_t p = Surface().GetPixel(10, y);
        column += (p & 0xFF) == 0xFF ? '.' : (p >> 8 & 0xFF) == 100 ? '1' : '0';
    }
    EXPECT_EQ(column, "..10...10...");
}

TEST_F(TileTest, OpacityCodesInThePiecesPath) {
    struct Case {
        int32_t alpha;
        int red, blue;  // at the first picture pixel (red 40) over blue
    };
    const Case cases[] = {{0, 0, 255}, {128, 20, 127}, {255, 40, 0}, {300, 7, 255}, {5000, 40, 255}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.alpha);
        TVorqTile* t = Tile("half.tes");
        t->SetDistanceX(6);
        t->SetAlpha(c.alpha);
        Paint(*t);
        const uint32_t p = Surface().GetPixel(16, 10);
        EXPECT_NEAR(static_cast<int>(p >> 16 & 0xFF), c.red, 1);
        EXPECT_NEAR(static_cast<int>(p & 0xFF), c.blue, 1);
        EXPECT_EQ(Surface().GetPixel(12, 10) & 0xFFFFFF, 0x0000FFu);  // outside the pieces
        t->FreeNow();
    }
}

TEST_F(TileTest, DrawsOnlyInsideTheLayersClip) {
    TVorqTile* t = Tile("half.tes");
    t->SetDistanceX(6);
    Surface().ClearClipRect();
    Surface().Fill(0x0000FF);
    Surface().SetClipRect(TRect{17, 0, 30, 40});
    t->Draw();
    EXPECT_EQ(Surface().GetClipRect(), (TRect{17, 0, 30, 40}));  // given back
    Surface().ClearClipRect();
    EXPECT_EQ(Row(10, 10, 20), ".......1....01....01");
}

TEST_F(TileTest, PlacedUnderAScrolledParentIgnoringTheAnchor) {
    TVorqTile* parent = Tile("ramp.tes", 100, 50, 200, 100);
    parent->SetScrollX(30);
    parent->SetScrollY(-5);
    TVorqTile* child = Tile("ramp.tes", 5, 6, 10, 10);
    child->SetParent(parent);
    child->SetOffsetX(3);
    child->SetPosZoomed(true);
    child->SetZoomX(512);
    EXPECT_EQ(child->GetScreenX(), 100 - 30 + 5);
    EXPECT_EQ(child->GetScreenY(), 50 + 5 + 6);
    EXPECT_EQ(child->GetLocalX(), 5);
    EXPECT_EQ(child->GetRect(), (TRect{75, 61, 85, 71}));
}

TEST_F(TileTest, FramesAlwaysLoopAndTheTileNeverEnds) {
    TVorqTile* t = Tile("three.tes");
    t->SetOnPlayEnd("end.vsb");  // a tile has no play-end label
    EXPECT_TRUE(t->GetRepeat());
    FrameTime = 100;
    std::vector<int32_t> seen;
    for (int i = 0; i < 7; ++i) {
        EXPECT_FALSE(t->Update());
        seen.push_back(t->GetIndex());
    }
    EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 0, 1, 2, 0, 1}));
    EXPECT_EQ(CountEvents(PR_ONPLAYEND), 0);
    EXPECT_EQ(t->GetCount(), 3);
    // Another kind of file loads nothing and draws nothing.
    t->SetSource("ramp.bmp");
    EXPECT_EQ(t->GetCount(), 0);
    EXPECT_EQ(t->GetIndex(), -1);
    Paint(*t);
    EXPECT_EQ(Row(10, 10, 14), "..............");
}

TEST_F(TileTest, FilmFramesApplyEveryField) {
    TVorqTile* t = Tile("");
    TVorqTile* holder = Tile("", 200, 100, 50, 50);
    TPlainDIBX picture(4, 2, 32), mask(4, 2, 8);
    TFilmTileFrame f;
    f.width = 40;
    f.height = 8;
    f.picture = &picture;
    f.mask = &mask;
    f.transparent_color = 0x00FF00;
    f.zoom_x = 300;
    f.zoom_y = 200;
    f.place.priority = 7;
    f.place.parent = holder;
    f.distance_x = 9;
    f.distance_y = 4;
    f.flip_h = true;
    f.offset_x = 2;
    f.place.left = 11;
    f.place.top = 12;
    f.alpha = 90;
    f.scroll_x = -3;
    f.scroll_y = 5;
    f.place.clip = TRect{1, 2, 31, 6};
    t->ApplyFilmTile(f);
    EXPECT_EQ(t->GetParent(), holder);
    EXPECT_EQ(t->GetOwnSurface(), &picture);
    EXPECT_EQ(t->GetMaskSurface(), &mask);
    EXPECT_EQ(picture.TransparentColor(), int32_t(picture.ColorToPixel(0x00FF00)));
    const std::vector<int32_t> got = {t->GetWidth(),     t->GetHeight(),    t->GetZoomX(),    t->GetZoomY(),
                                      t->GetPriority(),  t->GetDistanceX(), t->GetDistanceY(), t->GetFlipH(),
                                      t->GetOffsetX(),   t->GetLeft(),      t->GetTop(),      t->GetAlpha(),
                                      t->GetScrollX(),   t->GetScrollY(),   t->GetClipLeft(), t->GetClipTop(),
                                      t->GetClipWidth(), t->GetClipHeight()};
    EXPECT_EQ(got, (std::vector<int32_t>{40, 8, 300, 200, 7, 9, 4, 1, 2, 11, 12, 90, -3, 5, 1, 2, 30, 4}));
    // A motion moves the tile by its motion position and keeps its parent.
    TFilmTileFrame m = f;
    m.place.motion = true;
    m.place.parent = reg->ActiveBase();
    m.place.left = 70;
    m.place.top = 80;
    t->ApplyFilmTile(m);
    EXPECT_EQ(t->GetParent(), holder);
    EXPECT_EQ(t->GetLeft(), 11);
    EXPECT_EQ(t->GetMotionX(), 70);
    EXPECT_EQ(t->GetMotionY(), 80);
    t->ApplyFilmTile(TFilmTileFrame{});
}

TEST_F(TileTest, RecordLoadsBackAndEveryTruncationIsRefused) {
    TVorqTile* t = Tile("three.tes", 3, 4, 50, 60);
    t->SetScrollX(-7);
    t->SetScrollY(9);
    t->SetDistanceX(11);
    t->SetDistanceY(12);
    t->SetOnIdle("idle.vsb");
    t->SetAlpha(300);
    t->SetBrightness(-20);
    const std::vector<uint8_t> bytes = SavedRecord(*t);
    t->FreeNow();
    auto* copy = new TVorqTile(reg.get());
    LoadRecordInto(*copy, bytes, bytes.size(), 130);
    EXPECT_EQ(SavedRecord(*copy), bytes);
    EXPECT_EQ(copy->GetSource(), "three.tes");
    EXPECT_EQ(copy->GetCount(), 3);
    EXPECT_EQ(copy->GetScrollX(), -7);
    EXPECT_EQ(copy->GetDistanceY(), 12);
    copy->FreeNow();
    for (size_t n = 0; n < bytes.size(); ++n) {
        auto* part = new TVorqTile(reg.get());
        EXPECT_THROW(LoadRecordInto(*part, bytes, n, 130), Exception) << n;
        part->FreeNow();
    }
}

}  // namespace
