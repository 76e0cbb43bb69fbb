#include "chrome/canvas.h"
#include "platform/text/codepage.h"
#include "render/font_pixel.h"

#include <algorithm>

namespace {
// The chrome's own glyph cache.
TFontPixelManager& glyphs() {
    static TFontPixelManager cache;
    return cache;
}

// Each character of a Shift-JIS text as its code: one byte, or lead * 256 + trail.
template <class F>
void for_each_code(const std::string& s, F f) {
    for (size_t i = 0; i < s.size();) {
        const uint8_t b = static_cast<uint8_t>(s[i]);
        if (IsDBCSLeadByte(b) && i + 1 < s.size()) {
            f(static_cast<uint16_t>(b << 8 | static_cast<uint8_t>(s[i + 1])));
            i += 2;
        } else {
            f(static_cast<uint16_t>(b));
            ++i;
        }
    }
}

int32_t advance_of(const TFontPixel& g) { return g.Left + g.GetWidth() + g.ExtraAdvance; }
}  // namespace

ChromeFont DefaultChromeFont() { return ChromeFont{Sjis("ＭＳ Ｐゴシック"), -12, 0}; }

int32_t Caption::AccessKey() const {
    if (Access < 0 || Access >= static_cast<int32_t>(Text.size())) return 0;
    const char c = Text[static_cast<size_t>(Access)];
    if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return c;
    return 0;
}

Caption ParseCaption(const std::string& sjis) {
    Caption c;
    for (size_t i = 0; i < sjis.size(); ++i) {
        const char ch = sjis[i];
        if (IsDBCSLeadByte(ch) && i + 1 < sjis.size()) {
            c.Text += ch;
            c.Text += sjis[++i];
        } else if (ch == '&' && i + 1 < sjis.size()) {
            if (sjis[i + 1] != '&' && c.Access < 0) c.Access = static_cast<int32_t>(c.Text.size());
            c.Text += sjis[++i];
            if (IsDBCSLeadByte(sjis[i]) && i + 1 < sjis.size()) c.Text += sjis[++i];
        } else {
            c.Text += ch;
        }
    }
    return c;
}

void ChromeCanvas::SetSize(int32_t width, int32_t height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    pixels_.assign(static_cast<size_t>(width_) * height_, 0);
}

uint32_t ChromeCanvas::Pixel(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    return pixels_[static_cast<size_t>(y) * width_ + x];
}

void ChromeCanvas::Fill(const TRect& r, uint32_t colour) {
    const TRect c = IntersectRects(r, TRect{0, 0, width_, height_});
    for (int32_t y = c.Top; y < c.Bottom; ++y) {
        uint32_t* row = pixels_.data() + static_cast<size_t>(y) * width_;
        std::fill(row + c.Left, row + c.Right, colour);
    }
}

void ChromeCanvas::HLine(int32_t x1, int32_t x2, int32_t y, uint32_t colour) { Fill(TRect{x1, y, x2, y + 1}, colour); }

void ChromeCanvas::VLine(int32_t x, int32_t y1, int32_t y2, uint32_t colour) { Fill(TRect{x, y1, x + 1, y2}, colour); }

void ChromeCanvas::Edges(const TRect& r, uint32_t top_left, uint32_t bottom_right) {
    HLine(r.Left, r.Right - 1, r.Top, top_left);
    VLine(r.Left, r.Top, r.Bottom - 1, top_left);
    HLine(r.Left, r.Right, r.Bottom - 1, bottom_right);
    VLine(r.Right - 1, r.Top, r.Bottom, bottom_right);
}

void ChromeCanvas::DottedFrame(const TRect& r, uint32_t colour) {
    auto dot = [&](int32_t x, int32_t y) {
        if (x >= 0 && y >= 0 && x < width_ && y < height_ && ((x + y) & 1) == 0)
            pixels_[static_cast<size_t>(y) * width_ + x] = colour;
    };
    for (int32_t x = r.Left; x < r.Right; ++x) {
        dot(x, r.Top);
        dot(x, r.Bottom - 1);
    }
    for (int32_t y = r.Top; y < r.Bottom; ++y) {
        dot(r.Left, y);
        dot(r.Right - 1, y);
    }
}

int32_t ChromeCanvas::TextWidth(const std::string& sjis, const ChromeFont& font) {
    int32_t w = 0;
    for_each_code(sjis, [&](uint16_t code) { w += advance_of(*glyphs().RenderGlyph(code, font.Name, font.Size, font.Style)); });
    return w;
}

int32_t ChromeCanvas::TextHeight(const ChromeFont& font) { return font.Size < 0 ? -font.Size : font.Size; }

void ChromeCanvas::blend(int32_t x, int32_t y, uint32_t colour, uint32_t a) {
    uint32_t& d = pixels_[static_cast<size_t>(y) * width_ + x];
    if (a >= 255) {
        d = colour;
        return;
    }
    const uint32_t b = 255 - a;
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t c = (colour >> shift) & 0xFF, o = (d >> shift) & 0xFF;
        out |= ((c * a + o * b + 127) / 255) << shift;
    }
    d = out;
}

void ChromeCanvas::DrawText(int32_t x, int32_t y, const std::string& sjis, const ChromeFont& font,
                            uint32_t colour, const TRect& clip) {
    const TRect c = IntersectRects(clip, TRect{0, 0, width_, height_});
    if (RectIsEmpty(c)) return;
    for_each_code(sjis, [&](uint16_t code) {
        const TFontPixel& g = *glyphs().RenderGlyph(code, font.Name, font.Size, font.Style);
        const int32_t gx = x + g.Left, gy = y + g.Top, gw = g.GetWidth();
        const uint8_t* cov = g.Pixels();
        const int32_t y0 = std::max(gy, c.Top), y1 = std::min(gy + g.GetHeight(), c.Bottom);
        const int32_t x0 = std::max(gx, c.Left), x1 = std::min(gx + gw, c.Right);
        for (int32_t py = y0; py < y1; ++py) {
            const uint8_t* row = cov + static_cast<size_t>(py - gy) * gw;
            for (int32_t px = x0; px < x1; ++px)
                if (row[px - gx]) blend(px, py, colour, row[px - gx]);
        }
        x += advance_of(g);
    });
}

void ChromeCanvas::DrawCaption(int32_t x, int32_t y, const Caption& caption, const ChromeFont& font,
                               uint32_t colour, const TRect& clip) {
    DrawText(x, y, caption.Text, font, colour, clip);
    if (caption.Access < 0) return;
    const size_t at = static_cast<size_t>(caption.Access);
    const size_t len = IsDBCSLeadByte(caption.Text[at]) && at + 1 < caption.Text.size() ? 2 : 1;
    const int32_t left = x + TextWidth(caption.Text.substr(0, at), font);
    const int32_t right = left + TextWidth(caption.Text.substr(at, len), font);
    // On the last row of the cell, so that a label as tall as its font shows it.
    const int32_t line = y + TextHeight(font) - 1;
    if (line >= clip.Top && line < clip.Bottom)
        HLine(std::max(left, clip.Left), std::min(right, clip.Right), line, colour);
}
