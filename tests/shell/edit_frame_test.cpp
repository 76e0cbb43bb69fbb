// End to end: the player's window on SDL (its dummy driver) plays a page
// that makes an edit and a memo; key, text-input and input-method events
// pushed into SDL's own queue reach the focused field, its handler page
// hears each key with the text before it, the keys are not game keys, the
// unfinished text is drawn over the picture, and SDL's text input runs
// only while a field has the keyboard, its candidate window at the caret.
#include "shell/form_view.h"

#include "script/param_collection.h"
#include "shell/player_modules.h"
#include "engine/scenario_writer.h"
#include "objects/controls/edit.h"
#include "objects/scene/scene.h"
#include "platform/text/codepage.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/player_window.h"

#include <SDL.h>
#include <gtest/gtest.h>

namespace {

class EditFrames : public PlayerWindowTest {
protected:
    void SetUp() override {
        InstallPlayerModules();
        PlayerWindowTest::SetUp();
    }
    void start(uint8_t opcode) {
        TPageWriter w;
        for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_WIDTH, PR_HEIGHT, PR_ONNOTIFY}) w.SetMask(opcode, id);
        w.VarNew("log", PT_STR, "\"\"");
        w.VarNew("gone", PT_INT, "0");
        w.Component(opcode, {{PR_NAME, "\"field\""},
                             {PR_PARENT, "\"\x01" "BASE0\""},
                             {PR_LEFT, "100"},
                             {PR_TOP, "50"},
                             {PR_WIDTH, "200"},
                             {PR_HEIGHT, "60"},
                             {PR_ONNOTIFY, "\"typed.vsb\""}});
        w.Wait("100000", "gone == 0");
        w.ObjDel("\"field\"");
        w.Wait("100000");
        TPageWriter typed;
        typed.Calc("log = log ++ @ParamStr[0] ++ \":\" ++ @ParamStr[1] ++ \"|\"");
        typed.Exit();
        folder.WritePage("main.vsb", w);
        folder.WritePage("typed.vsb", typed);
        folder.WriteProject(TestProjectData("main.vsb"));
        view = std::make_unique<TFormView>(std::vector<std::string>{folder.Path()}, Video::Create(VideoBackend::Sdl));
        view->FormCreate();
        ASSERT_FALSE(Terminating);
        ASSERT_FALSE(view->Window().IsHeadless());
        // Before any field exists the input method leaves the keys alone.
        EXPECT_FALSE(SDL_IsTextInputActive());
        frames(3);
    }
    // Frames as the message loop runs them: the window's events first.
    void frames(int n) {
        for (int i = 0; i < n; ++i) {
            InputEvent e;
            while (view->Window().PollEvent(e)) view->HandleEvent(e);
            clock += 16;
            view->ApplicationEventsIdle();
        }
    }
    SDL_Event sdl(uint32_t type) {
        SDL_Event s{};
        s.type = type;
        s.key.windowID = SDL_GetWindowID(ActiveSdlWindow());
        return s;
    }
    void key(SDL_Scancode code, SDL_Keycode sym, const char* text = nullptr) {
        SDL_Event s = sdl(SDL_KEYDOWN);
        s.key.keysym.scancode = code;
        s.key.keysym.sym = sym;
        SDL_PushEvent(&s);
        if (text) {
            SDL_Event t = sdl(SDL_TEXTINPUT);
            SDL_strlcpy(t.text.text, text, sizeof t.text.text);
            SDL_PushEvent(&t);
        }
        frames(1);
        s.type = SDL_KEYUP;
        SDL_PushEvent(&s);
    }
    void click(int32_t x, int32_t y) {
        SDL_Event s = sdl(SDL_MOUSEBUTTONDOWN);
        s.button.button = SDL_BUTTON_LEFT;
        s.button.x = view->ImageOffsetX + x;
        s.button.y = view->ImageOffsetY + y;
        SDL_PushEvent(&s);
        s.type = SDL_MOUSEBUTTONUP;
        SDL_PushEvent(&s);
        frames(1);
    }
    // a, b and Return typed into the field after a click on it.
    void type_ab_return(uint8_t opcode, const std::string& text) {
        start(opcode);
        ASSERT_NE(field(), nullptr);
        click(110, 60);
        ASSERT_EQ(VorqBaseList->Focus(), field());
        EXPECT_TRUE(SDL_IsTextInputActive());
        key(SDL_SCANCODE_A, SDLK_a, "a");
        key(SDL_SCANCODE_B, SDLK_b, "b");
        key(SDL_SCANCODE_RETURN, SDLK_RETURN);
        EXPECT_FALSE(VorqBaseList->GetKeyPush(13));
        EXPECT_FALSE(VorqBaseList->GetKeyPush('A'));
        frames(3);
        EXPECT_EQ(var("log"), "65:|66:a|13:ab|");
        EXPECT_EQ(field()->GetText(), text);
        // With the field gone nothing has the keyboard and SDL's text input stops.
        Params->Find("gone")->SetAsInt(1);
        frames(3);
        EXPECT_EQ(field(), nullptr);
        EXPECT_EQ(VorqBaseList->Focus(), nullptr);
        EXPECT_FALSE(SDL_IsTextInputActive());
        EXPECT_FALSE(view->Window().TextInputOn());
    }
    TVorqEdit* field() const { return dynamic_cast<TVorqEdit*>(VorqBaseList->FindObject("field")); }
    std::string var(const char* name) const { return Params->Find(name)->GetAsString(); }
    uint32_t shown(int32_t x, int32_t y) const {
        const Video& w = view->Window();
        return w.ReadPixels()[size_t(view->ImageOffsetY + y) * size_t(w.ClientWidth()) +
                              size_t(view->ImageOffsetX + x)] & 0xFFFFFF;
    }
};

TEST_F(EditFrames, AnEditReportsKeysAndSwallowsReturn) { type_ab_return(opEditNew, "ab"); }

TEST_F(EditFrames, AMemoKeepsReturnAsALineBreak) { type_ab_return(opMemoNew, "ab\r\n"); }

TEST_F(EditFrames, TheUnfinishedTextIsDrawnAndTheCandidateWindowFollowsTheCaret) {
    start(opEditNew);
    click(110, 60);
    ASSERT_TRUE(view->Window().TextInputOn());
    const TRect before = view->Window().TextInputCaret();
    // The caret of the empty field lies at its left, inside it.
    EXPECT_GE(before.Left, view->ImageOffsetX + 100);
    EXPECT_LT(before.Left, view->ImageOffsetX + 110);
    EXPECT_GE(before.Top, view->ImageOffsetY + 50);
    std::vector<uint32_t> plain;
    for (int x = 100; x < 200; ++x) plain.push_back(shown(x, 60));
    SDL_Event s = sdl(SDL_TEXTEDITING);
    SDL_strlcpy(s.edit.text, "にほん", sizeof s.edit.text);
    SDL_PushEvent(&s);
    frames(2);
    EXPECT_EQ(field()->Field().Preedit(), Sjis("にほん"));
    int changed = 0;
    for (int x = 100; x < 200; ++x) changed += shown(x, 60) != plain[size_t(x - 100)];
    EXPECT_GT(changed, 5);
    // The candidate window moved right past the unfinished text, to the
    // field's caret in the window.
    const TRect after = view->Window().TextInputCaret();
    const TRect caret = field()->CaretRect();
    EXPECT_EQ(after.Left, view->ImageOffsetX + 100 + caret.Left);
    EXPECT_EQ(after.Top, view->ImageOffsetY + 50 + caret.Top);
    EXPECT_GT(after.Left, before.Left + 20);
    // Committing the text ends the unfinished one.
    s = sdl(SDL_TEXTINPUT);
    SDL_strlcpy(s.text.text, "日本", sizeof s.text.text);
    SDL_PushEvent(&s);
    frames(2);
    EXPECT_EQ(field()->GetText(), Sjis("日本"));
    EXPECT_EQ(field()->Field().Preedit(), "");
}

}  // namespace
