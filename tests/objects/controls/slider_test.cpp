// Sliders and scroll bars on a registry driven by injected pointer, button
// and key steps on a 10 ms clock: sizes and part rectangles, thumb offsets
// and drag values against Python's half-even round, what each part draws,
// dragging, paging and step buttons with their 300/50 ms repeat, the
// events each queues, keys, the thumb's mask, and the saved record.
#include "script/game_clock.h"
#include "files/save_stream.h"
#include "objects/base_list.h"
#include "objects/object_kinds.h"
#include "objects/controls/slider.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "render/dibx.h"
#include "tests/objects/images/image_pictures.h"
#include "tests/objects/old_control_record.h"
#include "tests/objects/kind_scene.h"
#include "tests/objects/record_io.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

std::function<int32_t(int32_t, int32_t)> cells(int32_t width, std::vector<int32_t> colours) {
    return [width, colours](int32_t x, int32_t) { return colours[size_t(x / width)]; };
}

// Colours as the pictures store them (0x00BBGGRR) and as 32-bit pixels.
constexpr int32_t kGreen = 0x00FF00, kRed = 0x0000FF, kBlue = 0xFF0000, kWhite = 0xFFFFFF, kGrey = 0x808080;
constexpr uint32_t pixel(int32_t c) {
    return uint32_t((c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF));
}

class Slider : public KindScene {
protected:
    MemoryPictures pictures;

    void SetUp() override {
        SetDisplayBitCount(32);
        // Bar cells 10 x 6: 0 green, 1 red. Thumb cells 4 x 8: blue, white,
        // grey. Button cells 5 x 6: 0x10..0x60 grey levels.
        pictures.Add("bar.tes", {{20, 6, 100, cells(10, {kGreen, kRed})}});
        pictures.Add("vbar.tes", {{12, 10, 100, cells(6, {kGreen, kRed})}});
        pictures.Add("thumb.tes", {{12, 8, 100, cells(4, {kBlue, kWhite, kGrey})}});
        pictures.Add("buttons.tes",
                     {{30, 6, 100, cells(5, {0x101010, 0x202020, 0x303030, 0x404040, 0x505050, 0x606060})}});
        ServePictures(&pictures);
        FrameTime = 10;
        OpenScene(160, 120);
        reg->ActiveBase()->SetMousePos(159, 119);
    }
    TVorqSlider* make(int32_t type, bool vertical, int32_t min, int32_t max) {
        auto* s = Make<TVorqSlider>(type, Layer());
        s->SetAlpha(255);
        s->SetOrientation(vertical ? 1 : 0);
        s->SetSource(vertical ? "vbar.tes" : "bar.tes");
        s->SetThumbSource("thumb.tes");
        s->SetButtonSource("buttons.tes");
        s->SetBarSize(100);
        s->SetMin(min);
        s->SetMax(max);
        s->SetSmallChange(1);
        s->SetOnNotify("notify");
        s->SetOnHold("hold");
        s->SetOnRelease("release");
        return s;
    }
    TVorqBase& layer() { return *reg->ActiveBase(); }
    void step() { reg->InputStep(static_cast<int32_t>(FrameTime)); }
    void move(int32_t x, int32_t y) {
        layer().SetMousePos(x, y);
        step();
    }
    void press() {
        layer().LPressPending = 1;
        layer().LHeld = 1;
        step();
    }
    void release() {
        layer().LHeld = 0;
        step();
    }
    // The queued events as "label" or "label=argument", taken off the queue.
    std::vector<std::string> events() {
        std::vector<std::string> v;
        for (int32_t i = 0; i < reg->Events.Count(); ++i) {
            const TTimerData& e = reg->Events.Get(i);
            v.push_back(e.Args.Count() ? e.Label + "=" + e.Args.Get(0) : e.Label);
        }
        reg->Events.Clear();
        return v;
    }
};

TEST(SliderRounding, OffsetsAndDragValuesRoundHalfToEvenLikePython) {
    std::ifstream in(std::string(VORQ_TEST_DATA) + "/widgets/rounding.txt");
    ASSERT_TRUE(in) << "missing golden rounding";
    std::string line, kind;
    int rows = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        SCOPED_TRACE(line);
        std::istringstream ls(line);
        int64_t a, b, c, d, want;
        ls >> kind >> a >> b >> c >> d >> want;
        if (kind == "offset")
            EXPECT_EQ(SliderThumbOffset(int32_t(a), int32_t(b), int32_t(c), d), want);
        else
            EXPECT_EQ(SliderValueAt(int32_t(a), int32_t(b), c, d, int32_t(a)), want);
        ++rows;
    }
    EXPECT_EQ(rows, 30);
    // No travel to scale by: the value stays.
    EXPECT_EQ(SliderValueAt(0, 100, 0, 50, 42), 42);
    EXPECT_EQ(SliderValueAt(0, 100, -3, 50, 42), 42);
}

TEST_F(Slider, SizesAndPartsFollowTheKindAndOrientation) {
    struct Case {
        int32_t type;
        bool vertical;
        int32_t w, h;
        TRect bar, thumb, button1;  // at the value 0 of 0..10
    };
    // Bar 100 long (10 x 6 cells, or 6 x 10 upright), thumb 4 x 8, buttons 5 x 6.
    const Case cases[] = {
        {LT_SLIDER, false, 114, 8, Bounds(7, 1, 100, 6), Bounds(5, 0, 4, 8), Bounds(109, 1, 5, 6)},
        {LT_SLIDER, true, 6, 120, Bounds(0, 10, 6, 100), Bounds(1, 106, 4, 8), Bounds(0, 114, 5, 6)},
        {LT_SCROLLBAR, false, 110, 8, Bounds(5, 1, 100, 6), Bounds(5, 0, 4, 8), Bounds(105, 1, 5, 6)},
        {LT_SCROLLBAR, true, 6, 112, Bounds(0, 6, 6, 100), Bounds(1, 6, 4, 8), Bounds(0, 106, 5, 6)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + (c.vertical ? " vertical" : " horizontal"));
        reg->ResetScene();
        TVorqSlider& s = *make(c.type, c.vertical, 0, 10);
        EXPECT_EQ(s.GetWidth(), c.w);
        EXPECT_EQ(s.GetHeight(), c.h);
        EXPECT_EQ(s.GetBarRect(), c.bar);
        EXPECT_EQ(s.GetThumbRect(), c.thumb);
        EXPECT_EQ(s.GetButtonRect(0).Left, 0);
        EXPECT_EQ(s.GetButtonRect(1), c.button1);
        // Without a bar picture the control has no size.
        s.SetSource("");
        EXPECT_EQ(s.GetWidth(), 0);
        EXPECT_EQ(s.GetHeight(), 0);
    }
}

TEST_F(Slider, ValueClampsOnReadAndPlacesTheThumb) {
    TVorqSlider& s = *make(LT_SLIDER, false, 0, 8);
    struct Case {
        int32_t value, reads, offset;
    };
    const Case cases[] = {{1, 1, 12}, {3, 3, 38}, {5, 5, 62}, {8, 8, 100}, {-4, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        s.SetValue(c.value);
        EXPECT_EQ(s.GetValue(), c.reads);
        EXPECT_EQ(s.ThumbOffset(), c.offset);
    }
    s.SetMax(100);
    s.SetValue(500);
    EXPECT_EQ(s.GetValue(), 100);
    EXPECT_EQ(s.ThumbOffset(), 100);
    EXPECT_TRUE(events().empty());  // a script's change queues nothing
    TMemoryStream out;
    s.SaveToStream(out);
    const std::vector<uint8_t> b(out.Bytes().begin(), out.Bytes().end());
    // VALUE is stored as given.
    const uint8_t stored[] = {0xF4, 1, 0, 0};
    EXPECT_NE(std::search(b.begin(), b.end(), std::begin(stored), std::end(stored)), b.end());
}

TEST_F(Slider, DrawsTheBarSplitAtTheThumbAndTheStates) {
    TVorqSlider& s = *make(LT_SLIDER, false, 0, 100);
    s.SetValue(25);
    draw();
    // Bar from x 7: red (cell 1) up to the thumb centre at 7 + 25, then
    // green; the thumb (x 30..33) over the split.
    EXPECT_EQ(at(7, 3), pixel(kRed));
    EXPECT_EQ(at(7 + 22, 2), pixel(kRed));
    EXPECT_EQ(at(7 + 24, 2), pixel(kBlue));
    EXPECT_EQ(at(7 + 24, 0), pixel(kBlue));
    EXPECT_EQ(at(7 + 24, 7), pixel(kBlue));
    EXPECT_EQ(at(7 + 27, 3), pixel(kGreen));
    EXPECT_EQ(at(7 + 30, 3), pixel(kGreen));
    EXPECT_EQ(at(7 + 99, 3), pixel(kGreen));
    EXPECT_EQ(at(2, 3), pixel(0x101010));    // button 0, normal
    EXPECT_EQ(at(111, 3), pixel(0x404040));  // button 1, normal (cell 3)
    // Hovering shows the thumb's second cell and a button's second.
    move(31, 4);
    EXPECT_EQ(s.ThumbState(), 1);
    draw();
    EXPECT_EQ(at(31, 4), pixel(kWhite));
    move(111, 3);
    EXPECT_EQ(s.ThumbState(), 0);
    EXPECT_EQ(s.ButtonState(1), 1);
    draw();
    EXPECT_EQ(at(111, 3), pixel(0x505050));
    // An empty range draws no thumb and takes no hover.
    s.SetMax(0);
    move(8, 3);
    draw();
    EXPECT_EQ(s.ButtonState(1), 0);
    EXPECT_EQ(at(7, 1), pixel(kGreen));

    // The scroll bar's bar is cell 0 all along.
    reg->ResetScene();
    TVorqSlider& b = *make(LT_SCROLLBAR, false, 0, 100);
    b.SetValue(50);
    draw();
    EXPECT_EQ(at(5, 3), pixel(kGreen));
    EXPECT_EQ(at(104, 3), pixel(kGreen));
    EXPECT_EQ(at(5 + 48, 3), pixel(kBlue));  // thumb at Round(50/100*96) = 48
}

TEST_F(Slider, UprightBarsTileFromTheirMinEnd) {
    // Rows of the upright bar's cells grow lighter downwards (level 100 +
    // 10 per row, green in cell 0, red in cell 1): the pattern must run on
    // across the split and end with the cell's last row at the bottom.
    pictures.Add("rows.tes", {{12, 10, 100, [](int32_t x, int32_t y) {
                                   const int32_t level = 100 + 10 * y;
                                   return x < 6 ? level << 8 : level;
                               }}});
    TVorqSlider& s = *make(LT_SLIDER, true, 0, 100);
    s.SetSource("rows.tes");
    s.SetBarSize(95);
    s.SetValue(20);
    ASSERT_EQ(s.ThumbOffset(), 19);
    ASSERT_EQ(s.GetBarRect(), Bounds(0, 10, 6, 95));
    draw();
    for (int y = 10; y < 105; ++y) {
        SCOPED_TRACE(y);
        const int32_t level = 100 + 10 * (((y - 105) % 10 + 10) % 10);
        // Below the thumb centre (the MIN end) the lit cell 1.
        const int32_t want = y >= 105 - 19 ? level : level << 8;
        EXPECT_EQ(at(0, y), pixel(want));
    }
    EXPECT_EQ(s.GetThumbRect(), Bounds(1, 6 + 95 - 19, 4, 8));
    EXPECT_EQ(at(2, 6 + 95 - 19), pixel(kBlue));

    // A scroll bar paging towards MAX shows the bar up to the thumb centre
    // in cell 0 and the rest, towards the pointer, in cell 1.
    reg->ResetScene();
    TVorqSlider& b = *make(LT_SCROLLBAR, false, 0, 100);
    b.SetLargeChange(10);
    move(5 + 80, 3);
    press();
    ASSERT_TRUE(b.PagingShown());
    const int32_t split = 5 + 4 / 2 + b.ThumbOffset();
    draw();
    EXPECT_EQ(at(split - 3, 1), pixel(kGreen));
    EXPECT_EQ(at(split - 1, 1), pixel(kBlue));  // under the thumb
    EXPECT_EQ(at(split + 3, 1), pixel(kRed));
    EXPECT_EQ(at(104, 3), pixel(kRed));
    release();
    draw();
    EXPECT_EQ(at(104, 3), pixel(kGreen));
}

TEST_F(Slider, BarClickJumpsDragFollowsAndEventsTellTheScript) {
    TVorqSlider& s = *make(LT_SLIDER, false, 0, 100);
    move(7 + 40, 3);
    press();
    EXPECT_EQ(s.GetValue(), 40);
    EXPECT_EQ(s.InteractionNow(), TVorqSlider::kDrag);
    EXPECT_EQ(events(), (std::vector<std::string>{"hold", "notify=40"}));
    move(7 + 60, 50);  // off the control: the capture keeps the drag
    move(7 + 61, 50);
    move(7 + 61, 40);  // no change of value, no event
    move(500, 50);
    EXPECT_EQ(s.GetValue(), 100);
    EXPECT_EQ(events(), (std::vector<std::string>{"notify=60", "notify=61", "notify=100"}));
    release();
    EXPECT_EQ(s.InteractionNow(), TVorqSlider::kNone);
    EXPECT_EQ(events(), (std::vector<std::string>{"release"}));

    // Grabbing the thumb off its centre keeps that offset while dragging.
    s.SetValue(50);  // thumb centre at 7 + 50, thumb x 55..58
    move(58, 4);
    ASSERT_EQ(s.ThumbState(), 1);
    press();
    EXPECT_EQ(events(), (std::vector<std::string>{"hold"}));
    EXPECT_EQ(s.ThumbState(), 2);
    move(68, 4);
    EXPECT_EQ(s.GetValue(), 60);
    release();
    EXPECT_EQ(events(), (std::vector<std::string>{"notify=60", "release"}));
}

TEST_F(Slider, VerticalSliderRunsUpwardFromTheBottom) {
    TVorqSlider& s = *make(LT_SLIDER, true, 0, 50);
    s.SetHandleKey(true);
    EXPECT_EQ(s.GetThumbRect().Top, 6 + 100);  // at the bottom for MIN
    // The bar's lowest pixel row gives MIN, its top row MAX (rounded).
    s.SetValue(30);
    move(3, 10 + 99);
    press();
    EXPECT_EQ(s.GetValue(), 0);
    move(3, 10);
    EXPECT_EQ(s.GetValue(), 50);
    release();
    EXPECT_EQ(reg->Focus(), &s);
    events();
    // Up raises, Down lowers, by SMALLCHANGE and within MIN..MAX.
    s.SetSmallChange(20);
    struct Case {
        int32_t key, value;
    };
    const Case cases[] = {{40, 30}, {40, 10}, {40, 0}, {40, 0}, {38, 20}};
    for (const Case& c : cases) {
        reg->SetKeyPush(c.key, true);
        step();
        reg->SetKeyPush(c.key, false);
        step();
        EXPECT_EQ(s.GetValue(), c.value) << c.key;
    }
    EXPECT_EQ(events(), (std::vector<std::string>{"notify=30", "notify=10", "notify=0", "notify=20"}));
}

TEST_F(Slider, ScrollBarPagesTowardsThePointerAndRepeats) {
    TVorqSlider& s = *make(LT_SCROLLBAR, true, 0, 100);
    s.SetLargeChange(10);
    // The pointer below the thumb, 80 pixels down the bar.
    move(3, 6 + 80);
    press();
    EXPECT_EQ(s.InteractionNow(), TVorqSlider::kPageMax);
    EXPECT_TRUE(s.PagingShown());
    std::vector<std::pair<int, int32_t>> changes{{0, s.GetValue()}};
    for (int n = 1; n <= 100; ++n) {
        const int32_t v = s.GetValue();
        step();
        if (s.GetValue() != v) changes.push_back({n, s.GetValue()});
    }
    // Once at once, again after 300 ms, then every 50 ms until the thumb's
    // bottom (6 + Round(v / 100 * 92) + 8) has passed the pointer.
    EXPECT_EQ(changes, (std::vector<std::pair<int, int32_t>>{
                           {0, 10}, {30, 20}, {35, 30}, {40, 40}, {45, 50}, {50, 60}, {55, 70}, {60, 80}}));
    EXPECT_FALSE(s.PagingShown());
    release();
    const std::vector<std::string> ev = events();
    EXPECT_EQ(ev.size(), 8u);
    EXPECT_EQ(ev.front(), "notify=10");  // paging queues no hold or release
    EXPECT_EQ(ev.back(), "notify=80");

    // Above the thumb pages back.
    move(3, 6 + 2);
    press();
    EXPECT_EQ(s.InteractionNow(), TVorqSlider::kPageMin);
    EXPECT_EQ(s.GetValue(), 70);
    release();
}

TEST_F(Slider, HeldButtonsRepeatWhileThePointerStaysOnThem) {
    TVorqSlider& s = *make(LT_SLIDER, false, 0, 100);
    s.SetSmallChange(2);
    move(111, 3);  // button 1: +SMALLCHANGE
    press();
    EXPECT_EQ(s.GetValue(), 2);
    EXPECT_EQ(s.ButtonState(1), 2);
    auto run = [&](int steps) {
        for (int i = 0; i < steps; ++i) step();
    };
    run(29);
    EXPECT_EQ(s.GetValue(), 2);
    run(1);  // 300 ms
    EXPECT_EQ(s.GetValue(), 4);
    run(5);
    EXPECT_EQ(s.GetValue(), 6);
    // Off the button: shown unpressed at the next tick and no stepping.
    layer().SetMousePos(80, 50);
    run(5);
    EXPECT_EQ(s.ButtonState(1), 0);
    EXPECT_EQ(s.GetValue(), 6);
    run(10);
    EXPECT_EQ(s.GetValue(), 6);
    layer().SetMousePos(111, 3);
    run(5);
    EXPECT_EQ(s.ButtonState(1), 2);
    EXPECT_EQ(s.GetValue(), 8);
    release();
    EXPECT_EQ(s.ButtonState(1), 1);
    const std::vector<std::string> ev = events();
    EXPECT_EQ(ev, (std::vector<std::string>{"notify=2", "notify=4", "notify=6", "notify=8"}));

    // Button 0 of a vertical slider is the top one and raises the value.
    reg->ResetScene();
    TVorqSlider& v = *make(LT_SLIDER, true, 0, 100);
    v.SetSmallChange(5);
    move(2, 2);
    press();
    EXPECT_EQ(v.GetValue(), 5);
    release();
}

TEST_F(Slider, ThumbMaskDecidesWhenCaptureMaskIsSet) {
    // The thumb picture gets a mask that leaves its top-left corner clear.
    TTeskItem* item = TeskCollection->Acquire(this, "thumb.tes", false, false);
    auto mask = std::make_unique<TDIBX>();
    mask->SetSize(12, 8, 8);
    mask->Fill(255);
    mask->FillRect(Bounds(0, 0, 2, 2), 0);
    item->Frames[0]->Mask = std::move(mask);
    TVorqSlider& s = *make(LT_SLIDER, false, 0, 100);
    s.SetValue(50);  // thumb at x 55..58, y 0..7; the bar at y 1..6
    move(55, 1);
    EXPECT_EQ(s.ThumbState(), 1);  // the mask is not consulted
    s.SetCaptureMask(true);
    move(56, 1);
    move(55, 1);
    EXPECT_EQ(s.ThumbState(), 0);
    // The press lands on the bar: the value jumps to the pointer (48).
    press();
    EXPECT_EQ(s.GetValue(), 48);
    release();
    item->Release(this);
}

TEST_F(Slider, AScrollBarWhoseThumbFillsTheBarDoesNotDrag) {
    TVorqSlider& s = *make(LT_SCROLLBAR, false, 0, 100);
    s.SetBarSize(4);  // as long as the thumb
    ASSERT_EQ(s.GetBarRect().Width(), 4);
    s.SetValue(30);
    EXPECT_EQ(s.ThumbOffset(), 0);
    move(6, 4);
    ASSERT_EQ(s.ThumbState(), 1);
    press();
    move(40, 4);
    move(0, 4);
    EXPECT_EQ(s.GetValue(), 30);
    release();
    EXPECT_EQ(events(), (std::vector<std::string>{"hold", "release"}));
}

TEST_F(Slider, SavedRecordReadsBackWithItsGates) {
    for (int32_t type : {LT_SLIDER, LT_SCROLLBAR}) {
        SCOPED_TRACE(type);
        reg->ResetScene();
        TVorqSlider& s = *make(type, true, -5, 300);
        s.SetValue(999);
        s.SetSmallChange(3);
        s.SetLargeChange(40);
        s.SetAlpha(200);
        s.SetPaused(true);
        s.SetCaptureMask(true);
        s.SetBarSize(60);
        s.SetOnIdle("idle");
        TMemoryStream out;
        s.SaveToStream(out);
        const std::vector<uint8_t> bytes(out.Bytes().begin(), out.Bytes().end());
        auto load = [&](size_t n) {
            auto* copy = static_cast<TVorqSlider*>(CreateStoredObject(reg.get(), type));
            TMemoryStream in;
            if (n) in.WriteBuffer(bytes.data(), int64_t(n));
            in.SetPosition(0);
            copy->LoadFromStream(in, 130);
            EXPECT_EQ(in.Remaining(), 0);
            return copy;
        };
        TVorqSlider* copy = load(bytes.size());
        TMemoryStream again;
        copy->SaveToStream(again);
        EXPECT_EQ(std::vector<uint8_t>(again.Bytes().begin(), again.Bytes().end()), bytes);
        EXPECT_EQ(copy->GetHeight(), s.GetHeight());
        EXPECT_EQ(copy->ThumbOffset(), s.ThumbOffset());
        EXPECT_EQ(copy->GetValue(), 300);
        for (size_t n = 0; n < bytes.size(); ++n) EXPECT_THROW(load(n), ECorruptData) << n;
        // Any byte replaced: read or refused, never a fault.
        LoadEachDamagedByte<TVorqSlider>(*reg, type, bytes, 130, [&](TVorqSlider& copy) {
            copy.SetParent(reg->ActiveBase());
            draw();
        });
    }

    // Version 118 has neither CAPTUREMASK nor BARSIZE.
    TMemoryStream old;
    WriteOldControlRecord(old, 118, "volume");
    WriteStreamString(old, "bar.tes");
    WriteStreamString(old, "thumb.tes");
    WriteStreamString(old, "");
    for (int32_t v : {0, 10, 4, 1, 255}) WriteStreamInteger(old, v);
    WriteStreamByte(old, 0);
    WriteStreamByte(old, 0);
    for (int i = 0; i < 4; ++i) WriteStreamString(old, "");
    WriteStreamInteger(old, 7);  // LARGECHANGE
    old.SetPosition(0);
    auto* back = static_cast<TVorqSlider*>(CreateStoredObject(reg.get(), LT_SCROLLBAR));
    back->LoadFromStream(old, 118);
    EXPECT_EQ(old.Remaining(), 0);
    EXPECT_FALSE(back->GetCaptureMask());
    EXPECT_EQ(back->GetBarSize(), 0);
    EXPECT_EQ(back->GetLargeChange(), 7);
    EXPECT_EQ(back->GetWidth(), 10);
    EXPECT_EQ(back->GetValue(), 4);
}

}  // namespace
