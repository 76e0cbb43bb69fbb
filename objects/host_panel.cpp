#include "objects/host_panel.h"

#include "chrome/form.h"
#include "media/base/media.h"
#include "objects/base_list.h"
#include "platform/display/video.h"
#include "render/custom_dibx.h"

#include <algorithm>

namespace {
// One channel of a raw pixel widened to 8 bits.
uint32_t channel(uint32_t v, uint32_t mask, int32_t shift) {
    if (mask == 0) return 0;
    uint32_t bits = mask >> shift;
    uint32_t c = (v & mask) >> shift;
    if (bits >= 255) return c & 255;
    return bits ? c * 255 / bits : 0;
}
}  // namespace

void StretchToRgb(TCustomDIBX& s, int32_t width, int32_t height, std::vector<uint32_t>& out) {
    out.assign(static_cast<size_t>(width > 0 ? width : 0) * static_cast<size_t>(height > 0 ? height : 0), 0);
    const int32_t sw = s.Width(), sh = s.Height();
    if (width <= 0 || height <= 0 || sw <= 0 || sh <= 0) return;
    const uint32_t rm = s.RedMask(), gm = s.GreenMask(), bm = s.BlueMask();
    const int32_t rs = s.RedShift(), gs = s.GreenShift(), bs = s.BlueShift();
    std::vector<int32_t> xs(static_cast<size_t>(width));
    for (int32_t x = 0; x < width; ++x) xs[static_cast<size_t>(x)] = static_cast<int32_t>(int64_t(x) * sw / width);
    for (int32_t y = 0; y < height; ++y) {
        const int32_t sy = static_cast<int32_t>(int64_t(y) * sh / height);
        uint32_t* row = out.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int32_t x = 0; x < width; ++x) {
            uint32_t v = s.GetPixel(xs[static_cast<size_t>(x)], sy);
            row[x] = channel(v, rm, rs) << 16 | channel(v, gm, gs) << 8 | channel(v, bm, bs);
        }
    }
}

void TBasePanel::Paint() {
    if (!VorqBaseList || !ScreenManager) return;
    TCustomDIBX* s = VorqBaseList->ScreenSurface();
    if (!s || s->IsEmpty()) return;
    const TRect client{0, 0, view_.ClientWidth(), view_.ClientHeight()};
    const TRect area = RectIsEmpty(bounds_) ? client : IntersectRects(bounds_, client);
    if (RectIsEmpty(area)) return;
    const int32_t w = area.Width(), h = area.Height();
    StretchToRgb(*s, w, h, frame_);
    view_.Update(frame_.data(), w, h, w, area.Left, area.Top);
    // The text fields lie over the picture where it is shown 1:1.
    if (w == s->Width() && h == s->Height()) DrawControls(TPoint{area.Left, area.Top}, TPoint{w, h});
    view_.Present();
}

TBasePanel::TBasePanel(Video& view) : view_(view) { view_.SetTextInput(false); }

TBasePanel::~TBasePanel() {
    if (overlay_ && ScreenManager) ScreenManager->RemoveOverlay(this);
}

void TBasePanel::AddControl(TPanelControl* control) {
    if (!control || std::find(controls_.begin(), controls_.end(), control) != controls_.end()) return;
    controls_.push_back(control);
    if (!overlay_ && ScreenManager) {
        ScreenManager->AddOverlay(this);
        overlay_ = true;
    }
}

void TBasePanel::RemoveControl(TPanelControl* control) {
    std::erase(controls_, control);
    if (captured_ == control) captured_ = nullptr;
    if (controls_.empty()) {
        if (overlay_ && ScreenManager) ScreenManager->RemoveOverlay(this);
        overlay_ = false;
        // The last field is gone: the input method must not keep the keys.
        view_.SetTextInput(false);
    }
}

TPanelControl* TBasePanel::keyboard_control() const {
    for (TPanelControl* c : controls_)
        if (c->HasKeyboard() && !RectIsEmpty(c->PanelRect())) return c;
    return nullptr;
}

bool TBasePanel::HandleEvent(const InputEvent& e, TPoint origin) {
    if (controls_.empty()) return false;
    bool used = false;
    switch (e.Kind) {
    case InputEventKind::MouseDown:
    case InputEventKind::MouseMove:
    case InputEventKind::MouseUp:
    case InputEventKind::MouseWheel: {
        const TPoint p{e.X - origin.X, e.Y - origin.Y};
        // A press or a wheel looks for the field under it; the rest follow
        // the press.
        const bool find = e.Kind == InputEventKind::MouseDown || e.Kind == InputEventKind::MouseWheel;
        TPanelControl* target = find ? nullptr : captured_;
        if (find)
            for (auto it = controls_.rbegin(); it != controls_.rend() && !target; ++it)
                if (PointInRect(p, (*it)->PanelRect())) target = *it;
        if (!target) break;
        const TRect r = target->PanelRect();
        InputEvent local = e;
        local.X = p.X - r.Left;
        local.Y = p.Y - r.Top;
        if (e.Kind == InputEventKind::MouseDown) {
            if (e.Button == MouseButton::Left) {
                target->Pressed();
                captured_ = target;
            }
            target->PanelForm().HandleEvent(local);
            used = true;
        } else if (e.Kind == InputEventKind::MouseUp) {
            target->PanelForm().HandleEvent(local);
            captured_ = nullptr;
            // The release also reaches the scene, which clears its held buttons.
        } else {
            // Moves follow the press; a wheel turned over a field scrolls it.
            target->PanelForm().HandleEvent(local);
            used = true;
        }
        break;
    }
    case InputEventKind::KeyDown:
    case InputEventKind::Text:
    case InputEventKind::Composition:
        if (TPanelControl* c = keyboard_control()) {
            c->PanelForm().HandleEvent(e);
            used = true;
        }
        break;
    case InputEventKind::Deactivate:
        // Keys released in another window are never seen: the fields forget
        // what was held; the keyboard field gets its focus back next frame.
        for (TPanelControl* c : controls_) c->PanelForm().SetFocus(nullptr);
        break;
    case InputEventKind::KeyUp:
        // Held keys of the scene are cleared whoever took the press.
        if (TPanelControl* c = keyboard_control()) c->PanelForm().HandleEvent(e);
        break;
    default: break;
    }
    UpdateTextInput(origin);
    return used;
}

void TBasePanel::UpdateTextInput(TPoint origin) {
    TPanelControl* c = keyboard_control();
    if (!c) {
        view_.SetTextInput(false);
        return;
    }
    const TRect r = c->PanelRect();
    TRect caret = c->CaretRect();
    const int32_t dx = origin.X + r.Left, dy = origin.Y + r.Top;
    caret = TRect{caret.Left + dx, caret.Top + dy, caret.Right + dx, caret.Bottom + dy};
    view_.SetTextInput(true, caret);
}

void TBasePanel::DrawControls(TPoint origin, TPoint picture_size) {
    const TRect picture{0, 0, picture_size.X, picture_size.Y};
    for (TPanelControl* c : controls_) {
        const TRect r = c->PanelRect();
        const TRect shown = IntersectRects(r, picture);
        if (RectIsEmpty(shown)) continue;
        Form& form = c->PanelForm();
        if (form.NeedsPaint() || form.Canvas().Width() != form.Width() || form.Canvas().Height() != form.Height())
            form.Paint();
        const ChromeCanvas& canvas = form.Canvas();
        // Only the part on the picture, in the canvas's own coordinates.
        const TRect part{shown.Left - r.Left, shown.Top - r.Top, shown.Right - r.Left, shown.Bottom - r.Top};
        view_.Update(canvas.Pixels(), canvas.Width(), canvas.Height(), canvas.Width(), origin.X + r.Left,
                     origin.Y + r.Top, &part, 1);
    }
}

void TBasePanel::DrawOverlay(Video&, TPoint view_origin) {
    if (!VorqBaseList) return;
    DrawControls(view_origin, TPoint{VorqBaseList->GetWidth(), VorqBaseList->GetHeight()});
    UpdateTextInput(view_origin);
}
