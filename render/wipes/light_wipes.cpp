#include "render/wipes/light_wipes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/dibx.h"
#include "render/dibx_draw.h"
#include "render/dibx_kernels.h"

namespace {

struct Rows {
    uint8_t* base = nullptr;
    int64_t pitch = 0;
    uint8_t* row(int32_t y) const { return base + pitch * y; }
};

// Picture (old or new) copied with a saturating grey added or subtracted:
// CopyFrom followed by FillRectAdd / FillRectSub in one pass.
void CopyAddGrey(TCustomDIBX& target, TCustomDIBX& src, int32_t level, bool sub) {
    const int bits = target.BitCount();
    const int32_t w = std::min(target.Width(), src.Width()), h = std::min(target.Height(), src.Height());
    if (src.BitCount() != bits || !dibx::RowDepth(bits) || w <= 0 || h <= 0) {
        target.CopyFrom(src);
        const uint32_t g = uint32_t(target.ColorToPixel(level | level << 8 | level << 16));
        if (sub) target.FillRectSub(target.BoundsRect(), g);
        else target.FillRectAdd(target.BoundsRect(), g);
        return;
    }
    uint32_t table[256];
    wipes::GreyTable(target, table);
    dibx::LockGuard lt(target, 0, 0), ls(src, 0, 0);
    if (!lt.get() || !ls.get()) return;
    const Rows t{lt.get(), target.Pitch()}, s{ls.get(), src.Pitch()};
    for (int32_t y = 0; y < h; ++y) wipes::AddConstRow(target, t.row(y), s.row(y), table[level], w, sub);
}

// The per-pixel light pass of the spotlight and the masked flashes: for
// each pixel, pick(i, &use_new, &level) says which picture shows and which
// grey is added to it (or subtracted).
template <class Pick>
void LightPass(TCustomDIBX& target, TCustomDIBX& old_picture, TCustomDIBX& new_picture, bool sub, Pick pick) {
    const int bits = target.BitCount();
    const int32_t w = target.Width(), h = target.Height();
    uint32_t table[256];
    wipes::GreyTable(target, table);
    const bool rows = dibx::RowDepth(bits) && old_picture.BitCount() == bits && new_picture.BitCount() == bits &&
                      old_picture.Width() >= w && new_picture.Width() >= w && old_picture.Height() >= h &&
                      new_picture.Height() >= h;
    if (!rows) {
        // Other depths, pixel by pixel with the target's own greys.
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                bool use_new;
                int32_t level;
                pick(size_t(y) * w + x, use_new, level);
                const uint32_t p = (use_new ? new_picture : old_picture).GetPixel(x, y);
                uint8_t px[4], out[4];
                dibx::store_pixel(px, 4, p);
                const uint32_t g = table[level];
                wipes::AddRow(target, out, px, &g, 1, sub);
                target.SetPixel(x, y, dibx::load_pixel(out, 4));
            }
        return;
    }
    dibx::LockGuard lt(target, 0, 0), lo(old_picture, 0, 0), ln(new_picture, 0, 0);
    if (!lt.get() || !lo.get() || !ln.get()) return;
    const Rows t{lt.get(), target.Pitch()}, o{lo.get(), old_picture.Pitch()}, n{ln.get(), new_picture.Pitch()};
    const int bpp = dibx::BytesPerPixel(bits);
    std::vector<uint32_t> grey(static_cast<size_t>(w));
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* d = t.row(y);
        const uint8_t* so = o.row(y);
        const uint8_t* sn = n.row(y);
        const size_t base = size_t(y) * w;
        for (int32_t x = 0; x < w; ++x) {
            bool use_new;
            int32_t level;
            pick(base + x, use_new, level);
            const size_t at = size_t(x) * bpp;
            if (bpp == 4) std::memcpy(d + at, (use_new ? sn : so) + at, 4);
            else if (bpp == 2) std::memcpy(d + at, (use_new ? sn : so) + at, 2);
            else std::memcpy(d + at, (use_new ? sn : so) + at, size_t(bpp));
            grey[size_t(x)] = table[level];
        }
        wipes::AddRow(target, d, d, grey.data(), w, sub);
    }
}

}  // namespace

// ------------------------------------------------------------------ fade

bool TWipeFade::Step() {
    if (BeginStep()) return true;
    TCustomDIBX& t = *TargetSurface;
    t.AddClipRect(t.BoundsRect());
    const double rest = double(Duration - 1 - Pos()) / Duration;
    const int32_t x = int32_t(std::nearbyint(Parameters[0] * rest)), y = int32_t(std::nearbyint(Parameters[1] * rest));
    t.CopyFrom(*OldSurface);
    t.DrawAlpha(x, y, *NewSurface, NewSurface->BoundsRect(), false, false, false, int32_t(Progress(256)));
    return false;
}

// ------------------------------------------------------------------ white, black, flash

bool TWipeWhite::Step() {
    if (BeginStep()) return true;
    const int64_t t = Progress(511);
    if (t >= 511) return true;
    TargetSurface->AddClipRect(TargetSurface->BoundsRect());
    if (t < 256) CopyAddGrey(*TargetSurface, *OldSurface, int32_t(t), Subtracts());
    else CopyAddGrey(*TargetSurface, *NewSurface, int32_t(511 - t), Subtracts());
    return false;
}

bool TWipeFlash::Step() {
    if (BeginStep()) return true;
    TargetSurface->AddClipRect(TargetSurface->BoundsRect());
    CopyAddGrey(*TargetSurface, *NewSurface, int32_t(255 - Progress(255)), false);
    return false;
}

// ------------------------------------------------------------------ blurred

TWipeBlurWhite::TWipeBlurWhite(TCustomDIBX* target, TCustomDIBX* old_picture, TCustomDIBX* new_picture)
    : TCustomWipe(target, old_picture, new_picture), BlurOld(std::make_unique<TDIBX>()),
      BlurNew(std::make_unique<TDIBX>()) {
    if (!old_picture || !new_picture || !target || old_picture->IsEmpty()) return;
    const int32_t radius = std::min(Width(), Height()) / 20;
    // Both blurs once, here: a step only mixes them.
    for (auto [blur, picture] : {std::pair{BlurOld.get(), old_picture}, std::pair{BlurNew.get(), new_picture}}) {
        blur->SetSize(old_picture->Width(), old_picture->Height(), old_picture->BitCount());
        blur->CopyFrom(*picture);
        blur->Surface().Blur(blur->StorageBitCount(), radius);
    }
}

TWipeBlurWhite::~TWipeBlurWhite() = default;

bool TWipeBlurWhite::Step() {
    if (BeginStep()) return true;
    TCustomDIBX& target = *TargetSurface;
    target.AddClipRect(target.BoundsRect());
    const int64_t t = Progress(639);
    if (t < 256) {
        target.CopyFrom(*OldSurface);
        target.DrawAlpha(0, 0, *BlurOld, BlurOld->BoundsRect(), false, false, false, int32_t(t));
    } else if (t < 320) {
        CopyAddGrey(target, *BlurOld, int32_t((t - 256) * 4), Subtracts());
    } else if (t < 384) {
        CopyAddGrey(target, *BlurNew, int32_t((383 - t) * 4), Subtracts());
    } else {
        target.CopyFrom(*NewSurface);
        target.DrawAlpha(0, 0, *BlurNew, BlurNew->BoundsRect(), false, false, false, int32_t(639 - t));
    }
    return false;
}

// ------------------------------------------------------------------ mosaic

TWipeMosaic::TWipeMosaic(TCustomDIBX* target, TCustomDIBX* old_picture, TCustomDIBX* new_picture)
    : TCustomWipe(target, old_picture, new_picture), Work(std::make_unique<TDIBX>()) {
    if (target && !target->IsEmpty()) Work->SetSize(target->Width(), target->Height(), target->BitCount());
}

TWipeMosaic::~TWipeMosaic() = default;

bool TWipeMosaic::Step() {
    if (BeginStep()) return true;
    TCustomDIBX& target = *TargetSurface;
    target.AddClipRect(target.BoundsRect());
    const int64_t t = Progress(1023);
    const int64_t f = t < 512 ? 255 - ((t / 2) * 15 / 16 - 8) : ((t - 512) / 2) * 15 / 16 + 24;
    const int32_t w = int32_t(std::max<int64_t>(1, ((target.Width() >> 2) * f) >> 8));
    const int32_t h = int32_t(std::max<int64_t>(1, ((target.Height() >> 2) * f) >> 8));
    const TRect cell{0, 0, w, h};
    Work->DrawStretch(cell, t < 768 ? *OldSurface : *NewSurface, (t < 768 ? OldSurface : NewSurface)->BoundsRect(),
                      false, false, false, 255);
    if (t >= 256 && t < 768) {
        const int32_t alpha = int32_t(t < 512 ? (t - 256) / 4 : (t - 256) / 2);
        Work->DrawStretch(cell, *NewSurface, NewSurface->BoundsRect(), false, false, false, alpha);
    }
    target.DrawStretch(target.BoundsRect(), *Work, cell, false, false, false, 255);
    return false;
}

// ------------------------------------------------------------------ spotlight

TWipeSpot::TWipeSpot(TCustomDIBX* target, TCustomDIBX* old_picture, TCustomDIBX* new_picture)
    : TCustomWipe(target, old_picture, new_picture) {
    // The distances exist before the first step even when no mode is set.
    build_distances();
}

void TWipeSpot::SetMode(uint8_t mode) {
    TCustomWipe::SetMode(mode);
    build_distances();
}

void TWipeSpot::build_distances() {
    const int32_t w = Width(), h = Height(), hw = w / 2, hh = h / 2;
    const int32_t outer = int32_t(std::nearbyint(std::hypot(hh, hw)));
    Reach = outer + 512;
    Dist.resize(size_t(std::max(w, 0)) * size_t(std::max(h, 0)));
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const int32_t d = int32_t(std::nearbyint(std::hypot(std::abs(y - hh), std::abs(x - hw))));
            Dist[size_t(y) * w + x] = Mode ? outer - d : d;
        }
}

bool TWipeSpot::Step() {
    if (BeginStep()) return true;
    if (Dist.size() != size_t(Width()) * size_t(Height())) build_distances();
    TargetSurface->AddClipRect(TargetSurface->BoundsRect());
    const int64_t t = Progress(Reach);
    const int32_t* dist = Dist.data();
    LightPass(*TargetSurface, *OldSurface, *NewSurface, false, [&](size_t i, bool& use_new, int32_t& level) {
        const int64_t d = dist[i];
        use_new = d + 256 <= t;
        level = d <= t && t < d + 512 ? int32_t(use_new ? d - t + 511 : t - d) : 0;
    });
    return false;
}

// ------------------------------------------------------------------ masked white and black

void TWipeShadowWhite::Prepare() {
    const std::vector<uint8_t> grey = wipes::GreyMaskLevels(MaskName, Width(), Height(), Mode != 0);
    Levels.resize(grey.size());
    for (size_t i = 0; i < grey.size(); ++i) Levels[i] = int32_t(grey[i]) - 255;
    for (int i = 0; i < 1024; ++i) Ramp[i] = uint16_t(i < 256 ? 0 : i <= 767 ? i - 256 : 511);
    prepared_ = true;
}

bool TWipeShadowWhite::Step() {
    if (BeginStep()) return true;
    if (!prepared_ || Levels.size() != size_t(Width()) * size_t(Height())) Prepare();
    TargetSurface->AddClipRect(TargetSurface->BoundsRect());
    const uint16_t* ramp = Ramp + (Progress(768) + 255);
    const int32_t* levels = Levels.data();
    LightPass(*TargetSurface, *OldSurface, *NewSurface, Subtracts(), [&](size_t i, bool& use_new, int32_t& level) {
        const int32_t v = ramp[levels[i]];
        use_new = v >= 256;
        level = use_new ? 511 - v : v;
    });
    return false;
}
