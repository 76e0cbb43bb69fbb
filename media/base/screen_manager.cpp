#include "media/base/screen_manager.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "render/dibx.h"

#include <algorithm>
#include <cstring>

namespace {
std::unique_ptr<TCustomDIBX> make_dibx(int32_t width, int32_t height, int32_t bits) {
    auto s = std::make_unique<TDIBX>();
    s->SetSize(width, height, bits);
    return s;
}

TScreenSurfaceMaker surface_maker = make_dibx;

bool has_size(const DisplayMode& m, int32_t width, int32_t height) {
    return int64_t{m.Width} == width && int64_t{m.Height} == height;
}

// A 16-bit pixel of 5-5-5 or 5-6-5 as 0x00RRGGBB, the five- and six-bit
// channels widened by repeating their top bits.
template <int GreenBits>
constexpr uint32_t widen(uint32_t p) {
    constexpr uint32_t green_mask = (1u << GreenBits) - 1;
    const uint32_t r = (p >> (5 + GreenBits)) & 0x1F, g = (p >> 5) & green_mask, b = p & 0x1F;
    return ((r << 3) | (r >> 2)) << 16 | ((g << (8 - GreenBits)) | (g >> (2 * GreenBits - 8))) << 8 |
           ((b << 3) | (b >> 2));
}

// Every 16-bit pixel's widened value, made on first use: one load a pixel.
template <int GreenBits>
const uint32_t* widen_table() {
    static const std::vector<uint32_t> table = [] {
        std::vector<uint32_t> t(65536);
        for (uint32_t p = 0; p < 65536; ++p) t[p] = widen<GreenBits>(p);
        return t;
    }();
    return table.data();
}

void widen_row(const uint8_t* src, uint32_t* dst, int32_t count, const uint32_t* table) {
    for (int32_t i = 0; i < count; ++i) dst[i] = table[src[2 * i] | src[2 * i + 1] << 8];
}
}  // namespace

void SetScreenSurfaceMaker(TScreenSurfaceMaker maker) { surface_maker = maker ? maker : make_dibx; }

int32_t ScreenSurfaceDepth(const DisplayMode& display, bool full_screen) {
    const uint32_t bits = display.BitsPerPixel;
    if (bits == 15 || (full_screen && bits < 16)) return 15;
    return bits <= 16 ? 16 : 32;
}

std::vector<DisplayMode> UsableDisplayModes(const std::vector<DisplayMode>& all, int32_t min_width,
                                            int32_t min_height, int32_t preferred_width,
                                            int32_t preferred_height, uint32_t preferred_bits,
                                            int32_t& preferred) {
    std::vector<DisplayMode> out;
    preferred = -1;
    for (const DisplayMode& m : all) {
        if (int64_t{m.Width} < min_width || int64_t{m.Height} < min_height || m.BitsPerPixel < 16) continue;
        out.push_back(m);
        const int32_t index = static_cast<int32_t>(out.size()) - 1;
        if (preferred < 0) {
            preferred = index;
            continue;
        }
        if (!has_size(m, preferred_width, preferred_height)) continue;
        const DisplayMode& so_far = out[static_cast<size_t>(preferred)];
        if (!has_size(so_far, preferred_width, preferred_height))
            preferred = index;
        else if (m.BitsPerPixel == preferred_bits &&
                 (so_far.BitsPerPixel != preferred_bits || m.RefreshRate < so_far.RefreshRate))
            preferred = index;
    }
    return out;
}

TScreenManager::TScreenManager(Video* window, int32_t min_width, int32_t min_height, int32_t preferred_width,
                               int32_t preferred_height)
    : PreferredWidth(preferred_width),
      PreferredHeight(preferred_height),
      FWindow(window),
      FMinWidth(min_width),
      FMinHeight(min_height) {
    if (!FWindow) throw Exception(Sjis("DirectDrawを初期化できません"));
    const uint32_t desktop_bits = FWindow->DesktopMode().BitsPerPixel;
    if (desktop_bits != 0) PreferredBits = static_cast<int32_t>(desktop_bits);
    FModes = UsableDisplayModes(FWindow->DisplayModes(), FMinWidth, FMinHeight, PreferredWidth, PreferredHeight,
                                static_cast<uint32_t>(PreferredBits), PreferredModeIndex);
    // A screen with no mode that holds the picture still shows the game in
    // full screen. The one mode listed is the picture's own size, not the
    // desktop's: full screen then takes, on the monitor the window is on
    // at the time, its smallest mode that holds the picture, else its own
    // mode with the picture scaled down.
    const DisplayMode desktop = FWindow->DesktopMode();
    if (FModes.empty() && desktop.Width > 0 && desktop.Height > 0 && FMinWidth > 0 && FMinHeight > 0) {
        FModes.push_back({static_cast<uint32_t>(FMinWidth), static_cast<uint32_t>(FMinHeight), desktop.BitsPerPixel, 0});
        PreferredModeIndex = 0;
    }
    FModeIndex = -2;
    SetModeIndex(-1);
}

TScreenManager::~TScreenManager() {
    free_surface();
    disconnect();
    SetDisplayBitCount(15);
}

bool TScreenManager::GetMode(int32_t index, DisplayMode& mode) const {
    if (index < 0 || index >= GetModeCount()) return false;
    mode = FModes[static_cast<size_t>(index)];
    return true;
}

void TScreenManager::SetModeIndex(int32_t index) {
    if (index < 0) index = -1;
    if (index == FModeIndex) return;
    const bool was_full = FModeIndex >= 0;
    FModeIndex = index;
    if (was_full != (index >= 0) && FConnected) {
        free_surface();
        disconnect();
    }
    set_up_surfaces();
    if (index >= 0 && !FConnected) {
        FModeIndex = -1;
        set_up_surfaces();
    }
}

void TScreenManager::set_up_surfaces() {
    FFullScreen = false;
    FGdiSurface = false;
    free_surface();
    // The window exists for the manager's whole life, so the connection can
    // always be made again.
    FConnected = true;
    if (FModeIndex < 0) {
        if (FWindow->IsFullScreen() && !FWindow->SetFullScreen(nullptr)) {
            disconnect();
            return;
        }
        FDisplayBits = static_cast<int32_t>(FWindow->DesktopMode().BitsPerPixel);
        make_surface(ScreenSurfaceDepth(FWindow->DesktopMode(), false));
        return;
    }
    DisplayMode mode;
    if (!GetMode(FModeIndex, mode) || !FWindow->SetFullScreen(&mode)) {
        if (FWindow->IsFullScreen()) FWindow->SetFullScreen(nullptr);
        disconnect();
        return;
    }
    FDisplayBits = static_cast<int32_t>(FWindow->FullScreenMode().BitsPerPixel);
    make_surface(ScreenSurfaceDepth(FWindow->FullScreenMode(), true));
    FFullScreen = true;
}

void TScreenManager::make_surface(int32_t bits) {
    FGdiSurface = true;
    FSurfaceBits = bits;
    // Image surfaces made from now on take the screen's depth.
    SetDisplayBitCount(bits);
    FSurface = surface_maker(FMinWidth, FMinHeight, bits);
}

void TScreenManager::disconnect() {
    if (!FConnected) return;
    FConnected = false;
    // Giving up the exclusive display gives the desktop its own mode back.
    if (FWindow->IsFullScreen()) FWindow->SetFullScreen(nullptr);
}

void TScreenManager::ReleaseAll() {
    free_surface();
    disconnect();
    FModeIndex = -2;
}

void TScreenManager::upload(const TRect* rects, size_t count) {
    TCustomDIBX& s = *FSurface;
    const int32_t w = s.Width(), h = s.Height(), bits = s.BitCount();
    const int32_t pitch = s.Pitch();
    uint8_t* base = s.Lock(0, 0);
    if (!base) return;
    const TRect whole{0, 0, w, h};
    if (!rects) {
        rects = &whole;
        count = 1;
    }
    if (bits == 32 && pitch > 0 && pitch % 4 == 0) {
        FWindow->Update(reinterpret_cast<const uint32_t*>(base), w, h, pitch / 4, FViewOrigin.X, FViewOrigin.Y,
                        rects, count);
    } else if (bits == 15 || bits == 16 || bits == 32) {
        // Bottom-up rows or 16-bit pixels: each rectangle goes through a
        // staging copy in the window's pixel format.
        const uint32_t* table = bits == 15 ? widen_table<5>() : bits == 16 ? widen_table<6>() : nullptr;
        for (size_t i = 0; i < count; ++i) {
            const TRect r = IntersectRects(rects[i], whole);
            if (RectIsEmpty(r)) continue;
            const int32_t rw = r.Width();
            FStaging.resize(static_cast<size_t>(rw) * r.Height());
            for (int32_t y = r.Top; y < r.Bottom; ++y) {
                const uint8_t* row = base + int64_t{y} * pitch;
                uint32_t* dst = FStaging.data() + static_cast<size_t>(y - r.Top) * rw;
                if (bits == 32) std::memcpy(dst, row + int64_t{r.Left} * 4, static_cast<size_t>(rw) * 4);
                else widen_row(row + int64_t{r.Left} * 2, dst, rw, table);
            }
            FWindow->Update(FStaging.data(), rw, r.Height(), rw, FViewOrigin.X + r.Left, FViewOrigin.Y + r.Top);
        }
    }
    s.Unlock();
}

void TScreenManager::AddOverlay(TScreenOverlay* overlay) {
    if (overlay && std::find(FOverlays.begin(), FOverlays.end(), overlay) == FOverlays.end())
        FOverlays.push_back(overlay);
}

void TScreenManager::RemoveOverlay(TScreenOverlay* overlay) {
    auto it = std::find(FOverlays.begin(), FOverlays.end(), overlay);
    if (it != FOverlays.end()) FOverlays.erase(it);
}

void TScreenManager::Flip(const TScreenFrame& frame) {
    bool changed = false;
    if (FSurface && !FSurface->IsEmpty()) {
        // The window keeps zooms within its range; asking again every frame
        // for one outside it would resize the window each time.
        if (std::clamp(frame.Zoom, 10, 1000) != FWindow->Zoom()) FWindow->SetZoom(frame.Zoom);
        // The window scales by whole pixels at multiples of 100 and
        // stretches smoothly otherwise; a stretch must see the whole picture.
        if (frame.Zoom % 100 == 0) {
            if (!RectIsEmpty(frame.UpdateRect)) {
                ++FrameCount;
                upload(&frame.UpdateRect, 1);
                changed = true;
            } else if (frame.ActiveDirty && frame.ActiveDirty->Count() > 0) {
                ++FrameCount;
                TClipList& list = *frame.ActiveDirty;
                FRects.clear();
                for (int32_t i = 0; i < list.Count(); ++i) FRects.push_back(list.GetRect(i));
                upload(FRects.data(), FRects.size());
                changed = true;
            }
        } else {
            ++FrameCount;
            upload(nullptr, 0);
            changed = true;
        }
    }
    // An overlay may show a new picture every frame: it is drawn and shown
    // even when the game picture did not change.
    for (TScreenOverlay* o : FOverlays) o->DrawOverlay(*FWindow, FViewOrigin);
    if (changed || !FOverlays.empty()) FWindow->Present();
    if (frame.ActiveDirty) frame.ActiveDirty->Clear();
    if (frame.OtherDirty) frame.OtherDirty->Clear();
}
