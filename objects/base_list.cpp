#include "objects/base_list.h"

#include "files/vr_file_manager.h"
#include "media/base/media.h"
#include "media/base/screen_manager.h"
#include "objects/host_panel.h"
#include "render/dib_surface.h"
#include "render/dibx.h"
#include "render/ico.h"
#include "render/tesk_collection.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/stream.h"
#include "platform/text/string_list.h"
#include "platform/display/video.h"
#include "render/custom_dibx.h"

#include <algorithm>
#include <cstring>

TVorqBaseList* VorqBaseList = nullptr;
uint16_t ColorTable16[256];
uint16_t GreyPixel16[256];
uint32_t GreyPixel32[256];

namespace {
// Device-format surfaces while a screen manager lets objects use them,
// plain memory surfaces otherwise.
std::unique_ptr<TCustomDIBX> default_surface(int32_t w, int32_t h, int32_t bits) {
    std::unique_ptr<TCustomDIBX> s;
    if (ScreenManager && !ScreenManager->GdiSurface())
        s = std::make_unique<TDxDIBX>();
    else
        s = std::make_unique<TDIBX>();
    s->SetSize(w, h, bits);
    return s;
}

// A cursor file through the bitmap codecs: its colours, its mask as alpha.
}  // namespace

bool LoadCursorImage(const std::string& path, TCursorImage& image) {
    TDIBSurface s;
    try {
        const std::string ext = LowerFileExt(path);
        if (ext == ".cur" || ext == ".ico") {
            TFileStream f(path, fmOpenRead | fmShareDenyWrite);
            LoadCursorIcon(s, f);
        } else {
            s.LoadFromFile(path);
        }
    } catch (const Exception&) {
        return false;
    }
    if (s.Width() <= 0 || s.Height() <= 0) return false;
    image.Width = s.Width();
    image.Height = s.Height();
    image.HotSpot = s.HotSpot;
    image.Argb.resize(static_cast<size_t>(image.Width) * static_cast<size_t>(image.Height));
    const TDIBSurface* mask = s.Mask();
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x) {
            uint8_t r, g, b;
            s.PixelToRGB(s.GetPixel(x, y), r, g, b);
            uint32_t a = mask ? mask->GetPixel(x, y) & 0xFF : 255;
            image.Argb[static_cast<size_t>(y) * static_cast<size_t>(image.Width) + static_cast<size_t>(x)] =
                a << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
        }
    return true;
}

namespace {
TTransitionMaker transition_maker = nullptr;
TObjectSurfaceMaker surface_maker = default_surface;
TCursorDecoder cursor_decoder = LoadCursorImage;
TComponentFactory component_factory = nullptr;
TComponentMaker component_makers[128] = {};

const std::string kBase0 = std::string(1, kInternalMark) + "BASE0";
const std::string kBase1 = std::string(1, kInternalMark) + "BASE1";
const std::string kInactive(1, kInternalMark);

// Ids of the table that no kind stands behind.
bool has_no_kind(int32_t id) { return id == LT_NONE || id == LT_AUDIO || id == LT_MAP || id >= COMPONENT_TYPE_COUNT; }

std::unique_ptr<TCustomDIBX> make_surface(int32_t w, int32_t h, int32_t bits) {
    return surface_maker ? surface_maker(w, h, bits) : nullptr;
}
}  // namespace

void SetTransitionMaker(TTransitionMaker maker) { transition_maker = maker; }
void SetSurfaceMaker(TObjectSurfaceMaker maker) { surface_maker = maker ? maker : default_surface; }
void SetCursorDecoder(TCursorDecoder decoder) { cursor_decoder = decoder ? decoder : LoadCursorImage; }

void SetComponentFactory(TComponentFactory factory) { component_factory = factory; }

void RegisterComponentType(int32_t type_id, TComponentMaker maker) {
    if (type_id < 0 || type_id >= COMPONENT_TYPE_COUNT) throw EListError("component type out of range");
    component_makers[type_id] = maker;
}

TVorqObject* CreateObjectByType(TVorqBaseList* registry, int32_t type_id) {
    int32_t id = type_id & 0x7F;
    if (has_no_kind(id)) return nullptr;
    TComponentMaker maker = component_makers[id];
    if (!maker && component_factory) maker = component_factory(id);
    if (!maker) throw Exception("component type " + std::to_string(id) + " is not available in this player");
    return maker(registry);
}

TVorqObject* CreateStoredObject(TVorqBaseList* registry, int32_t type_id) {
    TVorqObject* obj = nullptr;
    try {
        obj = CreateObjectByType(registry, type_id);
    } catch (const ECorruptData&) {
        throw;
    } catch (const Exception& e) {
        throw ECorruptData(std::string("saved scene: ") + e.Message());
    }
    if (!obj) throw ECorruptData("saved scene holds an unknown component type " + std::to_string(type_id));
    return obj;
}

// ---------------------------------------------------------------------------
// TVorqBase

TVorqBase::TVorqBase(TVorqBaseList* registry, const std::string& name) : TVorqControl(registry, 0) {
    StoreName(name);
    FSurface = make_surface(1, 1, registry ? registry->CurrentSurfaceBits() : 15);
}

TVorqBase::~TVorqBase() = default;

void TVorqBase::resize_surface() {
    if (FWidth > 0 && FHeight > 0 && FSurface)
        FSurface->SetSize(FWidth, FHeight, FRegistry ? FRegistry->CurrentSurfaceBits() : 15);
}

void TVorqBase::SetWidth(int32_t v) {
    if (v == FWidth) return;
    TVorqControl::SetWidth(v);
    resize_surface();
}

void TVorqBase::SetHeight(int32_t v) {
    if (v == FHeight) return;
    TVorqControl::SetHeight(v);
    resize_surface();
}

TCustomDIBX* TVorqBase::GetOwnSurface() const {
    if (FRegistry && FRegistry->ActiveBase() == this && !FRegistry->Transition()) return FRegistry->GetOwnSurface();
    return FSurface.get();
}

void TVorqBase::ReleaseSurfaces() {
    if (FSurface) FSurface->ReleaseSurface();
}

void TVorqBase::RestoreSurfaces() {
    FSurface = make_surface(1, 1, FRegistry ? FRegistry->CurrentSurfaceBits() : 15);
    resize_surface();
    TVorqControl::RestoreSurfaces();
}

void TVorqBase::AddDirtyRect(const TRect& r) {
    TRect c{std::clamp(r.Left, 0, std::max(FWidth, 0)), std::clamp(r.Top, 0, std::max(FHeight, 0)),
            std::clamp(r.Right, 0, std::max(FWidth, 0)), std::clamp(r.Bottom, 0, std::max(FHeight, 0))};
    if (!RectIsEmpty(c)) DirtyList.AddRect(c);
}

void TVorqBase::SetMousePos(int32_t x, int32_t y) {
    if (x == MouseX && y == MouseY) return;
    MouseX = x;
    MouseY = y;
    Moved = 1;
}

void TVorqBase::Draw() {
    if (!GetVisible()) return;
    TCustomDIBX* s = GetOwnSurface();
    if (!s || s->Width() == 0 || s->Height() == 0 || DirtyList.Count() == 0) return;
    const TRect clip = GetClipRect();
    const int32_t fill = FColor >= 0 ? s->ColorToPixel(FColor) : -1;
    for (int32_t i = 0; i < DirtyList.Count(); ++i) {
        const TRect r = DirtyList.GetRect(i);
        s->ClearClipRect();
        s->AddClipRect(r);
        if (FColor >= 0) {
            TRect f = RectIsEmpty(clip) ? r : IntersectRects(r, clip);
            if (!RectIsEmpty(f)) s->FillRect(f, static_cast<uint32_t>(fill));
        }
        TVorqControl::Draw();
    }
    s->ClearClipRect();
}

// ---------------------------------------------------------------------------
// TVorqBaseList: objects and names

TVorqBaseList::TVorqBaseList(TVorqBaseList* owner) : TVorqComponent(nullptr, 0), Events(this) {
    (void)owner;  // a private scene is not listed in its owner's registry
    FWork = make_surface(1, 1, CurrentSurfaceBits());
    make_layers();
}

TVorqBaseList::~TVorqBaseList() {
    FClearing = true;
    FTransition.reset();
    FWork.reset();
    FBase[0].reset();
    FBase[1].reset();
    free_all_objects();
    release_cursor();
}

void TVorqBaseList::make_layers() {
    FBase[0] = std::make_unique<TVorqBase>(this, kBase0);
    FBase[1] = std::make_unique<TVorqBase>(this, kBase1);
    for (auto& b : FBase) {
        b->SetWidth(FWidth);
        b->SetHeight(FHeight);
    }
}

void TVorqBaseList::free_all_objects() {
    while (!FObjects.empty()) FObjects.front()->FreeNow();
    FScheduled.clear();
}

int32_t TVorqBaseList::AddObject(TVorqObject* obj) {
    if (obj->FListed) return IndexOfObject(obj);
    FObjects.push_back(obj);
    obj->FListed = true;
    ++FNameCount[obj->GetName()];
    return GetObjectCount() - 1;
}

void TVorqBaseList::RemoveObject(TVorqObject* obj) {
    if (!obj->FListed) return;
    auto it = std::find(FObjects.begin(), FObjects.end(), obj);
    if (it == FObjects.end()) return;
    int32_t index = static_cast<int32_t>(it - FObjects.begin());
    FObjects.erase(it);
    obj->FListed = false;
    auto n = FNameCount.find(obj->GetName());
    if (n != FNameCount.end() && --n->second <= 0) FNameCount.erase(n);
    // An object freed by another one's update must not make the pass skip
    // the object after it.
    if (index < FUpdateIndex) --FUpdateIndex;
    auto s = std::find(FScheduled.begin(), FScheduled.end(), obj);
    if (s != FScheduled.end()) FScheduled.erase(s);
}

void TVorqBaseList::NameChanged(TVorqObject* obj, const std::string& old_name) {
    if (!obj->FListed) return;
    auto n = FNameCount.find(old_name);
    if (n != FNameCount.end() && --n->second <= 0) FNameCount.erase(n);
    ++FNameCount[obj->GetName()];
}

void TVorqBaseList::ForgetObject(TVorqObject* obj) {
    if (FFocus == obj) {
        FFocus = nullptr;
        FFocusSearch = 1;
    }
    for (auto& b : FBase)
        if (b && b->PointerObject == obj) {
            b->PointerObject = nullptr;
            b->PointerSerial = 0;
        }
    auto r = std::find(FRightClick.begin(), FRightClick.end(), obj);
    if (r != FRightClick.end()) FRightClick.erase(r);
}

bool TVorqBaseList::IsPendingDelete(const TVorqObject* obj) const {
    return std::find(FScheduled.begin(), FScheduled.end(), obj) != FScheduled.end();
}

void TVorqBaseList::ScheduleDelete(TVorqObject* obj) {
    // Only listed objects are freed by the registry; a layer never is.
    if (!obj->FListed || IsPendingDelete(obj)) return;
    FScheduled.push_back(obj);
}

TVorqObject* TVorqBaseList::GetObjectAt(int32_t index) const {
    if (index < 0 || index >= GetObjectCount()) return nullptr;
    return FObjects[static_cast<size_t>(index)];
}

int32_t TVorqBaseList::IndexOfObject(const TVorqObject* obj) const {
    if (!obj) return -1;
    auto it = std::find(FObjects.begin(), FObjects.end(), obj);
    return it == FObjects.end() ? -1 : static_cast<int32_t>(it - FObjects.begin());
}

bool TVorqBaseList::Alive(const TVorqObject* obj, uint32_t serial) const {
    size_t hint = 0;
    return Alive(obj, serial, hint);
}

bool TVorqBaseList::Alive(const TVorqObject* obj, uint32_t serial, size_t& hint) const {
    if (!obj) return false;
    // An object is listed at most once: where it is found, it is the one.
    if (hint < FObjects.size() && FObjects[hint] == obj) return obj->Serial() == serial;
    for (size_t i = 0; i < FObjects.size(); ++i)
        if (FObjects[i] == obj) {
            hint = i;
            return obj->Serial() == serial;
        }
    return false;
}

TVorqObject* TVorqBaseList::FindBySerial(uint32_t serial) const {
    if (serial == 0) return nullptr;
    for (TVorqObject* o : FObjects)
        if (o->Serial() == serial) return o;
    for (auto& b : FBase)
        if (b && b->Serial() == serial) return b.get();
    return nullptr;
}

int32_t TVorqBaseList::IndexOfName(const std::string& name) const {
    if (FNameCount.find(name) == FNameCount.end()) return -1;
    for (size_t i = 0; i < FObjects.size(); ++i)
        if (FObjects[i]->GetName() == name) return static_cast<int32_t>(i);
    return -1;
}

TVorqObject* TVorqBaseList::FindObject(const std::string& name) const {
    if (name.empty() || name == kBase0) return ActiveBase();
    if (name == kInactive || name == kBase1) return InactiveBase();
    return GetObjectAt(IndexOfName(name));
}

TVorqControl* TVorqBaseList::FindControl(const std::string& name) const {
    if (name.empty()) return ActiveBase();
    if (name == kInactive) return InactiveBase();
    if (name == kBase0) return FBase[0].get();
    if (name == kBase1) return FBase[1].get();
    if (FNameCount.find(name) == FNameCount.end()) return nullptr;
    for (TVorqObject* o : FObjects)
        if (o->IsControl() && o->GetName() == name) return static_cast<TVorqControl*>(o);
    return nullptr;
}

std::string TVorqBaseList::MakeUniqueName(const std::string& prefix) const {
    int64_t next = 0;
    return MakeUniqueName(prefix, next);
}

std::string TVorqBaseList::MakeUniqueName(const std::string& prefix, int64_t& next) const {
    for (int64_t i = next < 0 ? 0 : next;; ++i) {
        std::string name = prefix + std::to_string(i);
        if (FNameCount.find(name) == FNameCount.end()) {
            next = i + 1;
            return name;
        }
    }
}

int32_t TVorqBaseList::ListCompo(TStringList& list, int32_t type_id, const TVorqObject* parent) const {
    int32_t n = 0;
    if (!parent) return 0;  // no parent given matches nothing
    for (TVorqObject* o : FObjects) {
        if (type_id != 0 && o->GetCompoType() != type_id) continue;
        if (parent != this && o->GetParent() != parent) continue;
        list.Add(o->GetName());
        ++n;
    }
    return n;
}

// ---------------------------------------------------------------------------
// Size, colour and surfaces

void TVorqBaseList::SetWidth(int32_t v) {
    if (v == FWidth) return;
    FWidth = v;
    if (FWork && FWidth > 0 && FHeight > 0) FWork->SetSize(FWidth, FHeight, CurrentSurfaceBits());
    for (auto& b : FBase) b->SetWidth(v);
}

void TVorqBaseList::SetHeight(int32_t v) {
    if (v == FHeight) return;
    FHeight = v;
    if (FWork && FWidth > 0 && FHeight > 0) FWork->SetSize(FWidth, FHeight, CurrentSurfaceBits());
    for (auto& b : FBase) b->SetHeight(v);
}

void TVorqBaseList::SetColor(int32_t v) {
    for (auto& b : FBase) b->SetColor(v);
}

int32_t TVorqBaseList::CurrentSurfaceBits() const {
    if (this == VorqBaseList && ScreenManager) return ScreenManager->SurfaceBits();
    return SurfaceBits > 0 ? SurfaceBits : DisplayBitCount();
}

TCustomDIBX* TVorqBaseList::ScreenSurface() const {
    if (FScreenSurface) return FScreenSurface;
    return this == VorqBaseList && ScreenManager ? ScreenManager->Surface() : nullptr;
}

TCustomDIBX* TVorqBaseList::GetOwnSurface() const {
    TCustomDIBX* s = ScreenSurface();
    return s ? s : FWork.get();
}

void TVorqBaseList::ReleaseSurfaces() {
    if (this == VorqBaseList && TeskCollection) TeskCollection->ReleaseSurfaces();
    if (FWork) FWork->ReleaseSurface();
    for (auto& b : FBase) b->ReleaseSurfaces();
    for (size_t i = 0; i < FObjects.size(); ++i) FObjects[i]->ReleaseSurfaces();
    FTransition.reset();
}

void TVorqBaseList::RestoreSurfaces() {
    FWork = make_surface(1, 1, CurrentSurfaceBits());
    if (FWork && FWidth > 0 && FHeight > 0) FWork->SetSize(FWidth, FHeight, CurrentSurfaceBits());
    if (this == VorqBaseList && TeskCollection) TeskCollection->RestoreSurfaces(true);
    for (auto& b : FBase) b->RestoreSurfaces();
    for (size_t i = 0; i < FObjects.size(); ++i) FObjects[i]->RestoreSurfaces();
    for (auto& b : FBase) b->InvalidateWhole();
}

void TVorqBaseList::SetSoundOn(uint8_t value) {
    if (value == SoundOn) return;
    SoundOn = value;
    SetMediaSoundOn(value != 0);
    if (OnSoundOn) OnSoundOn(value != 0);
}

// ---------------------------------------------------------------------------
// Keys and focus

void TVorqBaseList::SetKeyPush(int32_t key, bool down) {
    if (key < 0 || key > 255) return;
    if ((FKeyHeld[key] != 0) == down) return;
    FKeyHeld[key] = down;
    FKeyRepeat[key] = down;
    if (down) {
        FKeyCountdown[key] = 300;
        FKeyDownHappened = 1;
        FKeyRepeatHappened = 1;
    } else {
        FKeyUpHappened = 1;
    }
}

void TVorqBaseList::SetKeyClick(int32_t key, bool value) {
    if (key >= 0 && key < 256) FKeyClick[key] = value;
}

void TVorqBaseList::ClearKeys() {
    for (uint8_t* a : {FKeyHeld, FKeyClick, FKeyClickLast, FKeyRepeat, FKeyRepeatLast}) std::memset(a, 0, 256);
    std::memset(FKeyCountdown, 0, sizeof FKeyCountdown);
    FKeyDownHappened = FKeyUpHappened = FKeyRepeatHappened = 0;
}

void TVorqBaseList::SetFocusObject(TVorqControl* control) {
    if (control == FFocus) return;
    TVorqControl* old = FFocus;
    if (old && IndexOfObject(old) >= 0) {
        std::string label = old->GetOnFocusOut();
        if (!label.empty() && !old->GetName().empty() && !old->IsBusy()) Events.AddEvent(old, label, nullptr, PR_ONFOCUSOUT);
    }
    FFocus = control;
    if (control) {
        std::string label = control->GetOnFocusIn();
        if (!label.empty() && !control->IsBusy()) Events.AddEvent(control, label, nullptr, PR_ONFOCUSIN);
    }
    FFocusSearch = 0;
    if (control) control->FocusChanged();
}

// ---------------------------------------------------------------------------
// Frame passes

void TVorqBaseList::InputStep(int32_t frame_delta) {
    if (FFocusSearch) {
        SetFocusObject(ActiveBase()->FindFocusable());
        FFocusSearch = 0;
    }
    std::memcpy(FKeyClickLast, FKeyClick, 256);
    std::memset(FKeyClick, 0, 256);
    std::memcpy(FKeyRepeatLast, FKeyRepeat, 256);

    MouseStep(*ActiveBase());

    // The focus may be freed by any hook: read it again before each call.
    if (FFocus && FFocus->GetHandleKey()) {
        if (FKeyDownHappened) FFocus->KeyDown();
        if (FKeyRepeatHappened && FFocus) FFocus->KeyRepeat();
        if (FKeyUpHappened && FFocus) FFocus->KeyUp();
    }
    FKeyDownHappened = FKeyUpHappened = FKeyRepeatHappened = 0;

    for (int k = 0; k < 256; ++k) {
        if (!FKeyHeld[k]) continue;
        // 32-bit countdown that wraps: a long stall between frames must not
        // overflow it.
        FKeyCountdown[k] = static_cast<int32_t>(static_cast<uint32_t>(FKeyCountdown[k]) - static_cast<uint32_t>(frame_delta));
        FKeyRepeat[k] = FKeyCountdown[k] < 1;
        if (FKeyRepeat[k]) {
            FKeyCountdown[k] = static_cast<int32_t>(static_cast<uint32_t>(FKeyCountdown[k]) + 50u);
            FKeyRepeatHappened = 1;
        }
    }
}

void TVorqBaseList::queue_release(TVorqObject& target, const TVorqBase& layer, const std::string& label,
                                  uint8_t event_id) {
    if (label.empty() || Events.Find(&target, event_id) >= 0 || target.IsBusy()) return;
    TArrayString a;
    a.Add(std::to_string(int64_t(layer.MouseX) - target.GetScreenX()));
    a.Add(std::to_string(int64_t(layer.MouseY) - target.GetScreenY()));
    Events.AddEvent(&target, label, &a, event_id);
}

void TVorqBaseList::MouseStep(TVorqBase& layer) {
    TVorqBase& L = layer;
    L.LClicked = L.LPressPending;
    L.RClicked = L.RPressPending;
    L.WheelDown = L.WheelDownPending;
    L.WheelUp = L.WheelUpPending;
    L.LPressPending = L.RPressPending = L.WheelDownPending = L.WheelUpPending = 0;

    if (L.RClicked) {
        // A scrap may change the list: walk a copy and skip what is gone.
        std::vector<TVorqControl*> list = FRightClick;
        for (TVorqControl* c : list) {
            if (IndexOfObject(c) < 0 && std::find(FRightClick.begin(), FRightClick.end(), c) == FRightClick.end())
                continue;
            uint8_t m = c->GetIgnoreMouse();
            if (c->GetRClickScrap() && c->GetVisible() && c->GetBase() == &L && !c->GetPaused() &&
                (m == IM_NONE || m == IM_LCLICK) && c->RightClickScrap()) {
                L.RClicked = 0;
                break;
            }
        }
    }

    TVorqObject* prev = L.PointerObject;
    const uint32_t prev_serial = L.PointerSerial;
    if (prev && !Alive(prev, prev_serial)) prev = nullptr;

    TVorqObject* target = nullptr;
    bool captured = false;
    if (L.PressFlags != 0 && prev) {
        if ((L.PressFlags & (TVorqBase::kLeftTaken | TVorqBase::kRightTaken)) == 0) {
            target = prev;
            captured = true;
        } else {
            if ((L.PressFlags & TVorqBase::kLeftTaken) && !L.LHeld) {
                prev->LBtnUp();
                L.PressFlags &= static_cast<uint8_t>(~TVorqBase::kLeftTaken);
            } else if ((L.PressFlags & TVorqBase::kRightTaken) && !L.RHeld) {
                prev->RBtnUp();
                L.PressFlags &= static_cast<uint8_t>(~TVorqBase::kRightTaken);
            }
            if (Alive(prev, prev_serial) && L.Moved) prev->MouseMove();
            if (Alive(prev, prev_serial)) prev->MouseStepEnd();
            L.Moved = 0;
            return;
        }
    }
    if (!captured) {
        uint32_t mask = L.LClicked ? kMaskLeftPress : L.RClicked ? kMaskRightPress : kMaskPointer;
        target = L.HitTest(TPoint{L.MouseX, L.MouseY}, mask);
        L.PressFlags = 0;
    }
    const uint32_t serial = target ? target->Serial() : 0;
    // After each call into the target: a freed object (and the layer, which
    // is not listed) is treated as gone.
    auto check = [&] {
        if (target && !Alive(target, serial)) target = nullptr;
    };

    if (target) {
        std::string name = target->GetEffectiveCursor();
        if (name.empty() && DefaultCursor) name = DefaultCursor();
        set_cursor(L, name);
    }

    if (target) {
        if (L.LClicked) {
            target->LBtnDown();
            check();
            if (target && target->IsControl() && !target->GetPaused() && target->GetHandleKey())
                SetFocusObject(static_cast<TVorqControl*>(target));
        } else if (L.RClicked) {
            target->RBtnDown();
            check();
        } else if ((L.PressFlags & TVorqBase::kLeftCapture) && !L.LHeld) {
            queue_release(*target, L, target->GetOnLBtnUp(), PR_ONLBTNUP);
            L.PressFlags = 0;
        } else if ((L.PressFlags & TVorqBase::kRightCapture) && !L.RHeld) {
            queue_release(*target, L, target->GetOnRBtnUp(), PR_ONRBTNUP);
            L.PressFlags = 0;
        } else if (L.WheelDown) {
            std::string label = target->GetOnWheelDown();
            if (!label.empty() && Events.Find(target, PR_ONWHEELDOWN) < 0 && !target->IsBusy())
                Events.AddEvent(target, label, nullptr, PR_ONWHEELDOWN);
        } else if (L.WheelUp) {
            std::string label = target->GetOnWheelUp();
            if (!label.empty() && Events.Find(target, PR_ONWHEELUP) < 0 && !target->IsBusy())
                Events.AddEvent(target, label, nullptr, PR_ONWHEELUP);
        }
    }

    if (prev && prev != target && Alive(prev, prev_serial)) prev->MouseOut(target);
    if (target) {
        if (!L.Moved && target == prev) {
            L.PointerObject = target;
            L.PointerSerial = serial;
            L.Moved = 0;
            return;
        }
        if (target != prev) {
            target->MouseIn(prev);
            check();
        }
        if (target) target->MouseMove();
        check();
    }
    L.PointerObject = target;
    L.PointerSerial = target ? serial : 0;
    L.Moved = 0;
}

bool TVorqBaseList::Update() {
    FBase[0]->Update();
    FBase[1]->Update();
    // After a call into obj, which may have freed itself or others: find it
    // again (where it was, normally); false when it is gone, and the index,
    // which already moved, goes on from there.
    auto find_again = [this](TVorqObject* obj, uint32_t serial) {
        const size_t i = static_cast<size_t>(FUpdateIndex);
        if (i < FObjects.size() && FObjects[i] == obj && obj->Serial() == serial) return true;
        if (!Alive(obj, serial)) return false;
        FUpdateIndex = IndexOfObject(obj);
        return true;
    };
    for (FUpdateIndex = 0; FUpdateIndex < GetObjectCount();) {
        TVorqObject* obj = FObjects[static_cast<size_t>(FUpdateIndex)];
        // Its driver updates it in its own turn.
        if (obj->FDriver) {
            ++FUpdateIndex;
            continue;
        }
        const uint32_t serial = obj->Serial();
        std::string idle = obj->GetOnIdle();
        if (!idle.empty() && !obj->IsInCabinet() && !obj->IsBusy() && Events.Find(obj, PR_ONIDLE) < 0)
            Events.AddEvent(obj, idle, nullptr, PR_ONIDLE);
        if (!(obj->GetPaused() || IsPendingDelete(obj) || obj->IsInCabinet())) {
            const bool finished = obj->Update();
            if (!find_again(obj, serial)) continue;
            if (finished) {
                obj->FreeNow();
                continue;
            }
        }
        obj->UpdateDriven();
        if (!find_again(obj, serial)) continue;
        ++FUpdateIndex;
    }
    FUpdateIndex = 0;
    while (!FScheduled.empty()) {
        TVorqObject* obj = FScheduled.front();
        FScheduled.erase(FScheduled.begin());
        obj->FreeNow();
    }
    return false;
}

void TVorqBaseList::Draw() {
    UpdateRect = TRect{};
    FBase[0]->Draw();
    FBase[1]->Draw();
    if (FTransition) {
        UpdateRect = FTransition->ChangedRect;
        FTransition->Step();
    }
}

void TVorqBaseList::ClearDirty() {
    FBase[0]->DirtyList.Clear();
    FBase[1]->DirtyList.Clear();
}

// ---------------------------------------------------------------------------
// Layers and transitions

TCustomWipe* TVorqBaseList::SetActiveBase(int32_t index, int32_t kind, uint8_t mode, bool force, int32_t elapsed,
                                          int32_t duration) {
    ActiveIndex = index & 1;
    TCustomWipe* made = nullptr;
    if (force || (kind != 0 && !FTransition)) {
        FTransition.reset();
        FBase[0]->InvalidateWhole();
        FBase[1]->InvalidateWhole();
        if (kind != 0) {
            TVorqBase* now = ActiveBase();
            TCustomDIBX* target = now->GetOwnSurface();
            TCustomDIBX* own = now->LayerSurface();
            if (target && own && target != own) own->CopyFrom(*target);
            FTransition = (transition_maker ? transition_maker : CreateWipe)(kind, GetOwnSurface(), own,
                                                                            InactiveBase()->LayerSurface());
            if (FTransition) {
                FTransition->Duration = duration;
                FTransition->SetMode(mode);
                made = FTransition.get();
            }
        }
        if (!FFocus || FFocus->GetBase() != ActiveBase()) {
            SetFocusObject(nullptr);
            FFocusSearch = 1;
        }
    }
    TransitionKind = kind;
    if (FTransition) FTransition->Position = elapsed;
    return made;
}

int32_t TVorqBaseList::GetTransitionTime() const { return FTransition ? FTransition->Duration : 0; }

void TVorqBaseList::SetTransitionPos(int32_t ms) {
    if (FTransition) FTransition->Position = ms;
}

void TVorqBaseList::ResetScene() {
    const int32_t w = FWidth, h = FHeight;
    FTransition.reset();
    FBase[0].reset();
    FBase[1].reset();
    Events.Clear();
    free_all_objects();
    FWidth = FHeight = 8;
    make_layers();
    SetWidth(w);
    SetHeight(h);
    for (auto& b : FBase) {
        b->SetWidth(w);
        b->SetHeight(h);
    }
    if (PointerPos) {
        TPoint p = PointerPos();
        for (auto& b : FBase) b->SetMousePos(p.X, p.Y);
    }
}

// ---------------------------------------------------------------------------
// Cursors

void TVorqBaseList::release_cursor() {
    if (FCursorHandle && CursorView) CursorView->DestroyCursor(FCursorHandle);
    FCursorHandle = 0;
}

void TVorqBaseList::set_cursor(TVorqBase& layer, const std::string& name) {
    if (!CursorView) return;
    if (name.empty()) {
        if (CursorView->CurrentCursor() != 0) CursorView->SetCursor(0);
        return;
    }
    if (name != layer.CursorName) {
        layer.CursorName = name;
        int32_t handle = 0;
        if (cursor_decoder) {
            try {
                std::string path = FileManager ? FileManager->GetLocalFileName(name) : name;
                TCursorImage image;
                if (cursor_decoder(path, image) && image.Width > 0 && image.Height > 0)
                    handle = CursorView->CreateCursor(image.Argb.data(), image.Width, image.Height, image.HotSpot.X,
                                                      image.HotSpot.Y);
            } catch (const Exception&) {
                handle = 0;  // a cursor that cannot be loaded shows the arrow
            }
        }
        if (FCursorHandle && FCursorHandle != handle) {
            if (CursorView->CurrentCursor() == FCursorHandle) CursorView->SetCursor(0);
            CursorView->DestroyCursor(FCursorHandle);
        }
        FCursorHandle = handle;
    }
    if (CursorView->CurrentCursor() != FCursorHandle) CursorView->SetCursor(FCursorHandle);
}

// ---------------------------------------------------------------------------
// Start-up and pixel tables

bool GetCGDither() { return TeskCollection && TeskCollection->MatchDepth(); }

void SetCGDither(bool value) {
    if (!TeskCollection || TeskCollection->MatchDepth() == value) return;
    TeskCollection->SetMatchDepth(value);
    if (VorqBaseList)
        for (int i = 0; i < 2; ++i) VorqBaseList->GetBaseAt(i)->InvalidateWhole();
}

void BuildPixelTables(int32_t depth, const uint16_t* source565) {
    for (int i = 0; i < 256; ++i) {
        if (source565) {
            uint16_t v = source565[i];
            ColorTable16[i] = depth == 15 ? static_cast<uint16_t>(((v & 0xFFC0) >> 1) | (v & 0x1F)) : v;
        }
        const uint32_t l = static_cast<uint32_t>(i);
        GreyPixel16[i] = depth == 15 ? static_cast<uint16_t>((l >> 3) << 10 | (l >> 3) << 5 | (l >> 3))
                                     : static_cast<uint16_t>((l >> 3) << 11 | (l >> 2) << 5 | (l >> 3));
        GreyPixel32[i] = l << 16 | l << 8 | l;
    }
}
