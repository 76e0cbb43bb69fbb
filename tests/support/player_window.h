// A player window on the headless video service for tests that play whole
// pages: the frame counters start at zero and the millisecond clock is the
// test's own (at 1000, moved by the test), so frames are reproducible.
#pragma once
#include "shell/form_view.h"
#include "script/game_clock.h"
#include "platform/system/clock.h"
#include "tests/support/fixture_writers.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class PlayerWindowTest : public ::testing::Test {
protected:
    TTestGameFolder folder;
    uint32_t clock = 1000;
    std::unique_ptr<TFormView> view;

    void SetUp() override {
        FormViewUnitStart();
        Terminating = false;
        GameClock = FrameTime = FrameCount = 0;
        LastTick = 0;
        DrawDivisor = 1;
        SetClockSource([this] { return clock; });
    }
    void TearDown() override {
        view.reset();
        after_view_closed();
        SetClockSource({});
        FormViewUnitFinish();
        Terminating = false;
    }
    // What a test set up for its window is undone here, once the window is gone.
    virtual void after_view_closed() {}
    // Opens the window on the test's game folder.
    void open_view() {
        view = std::make_unique<TFormView>(std::vector<std::string>{folder.Path()},
                                           Video::Create(VideoBackend::Headless));
        view->FormCreate();
    }
};
