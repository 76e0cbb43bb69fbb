#include "shell/system_funcs.h"

#include "shell/form_view.h"
#include "script/param_collection.h"
#include "script/parser.h"
#include "engine/project.h"
#include "script/sys_funcs_array.h"
#include "files/install_set.h"
#include "files/number_text.h"
#include "files/vocab.h"
#include "files/vr_file_manager.h"
#include "media/base/media.h"
#include "media/base/screen_manager.h"
#include "objects/scene/scene.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/replace_file.h"
#include "platform/text/string_list.h"
#include "platform/system/url_opener.h"
#include "render/dibx.h"
#include "render/tesk.h"
#include "render/tesk_collection.h"

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr uint8_t fnGetProp = 2, fnSetProp = 3, fnExists = 19, fnGetCheck = 24, fnSetCheck = 25,
                  fnGetSaveCaption = 27, fnListCompo = 32, fnToClientX = 33, fnToClientY = 34, fnToScreenX = 35,
                  fnToScreenY = 36, fnIndexOfMenu = 47, fnVarExists = 50, fnGetDisplayMode = 65, fnInPrimary = 69,
                  fnFileExists = 71, fnAssignTemp = 84, fnSetWallPaper = 125, fnGetEnabled = 131,
                  fnSetEnabled = 132, fnListSaveCaption = 134, fnOpenUrl = 135, fnCalc = 136, fnSaveScreen = 137;

TVorqObject* find_object(const TCustomParam* name) {
    return VorqBaseList ? VorqBaseList->FindObject(name->GetAsString()) : nullptr;
}

// Bytes up to the space at both ends go, as the runtime's Trim does.
std::string trim_spaces(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<uint8_t>(s[b]) <= 32) ++b;
    while (e > b && static_cast<uint8_t>(s[e - 1]) <= 32) --e;
    return s.substr(b, e - b);
}

// Writes reach a variable argument only: a literal's value belongs to the
// compiled expression and must come out of the call unchanged.
TCustomParam* var_arg(TSysFuncArgs a, size_t i) { return i < a.size() && a[i]->AsVar() ? a[i] : nullptr; }

void set_flat(TCustomParam& v, int32_t n) {
    const int32_t dims[] = {n};
    v.SetDims(dims);
}

// The button a GetEnabled / SetEnabled item means: on a prepared menu a
// text that is no number names the button; anything else is its index.
int32_t button_index(const TVorqObject& obj, const TCustomParam& item) {
    if (item.ParamType() == PT_STR && obj.GetCompoType() == LT_PREVMENU) {
        const std::string text = item.GetAsString();
        int32_t i = 0;
        return TryStrToInt32(text, i) ? i : obj.IndexOfButton(text);
    }
    return item.GetAsInt();
}

int32_t to_client(const TCustomParam* name, int32_t v, bool x_axis, bool to_screen) {
    const TVorqObject* obj = find_object(name);
    if (!obj || !obj->IsControl()) return v;
    const TPoint p = x_axis ? TPoint{v, 0} : TPoint{0, v};
    const TPoint r = to_screen ? obj->LocalToScreen(p) : obj->ScreenToLocal(p);
    return x_axis ? r.X : r.Y;
}

int32_t index_of_menu(const TCustomParam* name, const std::string& text) {
    TVorqObject* obj = find_object(name);
    if (!obj) return -1;
    TParamStr value;
    GetPropertyValue(value, *obj, PR_TEXT);
    const std::vector<std::string> lines = SplitScriptText(trim_spaces(value.GetAsString()), "\r\n");
    for (size_t i = 0; i < lines.size(); ++i)
        if (AnsiSameText(lines[i], text)) return static_cast<int32_t>(i);
    return -1;
}

bool in_primary(const std::string& name) {
    if (name.empty() || !VorqBaseList) return false;
    const TVorqControl* c = VorqBaseList->FindControl(name);
    return c && c->GetBase() == VorqBaseList->ActiveBase() && !c->IsInCabinet();
}

int32_t list_compo(TSysFuncArgs a) {
    // The low byte is the type; a byte beyond the table lists every type.
    int32_t type = a.size() > 1 ? static_cast<int32_t>(a[1]->GetAsInt() & 0xFF) : 0;
    if (type >= COMPONENT_TYPE_COUNT) type = 0;
    TStringList names;
    int32_t n = 0;
    if (VorqBaseList) {
        const TVorqObject* parent = VorqBaseList;  // the registry itself: any parent
        if (a.size() > 2) parent = VorqBaseList->FindObject(a[2]->GetAsString());
        n = VorqBaseList->ListCompo(names, type, parent);
    }
    if (TCustomParam* v = var_arg(a, 0)) {
        if (n > 0) {
            set_flat(*v, n);
            for (int32_t i = 0; i < n; ++i) v->SetStrAt(i, names.Get(i));
        } else {
            v->SetCount(1);
            v->SetStrAt(0, "");
        }
    }
    return n;
}

bool get_display_mode(TSysFuncArgs a) {
    DisplayMode m;
    if (!ScreenManager || !ScreenManager->GetMode(a[0]->GetAsInt(), m)) return false;
    const uint32_t values[4] = {m.Width, m.Height, m.BitsPerPixel, m.RefreshRate};
    for (size_t i = 0; i < 4; ++i)
        if (TCustomParam* v = var_arg(a, i + 1)) v->SetAsInt(static_cast<int32_t>(values[i]));
    return true;
}

int32_t list_save_captions(TSysFuncArgs a) {
    static const std::vector<std::pair<int32_t, std::string>> none;
    const auto& captions = Project ? Project->SlotCaptions : none;
    const int32_t n = static_cast<int32_t>(captions.size());
    // No caption at all: the dimension [0] is refused with its message.
    if (TCustomParam* v = var_arg(a, 0)) {
        set_flat(*v, n);
        for (int32_t i = 0; i < n; ++i) v->SetStrAt(i, captions[static_cast<size_t>(i)].second);
    }
    if (TCustomParam* v = var_arg(a, 1)) {
        set_flat(*v, n);
        for (int32_t i = 0; i < n; ++i) v->SetIntAt(i, captions[static_cast<size_t>(i)].first);
    }
    return n;
}

bool assign_temp(const std::string& name) {
    if (name.empty() || !Params || !Params->Find(name)) return false;
    Params->temp_name = name;
    return true;
}

// Compile and run errors are swallowed: only a run that came to its end
// writes true.
void calc(TParamCollectionItem& dest, const std::string& source) {
    const std::string text = trim_spaces(source);
    if (text.empty()) return;
    try {
        TVorqParser p;
        CompileExpression(p, text);
        p.Evaluate();
        if (p.Failed()) return;
    } catch (const std::exception&) {
        return;
    }
    dest.SetAsBool(true);
}

bool begins_with_no_case(const std::string& s, const char* prefix) {
    const std::string_view p(prefix);
    return s.size() >= p.size() && AnsiSameText(std::string_view(s).substr(0, p.size()), p);
}

void open_url(const std::string& url) {
    // Only web and file-transfer addresses: a script's text must not make
    // the desktop open local files or programs.
    if (url.compare(0, 4, "http") == 0 || url.compare(0, 3, "ftp") == 0) ShellOpenUrl(url);
}

// Puts the picture into the in-memory entry of that name (made in the first
// archive when none exists), where loads of the name find it.
bool store_in_memory(const std::string& name, const TTeskFrameList& image) {
    TVrFile* entry = FileManager->FindEntry(name);
    if (!entry) {
        if (FileManager->Count() == 0) return false;
        entry = FileManager->GetCollection(0)->AddEntry(name);
    }
    auto data = std::make_unique<TMemoryStream>();
    image.SaveToStream(*data, tcZlib);
    entry->Data = std::move(data);
    return true;
}

// Registers the picture in the install settings beside the game, so that an
// uninstaller removes it too; the file is replaced whole.
void register_in_install_set(const std::string& base, const std::string& name) {
    const std::string path = base + "install.dat";
    if (!FileExists(path)) return;
    TVorqInstallSet set;
    set.LoadFromFile(path);
    if (set.IndexOfName(name) >= 0) return;
    set.AddName(name);
    TMemoryStream out;
    set.SaveToStream(out);
    ReplaceFileInFolder(base, "install.dat", out.Memory(), static_cast<size_t>(out.GetSize()));
}

bool save_screen(TSysFuncArgs a) {
    const std::string name = a[0]->GetAsString();
    if (!FileManager || !VorqBaseList) return false;
    const std::string base = FileManager->BaseFolder;
    if (base.empty() || !DirectoryExists(base)) return false;
    if (!AnsiSameText(ExtractFileExt(name), ".tes")) return false;
    const bool in_memory = begins_with_no_case(name, "mem:");
    // A file goes nowhere but into the game's folder: "..\", absolute
    // paths and drives are refused here, links leading out where the file
    // is written.
    if (!in_memory && !IsPathInsideFolder(base, name)) return false;
    int32_t width = a.size() > 1 ? a[1]->GetAsInt() : 0;
    int32_t height = a.size() > 2 ? a[2]->GetAsInt() : 0;
    if (width == 0) width = VorqBaseList->GetWidth();
    if (height == 0) height = VorqBaseList->GetHeight();
    if (width <= 0 || height <= 0 || width > kMaxScreenShotSide || height > kMaxScreenShotSide) return false;
    const bool other_layer = a.size() > 3 && a[3]->GetAsBool();
    TVorqBase* layer = other_layer ? VorqBaseList->InactiveBase() : VorqBaseList->ActiveBase();
    // Unlike a write error hidden behind a true result, every failure from
    // here on answers false, so that a script can tell the player.
    try {
        layer->Draw();
        TCustomDIBX* surface = layer->GetOwnSurface();
        if (!surface || surface->IsEmpty()) return false;
        TTeskFrameList image;
        TTeskFrame* frame = image.AddFrame();
        frame->TransparentPixel = -1;
        CopySurfaceToDIB24(*surface, frame->Image);
        if (width != frame->Image.Width() || height != frame->Image.Height())
            frame->Image.Resize(width, height, true);
        if (in_memory) {
            if (!store_in_memory(name, image)) return false;
        } else {
            TMemoryStream out;
            image.SaveToStream(out, tcZlib);
            ReplaceFileInFolder(base, name, out.Memory(), static_cast<size_t>(out.GetSize()));
        }
        // Later loads of the name must see the new picture.
        if (TeskCollection) TeskCollection->Purge(name);
        FileManager->Cache.Remove(name);
        if (a.size() == 5 && !in_memory) {
            const int32_t mode = a[4]->GetAsInt();
            if (mode == 1 && ExitDeleteList && ExitDeleteList->IndexOf(base + name) < 0)
                ExitDeleteList->Add(base + name);
            else if (mode == 2)
                register_in_install_set(base, name);
        }
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

}  // namespace

void CallSystemFunction(TSysFuncMan&, TParamCollectionItem& dest, uint8_t index, TSysFuncArgs a) {
    switch (index) {
    case fnGetProp:
        if (TVorqObject* obj = find_object(a[0])) GetPropertyValue(dest, *obj, a[1]->GetAsInt());
        break;
    case fnSetProp:
        if (TVorqObject* obj = find_object(a[0])) SetPropertyValue(*obj, a[1]->GetAsInt(), *a[2]);
        break;
    case fnExists: {
        // The empty name would find the active layer: it names no object.
        const std::string name = a[0]->GetAsString();
        dest.SetAsBool(!name.empty() && VorqBaseList && VorqBaseList->FindObject(name));
        break;
    }
    case fnGetCheck:
        if (const TVorqObject* obj = find_object(a[0])) dest.SetAsBool(obj->GetItemCheck(a[1]->GetAsInt()));
        break;
    case fnSetCheck:
        if (TVorqObject* obj = find_object(a[0])) obj->SetItemCheck(a[1]->GetAsInt(), a[2]->GetAsBool());
        break;
    case fnGetEnabled:
        if (const TVorqObject* obj = find_object(a[0])) dest.SetAsBool(obj->GetButtonEnabled(button_index(*obj, *a[1])));
        break;
    case fnSetEnabled:
        if (TVorqObject* obj = find_object(a[0])) obj->SetButtonEnabled(button_index(*obj, *a[1]), a[2]->GetAsBool());
        break;
    case fnToClientX: dest.SetAsInt(to_client(a[0], a[1]->GetAsInt(), true, false)); break;
    case fnToClientY: dest.SetAsInt(to_client(a[0], a[1]->GetAsInt(), false, false)); break;
    case fnToScreenX: dest.SetAsInt(to_client(a[0], a[1]->GetAsInt(), true, true)); break;
    case fnToScreenY: dest.SetAsInt(to_client(a[0], a[1]->GetAsInt(), false, true)); break;
    case fnIndexOfMenu: dest.SetAsInt(index_of_menu(a[0], a[1]->GetAsString())); break;
    case fnInPrimary: dest.SetAsBool(in_primary(a[0]->GetAsString())); break;
    case fnListCompo: dest.SetAsInt(list_compo(a)); break;
    case fnGetDisplayMode: dest.SetAsBool(get_display_mode(a)); break;
    case fnSaveScreen: dest.SetAsBool(save_screen(a)); break;
    // No portable desktop interface takes a wallpaper: the call reports
    // failure, as the platform layer does for its wallpaper service.
    case fnSetWallPaper: dest.SetAsBool(false); break;
    case fnGetSaveCaption:
        dest.SetAsString(Project ? Project->GetSlotCaption(a[0]->GetAsInt()) : std::string());
        break;
    case fnListSaveCaption: dest.SetAsInt(list_save_captions(a)); break;
    case fnVarExists: dest.SetAsBool(Params && Params->Find(a[0]->GetAsString())); break;
    case fnAssignTemp: dest.SetAsBool(assign_temp(a[0]->GetAsString())); break;
    case fnCalc: calc(dest, a[0]->GetAsString()); break;
    case fnFileExists: {
        const std::string name = a[0]->GetAsString();
        dest.SetAsBool(!name.empty() && FileManager && FileManager->FileExists(name));
        break;
    }
    case fnOpenUrl: open_url(a[0]->GetAsString()); break;
    default: break;
    }
}
