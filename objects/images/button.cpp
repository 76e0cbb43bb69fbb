#include "objects/images/button.h"

#include "script/game_clock.h"
#include "files/save_stream.h"
#include "objects/base_list.h"
#include "objects/object_record.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/filesys.h"

namespace {
constexpr int32_t kEnter = 13, kSpace = 32;
}  // namespace

TVorqButton::TVorqButton(TVorqBaseList* registry, int create_flags) : TVorqImages(registry, 4, create_flags) {}

TVorqButton::~TVorqButton() {
    SetPictureSurface(nullptr);
    SetMaskSurface(nullptr);
    for (auto& m : FStateMotions)
        if (m) {
            m->ClearTarget();
            m.reset();
        }
}

TControlMotion* TVorqButton::GetMotion() const {
    if (FState >= kHover && FState <= kClicked) return FStateMotions[static_cast<size_t>(FState - 1)].get();
    if (FState == kNormal) return FMotion.get();
    return nullptr;
}

void TVorqButton::SetState(int32_t v) {
    if (FState == kClicked) {
        FPending = v;
        return;
    }
    if (v == FState) return;
    if (v < kNormal || v > kClicked) return;
    if (v != kNormal && !FStateMotions[static_cast<size_t>(v - 1)] && List(v).Count() == 0) return;
    FState = v;
    if (v == kClicked) FPending = kNormal;
    SetIndex(-1);
    SetIndex(0);
    if (TControlMotion* m = GetMotion()) m->Restart();
}

void TVorqButton::SetStateSource(int32_t state, const std::string& v) {
    std::string& source = FStateSources[static_cast<size_t>(state - 1)];
    if (v == source) return;
    source = v;
    if (FState == state) {
        SetIndex(-1);
        SetPictureSurface(nullptr);
        SetMaskSurface(nullptr);
    }
    TVorqImageList& list = List(state);
    list.Clear();
    std::unique_ptr<TControlMotion>& motion = FStateMotions[static_cast<size_t>(state - 1)];
    if (motion) {
        motion->ClearTarget();
        motion.reset();
    }
    const std::string ext = AnsiLowerCase(ExtractFileExt(v));
    // Each list registers with the image cache under its own key: two states
    // showing one file must not release each other's frames.
    if (ext == ".tes") list.LoadFromFile(&list, v, false);
    else if (ext == ".vmt") motion = MakeControlMotion(*this, v);
    if (FState == state && list.Count() > 0) SetIndex(0);
}

void TVorqButton::SetGroupIndex(int32_t v) {
    if (v == FGroupIndex) return;
    FGroupIndex = v;
    if (FParent) FParent->NormalizeGroup(this, v);
}

void TVorqButton::SetSelected(bool v) {
    if (v == (FSelected != 0)) return;
    // Only a member of a group can be selected.
    if (v && FGroupIndex == 0) return;
    FSelected = v;
    SetState(v ? kPressed : kNormal);
    if (FParent) FParent->NormalizeGroup(this, FGroupIndex);
}

void TVorqButton::SetAllowAllUp(bool v) {
    if (!FParent) return;
    FParent->NotifyGroup(FGroupIndex, v);
    FParent->NormalizeGroup(this, FGroupIndex);
}

void TVorqButton::SetGroupSelected(bool selected) {
    FSelected = selected;
    SetState(selected ? kPressed : kNormal);
}

void TVorqButton::GroupNotify(int32_t value) { FAllowAllUp = value != 0; }

void TVorqButton::SetPaused(bool v) {
    TVorqImages::SetPaused(v);
    if (!GetPaused()) SetState(kNormal);
}

bool TVorqButton::PointerOver() const {
    if (!FRegistry) return false;
    TVorqBase* layer = FRegistry->ActiveBase();
    return layer && layer->HitTest(TPoint{layer->MouseX, layer->MouseY}, kMaskLeftPress) == this;
}

void TVorqButton::MouseMove() {
    if (FPressPhase == 0) {
        if (!GetPaused() && !GetSelected()) SetState(kHover);
        else SetState(GetSelected() ? kPressed : kNormal);
        TVorqImages::MouseMove();
    } else if (FPressPhase == 1) {
        SetState(GetSelected() || PointerOver() ? kPressed : kNormal);
    }
}

void TVorqButton::MouseOut(TVorqObject* next) {
    if (FState == kClicked) return;
    SetState(GetSelected() ? kPressed : kNormal);
    TVorqImages::MouseOut(next);
}

void TVorqButton::LBtnDown() {
    const uint8_t m = GetIgnoreMouse();
    if (m != IM_NONE && m != IM_RCLICK) {
        TVorqImages::LBtnDown();
        return;
    }
    TVorqBase* layer = GetBase();
    if (!GetPaused() && FState != kClicked) {
        // The press is held by this button: the layer hands it the pointer's
        // moves and the release.
        if (layer) layer->PressFlags |= TVorqBase::kLeftTaken;
        SetState(kPressed);
        FPressPhase = 1;
    }
    if (layer) layer->LClicked = 0;
}

void TVorqButton::LBtnUp() {
    if (FPressPhase == 1 && PointerOver()) {
        Click();
        if (FPressPhase == -1) return;
    }
    FPressPhase = 0;
    if (FGroupIndex == 0 && FState != kClicked) SetState(kNormal);
}

void TVorqButton::KeyRepeat() {
    if (FRegistry && (FRegistry->GetKeyRepeat(kEnter) || FRegistry->GetKeyRepeat(kSpace))) Click();
    TVorqImages::KeyRepeat();
}

void TVorqButton::Click() {
    if (!FOnNotify.empty()) QueueEvent(FOnNotify, PR_ONNOTIFY);
    if (FGroupIndex != 0) {
        if (!GetAllowAllUp() && GetSelected()) return;
        SetSelected(!GetSelected());
        return;
    }
    SetState(kClicked);
    // Nothing to play: the button goes at once when it is to scrap itself.
    if (FState != kClicked && GetAutoScrap()) FPressPhase = -1;
}

bool TVorqButton::Update() {
    if (FPressPhase == -1) return true;
    bool ended = false;
    if (TControlMotion* m = GetMotion()) {
        ended = m->Step();
    } else if (ValidFrame(FIndex) && GetVisible() && !GetPaused() && !GetAniPaused()) {
        FCountdown = WrapSub(FCountdown, static_cast<int32_t>(FrameTime));
        while (FCountdown < 1) {
            const int32_t count = GetCurrentList()->Count();
            if (FIndex < count - 1) {
                SetIndex(FIndex + 1);
                continue;
            }
            ended = FState == kClicked;
            if (GetRepeat()) {
                FCountdown = 0;
                SetIndex(0);
            }
            break;
        }
    }
    if (!ended) return false;
    if (GetAutoScrap()) return true;
    const std::string label = GetOnPlayEnd();
    if (!label.empty()) QueueEvent(label, PR_ONPLAYEND);
    FState = kNoState;
    SetState(FPending);
    return false;
}

void TVorqButton::SaveToStream(TStream& s) {
    TVorqImages::SaveToStream(s);
    WriteStreamString(s, FStateSources[0]);
    WriteStreamString(s, FStateSources[1]);
    WriteStreamInteger(s, FGroupIndex);
    WriteStreamByte(s, FSelected);
    WriteStreamByte(s, FAllowAllUp);
    WriteStreamString(s, FOnNotify);
    WriteStreamString(s, FOnIdle);
    WriteStreamString(s, FStateSources[2]);
}

void TVorqButton::LoadFromStream(TStream& s, int32_t version) {
    TVorqImages::LoadFromStream(s, version);
    const int32_t index = FIndex;
    FieldReader r = ObjectRecordReader(s);
    SetHoverSource(r.String("hover source"));
    SetPressedSource(r.String("pressed source"));
    FGroupIndex = r.I32("group index");
    const bool selected = r.U8("selected") != 0;
    FAllowAllUp = r.U8("allow all up");
    FOnNotify = r.String("notify handler");
    if (version >= 104) {
        FOnIdle = r.String("idle handler");
        SetClickedSource(r.String("clicked source"));
    }
    SetSelected(selected);
    FPressPhase = 0;
    SetIndex(index);
}
