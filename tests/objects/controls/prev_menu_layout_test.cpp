// Prepared-menu layout files from our writer: which fields each version
// carries, files that are not layouts, and damaged files refused.
#include "objects/controls/prev_menu_layout.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "tests/support/prev_menu_writer.h"

#include <gtest/gtest.h>

namespace {

TContSelButton full_button(const std::string& name) {
    TContSelButton b;
    b.X = 12;
    b.Y = -3;
    b.NormalMotion = "n.vmt";
    b.CaptureMask = 1;
    b.Name = name;
    b.HoverMotion = "h.vmt";
    b.LeaveMotion = "l.vmt";
    b.ClickMotion = "c.vmt";
    b.DisabledMotion = "d.vmt";
    b.DisabledHoverMotion = "dh.vmt";
    b.DisabledLeaveMotion = "dl.vmt";
    b.HoverOverlay = "ho.vmt";
    b.LeaveOverlay = "lo.vmt";
    b.ClickOverlay = "co.vmt";
    b.DisabledHoverOverlay = "dho.vmt";
    b.DisabledLeaveOverlay = "dlo.vmt";
    b.OverlayX = 5;
    b.OverlayY = 6;
    b.Cursor = "hand.cur";
    return b;
}

TContSelList read(const std::string& bytes, const std::string& folder = "") {
    TMemoryStream s;
    s.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    TContSelList list;
    list.Width = 99;
    list.LoadFromStream(s, folder);
    return list;
}

TEST(PrevMenuLayout, EachVersionReadsItsGatedFields) {
    struct Case {
        int version;
        bool disabled, disabled_overlays, disabled_hover_leave;
    } cases[] = {{100, false, false, false}, {101, true, false, false}, {102, true, true, false},
                 {103, true, true, true}, {150, true, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        TContSelList in;
        in.Width = 320;
        in.Height = 200;
        in.Buttons = {full_button("Start"), full_button("Quit")};
        const TContSelList out = read(PrevMenuWriter::Write(in, c.version));
        EXPECT_EQ(out.Width, 320);
        EXPECT_EQ(out.Height, 200);
        ASSERT_EQ(out.TopLevelCount(), 2);
        const TContSelButton& b = *out.TopLevelButton(1);
        EXPECT_EQ(b.Name, "Quit");
        EXPECT_EQ(b.X, 12);
        EXPECT_EQ(b.Y, -3);
        EXPECT_EQ(b.CaptureMask, 1);
        EXPECT_EQ(b.NormalMotion, "n.vmt");
        EXPECT_EQ(b.ClickMotion, "c.vmt");
        EXPECT_EQ(b.ClickOverlay, "co.vmt");
        EXPECT_EQ(b.DisabledMotion, c.disabled ? "d.vmt" : "");
        EXPECT_EQ(b.DisabledHoverOverlay, c.disabled_overlays ? "dho.vmt" : "");
        EXPECT_EQ(b.DisabledLeaveOverlay, c.disabled_overlays ? "dlo.vmt" : "");
        EXPECT_EQ(b.DisabledHoverMotion, c.disabled_hover_leave ? "dh.vmt" : "");
        EXPECT_EQ(b.DisabledLeaveMotion, c.disabled_hover_leave ? "dl.vmt" : "");
        EXPECT_EQ(b.OverlayX, 5);
        EXPECT_EQ(b.OverlayY, 6);
        EXPECT_EQ(b.Cursor, "hand.cur");
        EXPECT_EQ(out.TopLevelButton(2), nullptr);
    }
}

TEST(PrevMenuLayout, NamesAreMadeWholeFromTheLayoutFolder) {
    TContSelList in;
    TContSelButton b = full_button("A");
    b.NormalMotion = "btn\\n.vmt";
    b.HoverMotion = "\\abs.vmt";
    b.LeaveMotion = "x";  // one byte: kept as is
    in.Buttons = {b};
    const TContSelList out = read(PrevMenuWriter::Write(in, 103), "menu\\");
    ASSERT_EQ(out.TopLevelCount(), 1);
    EXPECT_EQ(out.Buttons[0].NormalMotion, "menu\\btn\\n.vmt");
    EXPECT_EQ(out.Buttons[0].HoverMotion, "\\abs.vmt");
    EXPECT_EQ(out.Buttons[0].LeaveMotion, "x");
    // The name is not a file name.
    EXPECT_EQ(out.Buttons[0].Name, "A");
}

TEST(PrevMenuLayout, StreamsThatAreNotLayoutsGiveAnEmptyOne) {
    TContSelList in;
    in.Width = 10;
    in.Height = 20;
    in.Buttons = {full_button("A")};
    const std::string good = PrevMenuWriter::Write(in, 103);
    struct Case {
        const char* what;
        std::string bytes;
        int32_t width;
    } cases[] = {
        {"version 099", PrevMenuWriter::Write(in, 99), 0},
        {"tag in lower case", PrevMenuWriter::Write(in, 103, "vorqprevmenu"), 0},
        {"letters for digits", "VorqPrevMenu1x3" + good.substr(15), 0},
        {"empty", "", 0},
        {"short tag", "VorqPrev", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TContSelList out = read(c.bytes);
        EXPECT_EQ(out.TopLevelCount(), 0);
        EXPECT_EQ(out.Width, c.width);
    }
    // Count 0 and negative counts: no buttons, the size still read.
    for (int32_t n : {0, -5}) {
        std::string bytes = PrevMenuWriter::Write(TContSelList{10, 20, {}}, 103);
        bytes.replace(23, 4, std::string(reinterpret_cast<const char*>(&n), 4));
        const TContSelList out = read(bytes);
        EXPECT_EQ(out.TopLevelCount(), 0);
        EXPECT_EQ(out.Width, 10);
        EXPECT_EQ(out.Height, 20);
    }
}

TEST(PrevMenuLayout, DamagedLayoutsAreRefused) {
    TContSelList in;
    in.Width = 10;
    in.Height = 20;
    in.Buttons = {full_button("A"), full_button("B")};
    const std::string good = PrevMenuWriter::Write(in, 103);
    // Every cut after the tag runs out inside a field.
    for (size_t n = 12; n < good.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_THROW(read(good.substr(0, n)), ECorruptData);
    }
    // A count far beyond the bytes left, and a string length past the end.
    std::string big = good;
    const int32_t huge = 0x7FFFFFFF;
    big.replace(23, 4, std::string(reinterpret_cast<const char*>(&huge), 4));
    EXPECT_THROW(read(big), ECorruptData);
    std::string long_name = good;
    long_name.replace(35, 4, std::string("\xF0\xFF\xFF\x0F", 4));
    EXPECT_THROW(read(long_name), ECorruptData);
    // Any single byte replaced: read or refused, never anything else.
    for (size_t i = 15; i < good.size(); ++i) {
        std::string bad = good;
        bad[i] = static_cast<char>(0xFF);
        try {
            read(bad);
        } catch (const ECorruptData&) {
        }
    }
}

}  // namespace
