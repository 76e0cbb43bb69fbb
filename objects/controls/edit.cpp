#include "objects/controls/edit.h"

#include "files/containers.h"
#include "files/save_stream.h"
#include "objects/base_list.h"
#include "objects/object_record.h"

#include <algorithm>
#include <climits>

namespace {
// Colours the field starts with: the desktop's window and window-text
// colours, as a script reads them back.
constexpr int32_t kSystemWindow = int32_t(0x80000005u);
constexpr int32_t kSystemWindowText = int32_t(0x80000008u);
// A field larger than any screen would only cost memory (a damaged save).
constexpr int32_t kMaxFieldSide = 2048;
constexpr int32_t kMaxFontHeight = 512;

// A stored colour (0x00BBGGRR, negative = a desktop colour) as the field's
// 0x00RRGGBB.
uint32_t field_colour(int32_t stored, uint32_t desktop) {
    if (stored < 0) return desktop;
    const uint32_t v = uint32_t(stored);
    return (v & 0xFF) << 16 | (v & 0xFF00) | (v >> 16 & 0xFF);
}
}  // namespace

TVorqEdit::TVorqEdit(TVorqBaseList* registry, bool multi_line)
    : TVorqControl(registry),
      FMultiLine(multi_line),
      FForm(1, 1),
      FEdit(&FForm.Add<TextEdit>(TRect{0, 0, 1, 1}, multi_line)),
      FFontName(DefaultChromeFont().Name),
      FFontHeight(DefaultChromeFont().Size),
      FFontColor(kSystemWindowText) {
    FColor = kSystemWindow;
    FEdit->OnKeyDown = [this](int32_t vk, const std::string& before) { KeyPressed(vk, before); };
    FPanel = Panel();
    if (FPanel) FPanel->AddControl(this);
}

TVorqEdit::~TVorqEdit() {
    if (FPanel) FPanel->RemoveControl(this);
    // The picture comes back where the field lay.
    if (Shown() && FRegistry)
        if (TVorqBase* active = FRegistry->ActiveBase()) active->AddDirtyRect(FShownRect);
    if (FRegistry && FRegistry->Focus() == this) {
        FRegistry->SetFocusObject(nullptr);
        FRegistry->RequestFocusSearch();
    }
}

void TVorqEdit::Relayout() {
    // Lines are broken anew for the field's size and font; the selection stays.
    const size_t caret = FEdit->Caret();
    const size_t anchor = FEdit->SelStart() == caret ? FEdit->SelEnd() : FEdit->SelStart();
    FEdit->SetText(FEdit->Text());
    FEdit->Select(anchor, caret);
}

TBasePanel* TVorqEdit::Panel() const { return FRegistry ? FRegistry->HostPanel : nullptr; }

int32_t TVorqEdit::GetFontHeight() const {
    if (FFontHeight == INT32_MIN) return INT32_MAX;
    return FFontHeight < 0 ? -FFontHeight : FFontHeight;
}

void TVorqEdit::SetFontName(const std::string& v) {
    FFontName = v;
    FEdit->Font.Name = v.empty() ? DefaultChromeFont().Name : v;
    Relayout();
}

void TVorqEdit::SetFontHeight(int32_t v) {
    FFontHeight = v;
    // Height 0 asks for the default size.
    FEdit->Font.Size = v == 0 ? DefaultChromeFont().Size : std::clamp(v, -kMaxFontHeight, kMaxFontHeight);
    Relayout();
}

void TVorqEdit::SetFontStyle(TFontStyles v) {
    FFontStyle = v.Bits;
    FEdit->Font.Style = v.Bits;
    Relayout();
}

void TVorqEdit::SetFontColor(int32_t v) {
    FFontColor = v;
    FEdit->TextColour = field_colour(v, chrome_colour::Text);
    FEdit->Invalidate();
}

void TVorqEdit::SetColor(int32_t v) {
    FColor = v;
    FEdit->BackColour = field_colour(v, chrome_colour::Window);
    FEdit->Invalidate();
}

void TVorqEdit::SetReadOnly(bool v) {
    FEdit->ReadOnly = v;
    FEdit->Invalidate();
}

void TVorqMemo::SetHAlign(uint8_t v) {
    if (v > 2) return;  // the field knows left, right and centre only
    FEdit->Alignment = v;
    Relayout();
}

void TVorqEdit::SetVisible(bool v) {
    TVorqControl::SetVisible(v);
    SyncControl();
}

void TVorqEdit::SetWidth(int32_t v) {
    TVorqControl::SetWidth(v);
    SyncControl();
}

void TVorqEdit::SetHeight(int32_t v) {
    TVorqControl::SetHeight(v);
    SyncControl();
}

void TVorqEdit::SetPlusX(int32_t v) {
    TVorqControl::SetPlusX(v);
    SyncControl();
}

void TVorqEdit::SetPlusY(int32_t v) {
    TVorqControl::SetPlusY(v);
    SyncControl();
}

void TVorqEdit::SetParent(TVorqControl* parent) {
    TVorqControl::SetParent(parent);
    SyncControl();
}

void TVorqEdit::PositionChanged() {
    SyncControl();
    TVorqControl::PositionChanged();
}

bool TVorqEdit::HasKeyboard() const {
    return FRegistry && FRegistry->Focus() == this && FEdit->Enabled() && Shown();
}

void TVorqEdit::SyncControl() {
    TRect r{};
    // Shown only while every ancestor is visible and the layer is the
    // active one, not only the direct parent.
    if (FPanel && GetParent() && IsShownOnActiveBase()) {
        const int32_t w = std::clamp(FWidth, 0, kMaxFieldSide), h = std::clamp(FHeight, 0, kMaxFieldSide);
        r = Bounds(GetScreenX(), GetScreenY(), w, h);
    }
    if (r != FShownRect) {
        if (Shown())
            if (TVorqBase* active = FRegistry->ActiveBase()) active->AddDirtyRect(FShownRect);
        FShownRect = r;
        if (Shown()) {
            FForm.SetSize(r.Width(), r.Height());
            FEdit->SetBounds(TRect{0, 0, r.Width(), r.Height()});
            Relayout();
        }
    }
    // The field draws its caret only while it has the keyboard; whether it
    // has it is the scene's focus alone.
    const bool keys = HasKeyboard();
    if (keys != FEdit->Focused()) FForm.SetFocus(keys ? FEdit : nullptr);
}

bool TVorqEdit::Update() {
    const bool done = TVorqControl::Update();
    SyncControl();
    return done;
}

void TVorqEdit::FocusChanged() { SyncControl(); }

void TVorqEdit::Pressed() {
    // A paused field takes no focus, as a disabled one takes no click.
    if (!FRegistry || !FEdit->Enabled()) return;
    FRegistry->SetFocusObject(this);
    // Keys typed into the field do not also count as game keys from before.
    FRegistry->ClearKeys();
    SyncControl();
}

void TVorqEdit::KeyPressed(int32_t vk, const std::string& before) {
    if (FOnNotify.empty()) return;
    TArrayString args;
    args.Add(std::to_string(vk));
    args.Add(before);
    QueueEvent(FOnNotify, PR_ONNOTIFY, &args);
}

void TVorqEdit::SaveToStream(TStream& s) {
    TVorqControl::SaveToStream(s);
    WriteStreamByte(s, GetPaused() ? 1 : 0);
    WriteStreamString(s, GetText());
    WriteStreamString(s, FFontName);
    WriteStreamInteger(s, FFontHeight);
    WriteStreamByte(s, FFontStyle);
    WriteStreamInteger(s, FFontColor);
    WriteStreamInteger(s, FColor);
    WriteStreamByte(s, GetReadOnly() ? 1 : 0);
    if (FMultiLine) WriteStreamByte(s, GetHAlign());
    WriteStreamString(s, FOnNotify);
}

void TVorqEdit::LoadFromStream(TStream& s, int32_t version) {
    TVorqControl::LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    SetPaused(r.Flag("paused"));
    SetText(r.String("text"));
    SetFontName(r.String("font name"));
    SetFontHeight(r.I32("font height"));
    SetFontStyle(IntToFontStyles(r.U8("font style")));
    SetFontColor(r.I32("font colour"));
    SetColor(r.I32("colour"));
    SetReadOnly(r.Flag("read-only"));
    if (FMultiLine) SetHAlign(r.U8("alignment"));
    FOnNotify = r.String("notify handler");
    SyncControl();
}
