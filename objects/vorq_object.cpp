#include "objects/vorq_object.h"

#include "files/field_reader.h"
#include "files/save_stream.h"
#include "objects/base_list.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "render/custom_dibx.h"

#include <algorithm>
#include <cstring>

namespace {
// Every property id has exactly one slot: the plain table plus the special
// list covers the 161 ids.
#define VORQ_COUNT_PLAIN(id, Name, Kind, Default) +1
#define VORQ_COUNT_SPECIAL(id) +1
static_assert(0 VORQ_PLAIN_PROPERTIES(VORQ_COUNT_PLAIN) VORQ_SPECIAL_PROPERTIES(VORQ_COUNT_SPECIAL) == PROPERTY_COUNT);
#undef VORQ_COUNT_PLAIN
#undef VORQ_COUNT_SPECIAL

uint32_t next_serial = 1;
// Nesting of the control records being loaded; scenes nest a few levels.
constexpr int kMaxLoadDepth = 1000;
// Far more children than a scene holds; the bytes left bound them first.
constexpr uint32_t kMaxStoredChildren = 1u << 20;
int load_depth = 0;
TMotionMaker motion_maker = nullptr;

// A whole decimal number (optional sign); false for anything else.
bool parse_int(const std::string& s, size_t from, int64_t& out) {
    size_t i = from;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
    if (i >= s.size()) return false;
    int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
        if (v > INT32_MAX) return false;
    }
    out = neg ? -v : v;
    return true;
}
}  // namespace

void SetMotionMaker(TMotionMaker maker) { motion_maker = maker; }

const std::string& SceneRecordMessage() {
    static const std::string msg = Sjis("セーブデータが壊れています");
    return msg;
}

// ---------------------------------------------------------------------------
// TVorqObject

TVorqObject::TVorqObject(TVorqBaseList* registry, int create_flags) : FRegistry(registry), FSerial(next_serial++) {
    if (next_serial == 0) next_serial = 1;
    if (registry && (create_flags & kCreateRegister)) {
        if (create_flags & kCreateAutoName) FName = registry->MakeUniqueName("object");
        registry->AddObject(this);
    }
}

TVorqObject::~TVorqObject() {
    if (FRegistry) FRegistry->RemoveObject(this);
}

void TVorqObject::StoreName(const std::string& name) {
    if (name == FName) return;
    std::string old = std::move(FName);
    FName = name;
    if (FRegistry) FRegistry->NameChanged(this, old);
    // Names order the children: the parent sorts again before it relies on
    // its order.
    if (TVorqControl* p = GetParent()) p->ChildrenMayBeUnsorted();
}

void TVorqObject::SetName(const std::string& name) {
    if (name == FName) return;
    // An empty name is held by every scrapped object: taking it must not
    // scrap an unrelated one.
    if (FRegistry && !name.empty()) {
        int32_t i = FRegistry->IndexOfName(name);
        if (i >= 0) {
            TVorqObject* holder = FRegistry->GetObjectAt(i);
            if (holder != this) holder->Scrap();
        }
    }
    StoreName(name);
}

void TVorqObject::ResortParent() {
    if (TVorqControl* p = GetParent()) p->ResortChild(static_cast<TVorqControl*>(this));  // only controls have parents
}

void TVorqObject::SetPriority(int32_t value) {
    if (value == FPriority) return;
    FPriority = value;
    FOrder = 0;
    ResortParent();
    Invalidate();
}

void TVorqObject::SetOrder(int32_t value) {
    if (value == FOrder) return;
    FOrder = value;
    ResortParent();
    Invalidate();
}

TCustomDIBX* TVorqObject::GetSurface() const {
    TVorqControl* p = GetParent();
    return p ? p->GetSurface() : nullptr;
}

TVorqBase* TVorqObject::GetBase() const {
    TVorqControl* p = GetParent();
    return p ? p->GetBase() : nullptr;
}

TRect TVorqObject::GetRect() const { return Bounds(GetScreenX(), GetScreenY(), GetWidth(), GetHeight()); }

TRect TVorqObject::GetClipRect() const {
    int32_t w = GetClipWidth(), h = GetClipHeight();
    if (w > 0 && h > 0) return Bounds(WrapAdd(GetScreenX(), GetClipLeft()), WrapAdd(GetScreenY(), GetClipTop()), w, h);
    return TRect{};
}

bool TVorqObject::IntersectsRect(TRect& r) const {
    r = IntersectRects(r, GetRect());
    return !RectIsEmpty(r);
}

void TVorqObject::AdjustDirtyRect(TRect& r) const {
    if (TVorqControl* p = GetParent()) p->AdjustDirtyRect(r);
}

bool TVorqObject::IsShownOnActiveBase() const {
    if (!GetVisible() || !FRegistry) return false;
    if (GetBase() != FRegistry->ActiveBase()) return false;
    for (TVorqControl* p = GetParent(); p; p = p->GetParent())
        if (!p->GetVisible()) return false;
    return true;
}

void TVorqObject::FreeNow() {
    if (TVorqControl* p = GetParent()) p->RemoveChild(static_cast<TVorqControl*>(this));  // only controls have parents
    if (FRegistry) FRegistry->RemoveObject(this);
    delete this;
}

void TVorqObject::Scrap() {
    if (FRegistry) FRegistry->ScheduleDelete(this);
    StoreName(std::string());
}

bool TVorqObject::IsScheduledForDeletion() const { return FRegistry && FRegistry->IsPendingDelete(this); }

void TVorqObject::QueueEvent(const std::string& label, uint8_t event_id, const TArrayString* args) {
    if (FRegistry) FRegistry->Events.AddEvent(this, label, args, event_id);
}

void TVorqObject::QueueEventUnlessWaiting(const std::string& label, uint8_t event_id) {
    if (FRegistry && !FRegistry->Events.Waiting(this, event_id)) FRegistry->Events.AddEvent(this, label, nullptr, event_id);
}

bool TVorqObject::EventQueued(uint8_t event_id) const {
    return FRegistry && FRegistry->Events.Find(this, event_id) >= 0;
}

TArrayString TVorqObject::MouseArgs() const {
    TArrayString a;
    TVorqBase* b = GetBase();
    int32_t mx = b ? b->MouseX : 0, my = b ? b->MouseY : 0;
    a.Add(std::to_string(static_cast<int64_t>(mx) - GetScreenX()));
    a.Add(std::to_string(static_cast<int64_t>(my) - GetScreenY()));
    return a;
}

namespace {
bool takes_left(uint8_t m) { return m == IM_NONE || m == IM_RCLICK; }   // values 0 and 4
bool takes_right(uint8_t m) { return m == IM_NONE || m == IM_LCLICK; }  // values 0 and 3
}  // namespace

// The left and right buttons behave alike: a press is taken when the
// object accepts that button and can queue; a release gives the press back.
void TVorqObject::ButtonDown(bool left) {
    TVorqBase* b = GetBase();
    const uint8_t m = GetIgnoreMouse();
    const bool takes = left ? takes_left(m) : takes_right(m);
    const uint8_t id = left ? PR_ONLBTNDOWN : PR_ONRBTNDOWN;
    uint8_t* clicked = b ? (left ? &b->LClicked : &b->RClicked) : nullptr;
    if (takes && !GetPaused() && !EventQueued(id) && !IsLayer() && !IsBusy()) {
        std::string label = left ? GetOnLBtnDown() : GetOnRBtnDown();
        if (!label.empty()) {
            TArrayString a = MouseArgs();
            QueueEvent(label, id, &a);
        }
        if (b) {
            b->PressFlags |= left ? TVorqBase::kLeftTaken : TVorqBase::kRightTaken;
            *clicked = 0;
        }
    } else if (!IsLayer() && takes && b) {
        *clicked = 0;
    }
}

void TVorqObject::ButtonUp(bool left) {
    if (!IsBusy()) {
        std::string label = left ? GetOnLBtnUp() : GetOnRBtnUp();
        if (!label.empty()) {
            TArrayString a = MouseArgs();
            QueueEvent(label, left ? PR_ONLBTNUP : PR_ONRBTNUP, &a);
        }
    }
    if (TVorqBase* b = GetBase())
        b->PressFlags &= static_cast<uint8_t>(~(left ? TVorqBase::kLeftTaken : TVorqBase::kRightTaken));
}

void TVorqObject::LBtnDown() { ButtonDown(true); }
void TVorqObject::RBtnDown() { ButtonDown(false); }
void TVorqObject::LBtnUp() { ButtonUp(true); }
void TVorqObject::RBtnUp() { ButtonUp(false); }

void TVorqObject::MouseMove() {
    std::string label = GetOnMouseMove();
    if (!label.empty() && !EventQueued(PR_ONMOUSEMOVE) && !IsBusy()) {
        TArrayString a = MouseArgs();
        QueueEvent(label, PR_ONMOUSEMOVE, &a);
    }
}

void TVorqObject::MouseOut(TVorqObject*) {
    if (IsBusy()) return;
    std::string label = GetOnMouseOut();
    if (!label.empty()) QueueEvent(label, PR_ONMOUSEOUT);
}

void TVorqObject::MouseIn(TVorqObject*) {
    if (IsBusy()) return;
    std::string label = GetOnMouseIn();
    if (!label.empty()) QueueEvent(label, PR_ONMOUSEIN);
}

void TVorqObject::SaveToStream(TStream& s) {
    WriteStreamString(s, FName);
    WriteStreamInteger(s, FPriority);
    WriteStreamInteger(s, FOrder);
    WriteStreamString(s, Tag);
}

void TVorqObject::LoadFromStream(TStream& s, int32_t version) {
    FieldReader r(s, SceneRecordMessage());
    StoreName(r.String("name"));
    FPriority = r.I32("priority");
    if (version >= 104) FOrder = r.I32("order");
    if (version >= 120) Tag = r.String("tag");
    if (TVorqControl* p = GetParent()) p->ChildrenMayBeUnsorted();
}

// ---------------------------------------------------------------------------
// TVorqComponent

TVorqComponent::~TVorqComponent() {
    if (FRegistry) FRegistry->Events.RemoveObjectEvents(this);
}

// ---------------------------------------------------------------------------
// TVorqControl

TVorqControl::TVorqControl(TVorqBaseList* registry, int create_flags) : TVorqComponent(registry, create_flags) {
    if (registry && !registry->Focus()) registry->RequestFocusSearch();
}

TVorqControl::~TVorqControl() {
    // Children go first, each out of the registry, so that nothing the
    // registry keeps can point at them.
    std::vector<TVorqControl*> children;
    children.swap(FChildren);
    for (TVorqControl* c : children) {
        c->FParent = nullptr;
        if (FRegistry) FRegistry->RemoveObject(c);
        delete c;
    }
    if (FMotion) {
        FMotion->ClearTarget();
        FMotion.reset();
    }
    if (FParent) FParent->RemoveChild(this);
    if (FRegistry) FRegistry->ForgetObject(this);
}

bool ChildBefore(const TVorqObject* a, const TVorqObject* b) {
    if (a == b) return false;
    const std::string& na = a->GetName();
    const std::string& nb = b->GetName();
    static const std::string last("\x01\x01");
    bool la = na == last, lb = nb == last;
    if (la != lb) return lb;
    bool ia = IsInternalName(na), ib = IsInternalName(nb);
    if (ia != ib) return ia;
    int64_t sa = int64_t(a->GetPriority()) + a->GetOrder();
    int64_t sb = int64_t(b->GetPriority()) + b->GetOrder();
    if (sa != sb) return sa < sb;
    size_t n = std::min(na.size(), nb.size());
    int c = n ? std::memcmp(na.data(), nb.data(), n) : 0;
    if (c != 0) return c < 0;
    return na.size() < nb.size();
}

void TVorqControl::SortChildren() {
    // Most calls follow a few children appended to a sorted list (an emitter
    // adds sprites to thousands): each is inserted, in turn, where the full
    // stable sort would put it.
    const auto end = FChildren.end();
    const auto sorted = std::is_sorted_until(FChildren.begin(), end, ChildBefore);
    if (end - sorted <= 16) {
        for (auto it = sorted; it != end; ++it)
            std::rotate(std::upper_bound(FChildren.begin(), it, *it, ChildBefore), it, it + 1);
    } else {
        std::stable_sort(FChildren.begin(), end, ChildBefore);
    }
    FChildrenSorted = true;
}

void TVorqControl::ResortChild(TVorqControl* child) {
    const auto at = std::find(FChildren.begin(), FChildren.end(), child);
    if (!FChildrenSorted || at == FChildren.end()) return SortChildren();
    const auto index = at - FChildren.begin();
    FChildren.erase(at);
    const auto to = std::upper_bound(FChildren.begin(), FChildren.end(), child, ChildBefore);
    // A child equal to it in the order keeps its old side of child under
    // the stable sort: that case takes the sort itself.
    if (to != FChildren.begin() && !ChildBefore(*(to - 1), child)) {
        FChildren.insert(FChildren.begin() + index, child);
        return SortChildren();
    }
    FChildren.insert(to, child);
}

void TVorqControl::AddChild(TVorqControl* child) {
    FChildren.push_back(child);
    FChildrenSorted = false;
}

void TVorqControl::InsertChild(TVorqControl* child) {
    if (!FChildrenSorted) {
        AddChild(child);
        return SortChildren();
    }
    FChildren.insert(std::upper_bound(FChildren.begin(), FChildren.end(), child, ChildBefore), child);
}

void TVorqControl::RemoveChild(TVorqControl* child) {
    auto it = std::find(FChildren.begin(), FChildren.end(), child);
    if (it != FChildren.end()) FChildren.erase(it);
}

TVorqControl* TVorqControl::GetChild(int32_t index) const {
    if (index < 0 || index >= GetChildCount()) return nullptr;
    return FChildren[static_cast<size_t>(index)];
}

void TVorqControl::SetName(const std::string& name) {
    if (name == FName) return;
    if (FRegistry && !name.empty()) {
        int32_t i = FRegistry->IndexOfName(name);
        TVorqObject* holder = i >= 0 ? FRegistry->GetObjectAt(i) : nullptr;
        if (holder && holder != this) {
            // The holder keeps living under the next free "base_n".
            std::string base = name;
            int64_t n = 2;
            for (size_t k = name.size(); k-- > 1;) {
                int64_t v;
                if (name[k] == '_' && parse_int(name, k + 1, v) && v >= 2) {
                    base = name.substr(0, k);
                    n = v;
                    break;
                }
            }
            std::string candidate;
            do {
                candidate = base + "_" + std::to_string(n++);
            } while (FRegistry->IndexOfName(candidate) >= 0);
            holder->StoreName(candidate);
        }
    }
    StoreName(name);
}

bool TVorqControl::GetVisible() const {
    if (!FVisible || !FParent) return false;
    return FParent->GetVisible();
}

void TVorqControl::SetVisible(bool v) {
    if (v == (FVisible != 0)) return;
    if (!v) {
        Invalidate();
        FVisible = 0;
        if (FRegistry) {
            TVorqControl* f = FRegistry->Focus();
            if (f && (f == this || Contains(f))) {
                FRegistry->SetFocusObject(nullptr);
                FRegistry->RequestFocusSearch();
            }
        }
    } else {
        FVisible = 1;
        Invalidate();
        if (FRegistry && !FRegistry->Focus()) FRegistry->RequestFocusSearch();
    }
}

void TVorqControl::SetHandleKey(bool v) {
    if (v == (FHandleKey != 0)) return;
    FHandleKey = v;
    if (!FRegistry) return;
    if (v && !FRegistry->Focus()) FRegistry->RequestFocusSearch();
    if (!v && FRegistry->Focus() == this) FRegistry->RequestFocusSearch();
}

void TVorqControl::SetParent(TVorqControl* parent) {
    if (parent == FParent || parent == this || Contains(parent)) return;
    Invalidate();
    if (FParent) {
        TVorqControl* old = FParent;
        old->RemoveChild(this);
        FParent = nullptr;
        if (old->GetCompoType() == LT_CABINET) LeaveCabinet();
    }
    FParent = parent;
    if (parent) {
        parent->AddChild(this);
        parent->SortChildren();
        if (parent->GetCompoType() == LT_CABINET) EnterCabinet();
    }
    Invalidate();
    if (!FRegistry) return;
    TVorqControl* f = FRegistry->Focus();
    if (f && (f == this || Contains(f)) && GetBase() != FRegistry->ActiveBase()) {
        FRegistry->SetFocusObject(nullptr);
        FRegistry->RequestFocusSearch();
    } else if (!f && GetBase() == FRegistry->ActiveBase()) {
        FRegistry->RequestFocusSearch();
    }
}

bool TVorqControl::Contains(const TVorqObject* obj) const {
    if (!obj) return false;
    for (const TVorqControl* c : FChildren)
        if (c == obj || c->Contains(obj)) return true;
    return false;
}

bool TVorqControl::IsInCabinet() const {
    for (const TVorqControl* p = FParent; p; p = p->FParent)
        if (p->GetCompoType() == LT_CABINET) return true;
    return false;
}

void TVorqControl::ChangeGeometry(int32_t& field, int32_t value) {
    if (field == value) return;
    Invalidate();
    field = value;
    Invalidate();
}

void TVorqControl::SetLeft(int32_t v) {
    if (v != FLeft) {
        Invalidate();
        FLeft = v;
        FMotionX = 0;
        Invalidate();
    }
    PositionChanged();
}

void TVorqControl::SetTop(int32_t v) {
    if (v != FTop) {
        Invalidate();
        FTop = v;
        FMotionY = 0;
        Invalidate();
    }
    PositionChanged();
}

void TVorqControl::SetWidth(int32_t v) { ChangeGeometry(FWidth, v); }
void TVorqControl::SetHeight(int32_t v) { ChangeGeometry(FHeight, v); }

void TVorqControl::SetOffsetX(int32_t v) {
    ChangeGeometry(FOffsetX, v);
    PositionChanged();
}

void TVorqControl::SetOffsetY(int32_t v) {
    ChangeGeometry(FOffsetY, v);
    PositionChanged();
}

void TVorqControl::SetColor(int32_t v) {
    if (v == FColor) return;
    FColor = v;
    Invalidate();
}

void TVorqControl::SetPosZoomed(bool v) {
    if (v == (FPosZoomed != 0)) return;
    Invalidate();
    FPosZoomed = v;
    Invalidate();
}

void TVorqControl::ChangeClip(int32_t& field, int32_t value) {
    if (field == value) return;
    ChangeGeometry(field, value);
    ClipChanged();
}

void TVorqControl::SetClipLeft(int32_t v) { ChangeClip(FClipLeft, v); }
void TVorqControl::SetClipTop(int32_t v) { ChangeClip(FClipTop, v); }
void TVorqControl::SetClipWidth(int32_t v) { ChangeClip(FClipWidth, v); }
void TVorqControl::SetClipHeight(int32_t v) { ChangeClip(FClipHeight, v); }

void TVorqControl::SetPlusX(int32_t v) { ChangeGeometry(FPlusX, v); }
void TVorqControl::SetPlusY(int32_t v) { ChangeGeometry(FPlusY, v); }

void TVorqControl::ClipChanged() {
    for (TVorqControl* c : FChildren) c->ClipChanged();
}

void TVorqControl::PositionChanged() {
    for (TVorqControl* c : FChildren) c->PositionChanged();
}

bool TVorqControl::GetAniPaused() const {
    if (FParent && IsInternalName(FName)) return FParent->GetAniPaused();
    return FAniPaused != 0;
}

bool TVorqControl::GetPlaying() const {
    return FMotion && !FMotion->Ended() && !GetPaused() && !GetAniPaused();
}

int32_t TVorqControl::ScreenAxis(bool horizontal) const {
    if (!FParent) return ScreenAxisFrom(horizontal, 0);
    return ScreenAxisFrom(horizontal, horizontal ? int64_t(FParent->GetScreenX()) - FParent->GetScrollX()
                                                 : int64_t(FParent->GetScreenY()) - FParent->GetScrollY());
}

int32_t TVorqControl::ZoomedScreenAxisFrom(bool horizontal, int64_t parent_term) const {
    const int32_t z = horizontal ? GetZoomX() : GetZoomY();
    const bool flip = horizontal ? GetFlipH() : GetFlipV();
    const int32_t pos = horizontal ? FLeft : FTop;
    const int32_t off = horizontal ? FOffsetX : FOffsetY;
    const int32_t size = horizontal ? FWidth : FHeight;
    const int32_t plus = horizontal ? FPlusX : FPlusY;
    if (FParent) {
        // A child given in the pixels of its parent's picture is placed on
        // the parent's displayed size. A parent without size has no scale.
        if (FPosZoomed && !FMotion && !FParent->IsLayer()) {
            TCustomDIBX* ps = FParent->GetOwnSurface();
            TCustomDIBX* own = GetOwnSurface();
            int32_t pz = horizontal ? FParent->GetZoomX() : FParent->GetZoomY();
            int32_t pw = horizontal ? FParent->GetWidth() : FParent->GetHeight();
            if (ps && own && z == pz && pw > 0) {
                int64_t psw = horizontal ? ps->Width() : ps->Height();
                int64_t osw = horizontal ? own->Width() : own->Height();
                int64_t k = std::max<int64_t>(1, psw * 65536 / pw);
                int64_t d = flip ? psw - (int64_t(pos) - off) - osw : int64_t(pos) - off;
                int64_t x = d * 65536 / k;
                if (d * 65536 % k > 32767) ++x;
                return static_cast<int32_t>(x + parent_term + plus);
            }
        }
    }
    int64_t a = flip ? int64_t(size) - 1 - Zoomed(off, z) : Zoomed(off, z);
    int64_t p = FMotion ? (horizontal ? FMotionX : FMotionY) : FPosZoomed ? Zoomed(pos, z) : pos;
    return static_cast<int32_t>(p - a + plus + parent_term);
}

int32_t TVorqControl::LocalAxis(bool horizontal) const { return LocalAxisOf(*this, horizontal); }

int32_t TVorqControl::GetScreenX() const { return ScreenAxis(true); }
int32_t TVorqControl::GetScreenY() const { return ScreenAxis(false); }
int32_t TVorqControl::GetLocalX() const { return LocalAxis(true); }
int32_t TVorqControl::GetLocalY() const { return LocalAxis(false); }

TPoint TVorqControl::GetDrawPos() const {
    int64_t x = FLeft, y = FTop;
    if (FMotion) {
        x = FMotionX;
        y = FMotionY;
    } else if (FPosZoomed) {
        x = Zoomed(FLeft, GetZoomX());
        y = Zoomed(FTop, GetZoomY());
    }
    if (FParent) {
        x += int64_t(FParent->GetScreenX()) - FParent->GetScrollX();
        y += int64_t(FParent->GetScreenY()) - FParent->GetScrollY();
    }
    return TPoint{static_cast<int32_t>(x + FPlusX), static_cast<int32_t>(y + FPlusY)};
}

void TVorqControl::SetRect(int32_t left, int32_t top, int32_t width, int32_t height) {
    if (left == FLeft && top == FTop && width == FWidth && height == FHeight) return;
    Invalidate();
    FLeft = left;
    FTop = top;
    FWidth = width;
    FHeight = height;
    Invalidate();
}

void TVorqControl::Invalidate() {
    if (!GetVisible()) return;
    TVorqBase* base = GetBase();
    if (!base) return;
    TRect r = GetRect();
    if (FParent && !FParent->IntersectsRect(r)) return;
    InvalidateCut(base, r);
}

void TVorqControl::InvalidateCut(TVorqBase* base, TRect r) {
    TRect clip = GetClipRect();
    if (!RectIsEmpty(clip)) {
        r = IntersectRects(r, clip);
        if (RectIsEmpty(r)) return;
    }
    AdjustDirtyRect(r);
    base->AddDirtyRect(r);
}

void TVorqControl::Draw() {
    // A control without children (most of them) has nothing more to draw.
    DrawChildrenWith([this](TCustomDIBX& s, const TRect& v) {
        for (TVorqControl* child : FChildren) DrawChild(s, v, *child);
    });
}

TCustomDIBX* TVorqControl::BeginChildren(TRect& clip, TRect& v) {
    TCustomDIBX* s = GetSurface();
    if (!s) return nullptr;
    clip = s->GetClipRect();
    v = IntersectRects(GetRect(), clip);
    return s;
}

void TVorqControl::EndChildren(TCustomDIBX& s, const TRect& clip) { s.SetClipRect(clip); }

void TVorqControl::DrawChild(TCustomDIBX& s, const TRect& v, TVorqControl& child) {
    if (!child.FVisible || !child.GetVisible()) return;
    // A child outside the area draws nothing: its own drawing and its
    // children's are clipped to its rectangle.
    TRect cr = v;
    if (!child.IntersectsRect(cr)) return;
    TRect k = child.GetClipRect();
    TRect area = v;
    if (!RectIsEmpty(k)) {
        area = IntersectRects(v, k);
        if (RectIsEmpty(area)) return;
    }
    s.ClearClipRect();
    s.AddClipRect(area);
    child.Draw();
    s.ClearClipRect();
}

TVorqObject* TVorqControl::HitTest(const TPoint& p, uint32_t mask) {
    if (!GetVisible() || !PointInRect(p, GetRect())) return nullptr;
    TVorqObject* candidate = nullptr;
    uint8_t m = GetIgnoreMouse();
    if (m < 8 && ((mask >> m) & 1)) candidate = this;
    for (size_t i = FChildren.size(); i-- > 0;)
        if (TVorqObject* hit = FChildren[i]->HitTest(p, mask)) return hit;
    return candidate;
}

bool TVorqControl::Update() {
    if (FMotion && FMotion->Step()) {
        if (GetAutoScrap()) return true;
        std::string label = GetOnPlayEnd();
        if (!label.empty()) QueueEvent(label, PR_ONPLAYEND);
    }
    return false;
}

std::unique_ptr<TControlMotion> MakeControlMotion(TVorqControl& target, const std::string& file_name) {
    if (!motion_maker) throw Exception("motions are not available");
    return motion_maker(target, file_name);
}

void TVorqControl::AttachMotion(const std::string& file_name) {
    std::unique_ptr<TControlMotion> m = MakeControlMotion(*this, file_name);
    if (FMotion) FMotion->ClearTarget();
    FMotion = std::move(m);
}

void TVorqControl::RestartMotion() {
    if (FMotion) FMotion->Restart();
}

void TVorqControl::RestoreSurfaces() {
    TVorqComponent::RestoreSurfaces();
    if (FMotion) FMotion->Reapply();
}

TVorqControl* TVorqControl::FindFocusable() {
    for (size_t i = FChildren.size(); i-- > 0;) {
        TVorqControl* c = FChildren[i];
        if (!c->GetVisible()) continue;
        if (TVorqControl* f = c->FindFocusable()) return f;
    }
    if (GetHandleKey() && !GetPaused()) return this;
    return nullptr;
}

void TVorqControl::KeyEvent(const std::string& label, uint8_t event_id) {
    if (!label.empty() && !GetPaused() && !EventQueued(event_id) && !IsLayer() && !IsBusy())
        QueueEvent(label, event_id);
}

void TVorqControl::KeyDown() { KeyEvent(GetOnKeyDown(), PR_ONKEYDOWN); }
void TVorqControl::KeyUp() { KeyEvent(GetOnKeyUp(), PR_ONKEYUP); }
void TVorqControl::KeyRepeat() { KeyEvent(GetOnKeyRepeat(), PR_ONKEYREPEAT); }

void TVorqControl::NotifyGroup(int32_t group, int32_t value) {
    if (group == 0) return;
    for (TVorqControl* c : FChildren)
        if (c->GetGroupIndex() == group) c->GroupNotify(value);
}

void TVorqControl::NormalizeGroup(TVorqControl* preferred, int32_t group) {
    if (group == 0) return;
    std::vector<TVorqControl*> members;
    for (TVorqControl* c : FChildren)
        if (c->GetGroupIndex() == group) members.push_back(c);
    int32_t chosen = -1;
    for (size_t i = 0; i < members.size(); ++i)
        if (members[i] == preferred && preferred->GetSelected()) chosen = static_cast<int32_t>(i);
    if (chosen < 0)
        for (size_t i = 0; i < members.size(); ++i)
            if (members[i]->GetSelected()) {
                chosen = static_cast<int32_t>(i);
                break;
            }
    if (chosen < 0 && !(preferred && preferred->GetAllowAllUp())) chosen = 0;
    for (size_t i = 0; i < members.size(); ++i) {
        bool want = static_cast<int32_t>(i) == chosen;
        if (members[i]->GetSelected() != want) members[i]->SetGroupSelected(want);
    }
}

void TVorqControl::SaveToStream(TStream& s) {
    TVorqComponent::SaveToStream(s);
    for (int32_t v : {FLeft, FTop, FWidth, FHeight, FOffsetX, FOffsetY}) WriteStreamInteger(s, v);
    WriteStreamByte(s, FPosZoomed);
    for (int32_t v : {FMotionX, FMotionY, FPlusX, FPlusY, FClipLeft, FClipTop, FClipWidth, FClipHeight})
        WriteStreamInteger(s, v);
    WriteStreamByte(s, FAniPaused);
    WriteStreamByte(s, FVisible);
    WriteStreamInteger(s, FColor);
    for (int32_t v : {FPartRect.Left, FPartRect.Top, FPartRect.Right, FPartRect.Bottom}) WriteStreamInteger(s, v);
    WriteStreamByte(s, FIgnoreMouse);
    for (const std::string* t : {&FCursor, &FOnMouseMove, &FOnMouseIn, &FOnMouseOut, &FOnLBtnDown, &FOnLBtnUp,
                                 &FOnRBtnDown, &FOnRBtnUp, &FOnWheelDown, &FOnWheelUp})
        WriteStreamString(s, *t);
    WriteStreamByte(s, FHandleKey);
    for (const std::string* t : {&FOnKeyDown, &FOnKeyUp, &FOnKeyRepeat, &FOnFocusIn, &FOnFocusOut})
        WriteStreamString(s, *t);
    std::vector<TVorqControl*> saved;
    for (TVorqControl* c : FChildren)
        if (!c->IsScheduledForDeletion() && c->GetCompoType() != LT_NONE && !IsInternalName(c->GetName()))
            saved.push_back(c);
    WriteStreamInteger(s, static_cast<int32_t>(saved.size()));
    for (TVorqControl* c : saved) {
        WriteStreamByte(s, c->GetCompoType());
        c->SaveToStream(s);
    }
}

void TVorqControl::LoadFromStream(TStream& s, int32_t version) {
    TVorqComponent::LoadFromStream(s, version);
    FieldReader r(s, SceneRecordMessage());
    FLeft = r.I32("left");
    FTop = r.I32("top");
    FWidth = r.I32("width");
    FHeight = r.I32("height");
    FOffsetX = r.I32("offset x");
    FOffsetY = r.I32("offset y");
    FPosZoomed = r.U8("position zoomed");
    if (version >= 130) FMotionX = r.I32("motion x");
    if (version >= 130) FMotionY = r.I32("motion y");
    if (version >= 130) FPlusX = r.I32("plus x");
    if (version >= 130) FPlusY = r.I32("plus y");
    if (version >= 104) FClipLeft = r.I32("clip left");
    if (version >= 104) FClipTop = r.I32("clip top");
    if (version >= 104) FClipWidth = r.I32("clip width");
    if (version >= 104) FClipHeight = r.I32("clip height");
    if (version >= 104) FAniPaused = r.U8("animation paused");
    FVisible = r.U8("visible");
    FColor = r.I32("color");
    FPartRect.Left = r.I32("part left");
    FPartRect.Top = r.I32("part top");
    FPartRect.Right = r.I32("part right");
    FPartRect.Bottom = r.I32("part bottom");
    FIgnoreMouse = r.U8("ignore mouse");
    FCursor = r.String("cursor");
    FOnMouseMove = r.String("on mouse move");
    if (version >= 102) FOnMouseIn = r.String("on mouse in");
    FOnMouseOut = r.String("on mouse out");
    FOnLBtnDown = r.String("on left button down");
    FOnLBtnUp = r.String("on left button up");
    FOnRBtnDown = r.String("on right button down");
    FOnRBtnUp = r.String("on right button up");
    FOnWheelDown = r.String("on wheel down");
    FOnWheelUp = r.String("on wheel up");
    if (version >= 118) FHandleKey = r.U8("handle key");
    if (version >= 118) FOnKeyDown = r.String("on key down");
    if (version >= 118) FOnKeyUp = r.String("on key up");
    if (version >= 118) FOnKeyRepeat = r.String("on key repeat");
    if (version >= 118) FOnFocusIn = r.String("on focus in");
    if (version >= 118) FOnFocusOut = r.String("on focus out");
    // Each child record holds at least its type byte and its name length.
    const uint32_t n = r.Count("child count", 5, kMaxStoredChildren);
    // Children load recursively: a crafted chain of nested records must not
    // exhaust the stack (nor make every level walk all the levels above).
    if (load_depth >= kMaxLoadDepth) r.Fail("child nesting");
    ++load_depth;
    struct DepthGuard {
        ~DepthGuard() { --load_depth; }
    } guard;
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t type = r.U8("child type");
        TVorqObject* obj = CreateStoredObject(FRegistry, type);
        TVorqControl* child = obj->IsControl() ? static_cast<TVorqControl*>(obj) : nullptr;
        if (!child) {
            obj->FreeNow();
            r.Fail("child type");
        }
        child->SetParent(this);
        child->LoadFromStream(s, version);
    }
    SortChildren();
}
