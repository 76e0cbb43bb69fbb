// Outline fonts in place of the platform's font services: face look-up by
// the names games use, the outline text metric record the engine stores,
// glyph bitmaps in the four glyph-outline formats, ABC widths and the list
// of installed Japanese faces. Backed by fontconfig and FreeType.
//
// Character codes are Shift-JIS codes: a single byte (0..255) or lead byte
// * 256 + trail byte. Face names are Shift-JIS, as the engine keeps them.
// Main thread only, like the rest of the engine.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

constexpr uint8_t SHIFTJIS_CHARSET = 128;
constexpr int32_t FW_NORMAL = 400;
constexpr int32_t FW_BOLD = 700;

// Pitch and family bits as the platform's font description carries them.
constexpr uint8_t DEFAULT_PITCH = 0;
constexpr uint8_t FIXED_PITCH = 1;
constexpr uint8_t VARIABLE_PITCH = 2;
constexpr uint8_t FF_ROMAN = 0x10;
constexpr uint8_t FF_SWISS = 0x20;
constexpr uint8_t FF_MODERN = 0x30;

// Text metric pitch-and-family bits (note: TMPF_FIXED_PITCH set means the
// font is NOT fixed pitch, as on the platform).
constexpr uint8_t TMPF_FIXED_PITCH = 0x01;
constexpr uint8_t TMPF_VECTOR = 0x02;
constexpr uint8_t TMPF_TRUETYPE = 0x04;

// The font description: what a caller asks for, and what enumeration gives.
struct LogFont {
    int32_t Height = 0;  // > 0: cell height (ascent + descent), < 0: em height, 0: default
    int32_t Width = 0;
    int32_t Escapement = 0;
    int32_t Orientation = 0;
    int32_t Weight = 0;  // 0 = normal; 600 and more is bold
    uint8_t Italic = 0;
    uint8_t Underline = 0;
    uint8_t StrikeOut = 0;
    uint8_t CharSet = 0;
    uint8_t PitchAndFamily = 0;
    std::string FaceName;  // Shift-JIS
};

// The platform's text metric record (narrow-character form), 56 bytes.
struct TextMetric {
    int32_t tmHeight;
    int32_t tmAscent;
    int32_t tmDescent;
    int32_t tmInternalLeading;
    int32_t tmExternalLeading;
    int32_t tmAveCharWidth;
    int32_t tmMaxCharWidth;
    int32_t tmWeight;
    int32_t tmOverhang;
    int32_t tmDigitizedAspectX;
    int32_t tmDigitizedAspectY;
    uint8_t tmFirstChar;
    uint8_t tmLastChar;
    uint8_t tmDefaultChar;
    uint8_t tmBreakChar;
    uint8_t tmItalic;
    uint8_t tmUnderlined;
    uint8_t tmStruckOut;
    uint8_t tmPitchAndFamily;
    uint8_t tmCharSet;
};
static_assert(sizeof(TextMetric) == 56);

struct Panose {
    uint8_t bFamilyType, bSerifStyle, bWeight, bProportion, bContrast;
    uint8_t bStrokeVariation, bArmStyle, bLetterform, bMidline, bXHeight;
};
static_assert(sizeof(Panose) == 10);

struct FontPoint32 { int32_t x, y; };
struct FontRect32 { int32_t left, top, right, bottom; };

// The platform's outline text metric record with 32-bit fields: the
// 212-byte form that label settings store. The four name fields are byte
// offsets from the start of the record to names that would follow it.
struct OutlineTextMetric {
    uint32_t otmSize;
    TextMetric otmTextMetrics;
    uint8_t otmFiller;
    Panose otmPanoseNumber;
    uint32_t otmfsSelection;
    uint32_t otmfsType;
    int32_t otmsCharSlopeRise;
    int32_t otmsCharSlopeRun;
    int32_t otmItalicAngle;  // tenths of a degree
    uint32_t otmEMSquare;
    int32_t otmAscent;
    int32_t otmDescent;
    uint32_t otmLineGap;
    uint32_t otmsCapEmHeight;
    uint32_t otmsXHeight;
    FontRect32 otmrcFontBox;
    int32_t otmMacAscent;
    int32_t otmMacDescent;
    uint32_t otmMacLineGap;
    uint32_t otmusMinimumPPEM;
    FontPoint32 otmptSubscriptSize;
    FontPoint32 otmptSubscriptOffset;
    FontPoint32 otmptSuperscriptSize;
    FontPoint32 otmptSuperscriptOffset;
    uint32_t otmsStrikeoutSize;
    int32_t otmsStrikeoutPosition;
    int32_t otmsUnderscoreSize;
    int32_t otmsUnderscorePosition;
    uint32_t otmpFamilyName;
    uint32_t otmpFaceName;
    uint32_t otmpStyleName;
    uint32_t otmpFullName;
};
static_assert(sizeof(OutlineTextMetric) == 212);
static_assert(offsetof(OutlineTextMetric, otmfsSelection) == 72);
static_assert(offsetof(OutlineTextMetric, otmsStrikeoutSize) == 180);

// Glyph-outline formats: values as the platform numbers them.
enum class GlyphFormat : uint32_t {
    Bitmap = 1,  // 1 bit per pixel, rows padded to 4 bytes, MSB first
    Gray2 = 4,   // one byte per pixel, levels 0..4, rows padded to 4 bytes
    Gray4 = 5,   // levels 0..16
    Gray8 = 6,   // levels 0..64
};
constexpr int64_t GDI_ERROR = -1;

struct GlyphMetrics {
    uint32_t gmBlackBoxX = 0;
    uint32_t gmBlackBoxY = 0;
    FontPoint32 gmptGlyphOrigin{0, 0};  // x right of the pen, y up from the baseline
    int16_t gmCellIncX = 0;
    int16_t gmCellIncY = 0;
};

struct AbcWidths {
    int32_t abcA = 0;
    uint32_t abcB = 0;
    int32_t abcC = 0;
};

struct FontFace;

// One created font: a face at a size with a style.
class Font {
public:
    // Never fails for an unknown name: the default Japanese face serves,
    // else fontconfig's choice. Raises Exception only when no usable face
    // is installed at all.
    explicit Font(const LogFont& request);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    const OutlineTextMetric& Metrics() const { return metrics_; }
    // UTF-8 family name of the face really used.
    const std::string& FamilyName() const;
    // Em size in pixels the face is rendered at.
    int32_t PixelsPerEm() const { return ppem_; }

    // The glyph of a Shift-JIS code in a format. Returns the number of
    // bytes of the bitmap (0 when the glyph has no outline, as a space),
    // or GDI_ERROR. When bits is not null it receives the bitmap; when abc
    // is not null it receives the ABC widths of the same outline, which
    // saves loading the glyph twice.
    int64_t GetGlyphOutline(uint16_t code, GlyphFormat format, GlyphMetrics& gm,
                            std::vector<uint8_t>* bits, AbcWidths* abc = nullptr);
    bool GetCharABCWidths(uint16_t code, AbcWidths& abc);
    // Advance width of one character, as a text extent measures it.
    int32_t TextExtentWidth(uint16_t code);

private:
    bool load(uint16_t code, bool mono);
    void abc_of_loaded(AbcWidths& abc) const;

    std::shared_ptr<FontFace> face_;
    void* size_ = nullptr;  // the face's size object of this font
    OutlineTextMetric metrics_{};
    int32_t ppem_ = 0;
    int32_t embolden_ = 0;  // 26.6 strength of synthetic bold, 0 for none
    bool oblique_ = false;
};

// The installed outline faces that cover Japanese, Shift-JIS names. The
// names games use for the common faces are included when their faces are
// installed. There are no vertical-writing ("@") faces on this platform.
std::vector<std::string> GetFontNames(bool sorted, bool include_vertical, bool fixed_only);
// The description of the face whose name equals name exactly (at the
// enumeration size), or an all-zero description when none does.
LogFont GetLogFontByName(const std::string& name);

// What the machine offers the player to draw text with: a Japanese face;
// only faces without Japanese, one of which stands in for every name (kana
// and kanji then show as its missing-glyph box); or no usable face at all,
// when every Font raises Exception.
enum class FontSupply { Japanese, OtherOnly, None };
// family, when not null, receives the UTF-8 family that serves by default.
FontSupply InstalledFontSupply(std::string* family = nullptr);

// Shift-JIS code to Unicode (0 when the code maps to nothing).
uint32_t SjisCodeToUnicode(uint16_t code);
