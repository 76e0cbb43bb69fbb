#include "chrome/message_dialog.h"
#include "platform/text/codepage.h"
#include "platform/display/keys.h"
#include "render/font_pixel.h"

#include <algorithm>
#include <exception>
#include <memory>

using namespace chrome_colour;

namespace {
constexpr int32_t kBorder = TModalDialog::kFrameBorder;  // the raised frame of a box drawn over a window
constexpr int32_t kTitleHeight = TModalDialog::kTitleHeight;
constexpr int32_t kMargin = 12;
constexpr int32_t kIconSize = 32;
constexpr int32_t kButtonWidth = 75;
constexpr int32_t kButtonHeight = 23;
constexpr int32_t kButtonGap = 6;
constexpr int32_t kButtonSpace = 14;  // between the text and the buttons
constexpr int32_t kMinWidth = 160;

TRect inset(const TRect& r, int32_t d) { return TRect{r.Left + d, r.Top + d, r.Right - d, r.Bottom - d}; }

size_t char_length(const std::string& s, size_t i) { return IsDBCSLeadByte(s[i]) && i + 1 < s.size() ? 2 : 1; }

void wrap_line(const std::string& line, const ChromeFont& font, int32_t max_width, std::vector<std::string>& out) {
    std::string current;
    int32_t width = 0;
    size_t after_blank = std::string::npos;  // where the text after the last blank begins in current
    for (size_t i = 0; i < line.size();) {
        const size_t n = char_length(line, i);
        const std::string c = line.substr(i, n);
        i += n;
        const int32_t w = ChromeCanvas::TextWidth(c, font);
        if (!current.empty() && width + w > max_width) {
            if (after_blank != std::string::npos && after_blank < current.size()) {
                std::string head = current.substr(0, after_blank);
                while (!head.empty() && head.back() == ' ') head.pop_back();
                out.push_back(head);
                current.erase(0, after_blank);
            } else {
                out.push_back(current);
                current.clear();
            }
            width = ChromeCanvas::TextWidth(current, font);
            after_blank = std::string::npos;
            // A wrapped line does not start with the blank it was broken at.
            if (current.empty() && c == " ") continue;
        }
        current += c;
        width += w;
        if (c == " ") after_blank = current.size();
    }
    out.push_back(current);
}

void fill_disc(ChromeCanvas& canvas, int32_t cx, int32_t cy, int32_t r, uint32_t colour) {
    for (int32_t dy = -r; dy <= r; ++dy) {
        int32_t dx = 0;
        while ((dx + 1) * (dx + 1) + dy * dy <= r * r) ++dx;
        canvas.HLine(cx - dx, cx + dx + 1, cy + dy, colour);
    }
}

void centred_mark(ChromeCanvas& canvas, const TRect& box, const char* mark, uint32_t colour, int32_t dy = 0) {
    const ChromeFont big{DefaultChromeFont().Name, -22, fsBold};
    const int32_t x = box.Left + (box.Width() - ChromeCanvas::TextWidth(mark, big)) / 2;
    const int32_t y = box.Top + (box.Height() - ChromeCanvas::TextHeight(big)) / 2 + dy;
    canvas.DrawText(x, y, mark, big, colour, box);
}

void paint_icon(ChromeCanvas& canvas, const TRect& box, MessageBoxIcon icon) {
    const int32_t cx = box.Left + kIconSize / 2, cy = box.Top + kIconSize / 2;
    switch (icon) {
    case MessageBoxIcon::Information:
    case MessageBoxIcon::Question:
        fill_disc(canvas, cx, cy, 15, 0x000080);
        fill_disc(canvas, cx, cy, 14, 0x2858D8);
        centred_mark(canvas, box, icon == MessageBoxIcon::Question ? "?" : "i", 0xFFFFFF);
        break;
    case MessageBoxIcon::Error:
        fill_disc(canvas, cx, cy, 15, 0x800000);
        fill_disc(canvas, cx, cy, 14, 0xE02020);
        for (int32_t t = -8; t <= 8; ++t)
            for (int32_t w = -1; w <= 1; ++w) {
                canvas.HLine(cx + t + w, cx + t + w + 1, cy + t, 0xFFFFFF);
                canvas.HLine(cx - t + w, cx - t + w + 1, cy + t, 0xFFFFFF);
            }
        break;
    case MessageBoxIcon::Warning:
        // A triangle standing on its base, outlined.
        for (int32_t y = 0; y < 30; ++y) {
            const int32_t half = (y + 1) / 2;
            canvas.HLine(cx - half - 1, cx + half + 1, box.Top + 1 + y, 0x404000);
            if (y > 1 && y < 29) canvas.HLine(cx - half + 1, cx + half - 1, box.Top + 1 + y, 0xFFD800);
        }
        centred_mark(canvas, box, "!", 0x000000, 4);
        break;
    case MessageBoxIcon::None: break;
    }
}
}  // namespace

std::vector<std::string> WrapMessageText(const std::string& sjis_text, const ChromeFont& font, int32_t max_width) {
    std::vector<std::string> out;
    std::string line;
    for (size_t i = 0; i < sjis_text.size();) {
        const size_t n = char_length(sjis_text, i);
        const char c = sjis_text[i];
        if (n == 1 && (c == '\r' || c == '\n')) {
            wrap_line(line, font, max_width, out);
            line.clear();
            i += c == '\r' && i + 1 < sjis_text.size() && sjis_text[i + 1] == '\n' ? 2 : 1;
            continue;
        }
        line.append(sjis_text, i, n);
        i += n;
    }
    wrap_line(line, font, max_width, out);
    if (out.size() > kMessageMaxLines) {
        out.resize(kMessageMaxLines);
        out.back() += Sjis("…");
    }
    return out;
}

std::vector<std::string> MessageButtonCaptions(MessageBoxKind kind) {
    switch (kind) {
    case MessageBoxKind::OKCancel: return {"OK", Sjis("キャンセル")};
    case MessageBoxKind::YesNo: return {Sjis("はい"), Sjis("いいえ")};
    default: return {"OK"};
    }
}

std::vector<int> MessageButtonAnswers(MessageBoxKind kind) {
    switch (kind) {
    case MessageBoxKind::OKCancel: return {IDOK, IDCANCEL};
    case MessageBoxKind::YesNo: return {IDYES, IDNO};
    default: return {IDOK};
    }
}

MessageDialogLayout LayoutMessageDialog(const std::string& sjis_text, const std::string& sjis_caption,
                                        MessageBoxKind kind, MessageBoxIcon icon, bool framed,
                                        const ChromeFont& font) {
    MessageDialogLayout l;
    const int32_t border = framed ? kBorder : 0;
    const int32_t top = border + (framed ? kTitleHeight : 0);
    l.Lines = WrapMessageText(sjis_text, font, kMessageTextWidth);
    l.LineHeight = ChromeCanvas::TextHeight(font) + 3;
    int32_t text_width = 0;
    for (const std::string& line : l.Lines) text_width = std::max(text_width, ChromeCanvas::TextWidth(line, font));
    const int32_t text_height = static_cast<int32_t>(l.Lines.size()) * l.LineHeight;

    int32_t text_left = border + kMargin;
    int32_t text_top = top + kMargin;
    int32_t body_bottom = text_top + text_height;
    if (icon != MessageBoxIcon::None) {
        l.Icon = Bounds(border + kMargin, top + kMargin, kIconSize, kIconSize);
        text_left = l.Icon.Right + kMargin;
        // A short text stands level with the middle of the icon.
        if (text_height < kIconSize) text_top += (kIconSize - text_height) / 2;
        body_bottom = std::max(text_top + text_height, l.Icon.Bottom);
    }
    l.Text = Bounds(text_left, text_top, text_width, text_height);

    const int32_t count = static_cast<int32_t>(MessageButtonAnswers(kind).size());
    const int32_t buttons_width = count * kButtonWidth + (count - 1) * kButtonGap;
    int32_t inner = std::max({kMinWidth, l.Text.Right - border + kMargin, buttons_width + 2 * kMargin});
    if (framed) inner = std::max(inner, ChromeCanvas::TextWidth(sjis_caption, font) + 2 * kMargin);
    l.Width = inner + 2 * border;
    const int32_t buttons_top = body_bottom + kButtonSpace;
    int32_t x = border + (inner - buttons_width) / 2;
    for (int32_t i = 0; i < count; ++i, x += kButtonWidth + kButtonGap)
        l.Buttons.push_back(Bounds(x, buttons_top, kButtonWidth, kButtonHeight));
    l.Height = buttons_top + kButtonHeight + kMargin + border;
    if (framed) l.TitleBar = TRect{border, border, l.Width - border, border + kTitleHeight};
    return l;
}

// ---- the dialog -----------------------------------------------------------------

TMessageDialog::TMessageDialog(const std::string& sjis_text, const std::string& sjis_caption, MessageBoxKind kind,
                               MessageBoxIcon icon, bool framed)
    : TModalDialog(1, 1, sjis_caption, framed),
      layout_(LayoutMessageDialog(sjis_text, sjis_caption, kind, icon, framed, Font)),
      icon_(icon),
      kind_(kind) {
    SetSize(layout_.Width, layout_.Height);
    const std::vector<std::string> captions = MessageButtonCaptions(kind);
    const std::vector<int> answers = MessageButtonAnswers(kind);
    for (size_t i = 0; i < answers.size(); ++i) {
        Button& b = Add<Button>(layout_.Buttons[i], captions[i]);
        b.TabOrder = static_cast<int32_t>(i);
        const int code = answers[i];
        b.OnClick = [this, code] { answer(code); };
        buttons_.push_back(&b);
    }
    DefaultButton = buttons_.front();
    CancelButton = buttons_.back();
    FocusFirst();
}

void TMessageDialog::answer(int code) {
    if (answer_ == 0) answer_ = code;
}

void TMessageDialog::CloseRequested() { answer(EscapeAnswer(kind_)); }

bool TMessageDialog::DialogKey(int32_t vk) {
    if (kind_ == MessageBoxKind::YesNo && (vk == 'Y' || vk == 'N')) {
        answer(vk == 'Y' ? IDYES : IDNO);
        return true;
    }
    if (vk == VK_LEFT || vk == VK_UP || vk == VK_RIGHT || vk == VK_DOWN) {
        SelectNext(vk == VK_LEFT || vk == VK_UP);
        return true;
    }
    return false;
}

void TMessageDialog::PaintClient(ChromeCanvas& canvas) {
    if (icon_ != MessageBoxIcon::None) paint_icon(canvas, layout_.Icon, icon_);
    const TRect whole{0, 0, Width(), Height()};
    const TRect clip = inset(whole, Framed() ? kBorder : 0);
    for (size_t i = 0; i < layout_.Lines.size(); ++i)
        canvas.DrawText(layout_.Text.Left, layout_.Text.Top + static_cast<int32_t>(i) * layout_.LineHeight,
                        layout_.Lines[i], Font, Text, clip);
}

int RunMessageDialog(Video& window, TMessageDialog& dialog, int32_t x, int32_t y) {
    RunModalDialog(window, dialog, x, y);
    return dialog.Answer();
}

int ShowMessageDialog(const std::string& sjis_text, const std::string& sjis_caption, MessageBoxKind kind,
                      MessageBoxIcon icon) {
    const std::unique_ptr<TModalDialog> shown = ShowModalDialog([&](bool framed) {
        return std::make_unique<TMessageDialog>(sjis_text, sjis_caption, kind, icon, framed);
    });
    return shown ? static_cast<TMessageDialog&>(*shown).Answer() : 0;
}

void InstallMessageDialog() { SetMessageBoxPresenter(ShowMessageDialog); }
