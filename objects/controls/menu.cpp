#include "objects/controls/menu.h"

#include "script/game_clock.h"
#include "script/param_collection.h"
#include "files/save_stream.h"
#include "objects/base_list.h"
#include "objects/object_record.h"
#include "platform/display/keys.h"

#include <algorithm>

TVorqMenu::TVorqMenu(TVorqBaseList* registry) : TVorqCustomListBox(registry) {
    if (!registry) return;
    std::vector<TVorqControl*>& list = registry->RightClickList();
    if (std::find(list.begin(), list.end(), this) == list.end()) list.push_back(this);
}

TVorqMenu::~TVorqMenu() {
    if (FRegistry) {
        std::vector<TVorqControl*>& list = FRegistry->RightClickList();
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
}

void TVorqMenu::SetFontHoverColor(int32_t v) {
    FHoverLabels.Colour = static_cast<uint32_t>(v);
    FHoverLabels.InvalidateAll();
    Invalidate();
}

void TVorqMenu::SetFontHoverStyle(TFontStyles v) {
    FHoverLabels.Style = v.Bits;
    Invalidate();
    MarkLayout();
}

int32_t TVorqMenu::GetOrigHeight() const {
    return FPlayState == PS_FADEIN || FPlayState == PS_FADEOUT ? FFullHeight : FHeight;
}

bool TVorqMenu::Animating() const {
    return (FState >= kOpenStart && FState <= kOpening) || (FState >= kCloseStart && FState <= kClosing);
}

void TVorqMenu::queue(const std::string& label, uint8_t event_id) {
    if (!label.empty()) QueueEvent(label, event_id);
}

void TVorqMenu::take_focus() {
    if (FRegistry && GetVisible() && !GetPaused() && GetHandleKey()) FRegistry->SetFocusObject(this);
}

void TVorqMenu::drop_focus() {
    if (FRegistry && FRegistry->Focus() == this) FRegistry->RequestFocusSearch();
}

void TVorqMenu::SetPlayState(uint8_t state) {
    const uint8_t as = state == PS_FADEIN ? uint8_t(PS_PLAY) : state == PS_FADEOUT ? uint8_t(PS_STOP) : state;
    if (as == FPlayState) return;
    FPlayState = state;
    switch (state) {
    case PS_PLAY:
        // Opening at once must undo a close at once, which left HEIGHT 0.
        Layout();
        FState = kIdle;
        take_focus();
        queue(FOnOpening, PR_ONOPENING);
        queue(FOnOpened, PR_ONOPENED);
        break;
    case PS_FADEIN:
        FState = kOpenStart;
        take_focus();
        break;
    case PS_STOP:
        SetHeight(0);
        FState = kIdle;
        drop_focus();
        queue(FOnClosing, PR_ONCLOSING);
        queue(FOnClosed, PR_ONCLOSED);
        break;
    case PS_FADEOUT:
        FState = kCloseStart;
        drop_focus();
        break;
    default: break;
    }
}

bool TVorqMenu::Update() {
    TVorqCustomListBox::Update();
    const int64_t t = static_cast<int64_t>(static_cast<uint32_t>(GameClock - FStart));
    switch (FState) {
    case kEscape:
        SetPlayState(PS_FADEOUT);
        // A menu that was already closed has nothing to close: it stays
        // usable instead of busy for good.
        if (FState == kEscape) {
            FState = kIdle;
            FBusy = 0;
        }
        break;
    case kOpenStart:
        Layout();
        queue(FOnOpening, PR_ONOPENING);
        FFullHeight = FHeight;
        SetHeight(0);
        FState = kOpenClock;
        break;
    case kOpenClock:
        FStart = GameClock;
        FState = kOpening;
        break;
    case kOpening:
        if (FDelay > t) {
            SetHeight(static_cast<int32_t>(int64_t(FFullHeight) * t / FDelay));
        } else {
            SetHeight(FFullHeight);
            queue(FOnOpened, PR_ONOPENED);
            FState = kIdle;
        }
        break;
    case kCloseStart:
        FBusy = 1;
        FStart = GameClock;
        queue(FOnClosing, PR_ONCLOSING);
        FState = kClosing;
        break;
    case kClosing:
        FBusy = 1;
        if (FDelay > t) {
            SetHeight(static_cast<int32_t>(FFullHeight - int64_t(FFullHeight) * t / FDelay));
        } else {
            queue(FOnClosed, PR_ONCLOSED);
            FState = kEnded;
        }
        break;
    case kScrapStart:
        FBusy = 1;
        queue(FOnClosing, PR_ONCLOSING);
        queue(FOnClosed, PR_ONCLOSED);
        FState = kScrapWait;
        break;
    case kScrapWait: FState = kEnded; break;
    case kEnded: return !EventQueued(PR_ONCLOSING) && !EventQueued(PR_ONCLOSED);
    default: break;
    }
    return false;
}

void TVorqMenu::Select() {
    TVorqCustomListBox::Select();
    if (FAutoScrap) {
        FBusy = 1;
        FState = kScrapStart;
    }
}

void TVorqMenu::KeyRepeat() {
    TVorqBaseList* reg = FRegistry;
    if (reg && FPlayState != PS_STOP && FPlayState != PS_FADEOUT && !GetPaused()) {
        if ((reg->GetKeyClick(VK_RETURN) || reg->GetKeyClick(VK_SPACE)) && HoverIndex() >= 0 && !FBusy) Select();
        else if (reg->GetKeyClick(VK_ESCAPE) && FRClickScrap) FState = kEscape;
        handle_list_keys();
    }
    TVorqControl::KeyRepeat();
}

void TVorqMenu::RBtnDown() {
    if (GetPaused() || !FRClickScrap) {
        TVorqCustomListBox::RBtnDown();
        return;
    }
    if (Params) {
        Params->sel_str.clear();
        Params->sel_index = -1;
    }
    SetPlayState(PS_FADEOUT);
    if (TVorqBase* b = GetBase()) b->RClicked = 0;
}

bool TVorqMenu::RightClickScrap() {
    // A closed or closing menu takes no right click: it would wait for a
    // close that never comes.
    if (FBusy || FPlayState == PS_STOP || FPlayState == PS_FADEOUT) return false;
    FBusy = 1;
    FState = kEscape;
    return true;
}

void TVorqMenu::SaveToStream(TStream& s) {
    TVorqCustomListBox::SaveToStream(s);
    WriteStreamInteger(s, FDelay);
    WriteStreamInteger(s, FHoverColor);
    WriteStreamByte(s, FAutoScrap);
    WriteStreamByte(s, FRClickScrap);
    WriteStreamByte(s, FPlayState);
    for (const std::string* t : {&FOnOpening, &FOnOpened, &FOnClosing, &FOnClosed}) WriteStreamString(s, *t);
}

void TVorqMenu::LoadFromStream(TStream& s, int32_t version) {
    TVorqCustomListBox::LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    FDelay = r.I32("delay");
    FHoverColor = r.I32("hover colour");
    FAutoScrap = r.U8("auto scrap");
    FRClickScrap = r.U8("right-click scrap");
    FPlayState = r.U8("play state");
    FOnOpening = r.String("opening handler");
    FOnOpened = r.String("opened handler");
    FOnClosing = r.String("closing handler");
    FOnClosed = r.String("closed handler");
    Layout();
    FFullHeight = FHeight;
    FStart = GameClock;
}
