// A registry for the tests of the object kinds: every kind installed, a
// 32-bit memory screen, memory surfaces for whatever the kinds create and,
// when a test asks, pictures served from memory. Closing it puts back the
// process-wide settings such tests change (picture source, clock, frame
// time, display depth).
#pragma once
#include "script/game_clock.h"
#include "objects/base_list.h"
#include "objects/object_kinds.h"
#include "render/dibx.h"
#include "render/tesk_collection.h"
#include "tests/support/plain_dibx.h"

#include <gtest/gtest.h>

#include <memory>

class KindScene : public ::testing::Test {
protected:
    // The registry on a black w x h screen.
    void OpenScene(int32_t w, int32_t h) {
        SetSurfaceMaker([](int32_t sw, int32_t sh, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
            return std::make_unique<TPlainDIBX>(sw, sh, bits);
        });
        InstallObjectKinds();
        screen.SetSize(w, h, 32);
        reg = std::make_unique<TVorqBaseList>();
        reg->SurfaceBits = 32;
        reg->SetWidth(w);
        reg->SetHeight(h);
        reg->SetScreenSurface(&screen);
        reg->ActiveBase()->SetColor(0x000000);
    }
    // Pictures come from source until the scene closes.
    void ServePictures(TTeskSource* source) {
        delete TeskCollection;
        TeskCollection = new TTeskCollection(source);
        serving_ = true;
    }
    void TearDown() override {
        reg.reset();
        if (serving_) {
            delete TeskCollection;
            TeskCollection = nullptr;
            serving_ = false;
        }
        SetSurfaceMaker(nullptr);
        SetDisplayBitCount(15);
        GameClock = 0;
        FrameTime = 0;
    }
    // A new object of a kind, on parent (none for components).
    template <class K>
    K* Make(uint8_t type, TVorqControl* parent = nullptr) {
        auto* k = static_cast<K*>(CreateObjectByType(reg.get(), type));
        if (parent) k->SetParent(parent);
        return k;
    }
    TVorqControl* Layer() { return reg->ActiveBase(); }
    // Redraws the whole active layer onto the screen.
    void draw() {
        reg->ActiveBase()->InvalidateWhole();
        reg->Draw();
        reg->ClearDirty();
    }
    uint32_t at(int32_t x, int32_t y) const { return screen.GetPixel(x, y) & 0xFFFFFF; }

    TPlainDIBX screen;
    std::unique_ptr<TVorqBaseList> reg;

private:
    bool serving_ = false;
};
