// The first object kinds on a registry with memory surfaces: how a box
// draws by its alpha code, the timer's ticks on a driven clock, property
// motions against Python's sine and truncation, cabinets, and each
// kind's saved record (written, read back to the same bytes, every
// truncation refused).
#include "script/game_clock.h"
#include "script/param.h"
#include "files/save_stream.h"
#include "objects/basic/box.h"
#include "objects/basic/cabinet.h"
#include "objects/object_kinds.h"
#include "objects/basic/prop_motion.h"
#include "objects/property_access.h"
#include "objects/basic/timer.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "tests/objects/kind_scene.h"
#include "tests/objects/record_io.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>

namespace {

class Kinds : public KindScene {
protected:

    void SetUp() override {
        GameClock = 0;
        OpenScene(64, 48);
    }
    template <class K>
    K* make() {
        return static_cast<K*>(CreateObjectByType(reg.get(), K(nullptr).GetCompoType()));
    }
    TVorqBox* box(int l, int t, int w, int h, int32_t color, TVorqControl* parent = nullptr) {
        auto* b = make<TVorqBox>();
        b->SetRect(l, t, w, h);
        b->SetColor(color);
        b->SetParent(parent ? parent : reg->ActiveBase());
        return b;
    }
    // A motion of the named object's property to target over duration ms.
    TVorqPropMotion* motion(const std::string& name, int property, long double target, int32_t duration) {
        auto* m = make<TVorqPropMotion>();
        m->ObjectName = name;
        m->Property = uint8_t(property);
        m->TargetValue = target;
        m->Duration = duration;
        return m;
    }
    // Every dirty rectangle redrawn onto the screen surface.
    // 0x00RRGGBB as the 32-bit screen holds it.
    int events(int id) const {
        int n = 0;
        for (int i = 0; i < reg->Events.Count(); ++i) n += reg->Events.Get(i).EventId == id;
        return n;
    }
};

// ---- box drawing ---------------------------------------------------------------------

TEST_F(Kinds, BoxDrawsItsFillAndFrameByTheAlphaCode) {
    // Colours are 0x00BBGGRR; the screen shows 0x00RRGGBB.
    struct Case {
        const char* what;
        int32_t alpha, border, border_colour, colour;
        uint32_t centre, edge;  // pixel at (20, 20) and at (11, 11) inside a frame of 4
    };
    const Case cases[] = {
        {"opaque fill", 255, 0, 0, 0x0000FF, 0xFF0000, 0xFF0000},
        {"alpha 0 draws nothing", 0, 0, 0, 0x0000FF, 0x404040, 0x404040},
        {"alpha 512 draws nothing", 512, 0, 0, 0x0000FF, 0x404040, 0x404040},
        // Half of 0xC0 added to 0x40 below: 0x40 + 0x60.
        {"additive 384 adds half", 384, 0, 0, 0x00C0C0, 0xA0A040, 0xA0A040},
        {"additive saturates", 511, 0, 0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF},
        {"no fill colour", 255, 0, 0, -1, 0x404040, 0x404040},
        {"border -1 fills only the inner rectangle", 255, 4, -1, 0xFF0000, 0x0000FF, 0x404040},
        {"frame and fill", 255, 4, 0x00FF00, 0xFF0000, 0x0000FF, 0x00FF00},
        {"frame without fill", 255, 4, 0x00FF00, -1, 0x404040, 0x00FF00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reg->ActiveBase()->SetColor(0x404040);
        TVorqBox* b = box(8, 8, 32, 24, c.colour);
        b->SetAlpha(c.alpha);
        b->SetBorderWidth(c.border);
        b->SetBorderColor(c.border_colour);
        box(30, 2, 2, 2, 0x00FFFF, b);
        draw();
        EXPECT_EQ(at(20, 20), c.centre);
        EXPECT_EQ(at(11, 11), c.edge);
        const uint32_t corner = c.border <= 0 ? c.centre : c.border_colour >= 0 ? 0x00FF00u : 0x404040u;
        EXPECT_EQ(at(8 + 31, 8 + 23), corner);
        EXPECT_EQ(at(7, 7), 0x404040u);    // outside
        EXPECT_EQ(at(40, 32), 0x404040u);  // just past the right and bottom
        // The child appears whatever the box itself draws.
        EXPECT_EQ(at(38, 10), 0xFFFF00u);
        b->FreeNow();
    }
}

TEST_F(Kinds, TranslucentBoxMixesWithWhatLiesBelow) {
    reg->ActiveBase()->SetColor(0x000000);
    TVorqBox* b = box(0, 0, 16, 16, 0x0000FF);
    for (int32_t alpha : {1, 64, 128, 254}) {
        SCOPED_TRACE(alpha);
        b->SetAlpha(alpha);
        draw();
        const uint32_t red = at(5, 5) >> 16;
        // Red over black by weight alpha / 255, within one step.
        EXPECT_NEAR(double(red), 255.0 * alpha / 255.0, 1.0);
        EXPECT_EQ(at(5, 5) & 0xFFFF, 0u);
    }
}

TEST_F(Kinds, BoxSourceAttachesAMotionFileOnlyForVmt) {
    static int made = 0;
    struct Motion : TControlMotion {
        bool Step() override { return ended = true; }
        bool Ended() const override { return ended; }
        void Restart() override { ended = false, ++restarts; }
        void ClearTarget() override {}
        void Reapply() override {}
        bool ended = false;
        int restarts = 0;
    };
    static Motion* last = nullptr;
    SetMotionMaker([](TVorqControl&, const std::string&) -> std::unique_ptr<TControlMotion> {
        ++made;
        auto m = std::make_unique<Motion>();
        last = m.get();
        return m;
    });
    TVorqBox* b = box(0, 0, 4, 4, 0);
    struct Step {
        const char* source;
        int made;
        bool has_motion;
    };
    for (const Step s : {Step{"walk.VMT", 1, true}, Step{"walk.VMT", 1, true}, Step{"pic.png", 1, false},
                         Step{"a.vmt", 2, true}, Step{"", 2, false}}) {
        SCOPED_TRACE(s.source);
        b->SetSource(s.source);
        EXPECT_EQ(made, s.made);
        EXPECT_EQ(b->GetMotion() != nullptr, s.has_motion);
    }
    // A motion that ended on a box without repeat starts again when REPEAT
    // goes on; with AUTOSCRAP the end frees the box.
    b->SetSource("a.vmt");
    b->SetOnPlayEnd("end.vsb");
    EXPECT_FALSE(b->Update());
    EXPECT_EQ(events(PR_ONPLAYEND), 1);
    b->SetRepeat(true);
    EXPECT_EQ(last->restarts, 1);
    b->SetAutoScrap(true);
    EXPECT_TRUE(b->Update());
    SetMotionMaker(nullptr);
}

// ---- timer ---------------------------------------------------------------------------

TEST_F(Kinds, TimerTicksEveryDelayAndCatchesUpOneEventPerFrame) {
    auto* t = make<TVorqTimer>();
    t->SetOnNotify("tick.vsb");
    t->SetDelay(1000);
    // Frames of 16 ms, a stall of 3 s at 2000; the handler takes each event
    // in the frame after it was queued.
    std::vector<uint32_t> fired;
    for (uint32_t clock = 16; clock <= 6100; clock += clock == 2000 ? 3000 : 16) {
        GameClock = clock;
        while (reg->Events.Count()) reg->Events.Remove(&reg->Events.Get(0));
        reg->Update();
        if (events(PR_ONNOTIFY)) fired.push_back(clock);
    }
    // 1008 and 2000 on time; after the stall at 5000 three periods are owed
    // and come in consecutive frames; the next is due at 6000 (frame 6008).
    const std::vector<uint32_t> want = {1008, 2000, 5000, 5016, 5032, 6008};
    EXPECT_EQ(fired, want);
}

TEST_F(Kinds, TimerRules) {
    struct Case {
        const char* what;
        int32_t delay;
        bool take;        // the handler takes and removes each event
        int frames;       // of 16 ms
        int want_events;  // queued over all frames
    };
    const Case cases[] = {
        {"negative delay never ticks", -5, true, 100, 0},
        {"delay 0 ticks every frame its event was taken", 0, true, 10, 10},
        {"an event still waiting blocks the next", 100, false, 100, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GameClock = 0;
        reg->Events.Clear();
        auto* t = make<TVorqTimer>();
        t->SetDelay(c.delay);
        int queued = 0;
        for (int i = 1; i <= c.frames; ++i) {
            GameClock = uint32_t(i) * 16;
            reg->Update();
            queued += events(PR_ONNOTIFY);
            if (c.take) reg->Events.Clear();
        }
        if (!c.take) queued = events(PR_ONNOTIFY);
        EXPECT_EQ(queued, c.want_events);
        t->FreeNow();
    }
}

TEST_F(Kinds, TimerWithItsLastTickAheadOfTheClockDoesNotFlood) {
    GameClock = 100000;
    auto* t = make<TVorqTimer>();
    t->SetDelay(100);
    // The clock starts again from 0 (a new run): without care the gap reads
    // as nearly 2^32 ms and an event is owed in every frame for weeks.
    int queued = 0;
    for (uint32_t clock = 16; clock <= 1600; clock += 16) {
        GameClock = clock;
        reg->Update();
        queued += events(PR_ONNOTIFY);
        reg->Events.Clear();
    }
    EXPECT_LE(queued, 16);
    EXPECT_GE(queued, 14);
    // The clock wrapping past 2^32 in play is an ordinary gap.
    GameClock = 0xFFFFFFF0u;
    t->SetDelay(100);
    GameClock = 0x00000060u;  // 112 ms later
    reg->Update();
    EXPECT_EQ(events(PR_ONNOTIFY), 1);
}

TEST_F(Kinds, AutoScrapTimerGoesWhenItsFirstHandlerHasFinished) {
    auto* t = make<TVorqTimer>();
    t->SetDelay(10);
    t->SetAutoScrap(true);
    GameClock = 20;
    reg->Update();
    ASSERT_EQ(events(PR_ONNOTIFY), 1);
    reg->Events.Get(0).State = 1;  // the handler runs
    GameClock = 40;
    reg->Update();
    EXPECT_EQ(reg->IndexOfObject(t), 0);
    reg->Events.Clear();  // the handler returned
    reg->Update();
    EXPECT_EQ(reg->GetObjectCount(), 0);
}

// ---- property motion -----------------------------------------------------------------

struct GoldenRow {
    int easing, d, t;
    long double s, e, value;
    int32_t whole;
};

std::vector<GoldenRow> golden_rows() {
    std::ifstream f(std::string(VORQ_TEST_DATA) + "/objects/prop_motion.txt");
    std::vector<GoldenRow> rows;
    for (std::string line; std::getline(f, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream in(line);
        GoldenRow r{};
        double s, e, v;
        in >> r.easing >> r.d >> r.t >> s >> e >> v >> r.whole;
        r.s = s, r.e = e, r.value = v;
        rows.push_back(r);
    }
    return rows;
}

TEST_F(Kinds, PropertyMotionValuesFollowPythonsSineAndWholePropertiesTruncate) {
    const std::vector<GoldenRow> rows = golden_rows();
    ASSERT_GT(rows.size(), 200u);
    for (const GoldenRow& r : rows) {
        SCOPED_TRACE(::testing::Message() << r.easing << " d=" << r.d << " t=" << r.t);
        const long double v = PropMotionValue(uint8_t(r.easing), r.t, r.d, r.s, r.e);
        EXPECT_NEAR(double(v), double(r.value), 1e-9);
        // The same through a motion on a box's LEFT, a whole property: the
        // value truncated toward zero.
        TVorqBox* b = box(int32_t(r.s), 0, 4, 4, 0);
        b->SetName("target");
        auto* m = motion("target", PR_LEFT, r.e, r.d);
        m->Easing = uint8_t(r.easing);
        m->Step(0);  // the first step reads the start value
        m->Elapsed = r.t;
        const bool done = m->Step(0);
        EXPECT_EQ(b->GetLeft(), r.whole);
        EXPECT_EQ(done, r.t != 0 && r.t >= r.d - 1);
        m->FreeNow();
        b->FreeNow();
    }
}

TEST_F(Kinds, PropertyMotionTouchesNothingWithoutItsObject) {
    reg->ActiveBase()->SetLeft(0);
    struct Case {
        const char* what;
        std::string name;
        int property;
    };
    for (const Case& c : {Case{"empty name (would find the shown layer)", "", PR_LEFT},
                          Case{"no such object", "nobody", PR_LEFT}, Case{"no property", "b", 255}}) {
        SCOPED_TRACE(c.what);
        TVorqBox* b = box(5, 0, 4, 4, 0);
        b->SetName("b");
        auto* m = motion(c.name, c.property, 100, 10);
        EXPECT_TRUE(m->Step(16));
        EXPECT_EQ(b->GetLeft(), 5);
        EXPECT_EQ(reg->ActiveBase()->GetLeft(), 0);
        m->FreeNow();
        b->FreeNow();
    }
    // The object deleted mid-way: the next step ends the motion.
    TVorqBox* b = box(0, 0, 4, 4, 0);
    b->SetName("b");
    auto* m = motion("b", PR_TOP, 100, 1000);
    EXPECT_FALSE(m->Step(16));
    b->FreeNow();
    TVorqBox* other = box(0, 0, 4, 4, 0);
    other->SetName("b");  // a new object of the same name is not the one it moved
    EXPECT_TRUE(m->Step(16));
    EXPECT_EQ(other->GetTop(), 0);
}

TEST_F(Kinds, PropertyMotionDurationOneAndPause) {
    TVorqBox* b = box(10, 0, 4, 4, 0);
    b->SetName("b");
    auto* m = motion("b", PR_LEFT, 50, 1);
    EXPECT_FALSE(m->Step(16));
    EXPECT_EQ(b->GetLeft(), 10);
    EXPECT_TRUE(m->Step(16));
    EXPECT_EQ(b->GetLeft(), 50);
    m->FreeNow();
    // Paused: elapsed stands still, and resumes where it stood.
    m = motion("b", PR_LEFT, 150, 100);
    m->Step(20);
    m->Step(20);
    EXPECT_EQ(b->GetLeft(), 70);
    m->SetPaused(true);
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(m->Step(20));
    EXPECT_EQ(m->Elapsed, 40);
    m->SetPaused(false);
    m->Step(20);
    EXPECT_EQ(b->GetLeft(), 90);
}

// ---- cabinet -------------------------------------------------------------------------

TEST_F(Kinds, CabinetFreezesWhatItHoldsAndHidesIt) {
    static int steps = 0;
    struct Motion : TControlMotion {
        bool Step() override { return ++steps, false; }
        bool Ended() const override { return false; }
        void Restart() override {}
        void ClearTarget() override {}
        void Reapply() override {}
    };
    SetMotionMaker([](TVorqControl&, const std::string&) -> std::unique_ptr<TControlMotion> {
        return std::make_unique<Motion>();
    });
    auto* cab = make<TVorqCabinet>();
    cab->SetParent(reg->GetBaseAt(0));
    TVorqBox* b = box(0, 0, 8, 8, 0x0000FF);
    b->SetName("b");
    b->SetSource("m.vmt");
    reg->Update();
    EXPECT_EQ(steps, 1);
    EXPECT_EQ(MoveSelectedChildren(*reg->ActiveBase(), *cab, [](const std::string& n) { return n == "b"; }), 1);
    EXPECT_TRUE(b->IsInCabinet());
    EXPECT_FALSE(b->GetVisible());
    reg->Update();
    reg->Update();
    EXPECT_EQ(steps, 1);
    draw();
    EXPECT_EQ(at(2, 2), 0u);
    MoveSelectedChildren(*cab, *reg->ActiveBase(), [](const std::string&) { return true; });
    reg->Update();
    EXPECT_EQ(steps, 2);
    draw();
    EXPECT_EQ(at(2, 2), 0xFF0000u);
    // A cabinet on the layer being emptied is never moved into itself.
    EXPECT_EQ(MoveSelectedChildren(*reg->GetBaseAt(0), *cab, [](const std::string&) { return true; }), 1);
    EXPECT_EQ(cab->GetParent(), reg->GetBaseAt(0));
    SetMotionMaker(nullptr);
}

// ---- saved records -------------------------------------------------------------------

struct RecordCase {
    const char* kind;
    std::function<TVorqObject*(TVorqBaseList&)> build;
};

TEST_F(Kinds, EachRecordLoadsBackToTheSameBytesAndEveryTruncationIsRefused) {
    const RecordCase cases[] = {
        {"box",
         [](TVorqBaseList& r) {
             auto* b = static_cast<TVorqBox*>(CreateObjectByType(&r, LT_BOX));
             b->SetName("panel");
             b->SetRect(3, 4, 50, 60);
             b->SetColor(0x112233);
             b->SetBorderWidth(2);
             b->SetBorderColor(0x445566);
             b->SetAlpha(300);
             b->SetOnIdle("idle.vsb");
             b->SetRepeat(true);
             b->SetAutoScrap(true);
             b->SetOnPlayEnd("end.vsb");
             b->SetPaused(true);
             b->SetAniPaused(true);
             b->SetParent(r.ActiveBase());
             auto* child = static_cast<TVorqBox*>(CreateObjectByType(&r, LT_BOX));
             child->SetName("inner");
             child->SetAlpha(128);
             child->SetParent(b);
             return b;
         }},
        {"timer",
         [](TVorqBaseList& r) {
             auto* t = static_cast<TVorqTimer*>(CreateObjectByType(&r, LT_TIMER));
             t->SetName("clock");
             t->SetOnNotify("tick.vsb:go");
             t->SetDelay(250);
             t->SetAutoScrap(true);
             t->SetPaused(true);
             return t;
         }},
        {"property motion",
         [](TVorqBaseList& r) {
             auto* m = static_cast<TVorqPropMotion*>(CreateObjectByType(&r, LT_PROPMOTION));
             m->SetName("slide");
             m->ObjectName = "panel";
             m->Property = PR_ALPHA;
             m->TargetValue = 0.1L;  // not a binary fraction: all ten bytes matter
             m->Duration = 700;
             m->Easing = 2;
             m->StartValue = -1.0L / 3;
             m->Elapsed = 120;
             m->SetPaused(true);
             return m;
         }},
        {"cabinet",
         [](TVorqBaseList& r) {
             auto* c = static_cast<TVorqCabinet*>(CreateObjectByType(&r, LT_CABINET));
             c->SetName("shelf");
             c->SetParent(r.GetBaseAt(0));
             auto* b = static_cast<TVorqBox*>(CreateObjectByType(&r, LT_BOX));
             b->SetName("kept");
             b->SetColor(0x00FF00);
             b->SetParent(c);
             return c;
         }},
    };
    for (const RecordCase& c : cases) {
        SCOPED_TRACE(c.kind);
        reg->ResetScene();
        TVorqObject* original = c.build(*reg);
        const std::vector<uint8_t> bytes = SavedRecord(*original);
        const uint8_t type = original->GetCompoType();
        {
            TVorqObject* copy = LoadRecord<TVorqObject>(*reg, type, bytes, bytes.size(), 130);
            EXPECT_EQ(SavedRecord(*copy), bytes);
        }
        // Any byte replaced: the record loads or is refused as damaged.
        for (size_t i = 0; i < bytes.size(); ++i) {
            for (uint8_t v : {uint8_t(0xFF), uint8_t(bytes[i] ^ 0x80)}) {
                reg->ResetScene();
                std::vector<uint8_t> bad = bytes;
                bad[i] = v;
                TVorqObject* copy = CreateStoredObject(reg.get(), type);
                TMemoryStream in;
                in.WriteBuffer(bad.data(), int64_t(bad.size()));
                in.SetPosition(0);
                try {
                    copy->LoadFromStream(in, 130);
                } catch (const ECorruptData&) {
                }
            }
        }
        for (size_t n = 0; n < bytes.size(); ++n)
            EXPECT_THROW(LoadRecord<TVorqObject>(*reg, type, bytes, n, 130), ECorruptData)
                << n << " of " << bytes.size();
    }
}

TEST_F(Kinds, OlderRecordsLeaveTheLaterFieldsAtTheirDefaults) {
    // A version-125 property motion has no paused byte.
    TMemoryStream m;
    auto* t = make<TVorqPropMotion>();
    t->Property = PR_TOP;
    t->SetPaused(true);
    std::vector<uint8_t> pm = SavedRecord(*t);
    pm.pop_back();  // the paused byte
    m.WriteBuffer(pm.data(), int64_t(pm.size()));
    m.SetPosition(0);
    auto* loaded = make<TVorqPropMotion>();
    loaded->LoadFromStream(m, 125);
    EXPECT_EQ(m.Remaining(), 0);
    EXPECT_FALSE(loaded->GetPaused());
    EXPECT_EQ(loaded->Property, PR_TOP);
}

}  // namespace
