// Writes the seed corpus of every fuzz target with the player's own
// writers: make_corpus OUT_DIR SOURCE_DIR. Pictures in formats the player
// only reads come from the test data (made by the committed scripts there).
#include "engine/call_man.h"
#include "engine/game_save.h"
#include "engine/page.h"
#include "script/param_collection.h"
#include "engine/project.h"
#include "engine/scenario_writer.h"
#include "files/big_stream.h"
#include "files/db_table.h"
#include "files/hit_map.h"
#include "files/install_set.h"
#include "files/save_stream.h"
#include "files/vr_file_collection.h"
#include "fuzz/scene_fixture.h"
#include "objects/basic/box.h"
#include "objects/images/button.h"
#include "objects/images/images.h"
#include "objects/images/map_image.h"
#include "objects/images/tile.h"
#include "objects/basic/cabinet.h"
#include "objects/text/cg_label.h"
#include "objects/controls/gauge.h"
#include "objects/text/label.h"
#include "objects/controls/menu.h"
#include "objects/controls/prev_menu.h"
#include "objects/controls/slider.h"
#include "objects/media/sound.h"
#include "objects/basic/prop_motion.h"
#include "objects/basic/timer.h"
#include "objects/media/video.h"
#include "objects/effects/fire.h"
#include "objects/effects/wave.h"
#include "objects/effects/particle.h"
#include "objects/film/cinema.h"
#include "objects/media/http.h"
#include "objects/controls/edit.h"
#include "platform/text/codepage.h"
#include "objects/text/history.h"
#include "objects/text/mes.h"
#include "objects/timer_list.h"
#include "platform/text/codepage.h"
#include "render/dib.h"
#include "render/label_list.h"
#include "tests/support/prev_menu_writer.h"
#include "tests/objects/kind_drawing.h"
#include "render/tesk.h"
#include "render/text/wz_word.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/film_writer.h"
#include "tests/support/glyph_list_writer.h"
#include "tests/support/tesk_writer.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path out_root;
int written = 0;

void Seed(const std::string& target, const std::string& name, const std::string& bytes) {
    const fs::path dir = out_root / target;
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ++written;
}

std::string BytesOf(TMemoryStream& s) {
    return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.GetSize()));
}

std::string SeedFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("missing seed " + file.string());
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void CopySeeds(const std::string& target, const fs::path& folder, const std::vector<std::string>& names) {
    for (const std::string& n : names) Seed(target, n, SeedFile(folder / n));
}

void Archives() {
    for (int entries : {1, 3}) {
        TVrFileCollection c;
        for (int i = 0; i < entries; ++i) {
            TVrFile* e = c.AddEntry("dir\\file" + std::to_string(i) + ".txt");
            // One entry large enough to be worth packing, the others tiny.
            const std::string text = i == 0 ? std::string(300, char('a' + i)) : "x" + std::to_string(i);
            e->Data->WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
        }
        TWzBigMemoryStream out;
        c.SaveToStream(out);
        const std::string whole = BytesOf(out.Inner());
        Seed("archive", "written" + std::to_string(entries), whole);
        // Cut inside its last entry, as a save file whose end was lost:
        // salvaging keeps the entries before it.
        Seed("archive", "cut" + std::to_string(entries), whole.substr(0, whole.size() - 5));
    }
    // A save file spoilt where its entries are found by their names (the
    // head, the entry count, a name length) or are left out (a name made
    // another's, bytes unlike their checksum).
    TVrFileCollection save;
    for (const char* name : {"GAMESAVEDATA1", "GAMESAVEDATA3", "GAMESAVEDATA12", "STATUSSAVEDATA"}) {
        // A game record's head (version, caption, resume page and command),
        // so that its slot shows.
        TMemoryStream text;
        WriteStreamInteger(text, static_cast<int32_t>(kGameSaveVersion));
        WriteStreamString(text, name);
        WriteStreamString(text, "");
        WriteStreamInteger(text, 0);
        text.WriteBuffer(std::string(200, 'x').data(), 200);
        save.AddEntry(name)->Data->WriteBuffer(text.Memory(), text.GetSize());
    }
    TWzBigMemoryStream out;
    save.SaveToStream(out);
    const std::string whole = BytesOf(out.Inner());
    const struct {
        const char* Name;
        size_t At;
        char Bit;
    } spoils[] = {{"save_tag", 0, 0x01}, {"save_version", 2, 0x01}, {"save_count", 6, 0x01},
                  {"save_name_length", 10, 0x01}, {"save_name_twice", 10 + 4 + 12, 0x02},
                  {"save_checksum", whole.size() - 3, 0x10}};
    for (const auto& spoil : spoils) {
        std::string bytes = whole;
        bytes[spoil.At] = static_cast<char>(bytes[spoil.At] ^ spoil.Bit);
        Seed("archive", spoil.Name, bytes);
        Seed("save_file", spoil.Name, std::string(1, '\0') + bytes);
    }
    std::string no_count = whole;
    for (size_t i = 6; i < 10; ++i) no_count[i] = 0;
    Seed("archive", "save_no_count", no_count);
    Seed("save_file", "save_no_count", std::string(1, '\0') + no_count);
    Seed("save_file", "save_whole", std::string(1, '\0') + whole);
    // The whole file and a bit of the first slot's packed bytes to flip.
    std::string flip(1, '\1');
    const uint32_t bit = static_cast<uint32_t>(whole.size() - 40) * 8 + 3;
    for (int k = 0; k < 4; ++k) flip += static_cast<char>(bit >> (8 * k));
    Seed("save_file", "save_flipped", flip + whole);
    // A flip in a slot's packed bytes that the stream's own Adler-32 misses.
    size_t flip_at = 0;
    const std::string long_caption = LongCaptionSaveFile(&flip_at);
    std::string adler(1, '\1');
    for (int k = 0; k < 4; ++k) adler += static_cast<char>(flip_at >> (8 * k));
    Seed("save_file", "save_adler_missed", adler + long_caption);
}

void InstallSettings() {
    TVorqInstallSet set;
    set.Title = "seed";
    set.ProductName = "product";
    set.SetDiskCount(2);
    set.Names = {"save\\a.bmp", "b.bmp"};
    TMemoryStream s;
    set.SaveToStream(s);
    Seed("install_set", "written", BytesOf(s));
    TFolderDiskList list;
    list.AddFolder("cg", 1);
    list.AddFolder("bgm", 2);
    TMemoryStream l;
    list.SaveToStream(l);
    Seed("install_set", "folder_disks", BytesOf(l));
}

void Tables() {
    for (uint8_t kind : {uint8_t(0), uint8_t(1)}) {
        TDBManager m;
        m.AddTable("t", kind);
        m.GetCurrent()->LoadFromText({"id int\tname string 9\tw float\tok bool", "1\tone\t1.5\t1", "2\ttwo\t-3\t0"});
        m.AddTable("u", kind);
        m.GetCurrent()->LoadFromText({"v int", "7"});
        TMemoryStream s;
        m.SaveToStream(s, kind);
        Seed("db_table", "kind" + std::to_string(kind), BytesOf(s));
    }
}

void Pages() {
    for (uint32_t version : {103u, 105u, 107u, 109u}) {
        TPageWriter w(version);
        w.VarNew("i", 1, "0");
        w.Label("top");
        w.If("i < 3");
        w.Calc("i = i + 1");
        w.Else();
        w.Wait("10", "i > 1");
        w.Jump("next.vsb", 0, "i == 9");
        w.Call("sub.vsb", {"1", "\"a\""}, "r");
        w.While("i < 5");
        w.WhileInit("i = 0");
        w.Break("i == 4");
        w.EndWhile("i = i + 1");
        w.GameSave("1", "\"slot\"");
        w.SetMask(opBoxNew, 0);
        w.SetMask(opBoxNew, 3);
        w.Component(opBoxNew, {{0, "\"box\""}, {3, "10"}});
        w.Exit();
        Seed("page", "v" + std::to_string(version), w.Bytes());
    }
}

void Projects() {
    for (uint32_t version : {103u, 104u, 106u, 109u}) {
        TProjectFileData d = TestProjectData("start.vsb", version);
        d.Title = "seed";
        TProjectFileData::Variable v;
        v.Type = 4;
        v.Name = "s";
        v.Text = "text";
        d.Variables.push_back(v);
        v.Type = 2;
        v.Name = "f";
        v.Float = 2.5L;
        d.Variables.push_back(v);
        d.FolderDisks.push_back({"cg", 1});
        Seed("project", "v" + std::to_string(version), ProjectFileBytes(d));
    }
}

void Expressions() {
    int n = 0;
    for (const char* src : {"1 + 2 * 3", "a = \"x\" ++ IntToStr(4)", "b = (1 < 2) & (3 <> 4) | 0",
                            "c[1, 2] = 2.5 / 0.5 - -1", "Random(10) % 3 << 2", "s = Copy(IntToHex(255, 4), 1, 2) ++ Trim(\" t \")", ""})
        Seed("expression", "e" + std::to_string(n++), RecExpr(src));
}

void Variables() {
    auto table = std::make_unique<TParamCollection>();
    Params = table.get();
    auto make = [&](const char* name, uint8_t type) {
        auto* e = table->AddVariable(type);
        e->SetName(name);
        return e;
    };
    make("i", PT_INT)->SetAsInt(5);
    make("f", PT_FLOAT)->SetAsFloat(1.25L);
    make("s", PT_STR)->SetAsString("text");
    auto* arr = make("arr", PT_STR);
    int32_t dims[] = {3};
    arr->SetDims(dims);
    arr->SetStrAt(1, "two");
    auto* ref = make("r", 0);
    auto* v = const_cast<TParamVar*>(ref->Value()->AsVar());
    v->SetName("i");
    v->Link(*table);
    auto* keep = make("keep", PT_BOOL);
    keep->SetKept(true);
    keep->SetAsBool(true);
    TMemoryStream game, status;
    table->SaveGameVariables(game);
    table->SaveStatusVariables(status);
    Seed("params", "game", BytesOf(game));
    Seed("params", "status", BytesOf(status));
    Params = nullptr;
}

void SceneAndEvents() {
    TVorqBaseList& reg = FuzzRegistry();
    reg.ResetScene();
    auto box = [&](const char* name, int l, int t, int w, int h, TVorqControl* parent) {
        auto* b = new TFuzzBox(&reg);
        b->SetName(name);
        b->SetRect(l, t, w, h);
        b->SetParent(parent);
        return b;
    };
    TFuzzBox* win = box("win", 4, 4, 40, 30, reg.ActiveBase());
    win->SetClipWidth(30);
    win->SetColor(0x123456);
    TFuzzBox* btn = box("btn", 2, 3, 10, 8, win);
    btn->SetOnLBtnDown("click.vsb:go");
    box("bg", 0, 0, 64, 48, reg.InactiveBase())->SetVisible(false);
    auto* timer = new TFuzzTimer(&reg);
    timer->SetName("tick");
    TMemoryStream scene;
    reg.GetBaseAt(0)->SaveToStream(scene);
    reg.GetBaseAt(1)->SaveToStream(scene);
    Seed("scene", "two_layers", BytesOf(scene));

    TArrayString args;
    args.Add("12");
    args.Add("-4");
    reg.Events.AddEvent(btn, "click.vsb:go", &args, PR_ONLBTNDOWN);
    reg.Events.AddEvent(win, "idle.vsb", nullptr, PR_ONIDLE);
    TMemoryStream events;
    reg.Events.SaveToStream(events);
    Seed("events", "two_events", BytesOf(events));
    reg.ResetScene();
}

// One record of each built object kind, after the byte that picks the kind.
// The kinds are made directly: the scene seeds put stand-ins in the
// factory's place for the box and the timer.
void ObjectKinds() {
    TVorqBaseList reg;
    reg.SurfaceBits = 32;
    reg.SetWidth(64);
    reg.SetHeight(48);
    auto seed = [&](const char* name, uint8_t pick, TVorqObject& obj) {
        TMemoryStream s;
        obj.SaveToStream(s);
        Seed("object_kinds", name, std::string(1, char(pick)) + BytesOf(s));
    };
    auto* box = new TVorqBox(&reg);
    box->SetName("panel");
    box->SetRect(2, 3, 40, 30);
    box->SetBorderWidth(2);
    box->SetBorderColor(0x00FF00);
    box->SetAlpha(384);
    box->SetOnPlayEnd("end.vsb");
    box->SetParent(reg.ActiveBase());
    auto* inner = new TVorqBox(&reg);
    inner->SetName("inner");
    inner->SetAlpha(100);
    inner->SetParent(box);
    seed("box", 0, *box);
    auto* timer = new TVorqTimer(&reg);
    timer->SetName("tick");
    timer->SetOnNotify("tick.vsb");
    timer->SetDelay(250);
    timer->SetAutoScrap(true);
    seed("timer", 1, *timer);
    auto* motion = new TVorqPropMotion(&reg);
    motion->ObjectName = "panel";
    motion->Property = PR_LEFT;
    motion->TargetValue = 100;
    motion->Duration = 500;
    motion->Easing = 1;
    motion->Elapsed = 40;
    seed("prop_motion", 2, *motion);
    auto* cabinet = new TVorqCabinet(&reg);
    cabinet->SetName("shelf");
    cabinet->SetParent(reg.GetBaseAt(0));
    inner->SetParent(cabinet);
    seed("cabinet", 3, *cabinet);
    auto* sound = new TVorqSound(&reg);
    sound->SetName("bgm");
    sound->SetSource("music.ogg");
    sound->SetVolume(800);
    sound->SetBalance(-2500);
    sound->SetRepeat(true);
    sound->SetDelay(400);
    sound->SetOnPlayEnd("over.vsb");
    sound->SetRewindOnLoad(true);
    sound->SetMuteOnLoad(true);
    seed("sound", 4, *sound);
    auto* images = new TVorqImages(&reg);
    images->SetName("sprite");
    images->SetRect(4, 5, 8, 9);
    images->SetAlpha(300);
    images->SetAngle(20);
    images->SetRepeat(true);
    images->SetOnPlayEnd("end.vsb");
    images->SetParent(reg.ActiveBase());
    seed("images", 5, *images);
    auto* picture = new TVorqImage(&reg);
    picture->SetZoomY(512);
    picture->SetFlipH(true);
    picture->SetBrightness(90);
    seed("picture", 7, *picture);
    auto* gauge = new TVorqGauge(&reg);
    gauge->SetName("life");
    gauge->SetMin(-10);
    gauge->SetMax(90);
    gauge->SetValue(40);
    gauge->SetDelay(300);
    gauge->SetDuration(200);
    gauge->SetOrientation(1);
    gauge->SetReverse(true);
    gauge->SetOnIdle("idle.vsb");
    gauge->SetBarSize(12);
    seed("gauge", 6, *gauge);
    auto* tile = new TVorqTile(&reg);
    tile->SetName("floor");
    tile->SetRect(2, 3, 40, 30);
    tile->SetScrollX(-13);
    tile->SetScrollY(7);
    tile->SetDistanceX(9);
    tile->SetDistanceY(5);
    tile->SetAlpha(200);
    tile->SetOnIdle("idle.vsb");
    tile->SetParent(reg.ActiveBase());
    seed("tile", 8, *tile);
    auto* button = new TVorqButton(&reg);
    button->SetName("ok");
    button->SetRect(5, 6, 20, 10);
    button->SetHoverSource("hover.tes");
    button->SetPressedSource("pressed.tes");
    button->SetClickedSource("clicked.tes");
    button->SetOnNotify("ok.vsb");
    button->SetOnIdle("idle.vsb");
    button->SetParent(reg.ActiveBase());
    button->SetGroupIndex(2);
    seed("button", 9, *button);
    auto* label = new TVorqLabel(&reg);
    label->SetName("caption");
    label->SetFontHeight(14);
    label->SetText("Two\nlines");
    label->SetHAlign(1);
    label->SetAngle(30);
    label->SetZoomY(300);
    label->SetAlpha(320);
    label->SetParent(reg.ActiveBase());
    seed("label", 10, *label);
    auto* cg = new TVorqCGLabel(&reg);
    cg->SetName("score");
    cg->SetMapText("0123456789");
    cg->SetGlyphWidth(8);
    cg->SetGlyphHeight(12);
    cg->SetText("2024\n7");
    cg->SetHAlign(1);
    cg->SetOnIdle("idle.vsb");
    seed("cg_label", 11, *cg);
    auto* slider = new TVorqSlider(&reg);
    slider->SetName("volume");
    slider->SetMin(0);
    slider->SetMax(100);
    slider->SetValue(70);
    slider->SetSmallChange(5);
    slider->SetOrientation(1);
    slider->SetCaptureMask(true);
    slider->SetBarSize(80);
    slider->SetOnNotify("volume.vsb");
    seed("slider", 12, *slider);
    auto* bar = new TVorqScrollbar(&reg);
    bar->SetName("scroll");
    bar->SetMin(-20);
    bar->SetMax(20);
    bar->SetLargeChange(8);
    bar->SetOnHold("hold.vsb");
    seed("scroll_bar", 13, *bar);
    auto* video = new TVorqVideo(&reg);
    video->SetName("movie");
    video->SetSource("op.wmv");
    video->SetRect(8, 6, 32, 24);
    video->SetVolume(900);
    video->SetBalance(1200);
    video->SetRepeat(true);
    video->SetDelay(300);
    video->SetOverlay(false);
    video->SetOnPlayEnd("end.vsb");
    video->SetOnIdle("idle.vsb");
    video->SetMuteOnLoad(true);
    seed("video", 14, *video);
    auto* menu = new TVorqMenu(&reg);
    menu->SetName("choice");
    menu->SetFontHeight(12);
    menu->SetRowCount(2);
    menu->SetText("yes\r\nno\r\nlater");
    menu->SetChecked(1, true);
    menu->SetBorderWidth(1);
    menu->SetBorderColor(0x00FF00);
    menu->SetDelay(200);
    menu->SetAutoScrap(true);
    menu->SetOnSelect("chosen.vsb");
    menu->SetTopIndex(1);
    seed("menu", 15, *menu);
    auto* prev = new TVorqPrevMenu(&reg);
    prev->SetName("title");
    prev->SetOnSelect("chosen.vsb");
    prev->SetRClickScrap(true);
    seed("prev_menu", 16, *prev);
    auto* fire = new TVorqFire(&reg);
    fire->SetName("flames");
    fire->SetParent(reg.ActiveBase());
    fire->SetPower(200);
    fire->SetOrigWidth(20);
    fire->SetOrigHeight(12);
    fire->SetZoomX(512);
    fire->SetZoomY(384);
    fire->SetOnIdle("idle.vsb");
    seed("fire", 17, *fire);
    auto* wave = new TVorqWave(&reg);
    wave->SetName("ripple");
    wave->SetParent(reg.ActiveBase());
    wave->SetRect(4, 4, 40, 30);
    wave->SetAmp(-6);
    wave->SetWaveLen(20);
    wave->SetDelay(300);
    auto* inside = new TVorqBox(&reg);
    inside->SetParent(wave);
    inside->SetRect(2, 2, 10, 20);
    inside->SetColor(0x0000FF);
    seed("wave", 18, *wave);
    auto* fx = new TVorqParticle(&reg);
    fx->SetName("snow");
    fx->SetParent(reg.ActiveBase());
    fx->SetRect(0, 0, 60, 40);
    CompileExpression(fx->AppearX(), "Random(60)");
    CompileExpression(fx->AppearY(), "0");
    CompileExpression(fx->Delay(), "30");
    fx->SetSource("flake.tes");
    fx->SetPartMotion(PM_SNOW);
    fx->SetParam(0, 0.5L);
    fx->SetParam(1, 4.0L);
    fx->SetParam(2, 9.0L);
    fx->SetIndex(300);
    fx->SetDuration(2000);
    fx->SetOnIdle("idle.vsb");
    seed("particle", 19, *fx);
    auto* edit = new TVorqEdit(&reg);
    edit->SetName("name");
    edit->SetParent(reg.ActiveBase());
    edit->SetRect(4, 4, 50, 20);
    edit->SetText(Sjis("名前 name"));
    edit->SetFontHeight(-14);
    edit->SetOnNotify("typed.vsb");
    seed("edit", 20, *edit);
    auto* memo = new TVorqMemo(&reg);
    memo->SetName("notes");
    memo->SetParent(reg.ActiveBase());
    memo->SetRect(4, 4, 50, 30);
    memo->SetText(Sjis("一行目\r\ntwo"));
    memo->SetHAlign(2);
    memo->SetReadOnly(true);
    seed("memo", 21, *memo);
    auto* cinema = new TVorqCinema(&reg);
    cinema->SetName("movie");
    cinema->SetParent(reg.ActiveBase());
    cinema->SetRect(0, 0, 32, 24);
    cinema->SetRepeat(true);
    cinema->SetOnPlayEnd("done.vsb");
    cinema->SetOnIdle("idle.vsb");
    seed("cinema", 22, *cinema);
    // No address: setting one would start a fetch.
    auto* http = new TVorqHttp(&reg);
    http->SetName("news");
    http->SetOnPlayEnd("fetched.vsb");
    seed("http", 23, *http);
    auto* mes = new TVorqMes(&reg);
    mes->SetName("window");
    mes->SetParent(reg.ActiveBase());
    mes->SetRect(0, 20, 64, 28);
    seed("mes", 24, *mes);
    auto* map = new TVorqMapImage(&reg);
    map->SetName("map");
    map->SetParent(reg.ActiveBase());
    map->SetRect(0, 0, 48, 40);
    seed("map_image", 25, *map);
}

void MapImages() {
    auto area = [](const char* text, uint8_t shape, int32_t l, int32_t t, int32_t r, int32_t b) {
        THitArea a;
        a.Text = text;
        a.Shape = shape;
        a.Left = l, a.Top = t, a.Right = r, a.Bottom = b;
        return a;
    };
    THitArea star;
    star.Text = "star";
    star.Shape = kHitPolygon;
    star.Points = {{20, 1}, {31, 36}, {2, 13}, {38, 13}, {9, 36}};
    THitArea far = star;
    far.Shape = 9;
    far.Points = {{-2147483647 - 1, -5}, {2147483647, 0}, {3, 2147483647}};
    const std::vector<std::vector<THitArea>> maps = {
        {area("port", kHitRectangle, 2, 2, 11, 11), area("hill", kHitEllipse, -3, 4, 30, 9), star},
        {area("flat", kHitEllipse, 0, 0, 39, 1), far},
        {},
    };
    for (size_t i = 0; i < maps.size(); ++i) {
        TMemoryStream s;
        WriteHitMap(s, maps[i]);
        Seed("map_image", "hit_map" + std::to_string(i), std::string(1, '\0') + BytesOf(s));
    }
    TVorqBaseList reg;
    reg.SurfaceBits = 32;
    reg.SetWidth(64);
    reg.SetHeight(48);
    auto* map = new TVorqMapImage(&reg);
    map->SetName("town");
    map->SetRect(4, 5, 40, 30);
    map->SetAlpha(255);
    map->SetSource("town.tes");
    map->SetHoverSource("glow.tes");
    map->SetMapSource("town.map");
    map->SetOnMapIn("in.vsb");
    map->SetOnMapOut("out.vsb");
    map->SetOnSelect("select.vsb");
    map->SetOnIdle("idle.vsb");
    map->SetAutoScrap(true);
    map->SetRClickScrap(true);
    map->SetBrightness(-20);
    map->SetParent(reg.ActiveBase());
    TMemoryStream s;
    map->SaveToStream(s);
    Seed("map_image", "record", std::string(1, '\1') + BytesOf(s));
}

void MessageWindowAndBacklog() {
    TVorqBaseList& reg = FuzzRegistry();
    auto* m = new TVorqMes(&reg);
    m->SetName("msg");
    m->SetRect(10, 200, 300, 40);
    m->SetOnPlayEnd("next.vsb");
    m->SetText(Sjis("吾輩は<B>猫</B>である。\n名前はまだ無い。"));
    m->SetIndex(0);
    TMemoryStream record;
    m->SaveToStream(record);
    Seed("mes", "text_window", BytesOf(record));
    reg.ResetScene();

    TVorqNewHistory h;
    h.Word->ViewWidth = 300;
    h.Word->PageHeight = 80;
    h.OldEntries.push_back({"a.vsb", 2, 0, 300, 40});
    h.Entries.push_back(std::make_unique<TVorqHistData>());
    h.Entries.back()->AddPiece("a.vsb", 2, "N=1", 24, 9, 0);
    h.Entries.back()->AddPiece("a.vsb", 2, "", 24, 20, 10);
    h.PendingPage = "b.vsb";
    TMemoryStream backlog;
    h.SaveToStream(backlog);
    Seed("history", "backlog", BytesOf(backlog));
    TVorqReadList marks;
    marks.SetPending("msg", "a.vsb", 1, 2);
    marks.CommitPending("msg");
    TMemoryStream read;
    marks.SaveToStream(read);
    Seed("history", "read_marks", BytesOf(read));
}

void LayeredImages() {
    for (uint8_t comp : {uint8_t(0), uint8_t(1)}) {
        TTeskFrameList list;
        for (int f = 0; f < 2; ++f) {
            TTeskFrame& fr = *list.AddFrame();
            fr.Image.SetSize(5, 3, 24);
            fr.Image.FillRect(TRect{1, 0, 4, 2}, 0x102030 * (f + 1));
            fr.TransparentColor = 0;
            fr.Delay = 20;
        }
        list.MakeMasks();
        TMemoryStream s;
        list.SaveToStream(s, comp);
        Seed("tesk", "written" + std::to_string(comp), BytesOf(s));
    }
    TeskTestFile f;
    f.compression = 0;
    f.tileWidth = 2, f.tileHeight = 2;
    f.scrambled = true;
    f.idCode = 5;
    TeskTestFrame f0;
    f0.width = 3, f0.height = 3, f0.bits = 24;
    TeskTestLayer l;
    l.rows.assign(size_t(TeskTestStride(3, 24)) * 3, 0x55);
    l.maskRows.assign(size_t(4) * 3, 0x99);
    l.useMask = true;
    f0.layers.push_back(l);
    f.frames.push_back(f0);
    const std::vector<uint8_t> tiled = WriteTeskTestFile(f);
    Seed("tesk", "tiled_scrambled", std::string(tiled.begin(), tiled.end()));
}

void LabelSettings() {
    TWzLabelList a;
    a.FontName = "x";
    a.BorderWidth = 2;
    a.ShadowWidth = 1;
    a.FontSize = 14;
    TMemoryStream s;
    a.SaveToStream(s);
    Seed("label", "written", BytesOf(s));
}

void GlyphLists() {
    // The oldest untagged form, the flag border of 99, and the current form
    // with every kind of glyph.
    for (int version : {0, 99, 102}) {
        TGlyphListWriter w(version);
        StoredDecoration plain;
        StoredDecoration styled;
        styled.color = 0x0000FF;
        styled.style = 3;
        styled.size = 16;
        styled.border_width = 1;
        styled.shadow_width = 1;
        styled.ruby = Sjis("よみ");
        const uint32_t p = w.AddDecoration(plain);
        const uint32_t r = w.AddDecoration(styled);
        w.Text(Sjis("あいう"), r, 20);
        w.Return();
        w.Align(3);
        w.Indent();
        w.Char('x', p, "link", 5);
        w.Undent();
        w.Event("done", true);
        if (version >= 102) w.Var(p, "1 + 2");
        w.Image("pic.png", 5);
        w.Text(Sjis("「え」。"), p);
        w.Return(true);
        Seed("glyph_list", "v" + std::to_string(version), w.Bytes());
    }
}

void Films() {
    // Each version gate on both sides, a chained track and every kind.
    for (int version : {100, 104, 108}) {
        TFilmWriter w(version, version == 104);
        w.Header(320, 240, 0x102030, 1, 4, 5, 6);
        w.TrackCount(8);
        TFilmWriter::ImageBlock b;
        b.x_to = 100;
        b.angle_to = -45;
        w.Track(0, -1, 30, 0, 10);
        w.Image(b, "pic.png");
        w.Track(1, 0, 10, 0);
        w.Label(b, "text", 1, "font", 12, 14, 0, 0xffffff, 1);
        const int32_t box[16] = {0, 0, 10, 10, 255, 128, 5, 5, 20, 20, 0xff, 0xff00, 1, 2, 0, 0};
        w.Track(2, -1, 20, 5);
        w.Box(box, 1, 2);
        w.Track(3, -1, 15, 10);
        w.Wipe(3, "mask.png", 1, 2, 0);
        w.Track(4, -1, 5, 0);
        w.Sound("..\\se.wav", 1000, 500, 0, 0);
        w.Track(6, -1, 1, 0);
        w.EmptyParticle();
        w.Track(6, -1, 40, 0);
        w.Particle("spark.tes", 2, 500, {50, 20, 10, 1}, {0, 0, 10, 10, 5, 5, 1, 1}, {1, 2},
                   {2, 1.05, 0.1, 3, 1.1, 0.2}, {0, 0, 10, 10, 64, 48, 32, 24}, 255, 128);
        w.Track(7, -1, 1, 0);
        w.Fire(3);
        Seed("film", "v" + std::to_string(version), std::string(w.Bytes().begin(), w.Bytes().end()));
    }
}

// Game records as a save writes them: a scene with a control tree, a free
// object, an event and the focus, a backlog entry, an idle interpreter,
// variables and a game table.
void GameSaves() {
    TVorqBaseList& reg = FuzzRegistry();
    VorqBaseList = &reg;
    auto table = std::make_unique<TParamCollection>();
    Params = table.get();
    TCallMan cm;
    TMemoryStream empty;
    WriteGameRecord(empty, TGameSaveHead{}, cm);
    Seed("game_save", "empty_scene", BytesOf(empty));

    auto* win = new TFuzzBox(&reg);
    win->SetName("win");
    win->SetRect(4, 4, 40, 30);
    win->SetParent(reg.ActiveBase());
    auto* btn = new TFuzzBox(&reg);
    btn->SetName("btn");
    btn->SetRect(2, 2, 10, 8);
    btn->SetHandleKey(true);
    btn->SetParent(win);
    reg.SetFocusObject(btn);
    (new TFuzzTimer(&reg))->SetName("tick");
    reg.Events.AddEvent(btn, "click.vsb", nullptr, PR_ONLBTNDOWN);
    auto piece = std::make_unique<TVorqHistData>();
    piece->AddPiece("main.vsb", 2, "n=1", 16, 8, 0);
    History().Entries.push_back(std::move(piece));
    TParamCollectionItem* v = Params->AddVariable(PT_INT);
    v->SetName("score");
    v->SetAsInt(42);
    Params->AddVariable(PT_STR)->SetName("name");
    const int t = DBManager().AddTable("items", 0);
    DBManager().GetTable(t)->LoadFromText({"id int\tname string 8", "1\tsword"});
    TMemoryStream full;
    WriteGameRecord(full, TGameSaveHead{kGameSaveVersion, "caption", "", 0}, cm);
    Seed("game_save", "scene_backlog_variables", BytesOf(full));

    History().Clear();
    DBManager().Clear();
    reg.ResetScene();
    VorqBaseList = nullptr;
    Params = nullptr;
}

void CommandStates() {
    TPage page;
    for (int op = 0; op < kOpcodeCount; ++op) {
        std::unique_ptr<TCommand> c = page.CreateCommand(static_cast<uint8_t>(op));
        if (!c) continue;
        std::unique_ptr<TMemoryStream> state;
        c->SaveState(state);
        if (!state) continue;
        Seed("command_state", OpcodeName(static_cast<uint8_t>(op)), std::string(1, char(op)) + BytesOf(*state));
    }
}

// Tiny videos of our own pictures and sound, encoded by ffmpeg (a build
// dependency) in the containers and codecs the player meets: WMV with
// Windows Media sound, AVI and MPEG.
void Videos() {
    const fs::path tmp = fs::temp_directory_path() / ("vorq_corpus_video_" + std::to_string(::getpid()));
    fs::create_directories(tmp);
    const int w = 32, h = 24, frames = 6;
    {
        std::ofstream raw(tmp / "frames.rgb", std::ios::binary);
        for (int n = 0; n < frames; ++n)
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const char px[3] = {char(x * 8), char(y * 10), char(n * 40)};
                    raw.write(px, 3);
                }
        std::ofstream wav(tmp / "sound.wav", std::ios::binary);
        const int samples = 11025 * frames / 10;
        auto u32 = [&wav](uint32_t v) { wav.write(reinterpret_cast<const char*>(&v), 4); };
        auto u16 = [&wav](uint16_t v) { wav.write(reinterpret_cast<const char*>(&v), 2); };
        wav.write("RIFF", 4);
        u32(36 + samples * 2);
        wav.write("WAVEfmt ", 8);
        u32(16);
        u16(1);
        u16(1);
        u32(11025);
        u32(11025 * 2);
        u16(2);
        u16(16);
        wav.write("data", 4);
        u32(samples * 2);
        for (int i = 0; i < samples; ++i) u16(uint16_t(int16_t((i % 25) * 1000 - 12000)));
    }
    const std::string in = "-f rawvideo -pix_fmt rgb24 -s 32x24 -r 10 -i '" + (tmp / "frames.rgb").string() + "'";
    const std::string sound = " -i '" + (tmp / "sound.wav").string() + "'";
    const struct {
        const char* name;
        std::string args;
    } clips[] = {
        {"wmv2_wmav2.wmv", in + sound + " -c:v wmv2 -b:v 50k -c:a wmav2 -b:a 32k"},
        {"wmv1.wmv", in + " -c:v wmv1 -b:v 50k"},
        {"msmpeg4.avi", in + sound + " -c:v msmpeg4 -b:v 50k -c:a pcm_u8 -ar 4000"},
        {"mpeg1.mpg", in + " -c:v mpeg1video -b:v 50k -r 25"},
    };
    for (const auto& c : clips) {
        const fs::path out = tmp / c.name;
        const std::string cmd = "ffmpeg -v error -y " + c.args + " '" + out.string() + "'";
        if (std::system(cmd.c_str()) != 0) throw std::runtime_error("ffmpeg failed for " + std::string(c.name));
        std::ifstream f(out, std::ios::binary);
        Seed("video", c.name, std::string(std::istreambuf_iterator<char>(f), {}));
    }
    // MPEG sound that goes stereo, mono, stereo, bare and as a film's track.
    std::string parts = "cd '" + tmp.string() + "'";
    for (const char* part : {"a 440 2", "b 1000 1", "c 1760 2"})
        parts += " && set -- " + std::string(part) +
                 " && ffmpeg -v error -y -f lavfi -i sine=f=$2:d=0.2:r=44100 -ac $3 -c:a mp2 -b:a 64k -f mp2 $1.mp2";
    parts += " && cat a.mp2 b.mp2 c.mp2 >channels.mp2 && ffmpeg -v error -y -f lavfi -i testsrc2=size=32x24:rate=25:d=0.6 "
             "-i channels.mp2 -c:v mpeg1video -b:v 50k -c:a copy -f mpeg channels.mpg";
    if (std::system(parts.c_str()) != 0) throw std::runtime_error("ffmpeg failed for the channel changes");
    for (const auto& [target, name] : {std::pair{"sound", "channels.mp2"}, std::pair{"video", "channels.mpg"}}) {
        std::ifstream f(tmp / name, std::ios::binary);
        Seed(target, name, std::string(std::istreambuf_iterator<char>(f), {}));
    }
    fs::remove_all(tmp);
}

}  // namespace

// Prepared-menu layouts of every version, with a button that fills each field.
void PrevMenuLayouts() {
    TContSelList layout;
    layout.Width = 320;
    layout.Height = 240;
    TContSelButton b;
    b.X = 16;
    b.Y = 24;
    b.Name = "Start";
    b.NormalMotion = "start.vmt";
    b.HoverMotion = "start_h.vmt";
    b.LeaveMotion = "..\\start_l.vmt";
    b.ClickMotion = "start_c.vmt";
    b.DisabledMotion = "start_d.vmt";
    b.DisabledHoverMotion = "start_dh.vmt";
    b.DisabledLeaveMotion = "start_dl.vmt";
    b.HoverOverlay = "glow.bmp";
    b.ClickOverlay = "flash.vmt";
    b.DisabledHoverOverlay = "grey.bmp";
    b.Cursor = "hand.cur";
    b.CaptureMask = 1;
    layout.Buttons = {b, b};
    layout.Buttons[1].Name = "Quit";
    for (int version : {100, 101, 102, 103}) Seed("prev_menu", "v" + std::to_string(version), PrevMenuWriter::Write(layout, version));
}

// Each kind in each holder, at an ordinary place, size, zoom and angle and
// at the ends of the 32-bit range (the holder's settings after the kind's).
void DrawnKinds() {
    const uint8_t holder_base = uint8_t(kind_drawing::GeometrySetters().size());
    struct Setting { uint8_t pick; int32_t value; };
    const std::vector<std::pair<const char*, std::vector<Setting>>> looks = {
        {"plain", {{0, 8}, {1, 6}, {2, 20}, {3, 12}, {4, 512}, {5, 384}, {6, 30}, {uint8_t(holder_base + 22), 3}}},
        {"far", {{0, INT32_MAX}, {1, INT32_MIN}, {2, INT32_MAX}, {3, INT32_MAX}, {4, INT32_MAX}, {6, INT32_MIN},
                 {uint8_t(holder_base + 0), INT32_MIN}, {uint8_t(holder_base + 3), INT32_MAX},
                 {uint8_t(holder_base + 22), INT32_MIN}}},
    };
    for (size_t k = 0; k < kind_drawing::Kinds().size(); ++k)
        for (uint8_t h = 0; h < kind_drawing::kHolders; ++h)
            for (const auto& [look, settings] : looks) {
                std::string bytes{char(k), char(h)};
                for (const Setting& s : settings) {
                    bytes += char(s.pick);
                    for (int b = 0; b < 4; ++b) bytes += char(uint32_t(s.value) >> (8 * b));
                }
                Seed("draw", std::to_string(k) + "_" + std::to_string(h) + "_" + look, bytes);
            }
}

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make_corpus OUT_DIR SOURCE_DIR\n";
        return 2;
    }
    out_root = argv[1];
    const fs::path data = fs::path(argv[2]) / "tests" / "data";
    try {
        Archives();
        CopySeeds("archive", data / "archive", {"v0.dat", "v100.dat", "v101.dat", "v102.dat"});
        InstallSettings();
        CopySeeds("install_set", data / "install", {"v0.dat", "v100.dat", "v107.dat"});
        Tables();
        Films();
        Pages();
        Projects();
        Expressions();
        Variables();
        SceneAndEvents();
        ObjectKinds();
        DrawnKinds();
        MapImages();
        MessageWindowAndBacklog();
        LayeredImages();
        LabelSettings();
        PrevMenuLayouts();
        GlyphLists();
        CommandStates();
        GameSaves();
        CopySeeds("bmp", data / "dib",
                  {"bmp_1bit.bmp", "bmp_4bit.bmp", "bmp_8bit.bmp", "bmp_16_565.bmp", "bmp_24bit.bmp",
                   "bmp_32_fields.bmp", "bmp_os2.bmp", "bmp_rle4.bmp", "bmp_rle8_delta.bmp", "bmp_topdown.bmp"});
        CopySeeds("tga", data / "dib", {"tga_type1.tga", "tga_type2.tga", "tga_type9.tga", "tga_type10.tga",
                                        "tga_type10_32.tga", "tga_16_mirrored.tga"});
        CopySeeds("ico", data / "dib", {"ico_4bit.ico", "ico_one.ico", "ico_two.ico", "cur_one.cur"});
        CopySeeds("ico", data / "objects", {"choose_size.cur", "choose_colours.cur", "choose_tie.cur"});
        CopySeeds("sound", data / "audio", {"tone.wav", "tone22m.wav", "tone.ogg"});
        // A chain of two Oggs of other rates and channels; and Oggs with
        // bytes outside their pages: tags before and after, junk after a
        // chain, a tail cut in its last page, two links of one serial.
        const std::string ogg = SeedFile(data / "audio" / "tone.ogg");
        const std::string chain = SeedFile(data / "audio" / "tone22m.ogg") + ogg;
        Seed("sound", "chain.ogg", chain);
        const std::string id3v2 = std::string("ID3\4\0\0\0\0\0\x10", 10) + std::string(16, '\0');
        Seed("sound", "tagged.ogg", id3v2 + ogg + "TAG" + std::string(125, ' '));
        Seed("sound", "chain_junk.ogg", chain + std::string(200, '\x5a') + "OggS" + std::string(40, '\x7f'));
        Seed("sound", "cut.ogg", ogg.substr(0, ogg.size() - 100));
        Seed("sound", "one_serial.ogg", ogg + ogg);
        // Oggs whose pages break sequence: the last page written twice, a
        // page spoilt or lost inside a chain, two streams multiplexed, a
        // file followed by another's tail.
        const std::string ogg48 = SeedFile(data / "audio" / "tone48k.ogg");
        const std::string mono = SeedFile(data / "audio" / "tone22m.ogg");
        auto pages = [](const std::string& o) {
            std::vector<std::string> found;
            for (size_t at = o.find("OggS"); at != std::string::npos && at + 27 <= o.size(); at = o.find("OggS", at)) {
                size_t end = at + 27 + uint8_t(o[at + 26]);
                for (size_t i = 0; i < uint8_t(o[at + 26]); ++i) end += uint8_t(o[at + 27 + i]);
                found.push_back(o.substr(at, end - at));
                at = end;
            }
            return found;
        };
        const auto tp = pages(ogg), fp = pages(ogg48), mp = pages(mono);
        Seed("sound", "twice.ogg", ogg + tp.back());
        std::string spoilt = mono + ogg + ogg48;
        spoilt[mono.size() + tp[0].size() + 100] ^= 0x21;
        Seed("sound", "chain_spoilt_middle.ogg", spoilt);
        Seed("sound", "chain_page_lost.ogg", mono + tp[0] + tp[2] + ogg48);
        Seed("sound", "muxed.ogg", tp[0] + fp[0] + tp[1] + fp[1] + tp[2] + fp[2]);
        std::string first_spoilt = mono + ogg;
        first_spoilt[mp[0].size() + mp[1].size() + 50] ^= 0x21;
        Seed("sound", "chain_first_spoilt.ogg", first_spoilt);
        Seed("sound", "tail_of_another.ogg", ogg + fp.back());
        // First pages with a byte of junk between them; a chain whose first
        // link's last page is written twice (the target also expands each
        // past a megabyte).
        Seed("sound", "muxed_junk.ogg", tp[0] + "x" + fp[0] + tp[1] + fp[1] + tp[2] + fp[2]);
        Seed("sound", "chain_first_twice.ogg", ogg + tp.back() + ogg48);
        CopySeeds("png", data / "tesk", {"grey.png", "rgb.png", "rgba.png", "pal_trns.png"});
        Videos();
        CopySeeds("midi", data / "midi", {"tempo.mid", "running.mid", "two_tracks.mid", "random1.mid"});
    } catch (const Exception& e) {
        std::cerr << "make_corpus: " << e.Utf8Message() << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "make_corpus: " << e.what() << "\n";
        return 1;
    }
    std::cout << "make_corpus: " << written << " seeds\n";
    return 0;
}
