// Text labels on a registry with memory surfaces: line widths against
// FreeType through Pillow with the IPA faces, lines and alignment, zoom and
// turn, what each opacity code draws, hit tests, the motion named by
// SOURCE, and the saved record (same bytes back, old versions, truncations
// refused).
#include "files/save_stream.h"
#include "objects/base_list.h"
#include "objects/film/film_manager.h"
#include "objects/basic/box.h"
#include "objects/text/label.h"
#include "objects/object_kinds.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "render/dibx.h"
#include "tests/objects/old_control_record.h"
#include "tests/support/film_writer.h"
#include "tests/objects/kind_scene.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

std::string from_hex(const std::string& hex) {
    std::string s;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) s += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return s;
}

// Equal within one level per channel: the blend through a mask scales by
// 255/256, a plain copy does not.
bool near(uint32_t a, uint32_t b) {
    for (int shift : {0, 8, 16})
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 1) return false;
    return true;
}

class Label : public KindScene {
protected:

    void SetUp() override {
        SetDisplayBitCount(32);
        OpenScene(160, 120);
    }
    void TearDown() override {
        reg.reset();
        SetMotionMaker(nullptr);
        KindScene::TearDown();
    }
    TVorqLabel* label(const std::string& text, int32_t height = 16) {
        auto* l = Make<TVorqLabel>(LT_LABEL, Layer());
        l->SetFontHeight(height);
        l->SetFontColor(0xFFFFFF);
        l->SetText(text);
        return l;
    }
    void draw() {
        screen.Fill(0);
        reg->ActiveBase()->InvalidateWhole();
        reg->Draw();
        reg->ClearDirty();
    }
    int lit(const TRect& r) const {
        int n = 0;
        for (int y = r.Top; y < r.Bottom; ++y)
            for (int x = r.Left; x < r.Right; ++x) n += at(x, y) != 0;
        return n;
    }
    TRect ink() const {
        TRect r{1 << 20, 1 << 20, -1, -1};
        for (int y = 0; y < screen.Height(); ++y)
            for (int x = 0; x < screen.Width(); ++x)
                if (at(x, y)) {
                    r.Left = std::min(r.Left, x);
                    r.Top = std::min(r.Top, y);
                    r.Right = std::max(r.Right, x + 1);
                    r.Bottom = std::max(r.Bottom, y + 1);
                }
        return r;
    }
};

TEST_F(Label, LineWidthsMatchFreeTypeThroughPillow) {
    std::ifstream in(std::string(VORQ_TEST_DATA) + "/widgets/label_widths.txt");
    ASSERT_TRUE(in) << "missing golden widths";
    std::string line;
    int checked = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream ls(line);
        std::string face, hex;
        int height, width;
        ls >> face >> height >> hex >> width;
        SCOPED_TRACE(line);
        TVorqLabel& l = *label(from_hex(hex), height);
        l.SetFontName(face == "GOTHIC" ? Sjis("ＭＳ ゴシック") : Sjis("ＭＳ Ｐゴシック"));
        EXPECT_EQ(l.NaturalWidth(), width);
        EXPECT_EQ(l.NaturalHeight(), height);
        EXPECT_EQ(l.GetWidth(), width);
        ++checked;
    }
    EXPECT_EQ(checked, 48);
}

TEST_F(Label, TextSplitsIntoLinesAndMeasuresThem) {
    struct Case {
        const char* text;
        std::vector<std::string> lines;
        const char* reads;
    };
    const Case cases[] = {
        {"A\r\n", {"A"}, "A"},
        {"A\n", {"A"}, "A"},
        {"a\nb\rc\r\nd", {"a", "b", "c", "d"}, "a\r\nb\r\nc\r\nd"},
        {"a\n\nb", {"a", "", "b"}, "a\r\n\r\nb"},
        {"\n", {""}, ""},
        {"", {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(SplitLabelLines(c.text), c.lines);
        TVorqLabel& l = *label(c.text);
        l.SetLineSpace(3);
        EXPECT_EQ(l.GetText(), c.reads);
        EXPECT_EQ(l.NaturalHeight(), int32_t(c.lines.size()) * (16 + 3));
    }
    // A double-byte character is one code; a lone lead byte at the end too.
    EXPECT_EQ(LabelCharCodes(Sjis("あa")), (std::vector<uint16_t>{0x82A0, 'a'}));
    EXPECT_EQ(LabelCharCodes(std::string("a\x82")), (std::vector<uint16_t>{'a', 0x82}));
}

TEST_F(Label, AlignmentPlacesEachLineInTheWidest) {
    // Two lines of different widths: each line's ink starts where its
    // alignment puts the line within the natural width.
    TVorqLabel& one = *label("ii");
    TVorqLabel& two = *label("WWWW");
    const int32_t w1 = one.NaturalWidth(), w2 = two.NaturalWidth();
    ASSERT_LT(w1, w2);
    const int32_t ink_in = one.LineRects().at(0).Left;  // ink of "ii" from its own line start
    for (uint8_t align : {0, 1, 2, 7}) {
        SCOPED_TRACE(int(align));
        TVorqLabel& l = *label("ii\nWWWW");
        l.SetHAlign(align);
        ASSERT_EQ(l.LineRects().size(), 2u);
        const int32_t start = align == 0 ? 0 : align == 1 ? (w2 - w1) / 2 : w2 - w1;
        EXPECT_EQ(l.LineRects()[0].Left, start + ink_in);
        EXPECT_EQ(l.NaturalWidth(), w2);
    }
}

TEST_F(Label, ZoomSizesTheLabelAndKeepsAtLeastOne) {
    TVorqLabel& l = *label("Zoom me");
    const int32_t nw = l.NaturalWidth(), nh = l.NaturalHeight();
    struct Case {
        int32_t zx, zy, stored_x, stored_y;
    };
    const Case cases[] = {{512, 128, 512, 128}, {0, -5, 1, 1}, {255, 257, 255, 257}, {256, 256, 256, 256}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.zx) + "x" + std::to_string(c.zy));
        l.SetZoomX(c.zx);
        l.SetZoomY(c.zy);
        EXPECT_EQ(l.GetZoomX(), c.stored_x);
        EXPECT_EQ(l.GetZoomY(), c.stored_y);
        EXPECT_EQ(l.GetWidth(), int64_t(nw) * c.stored_x / 256);
        EXPECT_EQ(l.GetHeight(), int64_t(nh) * c.stored_y / 256);
    }
}

TEST_F(Label, OpacityCodesDrawCoverBlendAndAdd) {
    TVorqLabel& l = *label("H", 24);
    l.SetLeft(10);
    l.SetTop(10);
    draw();
    // A pixel fully inside the stroke of the H, found at 255.
    int px = -1, py = -1;
    for (int y = 10; y < 34 && px < 0; ++y)
        for (int x = 10; x < 40; ++x)
            if (near(at(x, y), 0xFFFFFF)) {
                px = x;
                py = y;
                break;
            }
    ASSERT_GE(px, 0);
    // The background is a layer colour (0x00BBGGRR); want is the pixel
    // (0x00RRGGBB). The blends scale by 255/256, hence a level or two.
    struct Case {
        int32_t alpha;
        uint32_t background, want;
    };
    const Case cases[] = {
        {255, 0x302010, 0xFFFFFF},
        {0, 0x302010, 0x102030},
        {128, 0x000000, 0x808080},
        // Additive codes add the colour at level code - 256, saturating;
        // they never reach the plain blend.
        {256 + 64, 0x302010, 0x506070},
        {256 + 200, 0x808080, 0xFFFFFF},
        {1000, 0x000000, 0xFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.alpha);
        l.SetAlpha(c.alpha);
        reg->ActiveBase()->SetColor(static_cast<int32_t>(c.background));
        reg->ActiveBase()->InvalidateWhole();
        reg->Draw();
        reg->ClearDirty();
        const uint32_t got = at(px, py);
        for (int shift : {0, 8, 16})
            EXPECT_NEAR(int((got >> shift) & 0xFF), int((c.want >> shift) & 0xFF), 2) << std::hex << got;
    }
}

TEST_F(Label, ZoomAndTurnRedrawTheSameCoverage) {
    // Without antialiasing the coverage is 0 or 255: a 200 % label is the
    // 100 % one with every pixel doubled.
    TVorqLabel& l = *label("Fg", 16);
    l.SetLeft(4);
    l.SetTop(4);
    draw();
    std::vector<uint32_t> plain;
    const int32_t w = l.GetWidth(), h = l.GetHeight();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) plain.push_back(at(4 + x, 4 + y));
    const int plain_lit = lit(Bounds(4, 4, w, h));
    ASSERT_GT(plain_lit, 10);

    l.SetZoomX(512);
    l.SetZoomY(512);
    draw();
    ASSERT_EQ(l.GetWidth(), 2 * w);
    int mismatches = 0;
    for (int y = 0; y < 2 * h; ++y)
        for (int x = 0; x < 2 * w; ++x) mismatches += !near(at(4 + x, 4 + y), plain[size_t(y / 2 * w + x / 2)]);
    EXPECT_EQ(mismatches, 0);

    // A quarter turn about the top-left corner: the same ink, width and
    // height exchanged, and the covered area is the label's rectangle.
    l.SetZoomX(256);
    l.SetZoomY(256);
    l.SetLeft(60);
    l.SetTop(40);
    l.SetAngle(64);
    draw();
    const TRect r = l.GetRect();
    EXPECT_NEAR(r.Right - r.Left, h, 1);
    EXPECT_NEAR(r.Bottom - r.Top, w, 1);
    EXPECT_NEAR(lit(Bounds(0, 0, 160, 120)), plain_lit, plain_lit / 20);
    const TRect i = ink();
    EXPECT_GE(i.Left, r.Left);
    EXPECT_LE(i.Right, r.Right);
    EXPECT_GE(i.Top, r.Top);
    EXPECT_LE(i.Bottom, r.Bottom);

    // Mirrored at 100 %: the ink is the plain ink reflected (about the
    // offset point, as every object mirrors, so it lies left of LEFT).
    l.SetAngle(0);
    l.SetLeft(40);
    l.SetTop(4);
    l.SetFlipH(true);
    draw();
    const int32_t sx = l.GetScreenX();
    EXPECT_EQ(sx, 40 - (w - 1));
    mismatches = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) mismatches += !near(at(sx + x, 4 + y), plain[size_t(y * w + (w - 1 - x))]);
    EXPECT_EQ(mismatches, 0);
}

TEST_F(Label, AlphaZeroHidesTheLabelAndItsChildren) {
    TVorqLabel& l = *label("Hidden", 16);
    auto* child = static_cast<TVorqBox*>(CreateObjectByType(reg.get(), LT_BOX));
    child->SetParent(&l);
    child->SetColor(0x00FF00);
    child->SetWidth(4);
    child->SetHeight(4);
    draw();
    EXPECT_EQ(at(1, 1), static_cast<uint32_t>(screen.ColorToPixel(0x00FF00)) & 0xFFFFFF);
    EXPECT_GT(lit(Bounds(0, 0, 160, 120)), 16);
    l.SetAlpha(0);
    draw();
    EXPECT_EQ(lit(Bounds(0, 0, 160, 120)), 0);
}

TEST_F(Label, AFontOfNoSizeLeavesNothingOfTheOldText) {
    TVorqLabel& l = *label("Gone", 16);
    draw();
    ASSERT_GT(lit(Bounds(0, 0, 160, 120)), 10);
    // No size to draw at: the boxes of the old text must not draw through
    // the old mask.
    for (int32_t height : {0, -3}) {
        SCOPED_TRACE(height);
        l.SetFontHeight(height);
        EXPECT_EQ(l.GetFontHeight(), 0);
        EXPECT_EQ(l.GetWidth(), 0);
        EXPECT_TRUE(l.LineRects().empty());
        draw();
        EXPECT_EQ(lit(Bounds(0, 0, 160, 120)), 0);
    }
}

TEST_F(Label, HitTestsTurnThePointBack) {
    TVorqLabel& l = *label("Hit", 16);
    l.SetLeft(50);
    l.SetTop(50);
    const int32_t w = l.GetWidth(), h = l.GetHeight();
    struct Case {
        int32_t angle;
        TPoint p;
        bool hit;
    };
    const Case cases[] = {
        {0, {50, 50}, true},        {0, {50 + w - 1, 50 + h - 1}, true}, {0, {50 + w, 50}, false},
        {0, {49, 50}, false},
        // A quarter turn clockwise about the top-left corner swings the
        // label down-left of it.
        {64, {50 - h + 1, 50 + 1}, true}, {64, {51, 51}, false},       {64, {50 - 2, 50 + w - 2}, true},
        {128, {50 - w + 1, 50 - h + 1}, true}, {128, {52, 52}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.angle) + " at " + std::to_string(c.p.X) + "," + std::to_string(c.p.Y));
        l.SetAngle(c.angle);
        EXPECT_EQ(l.HitTest(c.p, kMaskPointer) == &l, c.hit);
    }
    l.SetAngle(0);
    l.SetIgnoreMouse(IM_ALL);
    EXPECT_EQ(l.HitTest(TPoint{51, 51}, kMaskPointer), nullptr);
}

struct CountingMotion : TControlMotion {
    static int made;
    bool ended = false;
    int restarts = 0;
    bool Step() override { return false; }
    bool Ended() const override { return ended; }
    void Restart() override { ++restarts; }
    void ClearTarget() override {}
    void Reapply() override {}
};
int CountingMotion::made = 0;

TEST_F(Label, SourceAttachesOnlyMotionFiles) {
    SetMotionMaker([](TVorqControl&, const std::string&) -> std::unique_ptr<TControlMotion> {
        ++CountingMotion::made;
        return std::make_unique<CountingMotion>();
    });
    CountingMotion::made = 0;
    TVorqLabel& l = *label("m");
    l.SetSource("walk.VMT");
    ASSERT_NE(l.GetMotion(), nullptr);
    EXPECT_EQ(CountingMotion::made, 1);
    // REPEAT rewinds a motion that has ended.
    static_cast<CountingMotion*>(l.GetMotion())->ended = true;
    l.SetRepeat(true);
    EXPECT_EQ(static_cast<CountingMotion*>(l.GetMotion())->restarts, 1);
    l.SetSource("picture.bmp");
    EXPECT_EQ(l.GetMotion(), nullptr);
    EXPECT_EQ(CountingMotion::made, 1);
    EXPECT_EQ(l.GetSource(), "picture.bmp");
}

TEST_F(Label, FilmLabelTracksDriveALabel) {
    // A film of one label track, 4 frames long, moving from (10, 20) to
    // (40, 20): the label is made on the layer, takes the track's text and
    // font, moves, and goes when the track ends.
    TFilmWriter w;
    w.Header(160, 120, -1);
    w.TrackCount(1);
    TFilmWriter::ImageBlock b;
    b.x_from = 10, b.y_from = 20, b.x_to = 40, b.y_to = 20;
    w.Track(1, -1, 4, 0, 0, 3);
    w.Label(b, "Film", 0, "", 16, 2, 0, 0x00FF00, 0);
    TFilmManager film;
    TMemoryStream s;
    s.WriteBuffer(w.Bytes().data(), int64_t(w.Bytes().size()));
    s.SetPosition(0);
    film.LoadFromStream(s, "a.vcm");
    film.SetTarget(reg.get());
    film.Start();
    film.SetFrame(0);
    TVorqLabel* made = nullptr;
    for (int32_t i = 0; i < reg->GetObjectCount(); ++i)
        if (auto* l = dynamic_cast<TVorqLabel*>(reg->GetObjectAt(i))) made = l;
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetText(), "Film");
    EXPECT_EQ(made->GetFontHeight(), 16);
    EXPECT_EQ(made->GetLineSpace(), 2);
    EXPECT_EQ(made->GetFontColor(), 0x00FF00);
    EXPECT_EQ(made->GetLeft(), 10);
    EXPECT_EQ(made->GetTop(), 20);
    EXPECT_EQ(made->GetHeight(), 18);
    EXPECT_GT(made->GetWidth(), 0);
    EXPECT_NE(made->GetParent(), nullptr);
    film.SetFrame(2);
    EXPECT_GT(made->GetLeft(), 10);
    EXPECT_LT(made->GetLeft(), 40);
    film.SetFrame(10);
    reg->Update();
    int labels = 0;
    for (int32_t i = 0; i < reg->GetObjectCount(); ++i) labels += dynamic_cast<TVorqLabel*>(reg->GetObjectAt(i)) != nullptr;
    EXPECT_EQ(labels, 0);
}

std::string saved(TVorqObject& o) {
    TMemoryStream s;
    o.SaveToStream(s);
    return std::string(reinterpret_cast<const char*>(s.Memory()), size_t(s.GetSize()));
}

TEST_F(Label, SavedRecordReadsBackAndRefusesTruncation) {
    TVorqLabel& l = *label(Sjis("二行の\nラベル"), 20);
    l.SetLeft(7);
    l.SetLineSpace(2);
    l.SetFontColor(0x123456);
    l.SetHAlign(1);
    l.SetAntialias(true);
    l.SetAngle(9);
    l.SetZoomX(300);
    l.SetZoomY(512);
    l.SetAlpha(400);
    l.SetFlipV(true);
    l.SetOnIdle("*idle");
    l.SetOnPlayEnd("*end");
    l.SetPaused(true);
    const std::string bytes = saved(l);

    auto* back = static_cast<TVorqLabel*>(CreateObjectByType(reg.get(), LT_LABEL));
    TMemoryStream in;
    in.WriteBuffer(bytes.data(), int64_t(bytes.size()));
    in.SetPosition(0);
    back->LoadFromStream(in, 130);
    EXPECT_EQ(saved(*back), bytes);
    EXPECT_EQ(back->GetText(), l.GetText());
    // The loaded vertical zoom sizes the label, as the horizontal one does.
    EXPECT_EQ(back->GetHeight(), l.NaturalHeight() * 2);
    EXPECT_EQ(back->GetWidth(), l.NaturalWidth() * 300 / 256);

    for (size_t n = 0; n < bytes.size(); ++n) {
        SCOPED_TRACE(n);
        auto* cut = static_cast<TVorqLabel*>(CreateObjectByType(reg.get(), LT_LABEL));
        TMemoryStream s;
        s.WriteBuffer(bytes.data(), int64_t(n));
        s.SetPosition(0);
        EXPECT_THROW(cut->LoadFromStream(s, 130), Exception);
        cut->FreeNow();
    }
    // Any byte replaced: read or refused, never a fault.
    for (size_t i = 0; i < bytes.size(); ++i) {
        auto* copy = static_cast<TVorqLabel*>(CreateStoredObject(reg.get(), LT_LABEL));
        std::string bad = bytes;
        bad[i] = char(bad[i] ^ 0xA5);
        TMemoryStream s;
        s.WriteBuffer(bad.data(), int64_t(bad.size()));
        s.SetPosition(0);
        try {
            copy->LoadFromStream(s, 130);
            copy->SetParent(reg->ActiveBase());
            draw();
        } catch (const ECorruptData&) {
        }
        copy->FreeNow();
    }
}

TEST_F(Label, OldRecordsAndDamagedFontsAreRead) {
    TVorqLabel& l = *label("old", 16);
    // Version 103 ends with the text: ZOOMY and what came with it stay as made.
    TMemoryStream old;
    WriteOldControlRecord(old, 103, "old");
    WriteStreamString(old, l.GetFontName());
    WriteStreamInteger(old, 16);
    WriteStreamInteger(old, 0);
    WriteStreamByte(old, 0);
    WriteStreamInteger(old, 255);
    WriteStreamInteger(old, 0xFFFFFF);
    for (int i = 0; i < 4; ++i) WriteStreamByte(old, 0);
    WriteStreamInteger(old, 0);
    WriteStreamInteger(old, 512);
    WriteStreamString(old, "old");
    old.SetPosition(0);
    auto* back = static_cast<TVorqLabel*>(CreateObjectByType(reg.get(), LT_LABEL));
    back->LoadFromStream(old, 103);
    EXPECT_EQ(old.Remaining(), 0);
    EXPECT_EQ(back->GetText(), "old");
    EXPECT_EQ(back->GetZoomY(), 256);
    EXPECT_EQ(back->GetWidth(), l.NaturalWidth() * 2);
    EXPECT_EQ(back->GetHeight(), 16);

    // Set by a script, a font height no screen can show is held at the
    // largest a label draws; in a record it is damage, not a reason to
    // allocate.
    l.SetFontHeight(1 << 20);
    EXPECT_EQ(l.GetFontHeight(), 2048);
    std::string bytes = saved(l);
    const size_t height_at = bytes.find(l.GetFontName()) + l.GetFontName().size();
    ASSERT_EQ(bytes.substr(height_at, 4), std::string("\x00\x08\x00\x00", 4));
    bytes[height_at + 2] = 0x10;
    auto* bad = static_cast<TVorqLabel*>(CreateObjectByType(reg.get(), LT_LABEL));
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), int64_t(bytes.size()));
    s.SetPosition(0);
    EXPECT_THROW(bad->LoadFromStream(s, 130), Exception);
}

}  // namespace
