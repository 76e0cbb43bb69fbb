// Edit and memo objects on a host panel: their properties, key reports,
// the keyboard focus (only the scene's focus object takes keys, and
// syncing never moves it), visibility through every ancestor and the
// active layer, the clipboard with Japanese text against Python's cp932
// codec (tests/data/edit/make_clipboard_golden.py), and their records.
#include "objects/controls/edit.h"

#include "objects/base_list.h"
#include "objects/object_kinds.h"
#include "platform/display/clipboard.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/display/keys.h"
#include "platform/filesystem/stream.h"
#include "platform/display/video.h"
#include "tests/objects/scene_fixture.h"
#include "tests/support/input_events.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

struct ClipText {
    std::string Sjis, Utf8;
};
const ClipText kClipTexts[] = {
#include "tests/data/edit/clipboard_golden.inc"
};

class EditScene : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        InstallObjectKinds();
        video = Video::Create(VideoBackend::Headless);
        video->CreateWindow(640, 480, "");
        panel = std::make_unique<TBasePanel>(*video);
        reg->HostPanel = panel.get();
    }
    void TearDown() override {
        SetClipboardBackend({});
        SceneTest::TearDown();  // frees the objects, which leave the panel
        panel.reset();
    }
    TVorqEdit* Make(uint8_t type, int l, int t, int w, int h, TVorqControl* parent = nullptr) {
        auto* e = static_cast<TVorqEdit*>(CreateObjectByType(reg.get(), type));
        e->SetRect(l, t, w, h);
        e->SetParent(parent ? parent : reg->ActiveBase());
        return e;
    }
    bool Send(const InputEvent& e) { return panel->HandleEvent(e, TPoint{0, 0}); }
    void Click(int x, int y) {
        Send(MouseEvent(InputEventKind::MouseDown, x, y));
        Send(MouseEvent(InputEventKind::MouseUp, x, y));
    }
    // One key as the window delivers it: the key goes down, its character
    // (if any) arrives as text, the key goes up.
    void Type(int32_t vk, const std::string& text = {}) {
        Send(KeyEvent(InputEventKind::KeyDown, vk));
        if (!text.empty()) {
            InputEvent t;
            t.Kind = InputEventKind::Text;
            t.Text = text;
            Send(t);
        }
        Send(KeyEvent(InputEventKind::KeyUp, vk));
    }
    std::vector<std::pair<std::string, std::string>> Notified() const {
        std::vector<std::pair<std::string, std::string>> out;
        for (int i = 0; i < reg->Events.Count(); ++i) {
            const TTimerData& d = reg->Events.Get(i);
            if (d.EventId != PR_ONNOTIFY) continue;
            out.emplace_back(d.Args.Count() > 0 ? d.Args.Get(0) : "?", d.Args.Count() > 1 ? d.Args.Get(1) : "?");
        }
        return out;
    }
    std::unique_ptr<Video> video;
    std::unique_ptr<TBasePanel> panel;
};

TEST_F(EditScene, PropertiesReadBackAsScriptsSeeThem) {
    TVorqEdit* edit = Make(LT_EDIT, 10, 10, 120, 24);
    TVorqEdit* memo = Make(LT_MEMO, 10, 50, 120, 60);
    EXPECT_EQ(edit->GetCompoType(), LT_EDIT);
    EXPECT_EQ(memo->GetCompoType(), LT_MEMO);
    struct Height {
        int32_t set, read;
    };
    for (const Height& h : {Height{-12, 12}, Height{20, 20}, Height{0, 0}, Height{INT32_MIN, INT32_MAX}}) {
        edit->SetFontHeight(h.set);
        EXPECT_EQ(edit->GetFontHeight(), h.read) << h.set;
    }
    edit->SetFontStyle(IntToFontStyles(1 | 4));
    EXPECT_EQ(FontStylesToInt(edit->GetFontStyle()), 5);
    edit->SetHandleKey(false);
    EXPECT_TRUE(edit->GetHandleKey());
    // Alignment is the memo's only, in the field's numbering.
    for (uint8_t a : {1, 2, 0}) {
        memo->SetHAlign(a);
        EXPECT_EQ(memo->GetHAlign(), a);
        EXPECT_EQ(memo->Field().Alignment, a);
        edit->SetHAlign(a);
        EXPECT_EQ(edit->GetHAlign(), 0);
    }
    memo->SetHAlign(7);
    EXPECT_EQ(memo->GetHAlign(), 0);
    // A one-line field holds no line break; a memo keeps them.
    edit->SetText("one\r\ntwo");
    memo->SetText("one\r\ntwo");
    EXPECT_EQ(edit->GetText(), "onetwo");
    EXPECT_EQ(memo->GetText(), "one\r\ntwo");
    // Colours are stored as given and shown as the field's 0x00RRGGBB.
    edit->SetFontColor(0x0000FF);
    edit->SetColor(0xFF0000);
    EXPECT_EQ(edit->GetFontColor(), 0x0000FF);
    EXPECT_EQ(edit->GetColor(), 0xFF0000);
    EXPECT_EQ(edit->Field().TextColour, 0xFF0000u);
    EXPECT_EQ(edit->Field().BackColour, 0x0000FFu);
    edit->SetPaused(true);
    EXPECT_TRUE(edit->GetPaused());
    EXPECT_FALSE(edit->Field().Enabled());
}

TEST_F(EditScene, KeysAreReportedWithTheTextBeforeThem) {
    struct Case {
        uint8_t type;
        std::string text;
    };
    for (const Case& c : {Case{LT_EDIT, "ab"}, Case{LT_MEMO, "ab\r\n"}}) {
        SCOPED_TRACE(int(c.type));
        reg->Events.Clear();
        TVorqEdit* e = Make(c.type, 10, 10, 200, 60);
        e->SetOnNotify("typed.vsb");
        e->Update();
        Click(20, 20);
        ASSERT_EQ(reg->Focus(), e);
        Type('A', "a");
        Type('B', "b");
        Type(VK_RETURN);
        const std::vector<std::pair<std::string, std::string>> want = {{"65", ""}, {"66", "a"}, {"13", "ab"}};
        EXPECT_EQ(Notified(), want);
        EXPECT_EQ(e->GetText(), c.text);
        // Escape adds nothing either.
        Type(VK_ESCAPE);
        EXPECT_EQ(e->GetText(), c.text);
        // The keys were the field's, not the game's.
        EXPECT_FALSE(reg->GetKeyClick(13));
        e->FreeNow();
    }
}

TEST_F(EditScene, OnlyTheFocusObjectTakesKeysAndSyncingNeverMovesTheFocus) {
    TVorqEdit* first = Make(LT_EDIT, 10, 10, 100, 24);
    TVorqEdit* second = Make(LT_EDIT, 10, 50, 100, 24);
    Click(20, 60);
    ASSERT_EQ(reg->Focus(), second);
    // Frames of syncing both fields leave the focus where it is.
    for (int i = 0; i < 3; ++i) {
        reg->Update();
        EXPECT_EQ(reg->Focus(), second);
    }
    first->SetLeft(12);
    first->SetVisible(false);
    first->SetVisible(true);
    EXPECT_EQ(reg->Focus(), second);
    Type('X', "x");
    EXPECT_EQ(first->GetText(), "");
    EXPECT_EQ(second->GetText(), "x");
    EXPECT_TRUE(second->Field().Focused());
    EXPECT_FALSE(first->Field().Focused());
    // The scene moves its focus elsewhere: the field gives up the keys.
    TTestBox* box = Box("box", 300, 300, 10, 10);
    box->SetHandleKey(true);
    reg->SetFocusObject(box);
    reg->Update();
    EXPECT_FALSE(second->Field().Focused());
    EXPECT_FALSE(Send(KeyEvent(InputEventKind::KeyDown, 'Y')));
    EXPECT_EQ(second->GetText(), "x");
}

TEST_F(EditScene, APausedFieldRefusesClicksAndKeys) {
    TVorqEdit* e = Make(LT_EDIT, 10, 10, 100, 24);
    e->SetPaused(true);
    Click(20, 20);
    EXPECT_NE(reg->Focus(), e);
    reg->SetFocusObject(e);
    EXPECT_FALSE(e->HasKeyboard());
    EXPECT_FALSE(Send(KeyEvent(InputEventKind::KeyDown, 'A')));
    EXPECT_EQ(e->GetText(), "");
}

TEST_F(EditScene, AClickFocusesTheFieldAndClearsTheGameKeys) {
    TVorqEdit* e = Make(LT_EDIT, 10, 10, 100, 24);
    reg->SetKeyPush(32, true);
    EXPECT_TRUE(Send(MouseEvent(InputEventKind::MouseDown, 15, 15)));
    EXPECT_EQ(reg->Focus(), e);
    EXPECT_FALSE(reg->GetKeyPush(32));
    // Outside every field the click is the scene's.
    EXPECT_FALSE(Send(MouseEvent(InputEventKind::MouseDown, 300, 300)));
}

TEST_F(EditScene, DestroyingTheFocusedFieldLeavesNoFocusAndSearchesAnew) {
    TVorqEdit* e = Make(LT_EDIT, 10, 10, 100, 24);
    Click(20, 20);
    ASSERT_EQ(reg->Focus(), e);
    video->SetTextInput(true, TRect{1, 1, 2, 2});
    e->FreeNow();
    EXPECT_EQ(reg->Focus(), nullptr);
    EXPECT_TRUE(reg->FocusSearchRequested());
    EXPECT_TRUE(panel->Controls().empty());
    EXPECT_FALSE(video->TextInputOn());
}

TEST_F(EditScene, ShownOnlyWhileEveryAncestorIsVisibleOnTheActiveLayer) {
    TTestBox* grand = Box("grand", 100, 100, 300, 200);
    TTestBox* parent = Box("parent", 10, 10, 200, 100, grand);
    TVorqEdit* e = Make(LT_EDIT, 5, 5, 80, 20, parent);
    reg->Update();
    EXPECT_EQ(e->PanelRect(), Bounds(115, 115, 80, 20));
    // Moving an ancestor moves the field at once.
    grand->SetLeft(150);
    EXPECT_EQ(e->PanelRect(), Bounds(165, 115, 80, 20));
    grand->SetPlusY(7);
    reg->Update();
    EXPECT_EQ(e->PanelRect().Top, 122);
    grand->SetVisible(false);
    reg->Update();
    EXPECT_FALSE(e->Shown());
    grand->SetVisible(true);
    reg->Update();
    EXPECT_TRUE(e->Shown());
    // On the other layer it hides; a layer switch shows it after one frame.
    TVorqEdit* other = Make(LT_EDIT, 0, 0, 50, 20, reg->InactiveBase());
    reg->Update();
    EXPECT_FALSE(other->Shown());
    reg->SetActiveBase(1 - reg->ActiveIndex, 0, 0, false, 0, 0);
    reg->Update();
    EXPECT_TRUE(other->Shown());
    EXPECT_FALSE(e->Shown());
    // Where a field lay, the layer is drawn again.
    EXPECT_GT(reg->ActiveBase()->DirtyList.Count(), 0);
}

TEST_F(EditScene, ShownFieldsAreDrawnOverThePictureClippedToIt) {
    TVorqEdit* e = Make(LT_EDIT, 600, 10, 80, 24);
    e->SetColor(0x00FF00);  // green
    reg->Update();
    panel->DrawControls(TPoint{0, 8}, TPoint{640, 480});
    const uint32_t* px = video->ReadPixels();
    EXPECT_EQ(px[size_t(8 + 20) * 640 + 620] & 0xFFFFFF, 0x00FF00u);
    // Nothing lands outside the field (left of it and below it).
    EXPECT_EQ(px[size_t(8 + 20) * 640 + 590] & 0xFFFFFF, 0u);
    EXPECT_EQ(px[size_t(8 + 40) * 640 + 620] & 0xFFFFFF, 0u);
}

TEST_F(EditScene, ClipboardRoundTripsJapaneseThroughUtf8) {
    std::string desktop;
    SetClipboardBackend({[&] { return desktop; }, [&](const std::string& s) {
                             desktop = s;
                             return true;
                         }});
    TVorqEdit* e = Make(LT_EDIT, 10, 10, 300, 24);
    Click(20, 20);
    ASSERT_TRUE(e->HasKeyboard());
    for (const ClipText& t : kClipTexts) {
        SCOPED_TRACE(t.Utf8);
        // Copy: the field's Shift-JIS becomes the desktop's UTF-8.
        e->SetText(t.Sjis);
        Send(KeyEvent(InputEventKind::KeyDown, VK_CONTROL));
        Type('A');
        Type('C');
        Send(KeyEvent(InputEventKind::KeyUp, VK_CONTROL));
        EXPECT_EQ(desktop, t.Utf8);
        // Paste: the desktop's UTF-8 comes back as the same bytes.
        e->SetText("");
        Send(KeyEvent(InputEventKind::KeyDown, VK_CONTROL));
        Type('V');
        Send(KeyEvent(InputEventKind::KeyUp, VK_CONTROL));
        EXPECT_EQ(e->GetText(), t.Sjis);
    }
}

TEST_F(EditScene, AModifierHeldWhileTheWindowLosesTheFocusIsForgotten) {
    SetClipboardBackend({[] { return std::string("PASTE"); }, [](const std::string&) { return true; }});
    TVorqEdit* e = Make(LT_EDIT, 10, 10, 100, 24);
    Click(20, 20);
    Send(KeyEvent(InputEventKind::KeyDown, VK_CONTROL));
    // Ctrl goes up in another window.
    Send(PlainEvent(InputEventKind::Deactivate));
    reg->Update();
    ASSERT_TRUE(e->Field().Focused());
    Type('V', "v");
    EXPECT_EQ(e->GetText(), "v");
}

TEST_F(EditScene, TheSceneSavesAndLoadsBothKindsWithJapaneseText) {
    const std::string line = Sjis("山田 表示ソ①～"), lines = Sjis("一行目\r\n二行目ソ");
    TVorqEdit* e = Make(LT_EDIT, 10, 10, 100, 24);
    e->SetName("name");
    e->SetText(line);
    TVorqEdit* m = Make(LT_MEMO, 10, 50, 100, 60);
    m->SetName("notes");
    m->SetText(lines);
    TMemoryStream s;
    reg->SaveToStream(s);
    reg->ResetScene();
    s.SetPosition(0);
    reg->LoadFromStream(s, 130);
    auto* e2 = dynamic_cast<TVorqEdit*>(reg->FindObject("name"));
    auto* m2 = dynamic_cast<TVorqEdit*>(reg->FindObject("notes"));
    ASSERT_NE(e2, nullptr);
    ASSERT_NE(m2, nullptr);
    EXPECT_EQ(e2->GetCompoType(), LT_EDIT);
    EXPECT_EQ(m2->GetCompoType(), LT_MEMO);
    EXPECT_EQ(e2->GetText(), line);
    EXPECT_EQ(m2->GetText(), lines);
    EXPECT_TRUE(e2->Shown());
    EXPECT_EQ(panel->Controls().size(), 2u);
}

TEST_F(EditScene, RecordsLoadBackAndDamageIsRefused) {
    for (uint8_t type : {LT_EDIT, LT_MEMO}) {
        SCOPED_TRACE(int(type));
        reg->ResetScene();
        TVorqEdit* e = Make(type, 10, 20, 150, 40);
        e->SetName("field");
        e->SetText(Sjis(type == LT_MEMO ? "名前は\r\n山田表示" : "名前は山田表示"));
        e->SetFontName(Sjis("ＭＳ 明朝"));
        e->SetFontHeight(-16);
        e->SetFontStyle(IntToFontStyles(2));
        e->SetFontColor(0x123456);
        e->SetColor(0x654321);
        e->SetReadOnly(true);
        e->SetPaused(true);
        e->SetHAlign(2);
        e->SetOnNotify("typed.vsb");
        TMemoryStream out;
        e->SaveToStream(out);
        const std::vector<uint8_t> bytes(out.Bytes().begin(), out.Bytes().end());
        auto load = [&](const std::vector<uint8_t>& b, size_t n) {
            reg->ResetScene();
            auto* copy = static_cast<TVorqEdit*>(CreateStoredObject(reg.get(), type));
            copy->SetParent(reg->ActiveBase());
            TMemoryStream in;
            if (n) in.WriteBuffer(b.data(), int64_t(n));
            in.SetPosition(0);
            copy->LoadFromStream(in, 130);
            EXPECT_EQ(in.Remaining(), 0);
            return copy;
        };
        TVorqEdit* copy = load(bytes, bytes.size());
        EXPECT_EQ(copy->GetText(), Sjis(type == LT_MEMO ? "名前は\r\n山田表示" : "名前は山田表示"));
        EXPECT_EQ(copy->GetFontName(), Sjis("ＭＳ 明朝"));
        EXPECT_EQ(copy->GetFontHeight(), 16);
        EXPECT_EQ(FontStylesToInt(copy->GetFontStyle()), 2);
        EXPECT_EQ(copy->GetFontColor(), 0x123456);
        EXPECT_EQ(copy->GetColor(), 0x654321);
        EXPECT_TRUE(copy->GetReadOnly());
        EXPECT_TRUE(copy->GetPaused());
        EXPECT_EQ(copy->GetHAlign(), type == LT_MEMO ? 2 : 0);
        EXPECT_EQ(copy->GetOnNotify(), "typed.vsb");
        EXPECT_TRUE(copy->Shown());
        TMemoryStream again;
        copy->SaveToStream(again);
        EXPECT_EQ(std::vector<uint8_t>(again.Bytes().begin(), again.Bytes().end()), bytes);
        for (size_t n = 0; n < bytes.size(); ++n) EXPECT_THROW(load(bytes, n), ECorruptData) << n;
        for (size_t i = 0; i < bytes.size(); ++i) {
            std::vector<uint8_t> b = bytes;
            b[i] ^= 0xFF;
            try {
                TVorqEdit* damaged = load(b, b.size());
                damaged->Update();
                panel->DrawControls(TPoint{0, 0}, TPoint{640, 480});
            } catch (const ECorruptData&) {
            }
        }
    }
}

}  // namespace

// A wheel turned over a memo scrolls it three lines a notch, within its
// lines, and is not the scene's; over an edit or beside every field it is
// left to the scene.
TEST_F(EditScene, TheWheelScrollsTheMemoUnderThePointer) {
    TVorqEdit* memo = Make(LT_MEMO, 10, 10, 120, 40);
    TVorqEdit* edit = Make(LT_EDIT, 10, 100, 120, 24);
    memo->SetText("1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10");
    memo->Update();
    edit->Update();
    memo->Field().Select(0, 0);
    ASSERT_EQ(memo->Field().TopLine(), 0);
    auto wheel = [&](int x, int y, int32_t notches) {
        InputEvent e = MouseEvent(InputEventKind::MouseWheel, x, y);
        e.WheelDelta = notches;
        return Send(e);
    };
    const struct {
        int x, y;
        int32_t notches;
        bool used;
        int32_t top;  // -1: the memo's last page
    } steps[] = {{20, 20, -1, true, 3}, {20, 20, -1, true, 6}, {20, 20, -9, true, -1},
                 {20, 20, 1, true, -4},  {20, 110, 5, true, -4}, {300, 300, 5, false, -4}};
    int32_t last_top = -1;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.y);
        EXPECT_EQ(wheel(s.x, s.y, s.notches), s.used);
        // The memo's last page: its last line at the bottom, some lines up.
        if (s.top == -1) last_top = memo->Field().TopLine();
        EXPECT_GT(last_top == -1 ? 7 : last_top, 6);
        EXPECT_LT(last_top, memo->Field().LineCount() - 1);
        const int32_t want = s.top == -1 ? last_top : s.top == -4 ? last_top - 3 : s.top;
        EXPECT_EQ(memo->Field().TopLine(), want);
    }
    EXPECT_EQ(memo->Field().Caret(), 0u);
}
