// Scenes for the object tests: a registry with memory layers and two test
// kinds standing in for the kinds that later work builds (a plain control
// registered as the box type, a non-visual component as the timer type).
#pragma once
#include "objects/base_list.h"
#include "render/custom_dibx.h"
#include "tests/support/plain_dibx.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

class TTestBox : public TVorqControl {
public:
    using TVorqControl::TVorqControl;
    uint8_t GetCompoType() const override { return LT_BOX; }
    bool GetPaused() const override { return Paused; }
    void SetPaused(bool v) override { Paused = v; }
    std::string GetOnIdle() const override { return OnIdle; }
    std::string GetOnPlayEnd() const override { return OnPlayEnd; }
    bool Update() override {
        ++Updates;
        if (OnUpdate) return OnUpdate(*this);
        return false;
    }
    void Draw() override {
        ++Draws;
        TVorqControl::Draw();
    }
    bool Paused = false;
    int Updates = 0;
    int Draws = 0;
    std::string OnIdle, OnPlayEnd;
    std::function<bool(TTestBox&)> OnUpdate;
};

class TTestTimer : public TVorqComponent {
public:
    using TVorqComponent::TVorqComponent;
    uint8_t GetCompoType() const override { return LT_TIMER; }
};

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetSurfaceMaker([](int32_t w, int32_t h, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
            return std::make_unique<TPlainDIBX>(w, h, bits);
        });
        RegisterComponentType(LT_BOX, [](TVorqBaseList* r) -> TVorqObject* { return new TTestBox(r); });
        RegisterComponentType(LT_TIMER, [](TVorqBaseList* r) -> TVorqObject* { return new TTestTimer(r); });
        reg = std::make_unique<TVorqBaseList>();
        reg->SurfaceBits = 32;
        reg->SetWidth(640);
        reg->SetHeight(480);
        reg->ClearDirty();
    }
    void TearDown() override {
        reg.reset();
        RegisterComponentType(LT_BOX, nullptr);
        RegisterComponentType(LT_TIMER, nullptr);
        SetSurfaceMaker(nullptr);
    }
    // A visible box on a parent (the active layer by default).
    TTestBox* Box(const std::string& name, int l, int t, int w, int h, TVorqControl* parent = nullptr) {
        auto* b = new TTestBox(reg.get());
        if (!name.empty()) b->SetName(name);
        b->SetRect(l, t, w, h);
        b->SetParent(parent ? parent : reg->ActiveBase());
        return b;
    }
    TVorqBase& Layer() { return *reg->ActiveBase(); }
    // The mouse at (x, y), optionally with a left or right press, and one
    // input step.
    void Step(int x, int y, char press = 0, int delta = 16) {
        for (int i = 0; i < 2; ++i) reg->GetBaseAt(i)->SetMousePos(x, y);
        if (press == 'L') {
            for (int i = 0; i < 2; ++i) reg->GetBaseAt(i)->LHeld = 1;
            Layer().LPressPending = 1;
        } else if (press == 'R') {
            for (int i = 0; i < 2; ++i) reg->GetBaseAt(i)->RHeld = 1;
            Layer().RPressPending = 1;
        }
        reg->InputStep(delta);
    }
    void Release() {
        for (int i = 0; i < 2; ++i) reg->GetBaseAt(i)->LHeld = reg->GetBaseAt(i)->RHeld = 0;
    }
    int CountEvents(int id) const {
        int n = 0;
        for (int i = 0; i < reg->Events.Count(); ++i) n += reg->Events.Get(i).EventId == id;
        return n;
    }
    std::unique_ptr<TVorqBaseList> reg;
};
