#include "objects/basic/prop_motion.h"

#include "script/game_clock.h"
#include "script/param.h"
#include "files/number_text.h"
#include "files/save_stream.h"
#include "objects/base_list.h"
#include "objects/object_record.h"
#include "objects/property_access.h"

#include <cmath>
#include <limits>

namespace {
// The quarter turn the film easing uses, as an extended real.
constexpr long double kHalfPi = 1.5707963267948966L;

// Whole properties take the eased value truncated toward zero, as a real
// set on a whole property always is; a value outside 32 bits is clamped.
int32_t whole_value(long double v) {
    const long double r = std::trunc(v);
    if (!(r == r)) return 0;
    if (r >= 2147483647.0L) return std::numeric_limits<int32_t>::max();
    if (r <= -2147483648.0L) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}
}  // namespace

long double PropMotionValue(uint8_t easing, int32_t t, int32_t d, long double s, long double e) {
    if (t == 0) return s;
    if (int64_t(t) >= int64_t(d) - 1) return e;
    const long double ld = d, lt = t;
    switch (easing) {
    case 1: return e - std::sin((ld - lt - 1) * kHalfPi / ld) * (e - s);
    case 2: return s + std::sin(lt * kHalfPi / ld) * (e - s);
    default: return s + (e - s) * lt / ld;
    }
}

TVorqPropMotion::TVorqPropMotion(TVorqBaseList* registry) : TVorqComponent(registry) {}

TVorqObject* TVorqPropMotion::target() const {
    return FObject && FRegistry && FRegistry->Alive(FObject, FObjectSerial) ? FObject : nullptr;
}

bool TVorqPropMotion::Update() { return Step(static_cast<int32_t>(FrameTime)); }

bool TVorqPropMotion::Step(int32_t frame_delta) {
    if (FPaused) return false;
    if (!FRegistry) return true;
    if (FObject) {
        if (!target()) return true;
    } else {
        // An empty name would find the active layer: a motion that names no
        // object animates nothing.
        TVorqObject* obj = ObjectName.empty() ? nullptr : FRegistry->FindObject(ObjectName);
        if (!obj || obj->IsLayer() || Property >= PROPERTY_COUNT) return true;
        FObject = obj;
        FObjectSerial = obj->Serial();
        // A motion loaded part-way keeps the start it was saved with, so
        // that it goes on along the same curve.
        if (!FResumed) {
            TParamFloat start;
            GetPropertyValue(start, *obj, Property);
            StartValue = start.GetAsFloat();
        }
        FResumed = false;
    }
    const bool done = int64_t(Elapsed) >= int64_t(Duration) - 1 && Elapsed != 0;
    const long double v = PropMotionValue(Easing, Elapsed, Duration, StartValue, TargetValue);
    if (PropertyInfos[Property].Type == PT_INT) {
        TParamInt p;
        p.SetAsInt(whole_value(v));
        SetPropertyValue(*FObject, Property, p);
    } else {
        TParamFloat p;
        p.SetAsFloat(v);
        SetPropertyValue(*FObject, Property, p);
    }
    const int64_t next = int64_t(Elapsed) + (frame_delta > 0 ? frame_delta : 0);
    Elapsed = static_cast<int32_t>(next > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                                              : next);
    return done;
}

void TVorqPropMotion::SaveToStream(TStream& s) {
    TVorqComponent::SaveToStream(s);
    // A motion not yet started keeps the name of the object it will move.
    TVorqObject* obj = target();
    WriteStreamString(s, obj ? obj->GetName() : FObject ? std::string() : ObjectName);
    WriteStreamInteger(s, Property);
    WriteStreamExtended(s, TargetValue);
    WriteStreamInteger(s, Duration);
    WriteStreamInteger(s, Easing);
    WriteStreamExtended(s, StartValue);
    WriteStreamInteger(s, Elapsed);
    WriteStreamByte(s, FPaused);
}

void TVorqPropMotion::LoadFromStream(TStream& s, int32_t version) {
    TVorqComponent::LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    ObjectName = r.String("object name");
    Property = static_cast<uint8_t>(r.U32("property"));
    TargetValue = r.Extended("target value");
    Duration = r.I32("duration");
    Easing = static_cast<uint8_t>(r.U32("easing"));
    StartValue = r.Extended("start value");
    Elapsed = r.I32("elapsed");
    if (version >= 126) FPaused = r.U8("paused");
    FObject = nullptr;
    FObjectSerial = 0;
    FResumed = Elapsed != 0;
}
