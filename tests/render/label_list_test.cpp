// Text label lists on plain-buffer surfaces with the installed IPA faces.
#include "files/save_stream.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/text/fonts.h"
#include "platform/filesystem/stream.h"
#include "render/font_pixel.h"
#include "render/label_list.h"
#include "tests/support/plain_dibx.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace {

TSurfaceMaker plain_maker() {
    return [](int32_t, int32_t, int32_t) { return std::make_unique<TPlainDIBX>(); };
}

LogFont font_of(const TWzLabelList& list) {
    LogFont lf;
    lf.FaceName = list.FontName;
    lf.Height = list.FontSize;
    lf.Weight = (list.Style & fsBold) ? FW_BOLD : FW_NORMAL;
    lf.Italic = (list.Style & fsItalic) ? 1 : 0;
    return lf;
}

int count_set(TPlainDIBX& s, uint32_t value, TRect r) {
    int n = 0;
    for (int y = r.Top; y < r.Bottom; ++y)
        for (int x = r.Left; x < r.Right; ++x) n += s.GetPixel(x, y) == value;
    return n;
}

}  // namespace

TEST(LabelList, DefaultsAndLabelAccess) {
    TWzLabelList list(plain_maker());
    EXPECT_EQ(list.Quality, 3);
    EXPECT_EQ(list.Opacity, 255);
    EXPECT_EQ(list.FontSize, 12);
    EXPECT_EQ(list.FontName, Sjis("ＭＳ Ｐゴシック"));
    EXPECT_EQ(list.Colour, 0xFFFFFFu);
    EXPECT_EQ(list.MaxWidth(), 0);
    TWzLabelDIB* a = list.AddLabel();
    TWzLabelDIB* b = list.AddLabel();
    EXPECT_EQ(list.GetLabel(0), a);
    EXPECT_EQ(list.GetLabel(1), b);
    EXPECT_EQ(list.GetLabel(2), nullptr);
    EXPECT_EQ(list.GetLabel(-1), nullptr);
    EXPECT_TRUE(a->Dirty);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_THROW(TWzLabelList(nullptr), Exception);
}

TEST(LabelList, MeasureSumsAdvancesAndBorders) {
    TWzLabelList list(plain_maker());
    list.FontSize = 20;
    list.BorderWidth = 2;
    TWzLabelDIB* label = list.AddLabel();
    label->SetText(Sjis("Aあ1"));
    TWzLabelDIB* empty = list.AddLabel();
    list.Measure();
    Font font(font_of(list));
    const TextMetric& tm = font.Metrics().otmTextMetrics;
    EXPECT_EQ(list.TextMetrics.otmTextMetrics.tmHeight, 20);
    EXPECT_EQ(label->Height, 20 + 4);
    ASSERT_EQ(label->CharWidths.size(), 3u);
    const uint16_t codes[3] = {'A', 0x82A0, '1'};
    int sum = 0;
    for (int k = 0; k < 3; ++k) {
        // Advances of the face are checked against Pillow in the font tests.
        EXPECT_EQ(label->CharWidths[k], font.TextExtentWidth(codes[k]) + tm.tmOverhang + 4);
        sum += label->CharWidths[k];
    }
    EXPECT_EQ(label->Width, sum);
    EXPECT_EQ(empty->Width, 0);
    EXPECT_EQ(empty->Height, 24);
    EXPECT_EQ(list.MaxWidth(), sum);
    // Setting the same text keeps the label clean; another marks it dirty.
    label->Dirty = 0;
    label->SetText(Sjis("Aあ1"));
    EXPECT_FALSE(label->Dirty);
    label->SetText("x");
    EXPECT_TRUE(label->Dirty);
    // The size changes without marking labels dirty; InvalidateAll does.
    label->Dirty = 0;
    list.SetFontSize(30);
    EXPECT_EQ(list.FontSize, 30);
    EXPECT_FALSE(label->Dirty);
    list.InvalidateAll();
    EXPECT_TRUE(label->Dirty && empty->Dirty);
}

TEST(LabelList, LastCharacterKeepsItsOverhang) {
    TWzLabelList list(plain_maker());
    list.FontSize = 40;
    list.Style = fsItalic;
    TWzLabelDIB* last = list.AddLabel();
    TWzLabelDIB* inner = list.AddLabel();
    last->SetText("Af");
    inner->SetText("fA");
    list.Measure();
    Font font(font_of(list));
    AbcWidths abc;
    font.GetCharABCWidths('f', abc);
    ASSERT_LT(abc.abcC, 0) << "a slanted f reaches past its advance";
    // The cached plain width serves inside the label, the corrected one at its end.
    EXPECT_EQ(inner->CharWidths[0], font.TextExtentWidth('f'));
    EXPECT_EQ(last->CharWidths[1], font.TextExtentWidth('f') - abc.abcC);
}

TEST(LabelList, DrawFillsTheListColourThroughTheMask) {
    TWzLabelList list(plain_maker());
    TPlainDIBX target(120, 60, 32);
    list.Target = &target;
    list.FontSize = 24;
    list.Colour = 0x3366CC;  // 0x00BBGGRR
    TWzLabelDIB* label = list.AddLabel();
    label->SetText(Sjis("字"));
    list.Measure();
    label->Draw(10, 5);
    EXPECT_FALSE(label->Dirty);
    auto& mask = static_cast<TPlainDIBX&>(label->MaskSurface());
    EXPECT_EQ(mask.Width(), label->Width);
    EXPECT_EQ(mask.Height(), label->Height);
    // The surface's masked fill weighs a full mask 255/256 (its blends shift
    // by 8): over black each channel v becomes (v * 255) >> 8.
    const uint32_t colour = static_cast<uint32_t>(target.ColorToPixel(0x3366CC));
    const uint32_t pixel = ((0xCCu * 255 >> 8) << 16) | ((0x66u * 255 >> 8) << 8) | (0x33u * 255 >> 8);
    ASSERT_EQ(colour, 0xCC6633u);
    // Fully covered mask pixels take the colour, empty ones stay black.
    int full = 0, seen = 0;
    for (int y = 0; y < mask.Height(); ++y)
        for (int x = 0; x < mask.Width(); ++x) {
            const uint32_t m = mask.GetPixel(x, y);
            if (m == 255) {
                ++full;
                EXPECT_EQ(target.GetPixel(10 + x, 5 + y), pixel);
            } else if (m == 0) {
                EXPECT_EQ(target.GetPixel(10 + x, 5 + y), 0u);
            }
            seen += m != 0;
        }
    EXPECT_GT(full, 20);
    EXPECT_EQ(count_set(target, pixel, Bounds(0, 0, 120, 60)), full);
    // Half opacity gives a darker colour where the mask is full.
    TPlainDIBX faint(120, 60, 32);
    list.Target = &faint;
    list.Opacity = 128;
    label->Draw(10, 5);
    EXPECT_EQ(count_set(faint, pixel, Bounds(0, 0, 120, 60)), 0);
    EXPECT_GT(seen, full);
}

TEST(LabelList, BorderedLabelCompositesItsColourSurface) {
    TWzLabelList list(plain_maker());
    TPlainDIBX target(120, 60, 16);
    list.Target = &target;
    list.FontSize = 24;
    list.BorderWidth = 1;
    list.BorderColour = 0x0000FF;  // red
    list.ShadowWidth = 2;
    list.ShadowColour = 0x00FF00;  // green
    TWzLabelDIB* label = list.AddLabel();
    label->SetText(Sjis("■"));
    list.Measure();
    label->Draw(0, 0);
    auto& colour = static_cast<TPlainDIBX&>(label->ColourSurface());
    EXPECT_EQ(colour.BitCount(), 16);
    const uint32_t white = static_cast<uint32_t>(target.ColorToPixel(0xFFFFFF));
    const uint32_t red = static_cast<uint32_t>(target.ColorToPixel(0x0000FF));
    const uint32_t green = static_cast<uint32_t>(target.ColorToPixel(0x00FF00));
    EXPECT_GT(count_set(target, white, Bounds(0, 0, 120, 60)), 100);
    EXPECT_GT(count_set(target, red, Bounds(0, 0, 120, 60)), 20);
    EXPECT_GT(count_set(target, green, Bounds(0, 0, 120, 60)), 20);
    // A new depth of the target makes the label render again at its next draw.
    TPlainDIBX deeper(120, 60, 32);
    list.Target = &deeper;
    label->Draw(0, 0);
    EXPECT_EQ(colour.BitCount(), 32);
    EXPECT_GT(count_set(deeper, 0xFFFFFFu, Bounds(0, 0, 120, 60)), 100);
}

TEST(LabelList, EmptyTextRendersNothing) {
    TWzLabelList list(plain_maker());
    TPlainDIBX target(40, 40, 32);
    list.Target = &target;
    TWzLabelDIB* label = list.AddLabel();
    list.Measure();
    label->Draw(0, 0);
    EXPECT_EQ(label->Width, 0);
    EXPECT_EQ(count_set(target, 0, Bounds(0, 0, 40, 40)), 40 * 40);
    EXPECT_EQ(target.OpenLocks(), 0);
}

TEST(LabelList, TextChangedAfterMeasuringIsMeasuredAgain) {
    TWzLabelList list(plain_maker());
    TPlainDIBX target(200, 40, 32);
    list.Target = &target;
    TWzLabelDIB* label = list.AddLabel();
    label->SetText("ab");
    list.Measure();
    label->SetText(Sjis("長いテキスト"));
    label->Draw(0, 0);  // would index widths of two characters for six
    EXPECT_EQ(label->CharWidths.size(), 6u);
    EXPECT_GT(label->Width, 6 * 8);
}

TEST(LabelList, OldQualityOneRendersInTwoLevels) {
    TMemoryStream stored;
    {
        TWzLabelList old(plain_maker());
        old.Quality = 1;
        old.SaveToStream(stored);
    }
    stored.SetPosition(0);
    TWzLabelList list(plain_maker());
    list.LoadFromStream(stored, 108);
    EXPECT_EQ(list.Quality, 0);
    TPlainDIBX target(80, 40, 32);
    list.Target = &target;
    list.FontSize = 24;
    TWzLabelDIB* label = list.AddLabel();
    label->SetText(Sjis("あ"));
    list.Measure();
    label->Draw(0, 0);
    auto& mask = static_cast<TPlainDIBX&>(label->MaskSurface());
    std::set<uint32_t> values;
    for (int y = 0; y < mask.Height(); ++y)
        for (int x = 0; x < mask.Width(); ++x) values.insert(mask.GetPixel(x, y));
    EXPECT_EQ(values, (std::set<uint32_t>{0, 255}));
}

TEST(LabelListSettings, RoundTripAndVersionGates) {
    TWzLabelList a(plain_maker());
    a.Quality = 2;
    a.BorderWidth = 3;
    a.Opacity = 200;
    a.FontSize = 18;
    a.FontName = Sjis("ＭＳ 明朝");
    a.Colour = 0x123456;
    a.BorderColour = 0x654321;
    a.Style = fsBold | fsUnderline;
    a.ShadowWidth = 4;
    a.ShadowColour = 0xABCDEF;
    a.Measure();
    TMemoryStream s;
    a.SaveToStream(s);
    // quality, border, opacity, size, name, colour, border colour, style, metrics, shadow, shadow colour
    EXPECT_EQ(s.GetSize(), 4 + 4 + 4 + 4 + 4 + int64_t(a.FontName.size()) + 4 + 4 + 1 + 212 + 4 + 4);

    s.SetPosition(0);
    TWzLabelList b(plain_maker());
    b.LoadFromStream(s, 122);
    EXPECT_EQ(b.Quality, 2);
    EXPECT_EQ(b.BorderWidth, 3);
    EXPECT_EQ(b.Opacity, 200);
    EXPECT_EQ(b.FontSize, 18);
    EXPECT_EQ(b.FontName, a.FontName);
    EXPECT_EQ(b.Colour, 0x123456u);
    EXPECT_EQ(b.BorderColour, 0x654321u);
    EXPECT_EQ(b.Style, fsBold | fsUnderline);
    EXPECT_EQ(std::memcmp(&b.TextMetrics, &a.TextMetrics, 212), 0);
    EXPECT_EQ(b.TextMetrics.otmTextMetrics.tmHeight, 18);
    EXPECT_EQ(b.ShadowWidth, 4);
    EXPECT_EQ(b.ShadowColour, 0xABCDEFu);
    EXPECT_EQ(s.GetPosition(), s.GetSize());

    // Before 122 the shadow fields are absent and keep their values.
    s.SetPosition(0);
    TWzLabelList c(plain_maker());
    c.ShadowWidth = 7;
    c.ShadowColour = 0x777777;
    c.LoadFromStream(s, 121);
    EXPECT_EQ(c.ShadowWidth, 7);
    EXPECT_EQ(c.ShadowColour, 0x777777u);
    EXPECT_EQ(s.GetPosition(), s.GetSize() - 8);

    // Before 109 a stored quality below 2 reads as 0, any other as 3.
    for (auto [stored, read] : {std::pair{0, 0}, std::pair{1, 0}, std::pair{2, 3}, std::pair{5, 3}}) {
        TMemoryStream q;
        a.Quality = stored;
        a.SaveToStream(q);
        q.SetPosition(0);
        TWzLabelList d(plain_maker());
        d.LoadFromStream(q, 108);
        EXPECT_EQ(d.Quality, read) << stored;
    }
}

TEST(LabelListSettings, DamagedSettingsAreRefused) {
    TWzLabelList a(plain_maker());
    TMemoryStream good;
    a.SaveToStream(good);
    // Cut inside the metric record.
    TMemoryStream cut;
    cut.WriteBuffer(good.Memory(), good.GetSize() - 100);
    cut.SetPosition(0);
    TWzLabelList b(plain_maker());
    EXPECT_THROW(b.LoadFromStream(cut, 122), Exception);
    EXPECT_EQ(b.FontSize, 12);  // nothing half-loaded
    // An absurd font size would size gigantic surfaces.
    TMemoryStream big;
    WriteStreamInteger(big, 3);
    WriteStreamInteger(big, 0);
    WriteStreamInteger(big, 255);
    WriteStreamInteger(big, 1 << 30);
    big.SetPosition(0);
    EXPECT_THROW(b.LoadFromStream(big, 122), ECorruptData);
    TMemoryStream border;
    WriteStreamInteger(border, 3);
    WriteStreamInteger(border, -5);
    border.SetPosition(0);
    EXPECT_THROW(b.LoadFromStream(border, 122), ECorruptData);
}

TEST(LabelList, LabelsOwnMemorySurfacesByDefault) {
    TWzLabelList list;
    TPlainDIBX target(80, 40, 32);
    list.Target = &target;
    list.FontSize = 24;
    list.BorderWidth = 1;
    TWzLabelDIB* label = list.AddLabel();
    label->SetText(Sjis("字"));
    list.Measure();
    label->Draw(4, 4);
    EXPECT_NE(dynamic_cast<TDIBX*>(&label->ColourSurface()), nullptr);
    EXPECT_EQ(label->ColourSurface().BitCount(), 32);
    EXPECT_EQ(label->MaskSurface().BitCount(), 8);
    EXPECT_EQ(label->MaskSurface().Width(), label->Width);
    EXPECT_GT(count_set(target, 0xFFFFFFu, Bounds(0, 0, 80, 40)), 30);
}
