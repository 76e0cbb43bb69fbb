// The name scene: a label asks in Japanese for the player's name, typed into
// an edit field; Return in the field or a click on the "決定" box ends the
// entry and a label greets the player by name. Without anyone at the keys
// a default name is filled in after four seconds and the scene goes on.
#include "files/vocab.h"
#include "platform/text/codepage.h"
#include "tools/demo/common.h"
#include "tools/demo/scenes.h"

#include <string>

namespace {
std::string quoted(const std::string& s) { return "\"" + s + "\""; }
std::string prop(int id) { return std::to_string(id); }
}  // namespace

void WriteEditScene(const std::string& folder, const std::string& next) {
    TPageWriter w;
    DemoBoxMasks(w);
    // Masks are the page's: every box record holds the click handler.
    w.SetMask(opBoxNew, PR_ONLBTNDOWN);
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_TEXT, PR_FONTHEIGHT, PR_FONTCOLOR, PR_ANTIALIAS, PR_ALPHA,
                   PR_IGNOREMOUSE})
        w.SetMask(opCaption, id);
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_WIDTH, PR_HEIGHT, PR_FONTHEIGHT, PR_ONNOTIFY})
        w.SetMask(opEditNew, id);
    w.VarNew("ed_done", PT_INT, "0");
    w.VarNew("ed_tick", PT_INT, "0");
    w.VarNew("ed_name", PT_STR, "\"\"");
    w.Component(opBoxNew, {{PR_NAME, quoted("ed_back")},
                           {PR_PARENT, kHidden},
                           {PR_LEFT, "0"},
                           {PR_TOP, "0"},
                           {PR_WIDTH, "640"},
                           {PR_HEIGHT, "480"},
                           {PR_COLOR, std::to_string(0x503020)},
                           {PR_ALPHA, "255"},
                           {PR_BORDERWIDTH, "0"},
                           {PR_BORDERCOLOR, "-1"},
                           {PR_PRIORITY, "-20"},
                           {PR_ONLBTNDOWN, "\"\""}});
    TPageWriter::FlipFields flip;
    flip.Kind = "1";
    flip.Duration = "300";
    flip.ClearOld = "1";
    w.Flip(flip);
    const auto caption = [&](const char* name, int l, int t, const std::string& text, int height, bool through) {
        w.Component(opCaption, {{PR_NAME, quoted(name)},
                                {PR_PARENT, kShown},
                                {PR_LEFT, std::to_string(l)},
                                {PR_TOP, std::to_string(t)},
                                {PR_TEXT, quoted(text)},
                                {PR_FONTHEIGHT, std::to_string(height)},
                                {PR_FONTCOLOR, "16777215"},
                                {PR_ANTIALIAS, "1"},
                                {PR_ALPHA, "255"},
                                {PR_IGNOREMOUSE, through ? "1" : "0"}});
    };
    caption("ed_prompt", 120, 150, Sjis("お名前を入力してください"), 24, false);
    w.Component(opEditNew, {{PR_NAME, quoted("ed_field")},
                            {PR_PARENT, kShown},
                            {PR_LEFT, "120"},
                            {PR_TOP, "200"},
                            {PR_WIDTH, "280"},
                            {PR_HEIGHT, "28"},
                            {PR_FONTHEIGHT, "-20"},
                            {PR_ONNOTIFY, quoted("ed_key.vsb")}});
    // The "決定" button: a box that takes the click, its caption letting it through.
    w.Component(opBoxNew, {{PR_NAME, quoted("ed_ok")},
                           {PR_PARENT, kShown},
                           {PR_LEFT, "420"},
                           {PR_TOP, "200"},
                           {PR_WIDTH, "90"},
                           {PR_HEIGHT, "28"},
                           {PR_COLOR, "8421504"},
                           {PR_ALPHA, "255"},
                           {PR_BORDERWIDTH, "2"},
                           {PR_BORDERCOLOR, "16777215"},
                           {PR_PRIORITY, "0"},
                           {PR_ONLBTNDOWN, quoted("ed_ok.vsb")}});
    caption("ed_ok_caption", 445, 203, Sjis("決定"), 20, true);
    // Four seconds for a name; nobody typing gets the default one.
    w.While("ed_done == 0 & ed_tick < 40");
    w.Indent = 1;
    w.Wait("100");
    w.Calc("ed_tick = ed_tick + 1");
    w.Indent = 0;
    w.EndWhile();
    w.GetProp(quoted("ed_field"), prop(PR_TEXT), "ed_name");
    w.If("ed_name == \"\"");
    w.Indent = 1;
    // Lines of their own for the demo run's trace.
    w.Line = kEditDefaultNameLine;
    w.Calc("ed_name = " + quoted(Sjis("ゲスト")));
    w.Line = 0;
    w.SetProp(quoted("ed_field"), prop(PR_TEXT), "ed_name");
    w.Indent = 0;
    w.Wait("600");
    w.ObjDel(quoted("ed_field"));
    w.ObjDel(quoted("ed_ok_caption"));
    w.ObjDel(quoted("ed_ok"));
    w.Line = kEditGreetingLine;
    w.SetProp(quoted("ed_prompt"), prop(PR_TEXT),
              quoted(Sjis("ようこそ、")) + " ++ ed_name ++ " + quoted(Sjis("さん！")));
    w.Line = 0;
    w.Wait("1500");
    w.Jump(next);
    w.SaveToFile(folder + "edit.vsb");

    // Return in the field ends the entry; every other key is only typed.
    TPageWriter key;
    key.If("@ParamStr[0] == \"13\"");
    key.Indent = 1;
    key.Calc("ed_done = 1");
    key.Indent = 0;
    key.Exit();
    key.SaveToFile(folder + "ed_key.vsb");
    TPageWriter ok;
    ok.Calc("ed_done = 1");
    ok.Exit();
    ok.SaveToFile(folder + "ed_ok.vsb");
}
