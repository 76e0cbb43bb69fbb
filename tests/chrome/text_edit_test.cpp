// Text fields driven by the window's input events: what the key-down
// notification sees, editing and navigation, the input method's unfinished
// text drawn at the caret, word wrap, and the clipboard with Japanese text
// through a stand-in clipboard (the test runs without a video driver).
#include "chrome/text_edit.h"
#include "platform/display/clipboard.h"
#include "platform/text/codepage.h"
#include "tests/chrome/chrome_events.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

InputEvent text_event(InputEventKind kind, const std::string& sjis) {
    InputEvent e;
    e.Kind = kind;
    e.Text = sjis;
    return e;
}

struct Field {
    Form form{200, 100};
    TextEdit& edit;
    std::vector<std::pair<int32_t, std::string>> seen;
    explicit Field(bool multi, TRect r = TRect{10, 10, 190, 90}) : edit(form.Add<TextEdit>(r, multi)) {
        form.SetFocus(&edit);
        edit.OnKeyDown = [this](int32_t vk, const std::string& before) { seen.emplace_back(vk, before); };
    }
    // A key as the window delivers it: the key down, then the character it types.
    void type(int32_t vk, const std::string& text = {}) {
        form.HandleEvent(key_event(InputEventKind::KeyDown, vk));
        if (!text.empty()) form.HandleEvent(text_event(InputEventKind::Text, text));
        form.HandleEvent(key_event(InputEventKind::KeyUp, vk));
    }
    void with(int32_t modifier, int32_t vk) {
        form.HandleEvent(key_event(InputEventKind::KeyDown, modifier));
        type(vk);
        form.HandleEvent(key_event(InputEventKind::KeyUp, modifier));
    }
};

TEST(TextEdit, KeyDownsCarryTheKeyAndTheTextBeforeIt) {
    for (bool multi : {false, true}) {
        SCOPED_TRACE(multi ? "memo" : "edit");
        Field f(multi);
        f.type('A', "a");
        f.type('B', "b");
        f.type(VK_RETURN, "\r");
        const std::vector<std::pair<int32_t, std::string>> want = {{65, ""}, {66, "a"}, {13, "ab"}};
        EXPECT_EQ(f.seen, want);
        // The one-line field swallows Return; the memo breaks the line.
        EXPECT_EQ(f.edit.Text(), multi ? "ab\r\n" : "ab");
        f.type(VK_ESCAPE);
        EXPECT_EQ(f.edit.Text(), multi ? "ab\r\n" : "ab");
        EXPECT_EQ(f.seen.back(), std::make_pair(int32_t{27}, f.edit.Text()));
    }
}

TEST(TextEdit, NavigationSelectionAndDeletionWorkByCharacters) {
    const std::string kanji = Sjis("漢字");
    struct Case {
        const char* name;
        std::vector<std::pair<int32_t, int32_t>> keys;  // (modifier or 0, key)
        std::string text;
        size_t sel_start, sel_end;
    };
    const std::vector<Case> cases = {
        {"left over a double-byte character", {{0, VK_LEFT}}, "x" + kanji, 3, 3},
        {"back space removes a whole character", {{0, VK_BACK}}, "x" + Sjis("漢"), 3, 3},
        {"home then delete", {{0, VK_HOME}, {0, VK_DELETE}}, kanji, 0, 0},
        {"shift selects", {{VK_SHIFT, VK_LEFT}, {VK_SHIFT, VK_LEFT}}, "x" + kanji, 1, 5},
        {"select all and type over", {{VK_CONTROL, 'A'}}, "x" + kanji, 0, 5},
        {"end after home", {{0, VK_HOME}, {0, VK_END}}, "x" + kanji, 5, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Field f(false);
        f.edit.SetText("x" + kanji);
        for (auto [mod, vk] : c.keys) {
            if (mod) f.with(mod, vk);
            else f.type(vk);
        }
        EXPECT_EQ(f.edit.Text(), c.text);
        EXPECT_EQ(f.edit.SelStart(), c.sel_start);
        EXPECT_EQ(f.edit.SelEnd(), c.sel_end);
    }
    Field ro(false);
    ro.edit.SetText("keep");
    ro.edit.ReadOnly = true;
    ro.type('Z', "z");
    ro.type(VK_BACK);
    EXPECT_EQ(ro.edit.Text(), "keep");
}

TEST(TextEdit, ThePreeditIsDrawnUnderlinedAtTheCaretUntilCommitted) {
    Field f(false);
    f.edit.SetText("ab");
    const TRect before = f.edit.CaretRect();
    f.form.Paint();
    const std::vector<uint32_t> plain(f.form.Canvas().Pixels(), f.form.Canvas().Pixels() + 200 * 100);
    f.form.HandleEvent(text_event(InputEventKind::Composition, Sjis("かな")));
    EXPECT_EQ(f.edit.Text(), "ab");  // not yet part of the text
    const TRect after = f.edit.CaretRect();
    EXPECT_EQ(after.Left - before.Left, ChromeCanvas::TextWidth(Sjis("かな"), f.edit.Font));
    f.form.Paint();
    // Ink right of the old caret, and the underline along the bottom row.
    int changed = 0, underline = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = before.Left + 1; x < after.Left; ++x)
            if (f.form.Canvas().Pixel(x, y) != plain[size_t(y) * 200 + size_t(x)]) {
                ++changed;
                underline += y == before.Bottom - 1;
            }
    EXPECT_GT(changed, 20);
    EXPECT_GE(underline, after.Left - before.Left - 2);
    f.form.HandleEvent(text_event(InputEventKind::Text, Sjis("仮名")));
    EXPECT_EQ(f.edit.Text(), "ab" + Sjis("仮名"));
    EXPECT_EQ(f.edit.Preedit(), "");
}

TEST(TextEdit, MemosWrapWordsAndScrollToTheCaret) {
    Field f(true, TRect{0, 0, 120, 40});
    const int32_t h = ChromeCanvas::TextHeight(f.edit.Font);
    std::string words;
    for (int i = 0; i < 12; ++i) words += "word ";
    f.edit.SetText(words);
    EXPECT_GT(f.edit.LineCount(), 2);
    EXPECT_GT(f.edit.TopLine(), 0);  // the caret at the end is in view
    EXPECT_LE(f.edit.CaretRect().Bottom, 40);
    f.with(VK_CONTROL, VK_HOME);
    EXPECT_EQ(f.edit.TopLine(), 0);
    EXPECT_EQ(f.edit.CaretRect().Top, 2);
    f.type(VK_DOWN);
    EXPECT_EQ(f.edit.CaretRect().Top, 2 + h);
    // Each wrapped line ends after a space: no word is cut.
    f.edit.Select(0, 0);
    f.type(VK_END);
    EXPECT_EQ(f.edit.Caret() % 5, 0u);
}

TEST(TextEdit, TheClipboardCarriesJapaneseTextAsUtf8) {
    std::string desktop;
    SetClipboardBackend({[&] { return desktop; }, [&](const std::string& s) { desktop = s; return true; }});
    Field f(false);
    f.edit.SetText(Sjis("名前は太郎"));
    f.with(VK_CONTROL, 'A');
    f.with(VK_CONTROL, 'C');
    EXPECT_EQ(desktop, "名前は太郎");
    f.with(VK_CONTROL, 'X');
    EXPECT_EQ(f.edit.Text(), "");
    desktop = "花子\r\nさん";  // a line break pasted into one line goes
    f.with(VK_CONTROL, 'V');
    EXPECT_EQ(f.edit.Text(), Sjis("花子さん"));
    SetClipboardBackend({});
}

}  // namespace
