// The drawing target of our window chrome: a 32-bit 0x00RRGGBB pixel
// image in the window's own format, with the few operations the widgets
// need (fills, lines, bevelled edges, a dotted focus frame) and text drawn
// through a glyph cache of its own, so the game's glyph quality and cache
// are left alone.
#pragma once
#include "platform/rect.h"

#include <cstdint>
#include <string>
#include <vector>

// System colours of the chrome.
namespace chrome_colour {
constexpr uint32_t Face = 0xD4D0C8;
constexpr uint32_t Highlight = 0xFFFFFF;
constexpr uint32_t Light = 0xD4D0C8;
constexpr uint32_t Shadow = 0x808080;
constexpr uint32_t DarkShadow = 0x404040;
constexpr uint32_t Text = 0x000000;
constexpr uint32_t GrayText = 0x808080;
constexpr uint32_t Window = 0xFFFFFF;
}  // namespace chrome_colour

// A font of the chrome: Shift-JIS face name; size as a font request takes
// it (negative = character height in pixels).
struct ChromeFont {
    std::string Name;
    int32_t Size = -12;
    uint8_t Style = 0;
};
// "ＭＳ Ｐゴシック" with a character height of 12 pixels.
ChromeFont DefaultChromeFont();

// A caption with its access-key marker: "&S" underlines S and makes it
// the key; "&&" is a plain "&".
struct Caption {
    std::string Text;     // Shift-JIS, markers removed
    int32_t Access = -1;  // byte offset in Text of the underlined character
    // The access key as a virtual-key code (an upper-case letter or digit), 0 when none.
    int32_t AccessKey() const;
};
Caption ParseCaption(const std::string& sjis);

class ChromeCanvas {
public:
    void SetSize(int32_t width, int32_t height);
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    const uint32_t* Pixels() const { return pixels_.data(); }
    uint32_t Pixel(int32_t x, int32_t y) const;

    void Fill(const TRect& r, uint32_t colour);
    void HLine(int32_t x1, int32_t x2, int32_t y, uint32_t colour);  // x2 exclusive
    void VLine(int32_t x, int32_t y1, int32_t y2, uint32_t colour);  // y2 exclusive
    // One-pixel edges: top and left in one colour, bottom and right in the other.
    void Edges(const TRect& r, uint32_t top_left, uint32_t bottom_right);
    // Every other pixel of the rectangle's outline.
    void DottedFrame(const TRect& r, uint32_t colour);

    // Advance width of the text in the font.
    static int32_t TextWidth(const std::string& sjis, const ChromeFont& font);
    static int32_t TextHeight(const ChromeFont& font);
    // Draws the text with its cell's top-left corner at (x, y), blending the
    // glyphs' coverage over what is there; nothing outside clip.
    void DrawText(int32_t x, int32_t y, const std::string& sjis, const ChromeFont& font, uint32_t colour,
                  const TRect& clip);
    // A caption: its text, and the access character underlined.
    void DrawCaption(int32_t x, int32_t y, const Caption& caption, const ChromeFont& font, uint32_t colour,
                     const TRect& clip);

private:
    void blend(int32_t x, int32_t y, uint32_t colour, uint32_t coverage);

    int32_t width_ = 0;
    int32_t height_ = 0;
    std::vector<uint32_t> pixels_;
};
