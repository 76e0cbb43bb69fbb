// The drawn message box: its text wrapping and layout, the answers that
// keys and clicks give, and what it leaves of the window it stood over.
#include "chrome/message_dialog.h"
#include "platform/text/codepage.h"
#include "tests/chrome/chrome_events.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const ChromeFont kFont = DefaultChromeFont();

std::string join(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l;
    return s;
}

bool ends_inside_a_character(const std::string& s) {
    for (size_t i = 0; i < s.size(); ++i)
        if (IsDBCSLeadByte(s[i])) {
            if (i + 1 == s.size()) return true;
            ++i;
        }
    return false;
}

TEST(MessageText, LineEndsBreakAndLongLinesWrapWithinTheWidth) {
    const std::string long_japanese =
        Sjis("ディスクを入れてください。ファイルが見つからないか、読み込めませんでした。もう一度確かめてください。");
    const struct {
        const char* Name;
        std::string Text;
        std::vector<std::string> Lines;  // empty: only checked for width and content
    } cases[] = {
        {"CR LF", "one\r\ntwo", {"one", "two"}},
        {"LF", "one\ntwo", {"one", "two"}},
        {"lone CR", "one\rtwo", {"one", "two"}},
        {"blank line kept", "one\r\n\r\ntwo", {"one", "", "two"}},
        {"empty text", "", {""}},
        {"ASCII words", std::string(30, 'a') + " " + std::string(30, 'b') + " " + std::string(30, 'c'), {}},
        {"Japanese", long_japanese + long_japanese, {}},
        {"no blank at all", std::string(200, 'w'), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<std::string> lines = WrapMessageText(c.Text, kFont, kMessageTextWidth);
        if (!c.Lines.empty()) {
            EXPECT_EQ(lines, c.Lines);
            continue;
        }
        EXPECT_GT(lines.size(), 1u);
        for (const std::string& l : lines) {
            EXPECT_LE(ChromeCanvas::TextWidth(l, kFont), kMessageTextWidth) << l;
            EXPECT_FALSE(ends_inside_a_character(l));
            EXPECT_FALSE(!l.empty() && l.front() == ' ');
        }
        // Wrapping only drops the blanks it broke at.
        std::string squeezed = c.Text;
        std::erase(squeezed, ' ');
        std::string joined = join(lines);
        std::erase(joined, ' ');
        EXPECT_EQ(joined, squeezed);
    }
}

TEST(MessageText, AnOverlongTextIsCutWithAnEllipsis) {
    std::string text;
    for (int i = 0; i < 100; ++i) text += "line " + std::to_string(i) + "\n";
    const std::vector<std::string> lines = WrapMessageText(text, kFont, kMessageTextWidth);
    ASSERT_EQ(lines.size(), kMessageMaxLines);
    EXPECT_EQ(lines.front(), "line 0");
    EXPECT_EQ(lines.back(), "line " + std::to_string(kMessageMaxLines - 1) + Sjis("…"));
}

bool inside(const TRect& inner, const TRect& outer) {
    return inner.Left >= outer.Left && inner.Top >= outer.Top && inner.Right <= outer.Right &&
           inner.Bottom <= outer.Bottom;
}

bool overlap(const TRect& a, const TRect& b) { return !RectIsEmpty(IntersectRects(a, b)); }

TEST(MessageLayout, EveryPartFitsWithoutOverlapAndTheButtonsAreCentred) {
    const std::string long_line(300, 'm');
    const struct {
        const char* Name;
        std::string Text;
        MessageBoxKind Kind;
        MessageBoxIcon Icon;
        bool Framed;
        size_t Buttons;
    } cases[] = {
        {"quit question", Sjis("「テスト」を終了しますか？"), MessageBoxKind::YesNo, MessageBoxIcon::Question, true, 2},
        {"disc prompt", Sjis("ディスクを入れてください"), MessageBoxKind::OKCancel, MessageBoxIcon::Information, true, 2},
        {"warning", Sjis("プロジェクトがありません"), MessageBoxKind::OK, MessageBoxIcon::Warning, true, 1},
        {"no icon, own window", "x", MessageBoxKind::OK, MessageBoxIcon::None, false, 1},
        {"long error", long_line + "\n" + long_line, MessageBoxKind::OK, MessageBoxIcon::Error, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const MessageDialogLayout l = LayoutMessageDialog(c.Text, Sjis("警告"), c.Kind, c.Icon, c.Framed);
        const TRect whole{0, 0, l.Width, l.Height};
        ASSERT_EQ(l.Buttons.size(), c.Buttons);
        EXPECT_EQ(RectIsEmpty(l.TitleBar), !c.Framed);
        EXPECT_EQ(RectIsEmpty(l.Icon), c.Icon == MessageBoxIcon::None);
        EXPECT_TRUE(inside(l.Text, whole));
        EXPECT_FALSE(c.Framed && overlap(l.TitleBar, l.Text));
        EXPECT_FALSE(c.Icon != MessageBoxIcon::None && overlap(l.Icon, l.Text));
        for (size_t i = 0; i < l.Buttons.size(); ++i) {
            EXPECT_TRUE(inside(l.Buttons[i], whole));
            EXPECT_GE(l.Buttons[i].Top, l.Text.Bottom);
            EXPECT_GE(l.Buttons[i].Top, l.Icon.Bottom);
            EXPECT_TRUE(i == 0 || l.Buttons[i].Left > l.Buttons[i - 1].Right);
        }
        const int32_t left_room = l.Buttons.front().Left, right_room = l.Width - l.Buttons.back().Right;
        EXPECT_LE(std::abs(left_room - right_room), 1);
        for (const std::string& line : l.Lines) EXPECT_LE(ChromeCanvas::TextWidth(line, kFont), l.Text.Width());
    }
}

// ---- answers ------------------------------------------------------------------

enum class Step { Enter, Escape, Tab, ShiftTab, Left, Right, Up, Down, Y, N, Space, Close, ClickFirst, ClickLast, PressFirstReleaseOutside };

void perform(Video& v, const TMessageDialog& d, TPoint at, Step s) {
    auto click = [&](const TRect& r, bool release_inside) {
        const int32_t x = at.X + r.Left + r.Width() / 2, y = at.Y + r.Top + r.Height() / 2;
        v.InjectEvent(mouse_event(InputEventKind::MouseMove, x, y));
        v.InjectEvent(mouse_event(InputEventKind::MouseDown, x, y));
        v.InjectEvent(release_inside ? mouse_event(InputEventKind::MouseUp, x, y)
                                     : mouse_event(InputEventKind::MouseUp, at.X - 5, at.Y - 5));
    };
    switch (s) {
    case Step::Enter: press_key(v, VK_RETURN); break;
    case Step::Escape: press_key(v, VK_ESCAPE); break;
    case Step::Tab: press_key(v, VK_TAB); break;
    case Step::ShiftTab: press_with(v, VK_SHIFT, VK_TAB); break;
    case Step::Left: press_key(v, VK_LEFT); break;
    case Step::Right: press_key(v, VK_RIGHT); break;
    case Step::Up: press_key(v, VK_UP); break;
    case Step::Down: press_key(v, VK_DOWN); break;
    case Step::Y: press_key(v, 'Y'); break;
    case Step::N: press_key(v, 'N'); break;
    case Step::Space: press_key(v, VK_SPACE); break;
    case Step::Close: {
        InputEvent e;
        e.Kind = InputEventKind::CloseRequest;
        v.InjectEvent(e);
        break;
    }
    case Step::ClickFirst: click(d.Layout().Buttons.front(), true); break;
    case Step::ClickLast: click(d.Layout().Buttons.back(), true); break;
    case Step::PressFirstReleaseOutside: click(d.Layout().Buttons.front(), false); break;
    }
}

TEST(MessageDialog, KeysAndClicksGiveTheirAnswers) {
    using K = MessageBoxKind;
    const struct {
        const char* Name;
        K Kind;
        std::vector<Step> Steps;
        int Answer;
    } cases[] = {
        {"Enter takes the first", K::YesNo, {Step::Enter}, IDYES},
        {"Escape says no", K::YesNo, {Step::Escape}, IDNO},
        {"Escape cancels", K::OKCancel, {Step::Escape}, IDCANCEL},
        {"Escape on one button", K::OK, {Step::Escape}, IDOK},
        {"Tab then Enter", K::YesNo, {Step::Tab, Step::Enter}, IDNO},
        {"Tab wraps round", K::YesNo, {Step::Tab, Step::Tab, Step::Enter}, IDYES},
        {"Shift+Tab goes back", K::OKCancel, {Step::ShiftTab, Step::Enter}, IDCANCEL},
        {"right arrow", K::YesNo, {Step::Right, Step::Enter}, IDNO},
        {"down arrow", K::OKCancel, {Step::Down, Step::Enter}, IDCANCEL},
        {"right then left", K::YesNo, {Step::Right, Step::Left, Step::Enter}, IDYES},
        {"up from the first wraps", K::YesNo, {Step::Up, Step::Enter}, IDNO},
        {"Space presses the focused", K::YesNo, {Step::Tab, Step::Space}, IDNO},
        {"Y", K::YesNo, {Step::Y}, IDYES},
        {"N", K::YesNo, {Step::N}, IDNO},
        {"N means nothing to OK/Cancel", K::OKCancel, {Step::N, Step::Enter}, IDOK},
        {"close box", K::YesNo, {Step::Close}, IDNO},
        {"close box cancels", K::OKCancel, {Step::Close}, IDCANCEL},
        {"click on the first", K::YesNo, {Step::ClickFirst}, IDYES},
        {"click on the last", K::YesNo, {Step::ClickLast}, IDNO},
        {"click on Cancel", K::OKCancel, {Step::ClickLast}, IDCANCEL},
        {"release off the button", K::YesNo, {Step::PressFirstReleaseOutside, Step::ClickLast}, IDNO},
        {"nothing more comes", K::YesNo, {}, IDNO},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto v = Video::Create(VideoBackend::Headless);
        v->CreateWindow(640, 480, "");
        TMessageDialog d(Sjis("「テスト」を終了しますか？"), Sjis("テスト"), c.Kind, MessageBoxIcon::Question, true);
        const TPoint at{100, 120};
        for (Step s : c.Steps) perform(*v, d, at, s);
        EXPECT_EQ(RunMessageDialog(*v, d, at.X, at.Y), c.Answer);
    }
}

TEST(MessageDialog, CaptionsFollowTheKind) {
    using K = MessageBoxKind;
    const struct {
        K Kind;
        std::vector<std::string> Captions;
        std::vector<int> Answers;
    } cases[] = {
        {K::OK, {"OK"}, {IDOK}},
        {K::OKCancel, {"OK", "キャンセル"}, {IDOK, IDCANCEL}},
        {K::YesNo, {"はい", "いいえ"}, {IDYES, IDNO}},
    };
    for (const auto& c : cases) {
        TMessageDialog d("text", "", c.Kind, MessageBoxIcon::None, true);
        ASSERT_EQ(d.ButtonCount(), c.Captions.size());
        for (size_t i = 0; i < c.Captions.size(); ++i)
            EXPECT_EQ(Cp932ToUtf8(d.ButtonAt(i).GetCaption().Text), c.Captions[i]);
        EXPECT_EQ(MessageButtonAnswers(c.Kind), c.Answers);
        EXPECT_EQ(MessageButtonAnswers(c.Kind).front(), DefaultAnswer(c.Kind));
        EXPECT_EQ(MessageButtonAnswers(c.Kind).back(), EscapeAnswer(c.Kind));
    }
}

// ---- over a window ------------------------------------------------------------

TEST(MessageDialog, StandsOverTheWindowAndPutsBackWhatItCovered) {
    auto v = Video::Create(VideoBackend::Headless);
    v->CreateWindow(320, 240, "");
    // A picture of its own in every pixel.
    std::vector<uint32_t> picture(320 * 240);
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFF;
    v->Update(picture.data(), 320, 240, 320, 0, 0);
    const int32_t hidden = v->CreateCursor(std::vector<uint32_t>(4, 0xFF000000).data(), 2, 2, 0, 0);
    v->SetCursor(hidden);
    v->ShowCursor(false);

    TMessageDialog d(Sjis("ディスクを入れてください"), Sjis("情報"), MessageBoxKind::OKCancel,
                     MessageBoxIcon::Information, true);
    const TPoint at{(320 - d.Width()) / 2, (240 - d.Height()) / 2};
    const uint32_t presented = v->PresentCount();
    d.Open(*v, at.X, at.Y);
    EXPECT_GT(v->PresentCount(), presented);
    // The box is in the window, the picture round it untouched.
    int box_differs = 0, outside_differs = 0;
    for (int32_t y = 0; y < 240; ++y)
        for (int32_t x = 0; x < 320; ++x) {
            const uint32_t shown = v->ReadPixels()[y * 320 + x];
            if (PointInRect({x, y}, Bounds(at.X, at.Y, d.Width(), d.Height())))
                box_differs += shown != d.Canvas().Pixel(x - at.X, y - at.Y);
            else
                outside_differs += shown != picture[y * 320 + x];
        }
    EXPECT_EQ(box_differs, 0);
    EXPECT_EQ(outside_differs, 0);
    // The pointer can be seen while the box waits.
    EXPECT_TRUE(v->CursorVisible());
    EXPECT_EQ(v->CurrentCursor(), 0);

    // A key held before the box opened and the focus going away: the game
    // still hears of both once the box has gone. Key presses it answered
    // to are its own.
    InputEvent deactivate;
    deactivate.Kind = InputEventKind::Deactivate;
    const InputEvent events[] = {key_event(InputEventKind::KeyUp, 'Z'), deactivate,
                                 key_event(InputEventKind::KeyDown, VK_ESCAPE)};
    for (const InputEvent& e : events) d.Dispatch(e);
    EXPECT_EQ(d.Answer(), IDCANCEL);
    d.Close();

    EXPECT_TRUE(std::equal(picture.begin(), picture.end(), v->ReadPixels()));
    EXPECT_FALSE(v->CursorVisible());
    EXPECT_EQ(v->CurrentCursor(), hidden);
    std::vector<InputEventKind> after;
    for (InputEvent e; v->PollEvent(e);) after.push_back(e.Kind);
    EXPECT_EQ(after, (std::vector<InputEventKind>{InputEventKind::KeyUp, InputEventKind::Deactivate}));
}

TEST(MessageDialog, TheQuestionDrawsItsTextIconAndCaptions) {
    TMessageDialog d(Sjis("「テスト」を終了しますか？"), Sjis("テスト"), MessageBoxKind::YesNo,
                     MessageBoxIcon::Question, true);
    d.Paint();
    const MessageDialogLayout& l = d.Layout();
    auto count = [&](const TRect& r, auto pred) {
        int n = 0;
        for (int32_t y = r.Top; y < r.Bottom; ++y)
            for (int32_t x = r.Left; x < r.Right; ++x) n += pred(d.Canvas().Pixel(x, y));
        return n;
    };
    auto dark = [](uint32_t c) { return ((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF) < 3 * 110; };
    auto blue = [](uint32_t c) { return (c & 0xFF) > 0x80 && ((c >> 16) & 0xFF) < 0x60; };
    EXPECT_GT(count(l.Text, dark), 100);  // twelve characters
    for (const TRect& b : l.Buttons) EXPECT_GT(count(TRect{b.Left + 3, b.Top + 3, b.Right - 3, b.Bottom - 3}, dark), 20);
    EXPECT_GT(count(l.Icon, blue), 400);
    // The title bar carries the caption in white.
    EXPECT_GT(count(l.TitleBar, [](uint32_t c) { return c == 0xFFFFFF; }), 30);
}

TEST(MessageBoxPresenterTest, WithoutADisplayTheDrawnDialogIsNotAsked) {
    // Tests run on SDL's dummy driver: no display.
    static int asked = 0;
    SetMessageBoxPresenter([](const std::string&, const std::string&, MessageBoxKind, MessageBoxIcon) {
        ++asked;
        return IDNO;
    });
    testing::internal::CaptureStderr();
    const uint32_t before = MessageBoxesShown();
    EXPECT_EQ(ShowMessageBox(Sjis("終了しますか？"), "", MessageBoxKind::YesNo), IDYES);
    testing::internal::GetCapturedStderr();
    SetMessageBoxPresenter(nullptr);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(MessageBoxesShown(), before + 1);
}

}  // namespace
