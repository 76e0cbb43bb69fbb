#include "objects/basic/timer.h"

#include "script/game_clock.h"
#include "files/save_stream.h"
#include "objects/base_list.h"
#include "objects/object_record.h"

TVorqTimer::TVorqTimer(TVorqBaseList* registry) : TVorqComponent(registry), FLast(GameClock) {}

void TVorqTimer::restart() {
    if (FRegistry) FRegistry->Events.RemoveObjectEvents(this);
    FLast = GameClock;
}

void TVorqTimer::SetOnNotify(const std::string& v) {
    FOnNotify = v;
    restart();
}

void TVorqTimer::SetDelay(int32_t v) {
    FDelay = v;
    restart();
}

void TVorqTimer::SetPaused(bool v) {
    if (v == (FPaused != 0)) return;
    FPaused = v;
    restart();
}

bool TVorqTimer::Update() {
    if (FFired && FAutoScrap) return !EventQueued(PR_ONNOTIFY);
    if (FDelay < 0 || FPaused) return false;
    const uint32_t now = GameClock;
    const uint32_t since = now - FLast;
    // A last tick ahead of the clock (the clock started again under a
    // loaded or older timer) would read as a gap of almost 2^32 ms and be
    // caught up by an event in every frame for weeks: the period starts now.
    if (static_cast<int32_t>(since) < 0) {
        FLast = now;
        return false;
    }
    if (FDelay != 0 && static_cast<uint32_t>(FDelay) > since) return false;
    FLast += static_cast<uint32_t>(FDelay);
    if (EventQueued(PR_ONNOTIFY)) return false;
    QueueEvent(FOnNotify, PR_ONNOTIFY);
    FFired = 1;
    return false;
}

void TVorqTimer::SaveToStream(TStream& s) {
    TVorqComponent::SaveToStream(s);
    WriteStreamString(s, FOnNotify);
    WriteStreamInteger(s, FDelay);
    WriteStreamByte(s, FPaused);
    WriteStreamByte(s, FAutoScrap);
    WriteStreamByte(s, FFired);
}

void TVorqTimer::LoadFromStream(TStream& s, int32_t version) {
    TVorqComponent::LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    FOnNotify = r.String("notify handler");
    FDelay = r.I32("delay");
    FPaused = r.U8("paused");
    if (version >= 104) {
        FAutoScrap = r.U8("auto scrap");
        FFired = r.U8("fired");
    }
    FLast = GameClock;
}
