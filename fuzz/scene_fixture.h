// Registries for the fuzz targets, made once per process on memory
// surfaces: one with two plain kinds (a control registered as the box type,
// a non-visual component as the timer type) for the scene and event-queue
// targets, one with every object kind for the record targets.
#pragma once
#include "objects/base_list.h"
#include "objects/object_kinds.h"
#include "render/custom_dibx.h"
#include "tests/support/plain_dibx.h"

#include <memory>

class TFuzzBox : public TVorqControl {
public:
    using TVorqControl::TVorqControl;
    uint8_t GetCompoType() const override { return LT_BOX; }
};

class TFuzzTimer : public TVorqComponent {
public:
    using TVorqComponent::TVorqComponent;
    uint8_t GetCompoType() const override { return LT_TIMER; }
};

inline TVorqBaseList& FuzzRegistry() {
    static TVorqBaseList* reg = [] {
        SetSurfaceMaker([](int32_t w, int32_t h, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
            return std::make_unique<TPlainDIBX>(w, h, bits);
        });
        RegisterComponentType(LT_BOX, [](TVorqBaseList* r) -> TVorqObject* { return new TFuzzBox(r); });
        RegisterComponentType(LT_TIMER, [](TVorqBaseList* r) -> TVorqObject* { return new TFuzzTimer(r); });
        auto* r = new TVorqBaseList();
        r->SurfaceBits = 32;
        r->SetWidth(64);
        r->SetHeight(48);
        return r;
    }();
    return *reg;
}

inline TVorqBaseList& FuzzKindsRegistry() {
    static TVorqBaseList* reg = [] {
        SetSurfaceMaker([](int32_t w, int32_t h, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
            return std::make_unique<TPlainDIBX>(w, h, bits);
        });
        InstallObjectKinds();
        auto* r = new TVorqBaseList();
        r->SurfaceBits = 32;
        r->SetWidth(64);
        r->SetHeight(48);
        return r;
    }();
    return *reg;
}
