#include "objects/effects/wave.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "script/game_clock.h"
#include "files/save_stream.h"
#include "objects/object_record.h"
#include "objects/base_list.h"
#include "render/custom_dibx.h"

void ComputeWaveOffsets(int32_t amp, int32_t wave_len, int32_t phase, std::vector<int32_t>& offsets,
                        bool* changed) {
    const double step = 2.0 * M_PI / double(wave_len);
    double angle = double(int64_t(wave_len) * phase) / 256.0 * step;
    bool any = false;
    for (int32_t& o : offsets) {
        const int32_t v = int32_t(std::nearbyint(std::sin(angle) * double(amp)));
        any |= v != o;
        o = v;
        angle += step;
    }
    if (changed) *changed = any;
}

TVorqWave::TVorqWave(TVorqBaseList* registry) : TVorqControl(registry) {}

TVorqWave::~TVorqWave() { Invalidate(); }

void TVorqWave::ResizeProxy() const {
    // One offset per scanline; negative sizes have none, and a height from
    // a damaged save must not size the array past any screen.
    const int32_t w = std::clamp(FWidth, 0, kMaxWaveSide), h = std::clamp(FHeight, 0, kMaxWaveSide);
    if (FProxy.Width() == w && FProxy.Height() == h) return;
    FProxy.SetSize(w, h, 0);
}

void TVorqWave::SetWidth(int32_t v) {
    TVorqControl::SetWidth(v);
    ResizeProxy();
}

void TVorqWave::SetHeight(int32_t v) {
    TVorqControl::SetHeight(v);
    ResizeProxy();
}

TCustomDIBX* TVorqWave::LayerSurface() const {
    TVorqBase* base = GetBase();
    return base ? base->GetOwnSurface() : nullptr;
}

TCustomDIBX* TVorqWave::GetSurface() const {
    if (FAmp == 0) return TVorqControl::GetSurface();
    ResizeProxy();
    FProxy.SetTarget(LayerSurface());
    // The origin is read at every use, so a moved ancestor carries the
    // wave along.
    FProxy.SetPosition(GetScreenX(), GetScreenY());
    return &FProxy;
}

void TVorqWave::AdjustDirtyRect(TRect& r) const {
    TVorqControl::AdjustDirtyRect(r);
    // A change inside also repaints where its shifted copy lands, whichever
    // way AMP points.
    const int32_t a = int32_t(std::min<int64_t>(std::llabs(int64_t(FAmp)), INT32_MAX));
    r.Left = WrapSub(r.Left, a);
    r.Right = WrapAdd(r.Right, a);
}

bool TVorqWave::Update() {
    FProxy.SetTarget(LayerSurface());
    ResizeProxy();
    const bool done = TVorqControl::Update();
    if (GetAniPaused()) return done;
    const int64_t t = int64_t(FrameTime) * 256 + FRemainder;
    const int64_t steps = t / FDelay;
    FRemainder = int32_t(t % FDelay);
    if (steps == 0) return done;
    FPhase = int32_t(((int64_t(FPhase) - steps) % 255 + 255) % 255);
    bool changed = false;
    ComputeWaveOffsets(FAmp, FWaveLen, FPhase, FProxy.Offsets(), &changed);
    if (changed) Invalidate();
    return done;
}

void TVorqWave::Draw() {
    if (FAmp != 0)
        if (TCustomDIBX* target = LayerSurface()) FProxy.SetClipRect(target->GetClipRect());
    TVorqControl::Draw();
}

void TVorqWave::SaveToStream(TStream& s) {
    TVorqControl::SaveToStream(s);
    WriteStreamInteger(s, FAmp);
    WriteStreamInteger(s, FWaveLen);
    WriteStreamInteger(s, FDelay);
    WriteStreamString(s, FOnIdle);
    WriteStreamByte(s, FPaused);
}

void TVorqWave::LoadFromStream(TStream& s, int32_t version) {
    TVorqControl::LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    FAmp = r.I32("amplitude");
    SetWaveLen(r.I32("wave length"));
    SetDelay(r.I32("delay"));
    if (version >= 104) {
        FOnIdle = r.String("idle handler");
        FPaused = r.U8("paused");
    }
    ResizeProxy();
}
