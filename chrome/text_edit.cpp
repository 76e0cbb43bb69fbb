#include "chrome/text_edit.h"

#include "platform/display/clipboard.h"
#include "platform/text/codepage.h"
#include "platform/display/keys.h"

#include <algorithm>

namespace {
constexpr int32_t kScrollBarWidth = 16;
constexpr int32_t kMargin = 2;
constexpr uint32_t kSelectionBack = 0x0A246A;
constexpr uint32_t kSelectionText = 0xFFFFFF;

// Byte length of the character at pos.
size_t char_len(const std::string& s, size_t pos) {
    return IsDBCSLeadByte(s[pos]) && pos + 1 < s.size() ? 2 : 1;
}

// One line fields hold no line breaks.
std::string strip_breaks(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != '\r' && c != '\n') out += c;
    return out;
}
}  // namespace

TextEdit::TextEdit(Form& form, const TRect& bounds, bool multi_line) : Widget(form, bounds), multi_line_(multi_line) {
    // The form gives the focus only to tab stops; Tab itself stays in the field.
    TabStop = true;
    layout();
}

void TextEdit::SetText(const std::string& sjis) {
    text_ = multi_line_ ? sjis : strip_breaks(sjis);
    caret_ = anchor_ = text_.size();
    layout();
    scroll_to_caret();
    Invalidate();
}

void TextEdit::Select(size_t anchor, size_t caret) {
    auto boundary = [&](size_t pos) {
        pos = std::min(pos, text_.size());
        size_t at = 0;
        while (at < pos) {
            const size_t next = at + char_len(text_, at);
            if (next > pos) break;
            at = next;
        }
        return at;
    };
    anchor_ = boundary(anchor);
    caret_ = boundary(caret);
    scroll_to_caret();
    Invalidate();
}

TRect TextEdit::text_area() const {
    TRect r = Bounds();
    r.Left += kMargin;
    r.Top += kMargin;
    r.Right -= kMargin + (multi_line_ ? kScrollBarWidth : 0);
    r.Bottom -= kMargin;
    return r;
}

int32_t TextEdit::visible_lines() const {
    const TRect a = text_area();
    return std::max(1, (a.Bottom - a.Top) / std::max(1, ChromeCanvas::TextHeight(Font)));
}

void TextEdit::layout() {
    lines_.clear();
    const int32_t width = std::max(1, text_area().Right - text_area().Left);
    size_t start = 0;
    while (true) {
        size_t end = start;
        size_t last_space = std::string::npos;
        int32_t x = 0;
        // Word wrap: break after the last space that fits, else before the
        // character that does not fit (a line holds at least one).
        while (end < text_.size() && text_[end] != '\r' && text_[end] != '\n') {
            const size_t n = char_len(text_, end);
            if (multi_line_) {
                const int32_t w = ChromeCanvas::TextWidth(text_.substr(end, n), Font);
                if (x + w > width && end > start) {
                    if (last_space != std::string::npos) end = last_space + 1;
                    break;
                }
                x += w;
                if (text_[end] == ' ') last_space = end;
            }
            end += n;
        }
        lines_.push_back(Line{start, end});
        if (end >= text_.size()) break;
        if (text_[end] == '\r' || text_[end] == '\n') {
            size_t next = end + 1;
            if (text_[end] == '\r' && next < text_.size() && text_[next] == '\n') ++next;
            start = next;
            if (start == text_.size()) {
                lines_.push_back(Line{start, start});
                break;
            }
        } else {
            start = end;
        }
    }
}

int32_t TextEdit::line_of(size_t pos) const {
    for (size_t i = lines_.size(); i-- > 0;)
        if (lines_[i].Start <= pos) return static_cast<int32_t>(i);
    return 0;
}

int32_t TextEdit::line_left(const Line& line) const {
    const TRect a = text_area();
    const int32_t w = ChromeCanvas::TextWidth(text_.substr(line.Start, line.End - line.Start), Font);
    switch (Alignment) {
    case 1: return a.Right - w - (multi_line_ ? 0 : -scroll_x_);
    case 2: return a.Left + (a.Right - a.Left - w) / 2;
    default: return a.Left - (multi_line_ ? 0 : scroll_x_);
    }
}

int32_t TextEdit::x_of(const Line& line, size_t pos) const {
    pos = std::clamp(pos, line.Start, line.End);
    return line_left(line) + ChromeCanvas::TextWidth(text_.substr(line.Start, pos - line.Start), Font);
}

TRect TextEdit::CaretRect() const {
    const int32_t h = ChromeCanvas::TextHeight(Font);
    const int32_t li = line_of(caret_);
    const int32_t x = x_of(lines_[static_cast<size_t>(li)], caret_) +
                      ChromeCanvas::TextWidth(preedit_, Font);
    const int32_t y = text_area().Top + (li - top_line_) * h;
    return TRect{x, y, x + 1, y + h};
}

size_t TextEdit::pos_at(const TPoint& p) const {
    const int32_t h = std::max(1, ChromeCanvas::TextHeight(Font));
    int32_t li = top_line_ + (p.Y - text_area().Top) / h;
    if (p.Y < text_area().Top) li = top_line_ - 1;
    li = std::clamp(li, 0, LineCount() - 1);
    const Line& line = lines_[static_cast<size_t>(li)];
    size_t pos = line.Start;
    while (pos < line.End) {
        const size_t n = char_len(text_, pos);
        const int32_t mid = (x_of(line, pos) + x_of(line, pos + n)) / 2;
        if (p.X < mid) break;
        pos += n;
    }
    return pos;
}

size_t TextEdit::next_char(size_t pos) const {
    if (pos >= text_.size()) return text_.size();
    if (text_[pos] == '\r' && pos + 1 < text_.size() && text_[pos + 1] == '\n') return pos + 2;
    return pos + char_len(text_, pos);
}

size_t TextEdit::prev_char(size_t pos) const {
    if (pos == 0) return 0;
    size_t at = 0, last = 0;
    while (at < pos) {
        last = at;
        at = next_char(at);
    }
    return last;
}

void TextEdit::move_to(size_t pos, bool extend) {
    caret_ = pos;
    if (!extend) anchor_ = pos;
    scroll_to_caret();
    Invalidate();
}

void TextEdit::replace_selection(std::string sjis) {
    if (!multi_line_) sjis = strip_breaks(sjis);
    const size_t a = SelStart();
    text_.replace(a, SelEnd() - a, sjis);
    caret_ = anchor_ = a + sjis.size();
    layout();
    scroll_to_caret();
    Invalidate();
}

void TextEdit::scroll_to_caret() {
    if (multi_line_) {
        const int32_t li = line_of(caret_);
        if (li < top_line_) top_line_ = li;
        if (li >= top_line_ + visible_lines()) top_line_ = li - visible_lines() + 1;
        top_line_ = std::clamp(top_line_, 0, std::max(0, LineCount() - visible_lines()));
        return;
    }
    // The one-line text slides so that the caret stays inside the field.
    const TRect a = text_area();
    const int32_t width = a.Right - a.Left;
    const int32_t cx = ChromeCanvas::TextWidth(text_.substr(0, caret_) + preedit_, Font);
    if (cx - scroll_x_ > width - 1) scroll_x_ = cx - width + 1;
    if (cx < scroll_x_) scroll_x_ = cx;
    if (scroll_x_ < 0) scroll_x_ = 0;
}

void TextEdit::MouseWheel(int32_t notches) {
    // A memo scrolls three lines a notch, leaving the caret where it is.
    if (!multi_line_) return;
    const int32_t top = std::clamp(top_line_ - 3 * notches, 0, std::max(0, LineCount() - visible_lines()));
    if (top == top_line_) return;
    top_line_ = top;
    Invalidate();
}

void TextEdit::KeyDown(int32_t vk) {
    if (OnKeyDown) OnKeyDown(vk, text_);
    if (vk == VK_SHIFT) shift_ = true;
    if (vk == VK_CONTROL) ctrl_ = true;
    const Line& line = lines_[static_cast<size_t>(line_of(caret_))];
    auto vertical = [&](int32_t delta) {
        const int32_t li = std::clamp(line_of(caret_) + delta, 0, LineCount() - 1);
        const int32_t x = x_of(line, caret_);
        const int32_t y = text_area().Top + (li - top_line_) * ChromeCanvas::TextHeight(Font);
        move_to(pos_at(TPoint{x, y}), shift_);
    };
    switch (vk) {
    case VK_LEFT: move_to(SelStart() != SelEnd() && !shift_ ? SelStart() : prev_char(caret_), shift_); break;
    case VK_RIGHT: move_to(SelStart() != SelEnd() && !shift_ ? SelEnd() : next_char(caret_), shift_); break;
    case VK_HOME: move_to(ctrl_ ? 0 : line.Start, shift_); break;
    case VK_END: move_to(ctrl_ ? text_.size() : line.End, shift_); break;
    case VK_UP:
        if (multi_line_) vertical(-1);
        break;
    case VK_DOWN:
        if (multi_line_) vertical(1);
        break;
    case VK_PRIOR:
        if (multi_line_) vertical(-visible_lines());
        break;
    case VK_NEXT:
        if (multi_line_) vertical(visible_lines());
        break;
    case VK_BACK:
        if (ReadOnly) break;
        if (SelStart() == SelEnd()) anchor_ = prev_char(caret_);
        replace_selection({});
        break;
    case VK_DELETE:
        if (ReadOnly) break;
        if (SelStart() == SelEnd()) anchor_ = next_char(caret_);
        replace_selection({});
        break;
    case VK_RETURN:
        // A one-line field swallows Return (and Escape) without a sound.
        if (multi_line_ && !ReadOnly) replace_selection("\r\n");
        break;
    default:
        if (!ctrl_) break;
        if (vk == 'A') Select(0, text_.size());
        else if (vk == 'C' && SelStart() != SelEnd()) SetClipboardText(SelectedText());
        else if (vk == 'X' && SelStart() != SelEnd() && !ReadOnly) {
            SetClipboardText(SelectedText());
            replace_selection({});
        } else if (vk == 'V' && !ReadOnly) {
            replace_selection(GetClipboardText());
        }
        break;
    }
}

void TextEdit::KeyUp(int32_t vk) {
    if (vk == VK_SHIFT) shift_ = false;
    if (vk == VK_CONTROL) ctrl_ = false;
}

void TextEdit::FocusChanged() {
    // The release of a modifier held while the focus went never arrives
    // here: a Ctrl left down would turn every later letter into a command.
    if (!Focused()) shift_ = ctrl_ = dragging_ = false;
    Invalidate();
}

void TextEdit::TextInput(const std::string& sjis) {
    preedit_.clear();
    // Control characters come as keys, not text.
    if (ReadOnly || !Enabled() || sjis.empty() || static_cast<uint8_t>(sjis[0]) < 0x20) {
        Invalidate();
        return;
    }
    replace_selection(sjis);
}

void TextEdit::Composition(const std::string& sjis) {
    preedit_ = ReadOnly ? std::string() : sjis;
    scroll_to_caret();
    Invalidate();
}

void TextEdit::MouseDown(const TPoint& p) {
    if (multi_line_ && p.X >= Bounds().Right - kScrollBarWidth) {
        // The scroll bar pages by what the field shows.
        const int32_t mid = (Bounds().Top + Bounds().Bottom) / 2;
        top_line_ += p.Y < mid ? -visible_lines() : visible_lines();
        top_line_ = std::clamp(top_line_, 0, std::max(0, LineCount() - visible_lines()));
        Invalidate();
        return;
    }
    dragging_ = true;
    move_to(pos_at(p), shift_);
}

void TextEdit::MouseMove(const TPoint& p) {
    if (dragging_) move_to(pos_at(p), true);
}

void TextEdit::MouseUp(const TPoint&) { dragging_ = false; }

void TextEdit::Paint(ChromeCanvas& canvas) {
    const TRect b = Bounds();
    canvas.Fill(b, BackColour);
    const TRect a = text_area();
    const int32_t h = ChromeCanvas::TextHeight(Font);
    const uint32_t colour = Enabled() ? TextColour : chrome_colour::GrayText;
    const int32_t caret_line = line_of(caret_);
    for (int32_t li = top_line_; li < LineCount() && (li - top_line_) * h < a.Bottom - a.Top; ++li) {
        const Line& line = lines_[static_cast<size_t>(li)];
        const int32_t y = a.Top + (li - top_line_) * h;
        std::string shown = text_.substr(line.Start, line.End - line.Start);
        int32_t left = line_left(line);
        size_t pre_at = std::string::npos;
        if (li == caret_line && !preedit_.empty()) {
            // The unfinished text sits inline at the caret, underlined.
            pre_at = caret_ - line.Start;
            shown.insert(pre_at, preedit_);
        }
        canvas.DrawText(left, y, shown, Font, colour, a);
        const size_t s0 = std::max(SelStart(), line.Start), s1 = std::min(SelEnd(), line.End);
        if (s0 < s1 && pre_at == std::string::npos) {
            const int32_t x0 = x_of(line, s0), x1 = x_of(line, s1);
            const TRect sel{std::max(x0, a.Left), y, std::min(x1, a.Right), std::min(y + h, a.Bottom)};
            canvas.Fill(sel, kSelectionBack);
            canvas.DrawText(x0, y, text_.substr(s0, s1 - s0), Font, kSelectionText, sel);
        }
        if (pre_at != std::string::npos) {
            const int32_t x0 = left + ChromeCanvas::TextWidth(shown.substr(0, pre_at), Font);
            const int32_t x1 = x0 + ChromeCanvas::TextWidth(preedit_, Font);
            if (y + h - 1 < a.Bottom) canvas.HLine(std::max(x0, a.Left), std::min(x1, a.Right), y + h - 1, colour);
        }
    }
    if (Focused() && caret_line >= top_line_) {
        const TRect c = CaretRect();
        if (c.Left >= a.Left && c.Left < a.Right && c.Bottom <= a.Bottom + h) canvas.VLine(c.Left, c.Top, std::min(c.Bottom, a.Bottom), colour);
    }
    if (multi_line_) {
        const TRect bar{b.Right - kScrollBarWidth, b.Top, b.Right, b.Bottom};
        canvas.Fill(bar, chrome_colour::Face);
        canvas.Edges(bar, chrome_colour::Highlight, chrome_colour::Shadow);
        const int32_t total = std::max(LineCount(), visible_lines());
        const int32_t track = bar.Bottom - bar.Top;
        const int32_t thumb_h = std::max(8, track * visible_lines() / total);
        const int32_t thumb_y = bar.Top + (track - thumb_h) * top_line_ / std::max(1, total - visible_lines());
        const TRect thumb{bar.Left + 1, thumb_y, bar.Right - 1, thumb_y + thumb_h};
        canvas.Fill(thumb, chrome_colour::Light);
        canvas.Edges(thumb, chrome_colour::Highlight, chrome_colour::DarkShadow);
    }
    canvas.Edges(b, chrome_colour::Shadow, chrome_colour::Highlight);
}
