// Character-sheet labels: cells chosen by each character's place in the
// map text (double-byte characters as one), gaps for missing characters and
// for cells the sheet does not hold, alignment, sizes, opacity, the
// animated sheet, and the saved record (same bytes back, the gate of its
// idle handler, truncations refused).
#include "script/game_clock.h"
#include "files/save_stream.h"
#include "objects/base_list.h"
#include "objects/basic/box.h"
#include "objects/text/cg_label.h"
#include "objects/object_kinds.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "render/dibx.h"
#include "tests/objects/images/image_pictures.h"
#include "tests/objects/old_control_record.h"
#include "tests/objects/kind_scene.h"
#include "tests/objects/record_io.h"

#include <gtest/gtest.h>

namespace {

// The ten digits in one row of 10 x 20 cells; cell k is red (k + 1) * 20.
int32_t digit_cell_colour(int32_t x, int32_t) { return (x / 10 + 1) * 20; }

class CGLabel : public KindScene {
protected:
    MemoryPictures pictures;

    void SetUp() override {
        SetDisplayBitCount(32);
        pictures.Add("digits.tes", {{100, 20, 100, digit_cell_colour}});
        pictures.Add("blink.tes", {{20, 10, 100, [](int32_t, int32_t) { return 0x0000FF; }},
                                   {20, 10, 50, [](int32_t, int32_t) { return 0x00FF00; }}});
        ServePictures(&pictures);
        FrameTime = 10;
        OpenScene(120, 80);
    }
    TVorqCGLabel* digits(const std::string& text, const std::string& map = "0123456789") {
        auto* l = Make<TVorqCGLabel>(LT_CGLABEL, Layer());
        l->SetSource("digits.tes");
        l->SetMapText(map);
        l->SetGlyphWidth(10);
        l->SetGlyphHeight(20);
        l->SetText(text);
        return l;
    }
    // The red level of each glyph-wide block of one row: the cell drawn
    // there (0 = none).
    std::vector<int> cells_at(int y, int blocks, int width = 10, int x0 = 0) const {
        std::vector<int> v;
        for (int b = 0; b < blocks; ++b) {
            const uint32_t p = screen.GetPixel(x0 + b * width + width / 2, y) & 0xFFFFFF;
            v.push_back(p == 0 ? -1 : int(p >> 16) / 20 - 1);
        }
        return v;
    }
};

TEST(CGLabelCells, CharactersMapToTheirPlaceInTheMapText) {
    struct Case {
        const char* what;
        std::string text, map;
        std::vector<std::vector<int32_t>> cells;
    };
    const Case cases[] = {
        {"digits", "2024", "0123456789", {{2, 0, 2, 4}}},
        {"missing characters", "1x 9", "0123456789", {{1, -1, -1, 9}}},
        {"lines", "12\r\n3\n\r4\n", "0123456789", {{1, 2}, {3}, {}, {4}}},
        {"double-byte as one", Sjis("２a０"), Sjis("０１２a"), {{2, 3, 0}}},
        // A trail byte that looks like a single-byte character is not one.
        {"trail byte", Sjis("ー"), "[", {{-1}}},
        {"empty", "", "0123", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CGLabelCells(c.text, c.map), c.cells);
    }
}

TEST_F(CGLabel, DigitsComeFromTheirCells) {
    TVorqCGLabel& l = *digits("2024");
    EXPECT_EQ(l.GetWidth(), 40);
    EXPECT_EQ(l.GetHeight(), 20);
    EXPECT_EQ(l.GetOrigWidth(), 100);
    EXPECT_EQ(l.GetOrigHeight(), 20);
    draw();
    EXPECT_EQ(cells_at(10, 5), (std::vector<int>{2, 0, 2, 4, -1}));

    // A character not in the map and a cell beyond the sheet leave gaps.
    TVorqCGLabel& g = *digits("1xA9", "0123456789A");
    g.SetTop(40);
    draw();
    EXPECT_EQ(cells_at(50, 4), (std::vector<int>{1, -1, -1, 9}));
}

TEST_F(CGLabel, LinesAlignAndSize) {
    struct Case {
        uint8_t align;
        int32_t line_space;
        int second_start;
    };
    const Case cases[] = {{0, 0, 0}, {1, 0, 10}, {2, 0, 20}, {9, 4, 20}, {1, -5, 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.align));
        reg->ResetScene();
        screen.Fill(0);
        TVorqCGLabel& l = *digits("123\n4");
        l.SetHAlign(c.align);
        l.SetLineSpace(c.line_space);
        EXPECT_EQ(l.GetWidth(), 30);
        EXPECT_EQ(l.GetHeight(), 40 + c.line_space);
        draw();
        std::vector<int> want(3, -1);
        want[size_t(c.second_start / 10)] = 4;
        EXPECT_EQ(cells_at(20 + c.line_space + 10, 3), want);
    }
    // Cells narrower than the sheet's columns are cut from the same grid.
    reg->ResetScene();
    TVorqCGLabel& l = *digits("8");
    l.SetGlyphWidth(0);
    EXPECT_EQ(l.GetGlyphWidth(), 1);
    l.SetGlyphWidth(20);
    EXPECT_EQ(l.GetWidth(), 20);
    draw();
    // Cell 8 of a 20-pixel grid is beyond the five cells of the row: a gap.
    EXPECT_EQ(screen.GetPixel(5, 10) & 0xFFFFFF, 0u);
}

TEST_F(CGLabel, AlphaZeroDrawsOnlyTheChildren) {
    TVorqCGLabel& l = *digits("77");
    auto* child = static_cast<TVorqBox*>(CreateObjectByType(reg.get(), LT_BOX));
    child->SetParent(&l);
    child->SetColor(0xFF0000);
    child->SetWidth(3);
    child->SetHeight(3);
    l.SetAlpha(0);
    draw();
    EXPECT_EQ(screen.GetPixel(1, 1) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(cells_at(10, 2), (std::vector<int>{-1, -1}));
    l.SetAlpha(128);
    draw();
    // Half of cell 7's red (160) over black.
    EXPECT_NEAR(int(screen.GetPixel(15, 10) >> 16 & 0xFF), 80, 2);
}

TEST_F(CGLabel, AnAnimatedSheetStepsUnlessPaused) {
    auto* l = static_cast<TVorqCGLabel*>(CreateObjectByType(reg.get(), LT_CGLABEL));
    l->SetParent(reg->ActiveBase());
    l->SetSource("blink.tes");
    EXPECT_EQ(l->CurrentFrame(), 0);
    // The first frame shows for its 100 ms and one more, the second for 50.
    for (int i = 0; i < 10; ++i) l->Update();
    EXPECT_EQ(l->CurrentFrame(), 0);
    l->Update();
    EXPECT_EQ(l->CurrentFrame(), 1);
    l->SetAniPaused(true);
    for (int i = 0; i < 20; ++i) l->Update();
    EXPECT_EQ(l->CurrentFrame(), 1);
    EXPECT_FALSE(l->GetPlaying());
    l->SetAniPaused(false);
    for (int i = 0; i < 4; ++i) l->Update();
    EXPECT_EQ(l->CurrentFrame(), 1);
    for (int i = 0; i < 2; ++i) l->Update();
    EXPECT_EQ(l->CurrentFrame(), 0);
    // A sheet that is not there leaves no frame and draws nothing.
    l->SetSource("none.tes");
    l->SetSource("");
    EXPECT_EQ(l->CurrentFrame(), -1);
    EXPECT_EQ(l->GetOrigWidth(), 0);
}

std::vector<uint8_t> saved(TVorqObject& o) {
    TMemoryStream s;
    o.SaveToStream(s);
    return std::vector<uint8_t>(s.Bytes().begin(), s.Bytes().end());
}

TEST_F(CGLabel, SavedRecordReadsBackAndRefusesTruncation) {
    TVorqCGLabel& l = *digits(Sjis("12\n3"), "0123456789");
    l.SetLineSpace(3);
    l.SetHAlign(2);
    l.SetAlpha(300);
    l.SetPaused(true);
    l.SetOnIdle("*tick");
    const std::vector<uint8_t> bytes = saved(l);
    auto load = [&](size_t n, int32_t version) {
        auto* copy = static_cast<TVorqCGLabel*>(CreateStoredObject(reg.get(), LT_CGLABEL));
        TMemoryStream in;
        if (n) in.WriteBuffer(bytes.data(), int64_t(n));
        in.SetPosition(0);
        copy->LoadFromStream(in, version);
        EXPECT_EQ(in.Remaining(), 0);
        return copy;
    };
    TVorqCGLabel* copy = load(bytes.size(), 130);
    EXPECT_EQ(saved(*copy), bytes);
    EXPECT_EQ(copy->GetWidth(), 20);
    EXPECT_EQ(copy->GetHeight(), 43);
    EXPECT_EQ(copy->Lines(), l.Lines());
    EXPECT_EQ(copy->CurrentFrame(), 0);
    for (size_t n = 0; n < bytes.size(); ++n) EXPECT_THROW(load(n, 130), ECorruptData) << n;
    // Any byte replaced: read or refused, never a fault.
    LoadEachDamagedByte<TVorqCGLabel>(*reg, LT_CGLABEL, bytes, 130, [&](TVorqCGLabel& copy) {
        copy.SetParent(reg->ActiveBase());
        draw();
    });

    // Before version 125 the record ends with ALPHA; sizes below 1 are 1.
    TMemoryStream old;
    WriteOldControlRecord(old, 124, "score");
    WriteStreamString(old, "digits.tes");
    WriteStreamString(old, "5");
    WriteStreamString(old, "0123456789");
    WriteStreamInteger(old, 0);
    WriteStreamInteger(old, -4);
    WriteStreamInteger(old, 0);
    WriteStreamByte(old, 0);
    WriteStreamByte(old, 0);
    WriteStreamInteger(old, 255);
    old.SetPosition(0);
    auto* back = static_cast<TVorqCGLabel*>(CreateStoredObject(reg.get(), LT_CGLABEL));
    back->LoadFromStream(old, 124);
    EXPECT_EQ(old.Remaining(), 0);
    EXPECT_EQ(back->GetOnIdle(), "");
    EXPECT_EQ(back->GetGlyphWidth(), 1);
    EXPECT_EQ(back->GetGlyphHeight(), 1);
    EXPECT_EQ(back->GetWidth(), 1);
    EXPECT_EQ(back->Lines(), (std::vector<std::vector<int32_t>>{{5}}));
}

}  // namespace
