// TVorqCabinet: an invisible holder in which a scenario parks controls with
// their whole state, to take them out again later. Nothing inside a cabinet
// is updated, drawn or hit: the registry skips what lies in a cabinet, and
// the cabinet itself never reads visible.
#pragma once
#include "objects/vorq_object.h"

#include <functional>
#include <string>

class TVorqCabinet : public TVorqControl {
public:
    explicit TVorqCabinet(TVorqBaseList* registry) : TVorqControl(registry) {}

    uint8_t GetCompoType() const override { return LT_CABINET; }
    bool GetVisible() const override { return false; }
    void Draw() override {}
};

// Moves the children of from, last to first, that selected(name) accepts
// into to; the number moved. from and to may be any controls.
int32_t MoveSelectedChildren(TVorqControl& from, TVorqControl& to,
                             const std::function<bool(const std::string&)>& selected);
