// TVorqTimer: raises its ONNOTIFY handler (event 33) every DELAY
// milliseconds of the game clock. A frame that comes late is caught up by
// the following frames, one event at a time, each only after the previous
// one has been taken.
#pragma once
#include "objects/vorq_object.h"

#include <cstdint>
#include <string>

class TVorqTimer : public TVorqComponent {
public:
    explicit TVorqTimer(TVorqBaseList* registry);

    uint8_t GetCompoType() const override { return LT_TIMER; }
    std::string GetOnNotify() const override { return FOnNotify; }
    void SetOnNotify(const std::string& v) override;
    int32_t GetDelay() const override { return FDelay; }
    void SetDelay(int32_t v) override;
    bool GetPaused() const override { return FPaused != 0; }
    void SetPaused(bool v) override;
    bool GetAutoScrap() const override { return FAutoScrap != 0; }
    void SetAutoScrap(bool v) override { FAutoScrap = v; }

    bool Update() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;

    // Clock value of the last tick, and whether the timer has queued an event.
    uint32_t Last() const { return FLast; }
    bool Fired() const { return FFired != 0; }

private:
    // Waiting events go, and the period starts again now.
    void restart();

    std::string FOnNotify;
    int32_t FDelay = 0;
    uint8_t FPaused = 0, FAutoScrap = 0;
    uint32_t FLast;
    uint8_t FFired = 0;
};
