// Pre-rendered single-line labels of list boxes and menus: every label of a
// list shares one font, measures itself once, renders its characters
// through the glyph cache into its own colour surface and 8-bit mask, and
// is composited onto the list's target wherever it is drawn.
#pragma once
#include "platform/text/fonts.h"
#include "platform/filesystem/stream.h"
#include "render/custom_dibx.h"
#include "render/dibx.h"
#include "render/surface_maker.h"

#include <functional>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class TWzLabelList;

// A label's colour and mask surfaces are made unsized (TDIBX unless the
// owner asks for another memory kind).

class TWzLabelDIB {
public:
    explicit TWzLabelDIB(TWzLabelList& owner);

    // Marks the label dirty when the text changes.
    void SetText(const std::string& text);
    const std::string& Text() const { return FText; }
    // Renders the characters into the label's surfaces (needs the list's target).
    void Render();
    // Composites the label onto the list's target at (x, y), rendering first
    // when dirty or when the target's depth changed.
    void Draw(int32_t x, int32_t y);

    TCustomDIBX& ColourSurface() { return *FColour; }
    TCustomDIBX& MaskSurface() { return *FMask; }

    uint8_t Dirty = 1;
    int32_t Height = 0;
    int32_t Width = 0;
    std::vector<int32_t> CharWidths;  // one per character

private:
    std::unique_ptr<TCustomDIBX> FColour;
    std::unique_ptr<TCustomDIBX> FMask;
    TWzLabelList& FOwner;
    std::string FText;
};

class TWzLabelList {
public:
    // A label is one line of a list box or menu on the game's screen: a
    // font taller than this or an edge wider than this fits no window (and
    // would size huge surfaces and glyphs). The owners' setters clamp to
    // these bounds and the loader refuses only values beyond them, so that
    // every setting a list holds can be saved and loaded again.
    static constexpr int32_t kMaxFontSize = 512;
    static constexpr int32_t kMaxEdgeWidth = 64;
    static int32_t ClampFontSize(int32_t size);
    // Border and shadow widths.
    static int32_t ClampEdgeWidth(int32_t width);

    TWzLabelList();
    explicit TWzLabelList(TSurfaceMaker makeSurface);
    ~TWzLabelList();
    TWzLabelList(const TWzLabelList&) = delete;
    TWzLabelList& operator=(const TWzLabelList&) = delete;

    TWzLabelDIB* AddLabel();
    // nil outside 0..Count()-1.
    TWzLabelDIB* GetLabel(int32_t index) const;
    int32_t Count() const { return static_cast<int32_t>(FLabels.size()); }
    void Clear() { FLabels.clear(); }

    // Reads the font's metrics and measures every label.
    void Measure();
    // The largest label width, 0 for an empty list.
    int32_t MaxWidth() const;
    // Changes the size only (clamped); labels are not marked dirty.
    void SetFontSize(int32_t size);
    void InvalidateAll();

    void SaveToStream(TStream& s) const;
    // Reads settings stored by a list of the given version.
    void LoadFromStream(TStream& s, int32_t version);

    int32_t Quality = 3;
    TCustomDIBX* Target = nullptr;  // set by the owner, not stored
    int32_t BorderWidth = 0;
    int32_t Opacity = 255;
    int32_t FontSize = 12;
    std::string FontName;  // Shift-JIS; "ＭＳ Ｐゴシック" by default
    uint32_t Colour = 0xFFFFFF;
    uint32_t BorderColour = 0;
    uint8_t Style = 0;  // bits 1 bold, 2 italic, 4 underline, 8 strike-out
    OutlineTextMetric TextMetrics{};
    int32_t ShadowWidth = 0;
    uint32_t ShadowColour = 0;

private:
    friend class TWzLabelDIB;
    std::unique_ptr<Font> CreateFont() const;
    void MeasureLabel(TWzLabelDIB& label, Font& font, std::unordered_map<uint16_t, int32_t>& cache);

    TSurfaceMaker FMakeSurface;
    std::vector<std::unique_ptr<TWzLabelDIB>> FLabels;
};
