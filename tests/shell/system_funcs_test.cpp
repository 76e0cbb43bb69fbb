// The display-object, screen and system functions through compiled
// expressions, on a headless game with a registry of memory surfaces: named
// objects and layers, checks and button states, coordinates, object lists,
// display modes, save captions, variables by name, Calc, file tests, the
// URL opener, and screen shots compared with pictures Pillow drew
// (tests/data/screenshot/make_golden.py).
#include "shell/form_view.h"
#include "shell/headless_runner.h"
#include "script/param_collection.h"
#include "script/parser.h"
#include "engine/project.h"
#include "engine/scenario_writer.h"
#include "shell/system_funcs.h"
#include "engine/tesk_source.h"
#include "files/install_set.h"
#include "files/vr_file_manager.h"
#include "media/base/media.h"
#include "media/base/screen_manager.h"
#include "objects/basic/box.h"
#include "objects/basic/cabinet.h"
#include "objects/scene/scene.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/filesys.h"
#include "platform/text/string_list.h"
#include "platform/system/url_opener.h"
#include "render/tesk.h"
#include "render/tesk_collection.h"
#include "tests/support/file_bytes.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/openat2_stand_in.h"
#include "tests/support/plain_dibx.h"
#include "tests/support/scripted_video.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace {

// A list box: TEXT and one check mark per item.
class TFakeMenu : public TVorqControl {
public:
    using TVorqControl::TVorqControl;
    uint8_t GetCompoType() const override { return LT_MENU; }
    std::string GetText() const override { return Text; }
    void SetText(const std::string& v) override { Text = v; }
    bool GetItemCheck(int32_t i) const override { return i >= 0 && i < 3 && Checks[i]; }
    void SetItemCheck(int32_t i, bool v) override {
        if (i >= 0 && i < 3) Checks[i] = v;
    }
    std::string Text;
    bool Checks[3] = {false, true, false};
};

// A prepared menu: buttons by index and by name.
class TFakePrevMenu : public TVorqControl {
public:
    using TVorqControl::TVorqControl;
    uint8_t GetCompoType() const override { return LT_PREVMENU; }
    bool GetButtonEnabled(int32_t i) const override { return i >= 0 && i < 4 && Enabled[i]; }
    void SetButtonEnabled(int32_t i, bool v) override {
        if (i >= 0 && i < 4) Enabled[i] = v;
    }
    int32_t IndexOfButton(const std::string& name) const override {
        for (int32_t i = 0; i < 4; ++i)
            if (name == Names[i]) return i;
        return -1;
    }
    const char* Names[4] = {"Button00", "Button01", "Button02", "Button03"};
    bool Enabled[4] = {true, false, true, false};
};

class TFakeComponent : public TVorqComponent {
public:
    using TVorqComponent::TVorqComponent;
    uint8_t GetCompoType() const override { return LT_TIMER; }
};

constexpr int32_t Rgb(int r, int g, int b) { return r | (g << 8) | (b << 16); }

class SystemFuncs : public ::testing::Test {
protected:
    TTestGameFolder folder;
    TPlainDIBX screen{160, 120, 32};
    std::unique_ptr<TVorqBaseList> reg;
    std::unique_ptr<TRegistrySceneLink> link;
    std::unique_ptr<THeadlessRunner> runner;
    TVorqBaseList* saved_registry = nullptr;
    TFakeMenu* menu = nullptr;
    TFakePrevMenu* prev = nullptr;

    void SetUp() override {
        SetSurfaceMaker([](int32_t w, int32_t h, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
            return std::make_unique<TPlainDIBX>(w, h, bits);
        });
        reg = std::make_unique<TVorqBaseList>();
        reg->SurfaceBits = 32;
        reg->SetWidth(160);
        reg->SetHeight(120);
        reg->SetScreenSurface(&screen);
        saved_registry = VorqBaseList;
        VorqBaseList = reg.get();
        link = std::make_unique<TRegistrySceneLink>(*reg);
        folder.WriteFile("loose.txt", "loose");
        folder.WriteArchive("game.dat", {{"packed.txt", "packed"}});
        TPageWriter w;
        w.Wait("100000");
        folder.WritePage("main.vsb", w);
        folder.WriteProject(TestProjectData("main.vsb"));
        runner = std::make_unique<THeadlessRunner>(folder.Path(), link.get());
        ASSERT_TRUE(runner->Running());
        build_scene();
    }
    void TearDown() override {
        runner.reset();
        VorqBaseList = saved_registry;
        reg.reset();
        SetSurfaceMaker(nullptr);
    }

    // The scene of the golden pictures, plus objects that draw nothing.
    void build_scene() {
        reg->ActiveBase()->SetColor(Rgb(32, 64, 96));
        reg->InactiveBase()->SetColor(Rgb(200, 100, 0));
        box("red", 11, 7, 50, 33, Rgb(255, 0, 0));
        TVorqControl* green = box("green", 40, 30, 61, 45, Rgb(0, 200, 50));
        box("white", 3, 3, 9, 9, Rgb(250, 250, 250), green);
        box("blue", 150, 110, 30, 30, Rgb(10, 20, 255));
        box("corner", 0, 0, 20, 20, Rgb(255, 255, 255), reg->InactiveBase());
        auto* clock = new TFakeComponent(reg.get());
        clock->SetName("clock");
        menu = new TFakeMenu(reg.get());
        menu->SetName("menu");
        menu->SetParent(reg->ActiveBase());
        menu->Text = " \t alpha\r\nBeta\r\ngamma \r\n\r\n";
        prev = new TFakePrevMenu(reg.get());
        prev->SetName("pm");
        prev->SetParent(reg->ActiveBase());
        auto* cab = new TVorqCabinet(reg.get());
        cab->SetName("cab");
        cab->SetParent(reg->ActiveBase());
        box("parked", 0, 0, 4, 4, Rgb(1, 2, 3), cab);
    }
    TVorqBox* box(const std::string& name, int l, int t, int w, int h, int32_t color,
                  TVorqControl* parent = nullptr) {
        auto* b = new TVorqBox(reg.get());
        b->SetName(name);
        b->SetRect(l, t, w, h);
        b->SetColor(color);
        b->SetParent(parent ? parent : reg->ActiveBase());
        return b;
    }
    TParamCollectionItem* var(const char* name, uint8_t type) {
        auto* e = Params->AddVariable(type);
        e->SetName(name);
        return e;
    }
    static std::string eval(std::string_view text) {
        TVorqParser p;
        CompileExpression(p, text);
        p.Evaluate();
        return p.Result() ? p.Result()->GetAsString() : "(none)";
    }
    // Runs one function straight on a destination holding "keep" and gives
    // what it holds afterwards: "keep" when the function wrote nothing.
    // Arguments "#n" are integers, all others text.
    static std::string call(const char* fn, std::initializer_list<std::string> args) {
        uint8_t index = 0;
        EXPECT_TRUE(FindSysFuncIndex(fn, index)) << fn;
        std::vector<std::unique_ptr<TCustomParam>> values;
        std::vector<TCustomParam*> pointers;
        for (const std::string& a : args) {
            if (!a.empty() && a[0] == '#') {
                values.push_back(std::make_unique<TParamInt>());
                values.back()->SetAsInt(std::stoi(a.substr(1)));
            } else {
                values.push_back(std::make_unique<TParamStr>());
                values.back()->SetAsString(a);
            }
            pointers.push_back(values.back().get());
        }
        TParamCollectionItem dest;
        dest.SetType(PT_STR);
        dest.SetAsString("keep");
        SysFuncMan().CallFunction(dest, index, pointers);
        return dest.GetAsString();
    }
    static std::string items(const TParamCollectionItem* v) {
        std::string out;
        for (int32_t i = 0; i < v->Count(); ++i) out += (i ? "|" : "") + v->GetStrAt(i);
        return out;
    }
    static std::string prop(int id) { return std::to_string(id); }
};

TEST_F(SystemFuncs, ObjectsByName) {
    const struct {
        std::string expr, want;
    } cases[] = {
        {"Exists(\"\")", "FALSE"},  // the empty name finds the layer, yet names no object
        {"Exists(\"red\")", "TRUE"},
        {"Exists(\"clock\")", "TRUE"},
        {"Exists(\"Red\")", "FALSE"},
        {"GetProp(\"red\", " + prop(PR_LEFT) + ")", "11"},
        {"GetProp(\"\", " + prop(PR_WIDTH) + ")", "160"},
        {"GetProp(\"clock\", " + prop(PR_COMPOTYPE) + ")", std::to_string(LT_TIMER)},
        {"ToClientX(\"white\", 100)", "57"},  // 100 - (40 + 3)
        {"ToClientY(\"white\", 100)", "67"},
        {"ToScreenX(\"white\", 1)", "44"},
        {"ToScreenY(\"white\", -1)", "32"},
        {"ToClientX(\"nobody\", 7)", "7"},
        {"ToScreenY(\"clock\", 7)", "7"},  // not a control: unchanged
        {"InPrimary(\"red\")", "TRUE"},
        {"InPrimary(\"white\")", "TRUE"},
        {"InPrimary(\"corner\")", "FALSE"},  // on the other layer
        {"InPrimary(\"parked\")", "FALSE"},  // in a cabinet
        {"InPrimary(\"clock\")", "FALSE"},
        {"InPrimary(\"\")", "FALSE"},
        {"IndexOfMenu(\"menu\", \"alpha\")", "0"},
        {"IndexOfMenu(\"menu\", \"BETA\")", "1"},
        {"IndexOfMenu(\"menu\", \"gamma\")", "2"},  // the trailing space went with the trim
        {"IndexOfMenu(\"menu\", \"\")", "-1"},      // the empty last lines were trimmed away
        {"IndexOfMenu(\"menu\", \"delta\")", "-1"},
        {"IndexOfMenu(\"red\", \"\")", "-1"},
        {"IndexOfMenu(\"nobody\", \"alpha\")", "-1"},
        {"SetWallPaper(\"\", 0)", "FALSE"},
    };
    for (const auto& c : cases) EXPECT_EQ(eval(c.expr), c.want) << c.expr;

    auto* left = var("left", PT_INT);
    eval("SetProp(\"red\", " + prop(PR_LEFT) + ", 33)");
    eval("left = GetProp(\"red\", " + prop(PR_LEFT) + ")");
    EXPECT_EQ(left->GetAsInt(), 33);
    eval("SetProp(\"\", " + prop(PR_COLOR) + ", 255)");
    EXPECT_EQ(reg->ActiveBase()->GetColor(), 255);
    // Missing objects: no error, and nothing written.
    EXPECT_EQ(call("GetProp", {"nobody", "#3"}), "keep");
    EXPECT_EQ(call("SetProp", {"nobody", "#3", "#1"}), "keep");
    EXPECT_EQ(call("SetProp", {"red", "#3", "#1"}), "keep");  // no result either
    EXPECT_EQ(static_cast<TVorqControl*>(reg->FindObject("red"))->GetLeft(), 1);
    EXPECT_EQ(call("GetProp", {"", "#" + prop(PR_HEIGHT)}), "120");
}

TEST_F(SystemFuncs, ChecksAndButtonStates) {
    const struct {
        const char* expr;
        const char* want;
    } reads[] = {
        {"GetCheck(\"menu\", 1)", "TRUE"},
        {"GetCheck(\"menu\", 0)", "FALSE"},
        {"GetCheck(\"menu\", 3)", "FALSE"},
        {"GetCheck(\"red\", 1)", "FALSE"},  // no items
        {"GetEnabled(\"pm\", 2)", "TRUE"},
        {"GetEnabled(\"pm\", \"2\")", "TRUE"},  // a number as text is the index
        {"GetEnabled(\"pm\", \"Button02\")", "TRUE"},
        {"GetEnabled(\"pm\", \"Button01\")", "FALSE"},
        {"GetEnabled(\"pm\", \"button02\")", "FALSE"},  // names are exact
        {"GetEnabled(\"pm\", 9)", "FALSE"},
        {"GetEnabled(\"menu\", \"0\")", "FALSE"},
    };
    for (const auto& c : reads) EXPECT_EQ(eval(c.expr), c.want) << c.expr;

    for (const char* fn : {"GetCheck", "GetEnabled", "SetCheck", "SetEnabled"})
        EXPECT_EQ(call(fn, {"nobody", "#0", "TRUE"}), "keep") << fn;
    EXPECT_EQ(call("GetEnabled", {"pm", "Button02"}), "TRUE");
    EXPECT_EQ(call("GetEnabled", {"pm", "#1"}), "FALSE");
    EXPECT_EQ(call("SetCheck", {"menu", "#2", "TRUE"}), "keep");
    EXPECT_TRUE(menu->Checks[2]);
    eval("SetCheck(\"menu\", 0, TRUE)");
    eval("SetCheck(\"menu\", 1, FALSE)");
    eval("SetCheck(\"nobody\", 2, TRUE)");
    eval("SetCheck(\"menu\", 2, FALSE)");
    EXPECT_TRUE(menu->Checks[0]);
    EXPECT_FALSE(menu->Checks[1]);
    EXPECT_FALSE(menu->Checks[2]);
    eval("SetEnabled(\"pm\", \"Button01\", TRUE)");
    eval("SetEnabled(\"pm\", \"3\", TRUE)");
    eval("SetEnabled(\"pm\", 0, FALSE)");
    const bool want[4] = {false, true, true, true};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(prev->Enabled[i], want[i]) << i;
}

TEST_F(SystemFuncs, ListCompoByTypeAndParent) {
    auto* v = var("v", PT_STR);
    auto* n = var("n", PT_INT);
    const std::string all = "red|green|white|blue|corner|clock|menu|pm|cab|parked";
    const struct {
        std::string expr;
        int32_t count;
        std::string names;
    } cases[] = {
        {"n = ListCompo(v)", 10, all},
        {"n = ListCompo(v, 0)", 10, all},
        {"n = ListCompo(v, 99)", 10, all},  // beyond the table: any type
        {"n = ListCompo(v, " + std::to_string(256 + LT_BOX) + ")", 6, "red|green|white|blue|corner|parked"},
        {"n = ListCompo(v, " + std::to_string(LT_BOX) + ", \"green\")", 1, "white"},
        {"n = ListCompo(v, 0, \"\")", 6, "red|green|blue|menu|pm|cab"},
        {"n = ListCompo(v, 0, \"nobody\")", 0, ""},
        {"n = ListCompo(v, " + std::to_string(LT_TIMER) + ")", 1, "clock"},
    };
    for (const auto& c : cases) {
        eval("SetArray(v, 3)");
        n->SetAsInt(-1);
        eval(c.expr);
        EXPECT_EQ(n->GetAsInt(), c.count) << c.expr;
        EXPECT_EQ(items(v), c.names) << c.expr;
        EXPECT_EQ(v->Count(), std::max(c.count, 1)) << c.expr;
    }
    // A literal in the variable's place: the count, and the literal stays.
    EXPECT_EQ(eval("ListCompo(\"x\", 0, \"green\")"), "1");
}

TEST_F(SystemFuncs, DisplayModesOfTheScreenManager) {
    auto* ok = var("ok", PT_BOOL);
    TParamCollectionItem* out[4] = {var("w", PT_INT), var("h", PT_INT), var("b", PT_INT), var("r", PT_INT)};
    EXPECT_EQ(eval("GetDisplayMode(0, w, h, b, r)"), "FALSE");  // no screen manager
    ScriptedVideo video;
    video.CreateWindow(160, 120, "");
    video.Modes = {{640, 480, 16, 60}, {320, 200, 32, 70}, {800, 600, 32, 75}, {1024, 768, 8, 60}};
    TScreenManager manager(&video, 640, 480, 800, 600);
    TScreenManager* saved = ScreenManager;
    ScreenManager = &manager;
    reg->SetScreenSurface(&screen);
    const struct {
        const char* expr;
        bool ok;
        int32_t values[4];
    } cases[] = {
        {"ok = GetDisplayMode(0, w, h, b, r)", true, {640, 480, 16, 60}},
        {"ok = GetDisplayMode(1, w, h, b, r)", true, {800, 600, 32, 75}},  // the usable modes only
        {"ok = GetDisplayMode(2, w, h, b, r)", false, {-1, -1, -1, -1}},
        {"ok = GetDisplayMode(-1, w, h, b, r)", false, {-1, -1, -1, -1}},
    };
    for (const auto& c : cases) {
        for (auto* o : out) o->SetAsInt(-1);
        ok->SetAsBool(!c.ok);
        eval(c.expr);
        EXPECT_EQ(ok->GetAsBool(), c.ok) << c.expr;
        for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i]->GetAsInt(), c.values[i]) << c.expr << " " << i;
    }
    ScreenManager = saved;
}

TEST_F(SystemFuncs, SaveSlotCaptions) {
    auto* c = var("c", PT_STR);
    auto* s = var("s", PT_INT);
    auto* n = var("n", PT_INT);
    Project->SlotCaptions.clear();
    // No caption at all: giving a variable is the element-count error.
    n->SetAsInt(-1);
    eval("n = ListSaveCaption(c)");
    EXPECT_EQ(n->GetAsInt(), -1);
    EXPECT_EQ(eval("ListSaveCaption()"), "0");
    Project->SetSlotCaption(3, "three");
    Project->SetSlotCaption(1, Sjis("一番目"));
    const struct {
        const char* expr;
        std::string want;
    } cases[] = {
        {"GetSaveCaption(3)", "three"},
        {"GetSaveCaption(1)", Sjis("一番目")},
        {"GetSaveCaption(2)", ""},
        {"ListSaveCaption()", "2"},
    };
    for (const auto& k : cases) EXPECT_EQ(eval(k.expr), k.want) << k.expr;
    eval("n = ListSaveCaption(c, s)");
    EXPECT_EQ(n->GetAsInt(), 2);
    EXPECT_EQ(items(c), "three|" + Sjis("一番目"));
    EXPECT_EQ(items(s), "3|1");
}

TEST_F(SystemFuncs, VariablesByNameAndCalc) {
    auto* v = var("v", PT_INT);
    auto* w = var("w", PT_INT);
    auto* r = var("r", PT_STR);
    const struct {
        const char* expr;
        const char* want;
    } names[] = {
        {"VarExists(\"v\")", "TRUE"}, {"VarExists(\"V\")", "TRUE"},        {"VarExists(\"nosuch\")", "FALSE"},
        {"VarExists(\"\")", "FALSE"}, {"AssignTemp(\"nosuch\")", "FALSE"}, {"AssignTemp(\"\")", "FALSE"},
    };
    for (const auto& c : names) EXPECT_EQ(eval(c.expr), c.want) << c.expr;

    EXPECT_EQ(eval("AssignTemp(\"v\")"), "TRUE");
    eval("@Temp = 9");
    EXPECT_EQ(v->GetAsInt(), 9);
    // A failed AssignTemp leaves @Temp where it was.
    EXPECT_EQ(eval("AssignTemp(\"nosuch\")"), "FALSE");
    eval("w = @Temp + 1");
    EXPECT_EQ(w->GetAsInt(), 10);

    const struct {
        const char* text;
        const char* result;  // "keep": nothing written
        int32_t v;
    } calcs[] = {
        {"v = 5", "TRUE", 5},
        {"  v = v * 3  ", "TRUE", 15},
        {"1 + 1", "TRUE", 15},
        {"", "keep", 15},
        {" \t ", "keep", 15},
        {"v = (", "keep", 15},          // does not compile
        {"v = Nothing(1)", "keep", 15},  // no such function
        {"v = nosuch + 1", "keep", 15},  // fails while running
        {"v = 1 div 0", "keep", 15},
    };
    for (const auto& c : calcs) {
        EXPECT_EQ(call("Calc", {c.text}), c.result) << c.text;
        EXPECT_EQ(v->GetAsInt(), c.v) << c.text;
    }
    // Through an expression: the text temporary holds "TRUE".
    eval("r = Calc(\"v = 2\")");
    EXPECT_EQ(r->GetAsString(), "TRUE");
    EXPECT_EQ(v->GetAsInt(), 2);
}

TEST_F(SystemFuncs, FileExistsAsksTheFileManager) {
    const struct {
        const char* expr;
        const char* want;
    } cases[] = {
        {"FileExists(\"loose.txt\")", "TRUE"},  {"FileExists(\"LOOSE.TXT\")", "TRUE"},
        {"FileExists(\"packed.txt\")", "TRUE"}, {"FileExists(\"missing.txt\")", "FALSE"},
        {"FileExists(\"\")", "FALSE"},
    };
    for (const auto& c : cases) EXPECT_EQ(eval(c.expr), c.want) << c.expr;
}

TEST_F(SystemFuncs, OpenUrlHandsOnlyWebAddressesToTheOpener) {
    const std::string log = folder.Path() + "urls.txt";
    const std::string opener = folder.Path() + "opener.sh";
    folder.WriteFile("opener.sh", "#!/bin/sh\nprintf '%s|%s\\n' \"$#\" \"$1\" >> '" + log + "'\n");
    ASSERT_EQ(chmod(opener.c_str(), 0755), 0);
    SetUrlOpenerProgram(opener, true);
    const struct {
        std::string url;
        bool opened;
    } cases[] = {
        {"http://example.com/a b?x=1&y=$(touch pwned);z='q'", true},
        {"https://example.com/", true},
        {"ftp://example.com/f", true},
        {"mailto:someone@example.com", false},
        {"HTTP://example.com/", false},  // the scheme is compared exactly
        {" http://example.com/", false},
        {"file:///etc/passwd", false},
        {"", false},
    };
    std::string want;
    for (const auto& c : cases) {
        EXPECT_EQ(call("OpenUrl", {c.url}), "keep") << c.url;
        if (c.opened) want += "1|" + c.url + "\n";
    }
    SetUrlOpenerProgram("");
    EXPECT_EQ(ReadFileBytes(log), want);
    EXPECT_FALSE(FileExists(folder.Path() + "pwned"));
}

// ---- screen shots ---------------------------------------------------------

std::string golden(const char* name) { return ReadFileBytes(std::string(VORQ_TEST_DATA) + "/screenshot/" + name); }

// The first frame of a layered image as RGB rows, top row first.
std::string tes_rgb(TStream& s, int& w, int& h) {
    TTeskFrameList list;
    list.LoadFromStream(s, true);
    if (list.Count() < 1) return {};
    const TDIBSurface& img = list.GetFrame(0)->Image;
    w = img.Width();
    h = img.Height();
    std::string out;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t r, g, b;
            img.PixelToRGB(DIBGetRaw(img.ScanLineReadOnly(y), x, img.BitCount()), r, g, b);
            out += static_cast<char>(r);
            out += static_cast<char>(g);
            out += static_cast<char>(b);
        }
    return out;
}

std::string tes_file_rgb(const std::string& path, int& w, int& h) {
    TMemoryStream m;
    m.LoadFromFile(path);
    return tes_rgb(m, w, h);
}

TEST_F(SystemFuncs, SaveScreenWritesTheLayerAsPillowDrawsIt) {
    const struct {
        const char* expr;
        const char* file;
        const char* golden;
        int w, h;
    } cases[] = {
        {"SaveScreen(\"full.tes\")", "full.tes", "active.rgb", 160, 120},
        {"SaveScreen(\"ZERO.TES\", 0, 0)", "ZERO.TES", "active.rgb", 160, 120},
        {"SaveScreen(\"half.Tes\", 80, 60)", "half.Tes", "half.rgb", 80, 60},
        {"SaveScreen(\"other.tes\", 0, 0, TRUE)", "other.tes", "other.rgb", 160, 120},
        {"SaveScreen(\"shown.tes\", 160, 0, FALSE)", "shown.tes", "active.rgb", 160, 120},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(eval(c.expr), "TRUE") << c.expr;
        int w = 0, h = 0;
        const std::string got = tes_file_rgb(folder.Path() + c.file, w, h);
        EXPECT_EQ(w, c.w) << c.expr;
        EXPECT_EQ(h, c.h) << c.expr;
        EXPECT_TRUE(got == golden(c.golden)) << c.expr;
    }
    // A bigger copy: the size asked for.
    EXPECT_EQ(eval("SaveScreen(\"big.tes\", 320, 240)"), "TRUE");
    int w = 0, h = 0;
    tes_file_rgb(folder.Path() + "big.tes", w, h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
}

TEST_F(SystemFuncs, SaveScreenRefusesWhatItCannotDoAndSaysSo) {
    const std::string outside = ExtractFilePath(folder.Path().substr(0, folder.Path().size() - 1));
    const std::string escape_name = "escape_" + std::to_string(getpid()) + ".tes";
    TTestGameFolder elsewhere;
    ASSERT_EQ(symlink(elsewhere.Path().c_str(), (folder.Path() + "link").c_str()), 0);
    ASSERT_TRUE(ForceDirectories(folder.Path() + "dir.tes"));
    ASSERT_TRUE(ForceDirectories(folder.Path() + "sub"));
    const struct {
        std::string name;
        std::string args;
    } refused[] = {
        {"shot.bmp", ""},
        {"shot", ""},
        {"..\\" + escape_name, ""},
        {"../" + escape_name, ""},
        {"sub\\..\\..\\" + escape_name, ""},
        {outside + escape_name, ""},       // absolute
        {"C:\\" + escape_name, ""},         // a drive
        {"link\\" + escape_name, ""},       // a link leading out of the folder
        {"nofolder\\a.tes", ""},            // the write cannot succeed
        {"dir.tes", ""},                    // a folder stands in the way
        {"a.tes", ", -1, 0"},
        {"a.tes", ", 0, -5"},
        {"a.tes", ", " + std::to_string(kMaxScreenShotSide + 1) + ", 10"},
        {"a.tes", ", 10, 2000000000"},
    };
    for (const auto& c : refused) {
        TParamCollectionItem* f = var("f", PT_STR);
        f->SetAsString(c.name);
        EXPECT_EQ(eval("SaveScreen(f" + c.args + ")"), "FALSE") << c.name << c.args;
        Params->Delete(f->GetIndex());
    }
    EXPECT_FALSE(FileExists(outside + escape_name));
    EXPECT_FALSE(FileExists(elsewhere.Path() + escape_name));
    EXPECT_FALSE(FileExists(folder.Path() + "a.tes"));
    EXPECT_EQ(ListDirectory(elsewhere.Path()).size(), 0u);
    // A name inside a sub-folder is fine.
    EXPECT_EQ(eval("SaveScreen(\"sub\\\\in.tes\")"), "TRUE");
    EXPECT_TRUE(FileExists(folder.Path() + "sub/in.tes"));
    // Without the game's folder nothing is written.
    const std::string base = FileManager->BaseFolder;
    FileManager->BaseFolder = folder.Path() + "gone/";
    EXPECT_EQ(eval("SaveScreen(\"a.tes\")"), "FALSE");
    FileManager->BaseFolder = base;
}

// A picture named through a link: written where the link leads when that
// lies in the game's folder, refused (and nothing made or changed) when
// it leads out, even when the link dangles; install.dat likewise.
TEST_F(SystemFuncs, SaveScreenFollowsLinksOnlyWhereTheyStayInTheGameFolder) {
    TTestGameFolder elsewhere;
    elsewhere.WriteFile("victim.txt", "the user's own file");
    const std::string out = NativePath(elsewhere.Path()), in = NativePath(folder.Path());
    ASSERT_TRUE(ForceDirectories(folder.Path() + "pics"));
    const struct {
        const char* name;
        std::string to;           // what the link holds
        const char* written;      // where the picture lands inside the folder, or nullptr
    } cases[] = {
        {"out.tes", out + "victim.txt", nullptr},
        {"dangling_out.tes", out + "made.tes", nullptr},
        {"relative_out.tes", "../" + ExtractFileName(out.substr(0, out.size() - 1)) + "/made2.tes", nullptr},
        {"pics/up_out.tes", "../../" + ExtractFileName(out.substr(0, out.size() - 1)) + "/made3.tes", nullptr},
        {"inside.tes", "pics/target.tes", "pics/target.tes"},
        {"absolute_inside.tes", in + "pics/abs.tes", "pics/abs.tes"},
        {"pics/up_inside.tes", "../up.tes", "up.tes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(symlink(c.to.c_str(), (in + c.name).c_str()), 0);
        EXPECT_EQ(eval(std::string("SaveScreen(\"") + c.name + "\")"), c.written ? "TRUE" : "FALSE");
        struct stat st {};
        ASSERT_EQ(lstat((in + c.name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        if (c.written) {
            int w = 0, h = 0;
            EXPECT_TRUE(tes_file_rgb(folder.Path() + c.written, w, h) == golden("active.rgb"));
        }
    }
    EXPECT_EQ(ReadNativeFileBytes(out + "victim.txt"), "the user's own file");
    EXPECT_EQ(ListDirectory(elsewhere.Path()).size(), 1u);
    // install.dat leading out is not rewritten either: the call says so.
    ASSERT_EQ(symlink((out + "victim.txt").c_str(), (in + "install.dat").c_str()), 0);
    EXPECT_EQ(eval("SaveScreen(\"reg.tes\", 0, 0, FALSE, 2)"), "FALSE");
    EXPECT_EQ(ReadNativeFileBytes(out + "victim.txt"), "the user's own file");
}

// The game started through its folder spelt as launchers spell it ("//"
// or "/./" in the middle, a trailing slash, a linked folder), where the
// kernel has openat2, lacks it or a sandbox refuses it: pictures are saved
// at the top and in a subfolder, a name in another case finds its file,
// the removals at the game's end remove them, and a link out is refused.
TEST_F(SystemFuncs, SaveScreenSavesAndRemovesHoweverTheGameFolderIsSpelt) {
    TTestGameFolder elsewhere;
    elsewhere.WriteFile("victim.tes", "the user's own file");
    const std::string game = folder.Path(), native = NativePath(game), out = NativePath(elsewhere.Path());
    const std::string parent = ExtractFilePath(game.substr(0, game.size() - 1));
    const std::string name = ExtractFileName(game.substr(0, game.size() - 1));
    ASSERT_TRUE(ForceDirectories(game + "pics"));
    ASSERT_EQ(symlink((out + "victim.tes").c_str(), (native + "pics/out.tes").c_str()), 0);
    ASSERT_EQ(symlink(native.c_str(), (out + "linked").c_str()), 0);
    const std::string spellings[] = {parent + "/" + name + "/", parent + "./" + name + "/", game + "/",
                                     elsewhere.Path() + "linked/"};
    const std::string base = FileManager->BaseFolder;
    for (const Openat2Answer& answer : kOpenat2Answers) {
        const Openat2StandIn stand_in(answer.Call);
        for (const std::string& spelt : spellings) {
            SCOPED_TRACE(std::string(answer.What) + ", " + spelt);
            FileManager->BaseFolder = spelt;
            EXPECT_EQ(eval("SaveScreen(\"Shot.tes\")"), "TRUE");
            EXPECT_EQ(eval("SaveScreen(\"SHOT.TES\")"), "TRUE");
            EXPECT_EQ(eval("SaveScreen(\"PICS\\\\Shot2.tes\")"), "TRUE");
            EXPECT_EQ(eval("SaveScreen(\"pics\\\\out.tes\")"), "FALSE");
            struct stat st {};
            EXPECT_EQ(::lstat((native + "Shot.tes").c_str(), &st), 0);
            EXPECT_NE(::lstat((native + "SHOT.TES").c_str(), &st), 0) << "the same picture in another case";
            EXPECT_EQ(::lstat((native + "pics/Shot2.tes").c_str(), &st), 0);
            EXPECT_TRUE(DeleteFileInFolder(spelt, "shot.TES"));
            EXPECT_TRUE(DeleteFileInFolder(spelt, "Pics\\SHOT2.tes"));
            EXPECT_NE(::lstat((native + "Shot.tes").c_str(), &st), 0);
            EXPECT_NE(::lstat((native + "pics/Shot2.tes").c_str(), &st), 0);
        }
    }
    FileManager->BaseFolder = base;
    EXPECT_EQ(ReadNativeFileBytes(out + "victim.tes"), "the user's own file");
}

TEST_F(SystemFuncs, SaveScreenRegistersTheFileForDeletionOrTheInstaller) {
    TStringList exit_list;
    TStringList* saved = ExitDeleteList;
    ExitDeleteList = &exit_list;
    TVorqInstallSet install;
    install.Title = "game";
    install.AddName("kept.tes");
    install.SaveToFile(folder.Path() + "install.dat");
    const char* calls[] = {
        "SaveScreen(\"gone.tes\", 0, 0, FALSE, 1)", "SaveScreen(\"GONE.tes\", 0, 0, FALSE, 1)",
        "SaveScreen(\"reg.tes\", 0, 0, FALSE, 2)",  "SaveScreen(\"reg.tes\", 0, 0, FALSE, 2)",
        "SaveScreen(\"four.tes\", 0, 0, FALSE)",    "SaveScreen(\"mem:m.tes\", 0, 0, FALSE, 1)",
        "SaveScreen(\"other.tes\", 0, 0, FALSE, 3)",
    };
    for (const char* c : calls) EXPECT_EQ(eval(c), "TRUE") << c;
    ExitDeleteList = saved;
    ASSERT_EQ(exit_list.Count(), 1);
    EXPECT_EQ(exit_list.Get(0), FileManager->BaseFolder + "gone.tes");
    TVorqInstallSet back;
    back.LoadFromFile(folder.Path() + "install.dat");
    EXPECT_EQ(back.Title, "game");
    EXPECT_EQ(back.Names, (std::vector<std::string>{"kept.tes", "reg.tes"}));
    // No install settings beside the game: none are made.
    DeleteFile(folder.Path() + "install.dat");
    EXPECT_EQ(eval("SaveScreen(\"reg2.tes\", 0, 0, FALSE, 2)"), "TRUE");
    EXPECT_FALSE(FileExists(folder.Path() + "install.dat"));
    // Damaged install settings: the registration fails, and the call says so.
    folder.WriteFile("install.dat", "is1");
    EXPECT_EQ(eval("SaveScreen(\"reg3.tes\", 0, 0, FALSE, 2)"), "FALSE");
}

TEST_F(SystemFuncs, LaterLoadsReadTheNewPictureNotACachedOne) {
    TTeskCollection images(&ProjectTeskSource());
    TTeskCollection* saved = TeskCollection;
    TeskCollection = &images;
    int user = 0;
    const int32_t colors[2] = {Rgb(255, 0, 0), Rgb(0, 0, 255)};
    for (const char* name : {"mem:a.tes", "pic.tes"}) {
        const std::string save = std::string("SaveScreen(\"") + name + "\")";
        for (int round = 0; round < 2; ++round) {
            reg->ActiveBase()->SetColor(colors[round]);
            EXPECT_EQ(eval(save), "TRUE") << name;
            // Through the decoded-image cache (the picture stays idle there).
            TTeskItem* item = images.Acquire(&user, name, false, false);
            ASSERT_EQ(item->GetFrameCount(), 1) << name;
            TCustomDIBX& img = *item->Frames[0]->Image;
            EXPECT_EQ(img.Width(), 160);
            EXPECT_EQ(img.GetPixel(2, 100), static_cast<uint32_t>(img.ColorToPixel(colors[round])))
                << name << " round " << round;
            item->Release(&user);
            // Through the file manager (which caches loose files).
            TMemoryStream m;
            FileManager->LoadToStream(m, name);
            int w = 0, h = 0;
            const std::string rgb = tes_rgb(m, w, h);
            ASSERT_EQ(rgb.size(), 160u * 120u * 3u);
            EXPECT_EQ(static_cast<uint8_t>(rgb[(100 * 160 + 2) * 3 + 2]), round == 0 ? 0 : 255) << name;
        }
    }
    // The memory picture never reached the disk.
    EXPECT_FALSE(FileExists(folder.Path() + "mem:a.tes"));
    EXPECT_NE(FileManager->FindEntry("mem:a.tes"), nullptr);
    TeskCollection = saved;
}

}  // namespace
