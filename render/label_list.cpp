#include "render/label_list.h"

#include "files/field_reader.h"
#include "files/save_stream.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "render/font_pixel.h"

#include <algorithm>
#include <bit>

namespace {

// The character codes of a Shift-JIS text; a lone lead byte at the end is
// a character of its own.
std::vector<uint16_t> char_codes(const std::string& text) {
    std::vector<uint16_t> codes;
    codes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t b = static_cast<uint8_t>(text[i]);
        if (IsDBCSLeadByte(b) && i + 1 < text.size()) {
            codes.push_back(static_cast<uint16_t>(b << 8 | static_cast<uint8_t>(text[i + 1])));
            ++i;
        } else {
            codes.push_back(b);
        }
    }
    return codes;
}

void check_range(FieldReader& r, int32_t v, int32_t lo, int32_t hi, const char* field) {
    if (v < lo || v > hi) r.Fail(field);
}

}  // namespace

// ---- TWzLabelDIB ----

TWzLabelDIB::TWzLabelDIB(TWzLabelList& owner)
    : FColour(owner.FMakeSurface(0, 0, 0)), FMask(owner.FMakeSurface(0, 0, 8)), FOwner(owner) {
    if (!FColour || !FMask) throw Exception("TWzLabelDIB: no surface");
}

void TWzLabelDIB::SetText(const std::string& text) {
    if (text == FText) return;
    FText = text;
    Dirty = 1;
}

void TWzLabelDIB::Render() {
    TCustomDIBX* target = FOwner.Target;
    if (!target) return;
    const std::vector<uint16_t> codes = char_codes(FText);
    // Widths measured for another text would index past the characters.
    if (CharWidths.size() != codes.size()) {
        auto font = FOwner.CreateFont();
        std::unordered_map<uint16_t, int32_t> cache;
        FOwner.MeasureLabel(*this, *font, cache);
    }
    const int32_t bits = target->BitCount();
    if (FColour->Width() != Width || FColour->Height() != Height || FColour->BitCount() != bits) {
        FColour->SetSize(Width, Height, bits);
        FMask->SetSize(Width, Height, 8);
    }
    if (Width != 0 && Height != 0) {
        FMask->Fill(0);
        TFontPixelManager& glyphs = FontPixelManager();
        glyphs.SetQuality(FOwner.Quality);
        const uint32_t fill = static_cast<uint32_t>(target->ColorToPixel(static_cast<int32_t>(FOwner.Colour)));
        const uint32_t border = static_cast<uint32_t>(target->ColorToPixel(static_cast<int32_t>(FOwner.BorderColour)));
        const uint32_t shadow = static_cast<uint32_t>(target->ColorToPixel(static_cast<int32_t>(FOwner.ShadowColour)));
        int32_t x = 0;
        TRect out;
        for (size_t k = 0; k < codes.size(); ++k) {
            // The glyph is used before the next request, which may evict it.
            const TFontPixel* g = glyphs.RenderGlyph(codes[k], FOwner.FontName, FOwner.FontSize, FOwner.Style);
            g->DrawTo(*FColour, *FMask, Bounds(x, 0, CharWidths[k], FOwner.FontSize), FOwner.BorderWidth,
                      FOwner.ShadowWidth, k == 0, k + 1 == codes.size(), fill, border, shadow, out, false);
            x += CharWidths[k];
        }
    }
    Dirty = 0;
}

void TWzLabelDIB::Draw(int32_t x, int32_t y) {
    TCustomDIBX* target = FOwner.Target;
    if (!target) return;
    if (Dirty || FColour->BitCount() != target->BitCount()) Render();
    if (FMask->IsEmpty()) return;
    const TRect r = FMask->BoundsRect();
    if (FOwner.BorderWidth == 0 && FOwner.ShadowWidth == 0) {
        const uint32_t fill = static_cast<uint32_t>(target->ColorToPixel(static_cast<int32_t>(FOwner.Colour)));
        target->FillMask(x, y, *FMask, r, false, false, fill, FOwner.Opacity);
    } else if (FOwner.Opacity < 255) {
        target->DrawMaskAlpha(x, y, *FColour, r, false, false, *FMask, FOwner.Opacity);
    } else {
        target->DrawMask(x, y, *FColour, r, false, false, *FMask);
    }
}

// ---- TWzLabelList ----

TWzLabelList::TWzLabelList()
    : TWzLabelList([](int32_t, int32_t, int32_t) -> std::unique_ptr<TCustomDIBX> { return std::make_unique<TDIBX>(); }) {}

TWzLabelList::TWzLabelList(TSurfaceMaker makeSurface)
    : FontName(Sjis("ＭＳ Ｐゴシック")), FMakeSurface(std::move(makeSurface)) {
    if (!FMakeSurface) throw Exception("TWzLabelList: no surface maker");
}
TWzLabelList::~TWzLabelList() = default;

TWzLabelDIB* TWzLabelList::AddLabel() {
    FLabels.push_back(std::make_unique<TWzLabelDIB>(*this));
    return FLabels.back().get();
}

TWzLabelDIB* TWzLabelList::GetLabel(int32_t index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return FLabels[static_cast<size_t>(index)].get();
}

std::unique_ptr<Font> TWzLabelList::CreateFont() const {
    LogFont lf;
    lf.FaceName = FontName;  // an empty name gives the default face
    lf.Height = FontSize;
    lf.Weight = (Style & fsBold) ? FW_BOLD : FW_NORMAL;
    lf.Italic = (Style & fsItalic) ? 1 : 0;
    lf.Underline = (Style & fsUnderline) ? 1 : 0;
    lf.StrikeOut = (Style & fsStrikeOut) ? 1 : 0;
    lf.CharSet = SHIFTJIS_CHARSET;
    return std::make_unique<Font>(lf);
}

void TWzLabelList::MeasureLabel(TWzLabelDIB& label, Font& font, std::unordered_map<uint16_t, int32_t>& cache) {
    const TextMetric& tm = font.Metrics().otmTextMetrics;
    const std::vector<uint16_t> codes = char_codes(label.Text());
    label.Height = tm.tmHeight + 2 * BorderWidth;
    label.CharWidths.assign(codes.size(), 0);
    label.Width = 0;
    for (size_t k = 0; k < codes.size(); ++k) {
        AbcWidths abc;
        auto it = cache.find(codes[k]);
        int32_t w;
        if (it != cache.end()) {
            w = it->second;
        } else {
            font.GetCharABCWidths(codes[k], abc);
            w = abc.abcA + static_cast<int32_t>(abc.abcB) + abc.abcC + tm.tmOverhang + 2 * BorderWidth;
            cache.emplace(codes[k], w);
        }
        // The last character keeps its overhang beyond the advance.
        if (k + 1 == codes.size()) {
            font.GetCharABCWidths(codes[k], abc);
            if (abc.abcC < 0) w -= abc.abcC;
        }
        label.CharWidths[k] = w;
        label.Width += w;
    }
}

void TWzLabelList::Measure() {
    auto font = CreateFont();
    TextMetrics = font->Metrics();
    std::unordered_map<uint16_t, int32_t> cache;
    for (auto& label : FLabels) MeasureLabel(*label, *font, cache);
}

int32_t TWzLabelList::MaxWidth() const {
    int32_t w = 0;
    for (const auto& label : FLabels) w = std::max(w, label->Width);
    return w;
}

int32_t TWzLabelList::ClampFontSize(int32_t size) { return std::clamp(size, -kMaxFontSize, kMaxFontSize); }

int32_t TWzLabelList::ClampEdgeWidth(int32_t width) { return std::clamp(width, 0, kMaxEdgeWidth); }

void TWzLabelList::SetFontSize(int32_t size) { FontSize = ClampFontSize(size); }

void TWzLabelList::InvalidateAll() {
    for (auto& label : FLabels) label->Dirty = 1;
}

void TWzLabelList::SaveToStream(TStream& s) const {
    WriteStreamInteger(s, Quality);
    WriteStreamInteger(s, BorderWidth);
    WriteStreamInteger(s, Opacity);
    WriteStreamInteger(s, FontSize);
    WriteStreamString(s, FontName);
    WriteStreamInteger(s, static_cast<int32_t>(Colour));
    WriteStreamInteger(s, static_cast<int32_t>(BorderColour));
    WriteStreamByte(s, Style);
    static_assert(std::endian::native == std::endian::little, "the metric record is stored little-endian");
    s.WriteBuffer(&TextMetrics, sizeof(TextMetrics));
    WriteStreamInteger(s, ShadowWidth);
    WriteStreamInteger(s, static_cast<int32_t>(ShadowColour));
}

void TWzLabelList::LoadFromStream(TStream& s, int32_t version) {
    FieldReader r(s, "TWzLabelList: corrupt settings");
    int32_t quality = r.I32("quality");
    // Older lists stored the platform's smoothing choice; anything finer than
    // 1 meant smoothed text.
    if (version < 109) quality = quality < 2 ? 0 : 3;
    const int32_t border = r.I32("border width");
    check_range(r, border, 0, kMaxEdgeWidth, "border width");
    const int32_t opacity = r.I32("opacity");
    const int32_t size = r.I32("font size");
    check_range(r, size, -kMaxFontSize, kMaxFontSize, "font size");
    // Any name a script gave is kept: a face that does not exist draws in
    // the default one.
    std::string name = r.String("font name");
    const uint32_t colour = r.U32("colour");
    const uint32_t borderColour = r.U32("border colour");
    const uint8_t style = r.U8("style");
    OutlineTextMetric metrics;
    r.Bytes(&metrics, sizeof(metrics), "text metrics");
    int32_t shadow = ShadowWidth;
    uint32_t shadowColour = ShadowColour;
    if (version >= 122) {
        shadow = r.I32("shadow width");
        check_range(r, shadow, 0, kMaxEdgeWidth, "shadow width");
        shadowColour = r.U32("shadow colour");
    }
    Quality = quality;
    BorderWidth = border;
    Opacity = opacity;
    FontSize = size;
    FontName = std::move(name);
    Colour = colour;
    BorderColour = borderColour;
    Style = style;
    TextMetrics = metrics;
    ShadowWidth = shadow;
    ShadowColour = shadowColour;
}
