// The glyph cache: one character of one font, size, style and quality
// rasterised into an 8-bit coverage bitmap (TFontPixel), the 256 most
// recently used kept by TFontPixelManager, and the routines that paint a
// glyph with border, shadow, underline and strike-out into a colour
// surface and its 8-bit opacity mask.
//
// A glyph pointer is valid only until the next RenderGlyph: a miss may
// evict and free any glyph. Main thread only.
#pragma once
#include "files/vocab.h"
#include "platform/rect.h"
#include "platform/text/fonts.h"
#include "render/custom_dibx.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A glyph request's style is the set of font style bits of files/vocab.h.

class TFontPixel;
void stamp_border(TCustomDIBX& target, TCustomDIBX& mask, int32_t x, int32_t y, const TFontPixel& g, uint32_t colour,
                  int32_t border, bool outside_only);

class TFontPixel {
public:
    int32_t GetWidth() const { return FWidth; }
    int32_t GetHeight() const { return FHeight; }
    bool IsEmpty() const { return FWidth <= 0 || FHeight <= 0; }
    // Coverage 0..255, GetWidth() bytes per row.
    const uint8_t* Pixels() const { return FPixels.data(); }

    // Paints the glyph into the cell (right and bottom exclusive) of a
    // colour surface and its 8-bit mask; out receives the area touched, an
    // empty rectangle at 0,0 for an empty glyph. Colours are pixel values
    // of the colour surface.
    void DrawTo(TCustomDIBX& colour, TCustomDIBX& mask, const TRect& cell, int32_t border, int32_t shadow,
                bool shadowRunStart, bool runEnd, uint32_t fill, uint32_t borderColour, uint32_t shadowColour,
                TRect& out, bool copyMode, bool bordersStamped = false) const;
    // Where DrawTo places the glyph's top-left in the cell (without border).
    TPoint Origin(const TRect& cell) const;

    uint16_t Code = 0;
    std::string FontName;
    int32_t Size = 0;
    uint8_t Style = 0;
    int32_t Quality = 0;
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t UnderlineThickness = 0;
    int32_t StrikeOutTop = 0;
    int32_t StrikeOutThickness = 0;
    int32_t ExtraAdvance = 0;
    // ABC widths of the character in the glyph's font, for centring.
    int32_t AbcA = 0;
    int32_t AbcB = 0;
    int32_t AbcC = 0;

    // Pixels of a border stamp (see StampPlanFor): positions from the
    // square's top-left, in runs that share whether some offset covers them
    // fully and how many partial coverages follow the last full one.
    struct StampPixel {
        uint16_t x, y;
    };
    struct StampRun {
        uint32_t pixels;  // how many StampPixels
        uint32_t count;   // partial coverages per pixel
        bool full;
    };

private:
    friend class TFontPixelManager;
    friend void stamp_border(TCustomDIBX&, TCustomDIBX&, int32_t, int32_t, const TFontPixel&, uint32_t, int32_t,
                             bool);
    void SetSize(int32_t width, int32_t height);

    // What stamping the glyph at every offset of a border square does to
    // each pixel of the square; it depends only on the glyph and the width,
    // so it is worked out once per glyph and border width.
    struct StampPlan {
        int32_t border = -1;  // -1: none built
        std::vector<StampRun> runs;
        std::vector<StampPixel> pixels;
        std::vector<uint8_t> coverage;  // run by run, pixel by pixel, in the order they apply
    };
    // outside_only leaves out the pixels the glyph itself covers, for a
    // caller that paints all of those afresh afterwards.
    // The plan pays for itself only when a glyph is stamped again with the
    // same width (pages drawn over and over); a first stamp goes direct.
    // nullptr means: stamp directly.
    const StampPlan* StampPlanFor(int32_t border, bool outside_only) const;
    mutable StampPlan FStamp[2];
    mutable int32_t FStampAsked[2] = {-1, -1};

    std::vector<uint8_t> FPixels;
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    // Recency list links (most recently used first).
    TFontPixel* FNewer = nullptr;
    TFontPixel* FOlder = nullptr;
};

class TFontPixelManager {
public:
    static constexpr int kCapacity = 256;

    TFontPixelManager();
    virtual ~TFontPixelManager();
    TFontPixelManager(const TFontPixelManager&) = delete;
    TFontPixelManager& operator=(const TFontPixelManager&) = delete;

    // The cached glyph for the key with the current quality, rasterised on a
    // miss. A glyph that cannot be rasterised is returned empty and is not
    // cached, so a later request tries again.
    TFontPixel* RenderGlyph(uint16_t code, const std::string& fontName, int32_t size, uint8_t style);
    // Exact key match (font name compared by bytes), first in bucket order.
    TFontPixel* FindGlyph(uint16_t code, const std::string& fontName, int32_t size, uint8_t style,
                          int32_t quality) const;

    int32_t Quality() const { return FQuality; }
    void SetQuality(int32_t quality) { FQuality = quality < 0 ? 0 : (quality > 3 ? 3 : quality); }
    int32_t Count() const { return FCount; }
    // Glyphs from most to least recently used (for tests and diagnostics).
    std::vector<const TFontPixel*> RecencyOrder() const;

    // The font of the last miss, its metrics as the platform reports them.
    const std::string& CurrentFontName() const { return FFontName; }

protected:
    // The glyph bitmap in a format from the platform fonts (GDI_ERROR when refused).
    virtual int64_t FetchGlyph(Font& font, uint16_t code, GlyphFormat format, GlyphMetrics& gm,
                               std::vector<uint8_t>& bits, AbcWidths& abc);

private:
    void SelectFont(const std::string& fontName, int32_t size, uint8_t style);
    bool Rasterise(TFontPixel& g);
    void LinkFront(TFontPixel* g);
    void Unlink(TFontPixel* g);
    void Evict(TFontPixel* g);

    std::array<std::unique_ptr<std::vector<TFontPixel*>>, 256> FBuckets;
    TFontPixel* FNewest = nullptr;
    TFontPixel* FOldest = nullptr;
    int32_t FCount = 0;
    int32_t FQuality = 3;
    std::unique_ptr<Font> FFont;
    std::string FFontName;
    int32_t FFontSize = 0;
    uint8_t FFontStyle = 0;
    bool FFontValid = false;
    TFontPixel FFailed;  // handed out, never cached, when rasterising fails
    std::vector<uint8_t> FScratch;
};

// The one glyph cache of the program.
TFontPixelManager& FontPixelManager();

// Clips the glyph rectangle placed at (x, y) to a target of the given size:
// the source origin moves by the part cut off on the left and top, width and
// height shrink by the part beyond right and bottom. False when nothing is left.
bool ClipGlyphRect(int32_t targetWidth, int32_t targetHeight, int32_t& x, int32_t& y, int32_t& srcX,
                   int32_t& srcY, int32_t& width, int32_t& height);

// Glyph painting at (x, y) of the target. Colour targets of 15, 16 and 32
// bits are written, other depths are left alone; masks are 8 bits.
void PaintSolid(TCustomDIBX& target, int32_t x, int32_t y, const TFontPixel& g, uint32_t colour);
void PaintTwoColour(TCustomDIBX& target, int32_t x, int32_t y, const TFontPixel& g, uint32_t colour1,
                    uint32_t colour2);
void PaintOver(TCustomDIBX& target, TCustomDIBX& mask, int32_t x, int32_t y, const TFontPixel& g,
               uint32_t colour);
void MaskFromCoverage(TCustomDIBX& mask, int32_t x, int32_t y, const TFontPixel& g);
void MaskMaxCoverage(TCustomDIBX& mask, int32_t x, int32_t y, const TFontPixel& g);
void MaskCopyCoverage(TCustomDIBX& mask, int32_t x, int32_t y, const TFontPixel& g);
void StampBorder(TCustomDIBX& target, TCustomDIBX& mask, int32_t x, int32_t y, const TFontPixel& g,
                 uint32_t colour, int32_t border);

// Stamping at every offset of the border square costs the square of the
// width per pixel. Up to this width (every border a page or a list really
// uses) that is what is drawn; a wider border takes, per pixel, the largest
// coverage within its square as one stamp, in time that grows with the
// area only.
constexpr int32_t kExactStampBorder = 8;

// Exact stamping of one glyph costs its square's area times the square of
// the width. A glyph so large that this passes kExactStampWork (about 220
// pixels at width 8, 1,000 at width 1) takes the wide border's way at any
// width: at that size the two differ by no more than the edge's shading,
// and a page of such glyphs draws in time that grows with its area.
constexpr int64_t kExactStampWork = int64_t{1} << 24;
inline bool ExactStampAffordable(int32_t glyphWidth, int32_t glyphHeight, int32_t border) {
    const int64_t b = border, side = 2 * b + 1;
    return (glyphWidth + 2 * b) * (glyphHeight + 2 * b) * side * side <= kExactStampWork;
}

// Glyphs of one line whose borders are wider than kExactStampBorder and
// share width, shadow and colours: their shadows and then their borders are
// stamped from the line's coverage dilated once, so a line costs its area
// whatever the number of glyphs. Where the glyphs' squares do not overlap
// the pixels are those DrawTo gives glyph after glyph; where they do, the
// line is outlined as one shape and no border covers a glyph of the line.
// Each glyph is then painted by DrawTo with bordersStamped.
struct BorderRunGlyph {
    const TFontPixel* glyph;
    TRect cell;
};
void StampBorderRun(TCustomDIBX& colour, TCustomDIBX& mask, const std::vector<BorderRunGlyph>& glyphs,
                    int32_t border, int32_t shadow, uint32_t borderColour, uint32_t shadowColour);
