#include "objects/controls/gauge.h"

#include "script/game_clock.h"
#include "files/save_stream.h"
#include "objects/object_record.h"
#include "platform/exception.h"
#include "render/custom_dibx.h"
#include "render/tesk_collection.h"

#include <cmath>
#include <limits>

int32_t GaugePartLength(int32_t length, int64_t amount, int64_t range) {
    if (range <= 0) return 0;
    const long double q = static_cast<long double>(int64_t(length) * amount) / static_cast<long double>(range);
    const long double r = std::nearbyint(q);
    if (!(r > std::numeric_limits<int32_t>::min())) return 0;
    if (r > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(r);
}

TVorqGauge::TVorqGauge(TVorqBaseList* registry) : TVorqControl(registry) {}

TVorqGauge::~TVorqGauge() {
    Invalidate();
    release_image();
}

void TVorqGauge::release_image() {
    if (FImage) FImage->Release(this);
    FImage = nullptr;
}

void TVorqGauge::SetSource(const std::string& v) {
    if (v == FSource) return;
    FSource = v;
    release_image();
    if (!v.empty() && TeskCollection) {
        // A picture that cannot be decoded leaves the gauge empty (0 x 0)
        // rather than stopping the scene.
        try {
            FImage = TeskCollection->Acquire(this, v, false, false);
        } catch (const Exception&) {
            FImage = nullptr;
        }
    }
    resize();
}

void TVorqGauge::resize() {
    int32_t w = 0, h = 0;
    if (FImage && FImage->GetFrameCount() > 0) {
        w = FImage->Width / 2;
        h = FImage->Height;
        if (FBarSize > 0) (FOrientation == 1 ? h : w) = FBarSize;
    }
    FGaugeWidth = w;
    FGaugeHeight = h;
    SetWidth(w);
    SetHeight(h);
}

int32_t TVorqGauge::GetValue() const {
    if (FValue < FMin) return FMin;
    return FValue < FMax ? FValue : FMax;
}

// A new range shows the value at rest, and ends the move too: left running,
// its position in the old range would bring back the trail or drop the bar
// below the new value, and PLAYING would stay on for a bar at rest (which a
// save, holding no move, would then turn off).
void TVorqGauge::SetMin(int32_t v) {
    if (v == FMin) return;
    FMin = v;
    stop();
}

void TVorqGauge::SetMax(int32_t v) {
    if (v == FMax) return;
    FMax = v;
    stop();
}

void TVorqGauge::SetValue(int32_t v) {
    if (v == FValue) return;
    const int32_t was = GetValue();
    FValue = v;
    const int32_t now = GetValue();
    if (was <= now) {
        FTrail = 0;
        FAccumulator = FShown;
        FPhase = kRising;
    } else {
        FShown = now;
        // Both lie in MIN..MAX, so the difference fits once taken wide.
        FTrail = static_cast<int32_t>(std::min<int64_t>(int64_t(was) - now, std::numeric_limits<int32_t>::max()));
        FAccumulator = double(int64_t(was) - now);
        FHold = FDuration;
        FPhase = kTrail;
    }
    Invalidate();
}

void TVorqGauge::SetOrientation(int32_t v) {
    const uint8_t o = static_cast<uint8_t>(v);
    if (o == FOrientation) return;
    FOrientation = o;
    resize();
}

void TVorqGauge::SetBarSize(int32_t v) {
    if (v == FBarSize) return;
    FBarSize = v;
    resize();
}

void TVorqGauge::SetReverse(bool v) {
    if (v == (FReverse != 0)) return;
    FReverse = v;
    Invalidate();
}

void TVorqGauge::SetAlpha(int32_t v) {
    if (v == FAlpha) return;
    FAlpha = v;
    Invalidate();
}

void TVorqGauge::stop() {
    FShown = GetValue();
    FTrail = 0;
    FPhase = kRest;
    Invalidate();
}

namespace {
// The accumulator truncated toward zero, held inside i32.
int32_t truncate_position(double a) {
    if (!(a > -2147483648.0)) return std::numeric_limits<int32_t>::min();
    if (a >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(a);
}
}  // namespace

bool TVorqGauge::Update() {
    const bool done = TVorqControl::Update();
    const int64_t span = range();
    const int32_t dt = static_cast<int32_t>(FrameTime);
    const bool moving = FDelay > 0 && span > 0;
    const double speed = moving ? double(span) / double(FDelay) * double(dt) : 0.0;
    switch (FPhase) {
    case kTrail: {
        if (FHold >= 1) {
            FHold = static_cast<int32_t>(int64_t(FHold) - dt);
            break;
        }
        if (!moving) {
            stop();
            break;
        }
        FAccumulator -= speed;
        const int32_t t = truncate_position(FAccumulator);
        if (t != FTrail) {
            FTrail = t;
            Invalidate();
        }
        if (FTrail < 1) stop();
        Invalidate();
        break;
    }
    case kRising: {
        if (!moving) {
            stop();
            break;
        }
        FAccumulator += speed;
        const int32_t v = truncate_position(FAccumulator);
        if (v != FShown) {
            FShown = v;
            Invalidate();
        }
        if (GetValue() <= FShown) stop();
        Invalidate();
        break;
    }
    default: break;
    }
    return done;
}

void TVorqGauge::Draw() {
    TCustomDIBX* s = GetSurface();
    if (s && FWidth != 0 && FHeight != 0 && FImage && FImage->GetFrameCount() > 0 &&
        RectsOverlap(GetRect(), s->GetClipRect())) {
        const TTeskItemFrame& frame = *FImage->Frames[0];
        const int32_t x = GetScreenX(), y = GetScreenY();
        const int32_t gw = FGaugeWidth, gh = FGaugeHeight;
        const int32_t c = FImage->Width / 2, ih = FImage->Height;
        const bool vertical = FOrientation == 1, reverse = FReverse != 0;
        const int32_t length = vertical ? gh : gw;
        const int64_t span = range();
        const int32_t l1 = GaugePartLength(length, int64_t(FShown) - FMin, span);
        const int32_t l2 = GaugePartLength(length, FTrail, span);
        const TRect cell0{0, 0, c, ih}, cell1{c, 0, 2 * c, ih};
        // Vertical tiling starts so that the image's bottom meets the
        // filled end.
        auto from_bottom = [ih](int32_t n) { return ih > 0 ? ih - int32_t(uint32_t(n) % uint32_t(ih)) : 0; };
        if (l1 > 0) {
            if (!vertical)
                frame.DrawTiled(*s, Bounds(reverse ? WrapSub(WrapAdd(x, gw), l1) : x, y, l1, ih), FAlpha, false,
                                reverse, 0, 0, cell0);
            else
                frame.DrawTiled(*s, Bounds(x, reverse ? y : WrapSub(WrapAdd(y, gh), l1), c, l1), FAlpha, reverse,
                                false, from_bottom(l1), 0, cell0);
        }
        if (l2 >= 1) {
            const int32_t both = WrapAdd(l1, l2);
            if (!vertical)
                frame.DrawTiled(*s,
                                Bounds(reverse ? WrapSub(WrapAdd(x, gw), both) : WrapAdd(x, l1), y, l2, ih),
                                FAlpha, false, reverse, 0, l1, cell1);
            else
                frame.DrawTiled(*s,
                                Bounds(x, reverse ? WrapAdd(y, l1) : WrapSub(WrapAdd(y, gh), both), c, l2),
                                FAlpha, reverse, false, from_bottom(both), 0, cell1);
        }
    }
    TVorqControl::Draw();
}

void TVorqGauge::SaveToStream(TStream& s) {
    TVorqControl::SaveToStream(s);
    WriteStreamString(s, FSource);
    WriteStreamInteger(s, FMin);
    WriteStreamInteger(s, FMax);
    WriteStreamInteger(s, FValue);
    WriteStreamInteger(s, FAlpha);
    WriteStreamByte(s, FPaused);
    WriteStreamByte(s, FOrientation);
    WriteStreamInteger(s, FDelay);
    WriteStreamInteger(s, FDuration);
    WriteStreamByte(s, FReverse);
    WriteStreamString(s, FOnIdle);
    WriteStreamInteger(s, FBarSize);
}

void TVorqGauge::LoadFromStream(TStream& s, int32_t version) {
    TVorqControl::LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    const std::string source = r.String("source");
    FMin = r.I32("minimum");
    FMax = r.I32("maximum");
    FValue = r.I32("value");
    FAlpha = r.I32("alpha");
    FPaused = r.U8("paused");
    FOrientation = r.U8("orientation");
    FDelay = r.I32("delay");
    FDuration = r.I32("duration");
    FReverse = r.U8("reverse");
    if (version >= 125) FOnIdle = r.String("idle handler");
    const int32_t bar = version >= 128 ? r.I32("bar size") : FBarSize;
    // A loaded gauge shows its value at rest: the animation is not saved.
    SetSource(source);
    SetBarSize(bar);
    FShown = GetValue();
    FTrail = 0;
    FPhase = kRest;
}
