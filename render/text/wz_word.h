// The rich-text object: the glyphs of one text with its default style, the
// off-screen pair its glyphs render into, the typewriter that reveals a page
// glyph by glyph, the stored glyph list ("WzWord" + 3 digits) and the saved
// display state. One per text-showing display object; main thread only.
#pragma once
#include "platform/rect.h"
#include "render/label_list.h"
#include "render/text/decorate.h"
#include "render/text/glyphs.h"
#include "render/text/layout.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class FieldReader;
class TCustomDIBX;
class TStream;

// What a stored glyph list of a damaged or hostile file may hold at most.
constexpr uint32_t kMaxStoredGlyphs = 1u << 20;  // row widths stay within 32 bits
constexpr uint32_t kMaxStoredDecorations = 1u << 20;

class TWzWord {
public:
    // What a text's default style can be laid out and drawn with. The
    // owners' setters and the text's tags clamp to these bounds and the
    // saved display state is refused only beyond them, so that whatever a
    // window holds loads again. An edge wider than a label's fits no window
    // either.
    static constexpr int32_t kMaxFontSize = 1024;         // either sign
    static constexpr int32_t kMaxLineSpacing = 1 << 16;   // either sign
    static constexpr int32_t kMaxEdgeWidth = 64;          // border, shadow
    static int32_t ClampFontSize(int32_t v);
    static int32_t ClampLineSpacing(int32_t v);
    static int32_t ClampEdgeWidth(int32_t v);

    TWzWord();
    // Off-screen surfaces made by makeSurface (TDIBX by default).
    explicit TWzWord(TSurfaceMaker makeSurface);
    ~TWzWord();
    TWzWord(const TWzWord&) = delete;
    TWzWord& operator=(const TWzWord&) = delete;

    // Frees every glyph, empties the decorations, resets the decoration
    // index base and the captured values.
    void Clear();
    void SetDelay(int32_t ms) { Delay = ms; }

    int32_t GlyphCount() const { return static_cast<int32_t>(glyphs_.size()); }
    // nullptr outside 0..count-1.
    TWdGlyph* GlyphAt(int32_t index) const;
    int32_t IndexOfGlyph(const TWdGlyph* g) const;
    TWdGlyph* InsertGlyph(int32_t index, std::unique_ptr<TWdGlyph> g);
    TWdGlyph* AddGlyph(std::unique_ptr<TWdGlyph> g) { return InsertGlyph(GlyphCount(), std::move(g)); }
    void DeleteGlyph(int32_t index);
    // Leading glyph count whose source items reach pos; -1 when that needs every glyph.
    int32_t GlyphOfSource(int32_t pos) const;
    int32_t SourceIndexOfGlyph(const TWdGlyph* g) const;

    // Appends the glyphs of a stored list; decoration indexes are offset by
    // DecorationIndexBase. Refuses damaged lists with ECorruptData.
    void LoadGlyphStream(TStream& s);
    // Appends copies of source's glyphs first..last (last < 0 or beyond: to its end).
    void AppendGlyphsFrom(const TWzWord& source, int32_t first, int32_t last);
    void ExpandVars(int32_t first, int32_t last);
    void RemoveVarGlyphs(int32_t first, int32_t last);
    void ReleaseSurfaces();
    void RestoreSurfaces();

    void AddDirtyRect(const TRect& r);
    void ClearDirtyRects() { DirtyRects.clear(); }
    void FireEvent(const std::string& name);

    // Display settings (not the glyphs): the saved display state.
    void SaveState(TStream& s) const;
    void LoadState(TStream& s, int32_t version);

    // Draws a laid-out page onto Target within UpdateRect.
    void DrawPage(TWdPage& page);

    TCustomDIBX& ColourSurface() { return *colour_; }
    TCustomDIBX& MaskSurface() { return *mask_; }
    TDecorateList& Decorations() { return decorations_; }
    const TDecorateList& Decorations() const { return decorations_; }

    int32_t FontSize = 12;
    std::string FontName;  // Shift-JIS; "ＭＳ ゴシック" by default
    uint32_t TextColor = 0;
    int32_t PageHeight = 0;
    int32_t ViewWidth = 0;  // 0: no wrapping, the widest row after layout
    int32_t LineSpacing = 0;
    int32_t ViewX = 0;
    int32_t ViewY = 0;
    TCustomDIBX* Target = nullptr;
    uint8_t Paging = 1;
    uint32_t LinkColor = 0xFF0000;
    uint32_t HoverColor = 0x8000;
    int32_t Delay = 1;  // fade-in of one glyph in ms; below 1: at once
    uint32_t BorderColor = 0x808080;
    TRect UpdateRect{};
    int32_t Opacity = 255;  // of images: 0..254 alpha, 255 opaque, 256.. additive
    uint8_t Pause = 0;
    std::function<void(const std::string&)> OnEvent;
    TPoint Caret{};
    int32_t Speed = 0;  // 8.8 factor of positive waits
    uint8_t EventsEnabled = 0;
    int32_t Quality = 3;
    uint32_t ShadowColor = 0;
    int32_t BorderWidth = 0;
    int32_t ShadowWidth = 0;
    std::vector<std::string> CapturedValues;  // NAME=value lines
    std::vector<TRect> DirtyRects;
    int32_t DecorationIndexBase = 0;

private:
    friend class TWdGlyph;
    TSurfaceMaker make_surface_;
    std::unique_ptr<TCustomDIBX> colour_;
    std::unique_ptr<TCustomDIBX> mask_;
    TDecorateList decorations_;
    std::vector<std::unique_ptr<TWdGlyph>> glyphs_;
};

// One frame of the typewriter on the shown page, tick ms after the last.
// finished is true once, in the frame after the page was all shown; log
// receives the text revealed this frame.
bool AdvanceTypewriter(TWdPage& page, uint32_t tick, std::string& log);

// The stored value of a captured NAME=value line list, and whether the name is there.
bool CapturedValue(const std::vector<std::string>& lines, const std::string& name, std::string& value);
