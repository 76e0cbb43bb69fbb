#include "objects/controls/prev_menu.h"

#include "script/game_clock.h"
#include "script/param_collection.h"
#include "files/containers.h"
#include "files/save_stream.h"
#include "files/vr_file_manager.h"
#include "objects/base_list.h"
#include "objects/film/film_manager.h"
#include "objects/object_record.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/display/keys.h"
#include "render/tesk_collection.h"

#include <algorithm>

namespace {
// Motions that name motions: deeper than this is a loop in damaged data.
constexpr int kMaxMotionDepth = 16;
}  // namespace

// ---- button pictures ---------------------------------------------------------------

TVorqPrevImages::TVorqPrevImages(TVorqBaseList* registry, TVorqPrevMenu* menu)
    : TVorqImages(registry), FMenu(menu), FMenuSerial(menu ? menu->Serial() : 0) {}

bool TVorqPrevImages::Update() {
    // A button never asks to be freed; its menu decides.
    TVorqImages::Update();
    if (GetRepeat()) return false;
    bool ended;
    if (TControlMotion* m = GetMotion()) ended = m->Ended();
    else ended = FIndex >= GetCount() - 1 && FCountdown < 1;
    if (ended && FMenu && FRegistry && FRegistry->Alive(FMenu, FMenuSerial)) FMenu->AnimationEnded(this);
    return false;
}

// ---- the menu ----------------------------------------------------------------------

TVorqPrevMenu::TVorqPrevMenu(TVorqBaseList* registry) : TVorqControl(registry) {}

TVorqPrevMenu::~TVorqPrevMenu() {
    clear();
    Invalidate();
}

TVorqPrevImages* TVorqPrevMenu::alive(const Slot& slot) const {
    return slot.image && FRegistry && FRegistry->Alive(slot.image, slot.serial) ? slot.image : nullptr;
}

TVorqPrevImages* TVorqPrevMenu::Button(int32_t i) const {
    return i >= 0 && i < static_cast<int32_t>(FButtons.size()) ? alive(FButtons[static_cast<size_t>(i)]) : nullptr;
}

TVorqPrevImages* TVorqPrevMenu::Overlay(int32_t i) const {
    return i >= 0 && i < static_cast<int32_t>(FOverlays.size()) ? alive(FOverlays[static_cast<size_t>(i)]) : nullptr;
}

void TVorqPrevMenu::clear() {
    for (std::vector<Slot>* list : {&FButtons, &FOverlays})
        for (const Slot& s : *list)
            if (TVorqPrevImages* img = alive(s)) img->FreeNow();
    FButtons.clear();
    FOverlays.clear();
    for (TTeskItem* item : FPrecacheItems)
        if (item) item->Release(this);
    FPrecacheItems.clear();
    FPrecacheNames.clear();
    FRecords.clear();
}

std::string TVorqPrevMenu::GetText() const {
    std::string t;
    for (size_t i = 0; i < FRecords.size(); ++i) t += (i ? "\r\n" : "") + FRecords[i].Name;
    return t;
}

void TVorqPrevMenu::SetSource(const std::string& v) {
    if (v == FSource) return;
    FSource = v;
    clear();
    FHovered = -1;
    FPressed = -1;
    FBusyCount = 0;
    FEnabled.clear();
    if (!v.empty() && FileManager && FileManager->FileExists(v)) {
        load(v);
        FEnabled.assign(FRecords.size(), 1);
    } else {
        SetWidth(0);
        SetHeight(0);
    }
}

void TVorqPrevMenu::load(const std::string& name) {
    TMemoryStream s;
    FileManager->LoadToStream(s, name);
    s.SetPosition(0);
    TContSelList layout;
    layout.LoadFromStream(s, TVrFileManager::ExtractFolder(name));
    SetWidth(layout.Width);
    SetHeight(layout.Height);
    const size_t n = layout.Buttons.size();
    FOverlays.assign(n, Slot{});
    const std::string prefix = std::string(1, kInternalMark) + GetName() + kInternalMark;
    for (size_t i = 0; i < n; ++i) {
        const TContSelButton& b = layout.Buttons[i];
        auto* img = new TVorqPrevImages(FRegistry, this);
        FButtons.push_back(Slot{img, img->Serial()});
        if (FRegistry) img->SetName(FRegistry->MakeUniqueName(prefix));
        img->SetParent(this);
        img->SetLeft(b.X);
        img->SetTop(b.Y);
        FRecords.push_back(b);
        img->SetSource(b.NormalMotion);
        img->SetCaptureMask(b.CaptureMask != 0);
        img->SetCursor(b.Cursor);
        for (const std::string* m : {&b.NormalMotion, &b.HoverMotion, &b.LeaveMotion, &b.ClickMotion,
                                     &b.DisabledMotion, &b.HoverOverlay, &b.LeaveOverlay, &b.ClickOverlay,
                                     &b.DisabledHoverOverlay, &b.DisabledLeaveOverlay})
            precache(*m, 0);
    }
}

void TVorqPrevMenu::precache(const std::string& name, int depth) {
    if (name.empty() || depth > kMaxMotionDepth) return;
    const std::string upper = AnsiUpperCase(name);
    if (std::find(FPrecacheNames.begin(), FPrecacheNames.end(), upper) != FPrecacheNames.end()) return;
    // Motion names are remembered too, so that a motion naming itself (or a
    // ring of motions) is read once instead of for ever.
    FPrecacheNames.push_back(upper);
    TTeskItem* item = nullptr;
    try {
        if (AnsiUpperCase(ExtractFileExt(name)) != ".VMT") {
            if (TeskCollection) item = TeskCollection->Acquire(this, name, false, false);
        } else {
            TFilmManager film;
            film.LoadFromFile(name);
            for (int t = 0; t < film.Count(); ++t)
                if (const TCustomFrameList* track = film.GetTrack(t); track && track->Kind() == FilmTrackKind::Image)
                    precache(track->file_name, depth + 1);
        }
    } catch (const Exception&) {
        // A picture that cannot be read now fails again, visibly, when shown.
    }
    FPrecacheItems.push_back(item);
}

int32_t TVorqPrevMenu::IndexOfButton(const std::string& name) const {
    for (size_t i = 0; i < FRecords.size(); ++i)
        if (FRecords[i].Name == name) return static_cast<int32_t>(i);
    return -1;
}

bool TVorqPrevMenu::GetEnabled(int32_t i) const {
    return i >= 0 && i < static_cast<int32_t>(FEnabled.size()) && FEnabled[static_cast<size_t>(i)] != 0;
}

void TVorqPrevMenu::SetEnabled(int32_t i, bool flag) {
    if (i < 0 || i >= static_cast<int32_t>(FEnabled.size()) || GetEnabled(i) == flag) return;
    FEnabled[static_cast<size_t>(i)] = flag;
    if (TVorqPrevImages* img = Button(i)) {
        const TContSelButton& r = FRecords[static_cast<size_t>(i)];
        img->SetSource(flag ? r.NormalMotion : r.DisabledMotion);
    }
}

void TVorqPrevMenu::set_images(int32_t i, const std::string& motion, bool repeat) {
    if (TVorqPrevImages* img = Button(i)) {
        img->SetSource(motion);
        img->SetRepeat(repeat);
    }
}

void TVorqPrevMenu::set_overlay(int32_t i, const std::string& motion, bool repeat, int32_t priority) {
    if (i < 0 || i >= static_cast<int32_t>(FOverlays.size())) return;
    Slot& slot = FOverlays[static_cast<size_t>(i)];
    TVorqPrevImages* o = alive(slot);
    if (motion.empty()) {
        if (o) o->FreeNow();
        slot = Slot{};
        return;
    }
    if (!o) {
        o = new TVorqPrevImages(FRegistry, this);
        slot = Slot{o, o->Serial()};
        // Marked as the system's own, like the buttons: a scene save skips
        // it, and the menu makes it again from its layout.
        if (FRegistry) o->SetName(FRegistry->MakeUniqueName(std::string(1, kInternalMark) + GetName() + kInternalMark));
        o->SetParent(this);
        o->SetLeft(FRecords[static_cast<size_t>(i)].OverlayX);
        o->SetTop(FRecords[static_cast<size_t>(i)].OverlayY);
    }
    o->SetPriority(priority);
    o->SetSource(motion);
    o->SetRepeat(repeat);
}

void TVorqPrevMenu::hover_starts(int32_t i) {
    const TContSelButton& r = FRecords[static_cast<size_t>(i)];
    if (GetEnabled(i)) {
        set_images(i, r.HoverMotion.empty() ? r.NormalMotion : r.HoverMotion, true);
        set_overlay(i, r.HoverOverlay, true, 1);
    } else {
        set_images(i, r.DisabledHoverMotion.empty() ? r.DisabledMotion : r.DisabledHoverMotion, true);
        set_overlay(i, r.DisabledHoverOverlay, true, 1);
    }
}

void TVorqPrevMenu::hover_ends(int32_t i) {
    const TContSelButton& r = FRecords[static_cast<size_t>(i)];
    const bool on = GetEnabled(i);
    const std::string& leave = on ? r.LeaveMotion : r.DisabledLeaveMotion;
    if (leave.empty()) set_images(i, on ? r.NormalMotion : r.DisabledMotion, true);
    else set_images(i, leave, false);
    set_overlay(i, on ? r.LeaveOverlay : r.DisabledLeaveOverlay, false, 0);
}

TArrayString TVorqPrevMenu::button_args(int32_t i) const {
    TArrayString a;
    a.Add(FRecords[static_cast<size_t>(i)].Name);
    a.Add(std::to_string(i));
    return a;
}

void TVorqPrevMenu::SetHover(int32_t index) {
    if (index == FHovered || FBusyCount >= 1) return;
    if (index >= GetCount()) index = -1;
    if (FHovered >= 0) {
        const int32_t old = FHovered;
        hover_ends(old);
        if (!FOnMapOut.empty()) {
            const TArrayString a = button_args(old);
            QueueEvent(FOnMapOut, PR_ONMAPOUT, &a);
        }
    }
    FHovered = index;
    if (index >= 0) {
        hover_starts(index);
        if (!FOnMapIn.empty()) {
            const TArrayString a = button_args(index);
            QueueEvent(FOnMapIn, PR_ONMAPIN, &a);
        }
    }
}

void TVorqPrevMenu::Click() {
    const int32_t i = FHovered;
    if (i < 0 || i >= GetCount()) return;
    const TContSelButton& r = FRecords[static_cast<size_t>(i)];
    if (!r.ClickMotion.empty()) {
        set_images(i, std::string(), false);
        set_images(i, r.ClickMotion, false);
        ++FBusyCount;
    }
    if (!r.ClickOverlay.empty()) {
        set_overlay(i, r.ClickOverlay, false, 2);
        ++FBusyCount;
    } else {
        set_overlay(i, std::string(), false, 0);
    }
    if (Params) {
        Params->sel_str = r.Name;
        Params->sel_index = i;
    }
    if (!FOnSelect.empty() && !EventQueued(PR_ONSELECT)) {
        const TArrayString a = button_args(i);
        QueueEvent(FOnSelect, PR_ONSELECT, &a);
    }
    if (FBusyCount == 0) finish();
}

void TVorqPrevMenu::finish() {
    if (FAutoScrap) {
        Scrap();
    } else if (!FOnPlayEnd.empty() && FHovered >= 0 && FHovered < GetCount()) {
        const TArrayString a = button_args(FHovered);
        QueueEvent(FOnPlayEnd, PR_ONPLAYEND, &a);
    }
}

void TVorqPrevMenu::AnimationEnded(TVorqPrevImages* image) {
    int32_t i = -1;
    for (size_t k = 0; k < FButtons.size(); ++k)
        if (alive(FButtons[k]) == image) i = static_cast<int32_t>(k);
    if (i >= 0) {
        // Only the button's own animation gives it back its resting motion:
        // an overlay that ends first must not cut the click motion short.
        const TContSelButton& r = FRecords[static_cast<size_t>(i)];
        set_images(i, GetEnabled(i) ? r.NormalMotion : r.DisabledMotion, true);
    } else {
        for (size_t k = 0; k < FOverlays.size(); ++k)
            if (alive(FOverlays[k]) == image) {
                image->Scrap();
                FOverlays[k] = Slot{};
                i = static_cast<int32_t>(k);
            }
        // Neither a button nor an overlay of this menu: nothing to do.
        if (i < 0) return;
    }
    if (FBusyCount >= 1 && i == FHovered && --FBusyCount == 0) finish();
}

std::string TVorqPrevMenu::GetEffectiveCursor() const {
    if (TVorqPrevImages* b = Button(FHovered)) return b->GetCursor();
    return GetCursor();
}

TVorqObject* TVorqPrevMenu::HitTest(const TPoint& p, uint32_t mask) {
    if (!GetVisible() || !PointInRect(p, GetRect())) return nullptr;
    const uint8_t m = GetIgnoreMouse();
    const bool passes = m < 8 && ((mask >> m) & 1);
    if (passes)
        for (size_t k = FButtons.size(); k-- > 0;)
            if (TVorqPrevImages* b = alive(FButtons[k]); b && GetEnabled(static_cast<int32_t>(k)) && b->HitTest(p, mask))
                return this;
    for (size_t c = FChildren.size(); c-- > 0;) {
        TVorqControl* child = FChildren[c];
        const bool is_button = std::any_of(FButtons.begin(), FButtons.end(),
                                           [&](const Slot& s) { return s.image == child; });
        if (is_button) continue;
        if (TVorqObject* hit = child->HitTest(p, mask)) return hit;
    }
    return passes ? this : nullptr;
}

void TVorqPrevMenu::MouseMove() {
    int32_t hover = -1;
    if (const TVorqBase* layer = GetBase())
        for (size_t k = 0; k < FButtons.size() && hover < 0; ++k)
            if (TVorqPrevImages* b = alive(FButtons[k]); b && b->HitTest(TPoint{layer->MouseX, layer->MouseY}, 31))
                hover = static_cast<int32_t>(k);
    SetHover(hover);
    TVorqControl::MouseMove();
}

void TVorqPrevMenu::MouseOut(TVorqObject* next) {
    SetHover(-1);
    TVorqControl::MouseOut(next);
}

void TVorqPrevMenu::LBtnDown() {
    FPressed = FHovered;
    TVorqControl::LBtnDown();
}

void TVorqPrevMenu::LBtnUp() {
    if (FPressed >= 0 && FPressed == FHovered && FBusyCount == 0 && !IsBusy() && GetEnabled(FPressed)) Click();
    TVorqControl::LBtnUp();
}

void TVorqPrevMenu::RBtnDown() {
    if (FRClickScrap) Scrap();
    TVorqControl::RBtnDown();
}

void TVorqPrevMenu::KeyRepeat() {
    TVorqBaseList* reg = FRegistry;
    const int32_t count = GetCount();
    if (reg && count > 0) {
        if (reg->GetKeyRepeat(VK_LEFT) || reg->GetKeyRepeat(VK_UP)) {
            SetHover(FHovered < 1 ? count - 1 : FHovered - 1);
        } else if (reg->GetKeyRepeat(VK_RIGHT) || reg->GetKeyRepeat(VK_DOWN)) {
            SetHover(FHovered >= 0 ? (FHovered + 1) % count : 0);
        } else if ((reg->GetKeyRepeat(VK_SPACE) || reg->GetKeyRepeat(VK_RETURN)) && FHovered >= 0 && !IsBusy() &&
                   FBusyCount == 0 && GetEnabled(FHovered)) {
            // The keys obey what the mouse obeys: a disabled button or a
            // click still playing takes no further click.
            Click();
        }
    }
    TVorqControl::KeyRepeat();
}

void TVorqPrevMenu::SaveToStream(TStream& s) {
    TVorqControl::SaveToStream(s);
    WriteStreamString(s, FSource);
    WriteStreamByte(s, FAutoScrap);
    WriteStreamByte(s, FRClickScrap);
    WriteStreamByte(s, FPaused);
    for (const std::string* t : {&FOnMapIn, &FOnMapOut, &FOnIdle, &FOnSelect, &FOnPlayEnd}) WriteStreamString(s, *t);
    WriteStreamInteger(s, static_cast<int32_t>(FEnabled.size()));
    for (uint8_t e : FEnabled) WriteStreamByte(s, e);
}

void TVorqPrevMenu::LoadFromStream(TStream& s, int32_t version) {
    TVorqControl::LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    const std::string source = r.String("source");
    FAutoScrap = r.U8("auto scrap");
    FRClickScrap = r.U8("right-click scrap");
    FPaused = r.U8("paused");
    FOnMapIn = r.String("map-in handler");
    FOnMapOut = r.String("map-out handler");
    FOnIdle = r.String("idle handler");
    FOnSelect = r.String("select handler");
    FOnPlayEnd = r.String("play-end handler");
    std::vector<uint8_t> flags;
    if (version >= 127) {
        const uint32_t n = r.Count("enabled flags", 1, 1u << 20);
        flags.resize(n);
        for (uint8_t& f : flags) f = r.U8("enabled flag");
    }
    FSource.clear();
    SetSource(source);
    for (size_t k = 0; k < std::min(flags.size(), FEnabled.size()); ++k) FEnabled[k] = flags[k];
    FHovered = FPressed = -1;
    FBusyCount = 0;
}
