// Small games written with the fixture writers and played headless: block
// structure, loops, jumps and calls, waits, scopes, events, the page cache,
// and the guards that keep a frame from spinning.
#include "engine/call_man.h"
#include "engine/commands.h"
#include "script/game_clock.h"
#include "shell/headless_runner.h"
#include "script/param_collection.h"
#include "engine/project.h"
#include "tests/support/fixture_writers.h"
#include "platform/display/message_box.h"
#include "platform/system/trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

class Game : public ::testing::Test {
protected:
    TTestGameFolder folder;
    std::unique_ptr<THeadlessRunner> runner;

    void page(const std::string& name, const TPageWriter& w) { folder.WritePage(name, w); }
    void start(const std::string& start_page = "main.vsb") {
        folder.WriteProject(TestProjectData(start_page));
        runner = std::make_unique<THeadlessRunner>(folder.Path());
        ASSERT_TRUE(runner->Running());
    }
    TCallMan& cm() { return *runner->Project().CallMan; }
    static int32_t var(const std::string& name) {
        TParamCollectionItem* v = Params->Find(name);
        EXPECT_NE(v, nullptr) << name;
        return v ? v->GetAsInt() : -9999;
    }
    static std::string text(const std::string& name) {
        TParamCollectionItem* v = Params->Find(name);
        EXPECT_NE(v, nullptr) << name;
        return v ? v->GetAsString() : "?";
    }
    static bool exists(const std::string& name) { return Params->Find(name) != nullptr; }
    static void set(const std::string& name, int32_t v) { Params->Find(name)->SetAsInt(v); }
};

std::vector<std::string> g_trace;
void capture_trace(const char* line) { g_trace.emplace_back(line); }

}  // namespace

TEST_F(Game, IfElseifElseByIndent) {
    TPageWriter w;
    w.VarNew("r", PT_INT, "0");
    w.VarNew("a", PT_INT, "2");
    w.VarNew("none", PT_INT, "0");
    w.If("a == 1");
    w.Indent = 1;
    w.Calc("r = 1");
    w.Indent = 0;
    w.Elseif("a == 2");
    w.Indent = 1;
    w.Calc("r = 2");
    w.If("1");
    w.Indent = 2;
    w.Calc("r = r + 10");
    w.Indent = 1;
    w.Else();
    w.Indent = 2;
    w.Calc("r = r + 100");
    w.Indent = 0;
    w.Elseif("a > 0");  // also true, but only the first true branch runs
    w.Indent = 1;
    w.Calc("r = 3");
    w.Indent = 0;
    w.Else();
    w.Indent = 1;
    w.Calc("r = 4");
    w.Indent = 0;
    // A condition without a result counts as false.
    w.If("");
    w.Indent = 1;
    w.Calc("none = 1");
    w.Indent = 0;
    w.Else();
    w.Indent = 1;
    w.Calc("none = 2");
    w.Indent = 0;
    page("main.vsb", w);
    start();
    runner->Frame();
    EXPECT_EQ(var("r"), 12);
    EXPECT_EQ(var("none"), 2);
    EXPECT_EQ(cm().Page, nullptr);  // ran off the end in one frame
}

TEST_F(Game, WhileWithBreakAndContinue) {
    TPageWriter w;
    w.VarNew("i", PT_INT, "0");
    w.VarNew("sum", PT_INT, "0");
    w.VarNew("n", PT_INT, "0");
    w.While("i < 10");
    w.Indent = 1;
    w.Calc("i = i + 1");
    w.Break("i == 8");
    w.If("i % 2 == 0");
    w.Indent = 2;
    w.Continue("1");
    w.Indent = 1;
    w.Calc("sum = sum + i");
    w.EndWhile();
    w.Indent = 0;
    w.WhileInit("k = 0");  // its own statement fails quietly: k does not exist
    w.VarNew("k", PT_INT, "0");
    w.WhileInit("k = 0");
    w.While("k < 5");
    w.Indent = 1;
    w.Calc("n = n + 1");
    w.EndWhile("k = k + 1");
    page("main.vsb", w);
    start();
    runner->Frame();
    EXPECT_EQ(var("i"), 8);
    EXPECT_EQ(var("sum"), 1 + 3 + 5 + 7);
    EXPECT_EQ(var("n"), 5);
    EXPECT_EQ(var("k"), 5);
}

TEST_F(Game, BreakWithoutTargetLeavesThePage) {
    TPageWriter sub;
    sub.Break("1");  // target -1: like Exit
    sub.Calc("x = 1");
    page("sub.vsb", sub);
    TPageWriter w;
    w.VarNew("x", PT_INT, "0");
    w.VarNew("y", PT_INT, "0");
    w.Call("sub.vsb");
    w.Calc("y = 1");
    page("main.vsb", w);
    start();
    runner->Frame();
    EXPECT_EQ(var("x"), 0);
    EXPECT_EQ(var("y"), 1);
}

TEST_F(Game, JumpAndCallWithArgumentsAndResult) {
    TPageWriter sub(109, PT_INT);
    sub.Calc("count = @ParamCount");
    sub.Calc("first = @ParamStr[0]");
    sub.Calc("second = @ParamStr[1]");
    sub.Calc("@Result = first * 10");
    sub.Exit("1");
    sub.Calc("count = 99");  // never reached
    page("sub.vsb", sub);
    TPageWriter other;
    other.Calc("skipped = 1");
    other.Calc("jumped = 1");
    page("other.vsb", other);
    TPageWriter w;
    for (const char* v : {"count", "res", "after", "skipped", "jumped", "missing"}) w.VarNew(v, PT_INT, "0");
    w.VarNew("first", PT_INT, "0");
    w.VarNew("second", PT_STR, "\"\"");
    // Three argument expressions; the empty one has no result and adds nothing.
    w.Call("sub.vsb", {"4 + 3", "\"text\"", ""}, "res");
    w.Calc("after = @ParamCount + 1");
    w.Jump("nothere.vsb");  // missing pages: nothing but move on
    w.Call("nothere.vsb");
    w.Calc("missing = 1");
    w.Jump("other.vsb", 1);
    page("main.vsb", w);
    start();
    runner->Frame();
    EXPECT_EQ(var("count"), 2);
    EXPECT_EQ(var("first"), 7);
    EXPECT_EQ(text("second"), "text");
    EXPECT_EQ(var("res"), 70);
    EXPECT_EQ(var("after"), 1);  // the caller's own arguments are back (none)
    EXPECT_EQ(var("missing"), 1);
    EXPECT_EQ(var("skipped"), 0);
    EXPECT_EQ(var("jumped"), 1);
    EXPECT_EQ(cm().Stack.Count(), 0);
}

TEST_F(Game, WaitByTimeCountsFromTheNextFrame) {
    TPageWriter w;
    w.VarNew("t", PT_INT, "0");
    w.Wait("30");
    w.Calc("t = 1");
    page("main.vsb", w);
    start();
    runner->Frame(16);  // the wait starts; this frame is not counted
    runner->Frame(16);  // 30 - 16 = 14, still above 0
    EXPECT_EQ(var("t"), 0);
    runner->Frame(16);  // 14 - 16: over
    EXPECT_EQ(var("t"), 1);
}

TEST_F(Game, WaitByCondition) {
    TPageWriter w;
    w.VarNew("hold", PT_INT, "1");
    w.VarNew("t", PT_INT, "0");
    w.VarNew("quick", PT_INT, "0");
    w.Wait("0", "hold");  // 0 ms with a true condition: until it turns false
    w.Calc("t = 1");
    w.Wait("100", "0");  // a false condition ends a wait at once
    w.Calc("quick = 1");
    page("main.vsb", w);
    start();
    runner->Frames(5);
    EXPECT_EQ(var("t"), 0);
    set("hold", 0);
    runner->Frame();
    EXPECT_EQ(var("t"), 1);
    EXPECT_EQ(var("quick"), 1);
}

TEST_F(Game, VariableScopesAcrossCalls) {
    TPageWriter sub;
    sub.VarNew("l", PT_INT, "7", 2);       // local of depth 1
    sub.VarNew("auto", PT_INT, "3", 1);    // goes with the call
    sub.VarNew("glob", PT_INT, "4", 0);    // stays
    sub.VarNew("status", PT_INT, "9", 3);  // already there: keeps 5
    sub.Calc("inner = l");
    page("sub.vsb", sub);
    TPageWriter w;
    w.VarNew("status", PT_INT, "5", 3);
    w.VarNew("l", PT_INT, "1", 2);  // local of depth 0
    w.VarNew("inner", PT_INT, "0");
    w.VarNew("outer", PT_INT, "0");
    w.Call("sub.vsb");
    w.Calc("outer = l");
    page("main.vsb", w);
    start();
    runner->Frame();
    EXPECT_EQ(var("inner"), 7);
    EXPECT_EQ(var("outer"), 1);
    EXPECT_FALSE(exists("auto"));
    EXPECT_EQ(var("glob"), 4);
    EXPECT_EQ(var("status"), 5);
    EXPECT_TRUE(Params->Find("status")->Kept());
    EXPECT_EQ(Params->CurrentFrameId(), 0);
}

TEST_F(Game, EventHandlerInterruptsAndResumesAWait) {
    TPageWriter handler;
    handler.Calc("n = n + 1");
    handler.Calc("who = @Sender");
    handler.Calc("arg = @ParamStr[0]");
    page("btn.vsb", handler);
    TPageWriter w;
    w.VarNew("n", PT_INT, "0");
    w.VarNew("done", PT_INT, "0");
    w.VarNew("who", PT_STR, "\"\"");
    w.VarNew("arg", PT_STR, "\"\"");
    w.Wait("100");
    w.Calc("done = 1");
    page("main.vsb", w);
    start();
    runner->Scene().AddObject("button1");
    runner->Frame();  // the wait starts
    TArrayString args;
    args.Add("clicked");
    runner->Scene().QueueEvent("btn.vsb", "button1", args);
    runner->Frame();
    EXPECT_EQ(var("n"), 1);
    EXPECT_EQ(text("who"), "button1");
    EXPECT_EQ(text("arg"), "clicked");
    EXPECT_EQ(runner->Scene().Events().Count(), 0);  // removed when its handler returned
    EXPECT_EQ(cm().State, 0);
    // The wait kept its count across the handler: 100 ms from frame 2 on
    // ends in frame 8.
    runner->Frames(5);
    EXPECT_EQ(var("done"), 0);
    runner->Frame();
    EXPECT_EQ(var("done"), 1);
    EXPECT_EQ(var("n"), 1);
}

TEST_F(Game, EventLabelsAndMissingObjects) {
    TPageWriter handler;
    handler.Calc("n = n + 1");
    handler.Label("second");
    handler.Calc("m = m + 1");
    handler.Calc("who = @Sender");
    page("title.vsb", handler);
    TPageWriter w;
    w.VarNew("n", PT_INT, "0");
    w.VarNew("m", PT_INT, "0");
    w.VarNew("who", PT_STR, "\"x\"");
    w.Wait("0");
    page("main.vsb", w);
    start();
    runner->Frame();
    // A label naming a film runs the page of the same name from its label;
    // a handler label too short to name a page is dropped without holding
    // up the events behind it; the object of the event has gone.
    runner->Scene().QueueEvent("ab", "ghost");
    runner->Scene().QueueEvent("title.vcm:second", "ghost");
    runner->Frames(3);
    EXPECT_EQ(var("n"), 0);
    EXPECT_EQ(var("m"), 1);
    EXPECT_EQ(text("who"), "");
    // A label that no command carries starts at command 0; a missing page
    // leaves its event queued.
    runner->Scene().QueueEvent("title.vcm:nolabel", "ghost");
    runner->Frames(2);
    EXPECT_EQ(var("n"), 1);
    EXPECT_EQ(var("m"), 2);
    runner->Scene().QueueEvent("absent.vsb", "ghost");
    runner->Frames(2);
    EXPECT_EQ(runner->Scene().Events().Count(), 1);
}

TEST_F(Game, EventsAfterTheMainPageEnded) {
    TPageWriter handler;
    handler.Calc("n = n + 1");
    page("btn.vsb", handler);
    TPageWriter w;
    w.VarNew("n", PT_INT, "0");
    page("main.vsb", w);
    start();
    runner->Frame();
    EXPECT_EQ(cm().Page, nullptr);
    runner->Scene().QueueEvent("btn.vsb", "b");
    runner->Frame();
    runner->Scene().QueueEvent("btn.vsb", "b");
    runner->Frame();
    EXPECT_EQ(var("n"), 2);
    EXPECT_EQ(cm().Page, nullptr);
    EXPECT_EQ(cm().Stack.Count(), 0);
}

TEST_F(Game, BlockingWaitHoldsEventsBack) {
    TPageWriter handler;
    handler.Calc("n = n + 1");
    page("btn.vsb", handler);
    TPageWriter w;
    w.VarNew("n", PT_INT, "0");
    w.Wait("50", "", "1");
    w.Wait("0");
    page("main.vsb", w);
    start();
    runner->Frame();
    runner->Scene().QueueEvent("btn.vsb", "b");
    runner->Frames(3);  // 50 -> 34 -> 18 -> 2
    EXPECT_EQ(var("n"), 0);
    runner->Frame();  // the wait ends; the handler may start
    EXPECT_EQ(var("n"), 1);
}

TEST_F(Game, PageCacheLimit) {
    // A chain of jumps: each new page pushes out the least recently used one.
    for (int i = 1; i <= 11; ++i) {
        TPageWriter p;
        p.Calc("hops = hops + 1");
        if (i < 11) p.Jump("j" + std::to_string(i + 1) + ".vsb");
        page("j" + std::to_string(i) + ".vsb", p);
    }
    TPageWriter w;
    w.VarNew("hops", PT_INT, "0");
    w.Jump("j1.vsb");
    page("main.vsb", w);
    start();
    runner->Frame();
    EXPECT_EQ(var("hops"), 11);
    ASSERT_EQ(cm().PageCount(), 10);
    EXPECT_EQ(cm().CachedPage(0)->Name, "j11.vsb");
    EXPECT_EQ(cm().CachedPage(9)->Name, "j2.vsb");
}

TEST_F(Game, PageCacheKeepsTheRunningPage) {
    TPageWriter w;
    w.VarNew("calls", PT_INT, "0");
    for (int i = 1; i <= 11; ++i) {
        TPageWriter p;
        p.Calc("calls = calls + 1");
        page("p" + std::to_string(i) + ".vsb", p);
        w.Call("p" + std::to_string(i) + ".vsb");
    }
    page("main.vsb", w);
    start();
    runner->Frame();
    EXPECT_EQ(var("calls"), 11);
    // Each return moves the caller to the front again, so the pages called
    // long ago go and the caller stays.
    EXPECT_EQ(cm().PageCount(), 10);
    bool main_cached = false;
    for (int i = 0; i < cm().PageCount(); ++i) main_cached |= cm().CachedPage(i)->Name == "main.vsb";
    EXPECT_TRUE(main_cached);
}

TEST_F(Game, StayingCommandEndsTheFrame) {
    TPageWriter w;
    w.VarNew("n", PT_INT, "0");
    w.Calc("n = n + 1");
    w.Jump("main.vsb", 2);  // jumps onto itself, continue flag set
    page("main.vsb", w);
    start();
    runner->Frames(3);
    EXPECT_EQ(var("n"), 1);
    EXPECT_EQ(cm().PC, 2);
}

TEST_F(Game, FailingCommandEndsTheFrame) {
    TPageWriter w;
    w.VarNew("n", PT_INT, "0");
    w.While("1");
    w.Indent = 1;
    w.Calc("n = n + 1");
    w.VarNew("", PT_INT, "0");  // "変数名がありません", after moving on
    w.EndWhile();
    page("main.vsb", w);
    start();
    runner->Frames(3);
    EXPECT_EQ(var("n"), 3);
}

// Kinds this build cannot run yet are passed over, each with a trace line
// naming the command, and play goes on after them.
TEST_F(Game, UnavailableCommandsArePassedAndTraced) {
    const struct {
        uint8_t op;
        std::string record;
    } cases[] = {
        {opParticleNew, ""},
        {opMemoNew, ""},
    };
    TPageWriter w;
    w.SetMask(opBoxNew, 0);
    w.VarNew("after", PT_INT, "0");
    std::vector<std::pair<int, std::string>> expected;  // line, kind
    w.Line = 50;
    w.Component(opBoxNew, {{0, "\"box\""}});
    expected.emplace_back(50, "BoxNew");
    for (const auto& c : cases) {
        ++w.Line;
        w.Add(c.op, c.record);
        expected.emplace_back(w.Line, OpcodeName(c.op));
    }
    w.Line = 0;
    w.Calc("after = 1");
    page("main.vsb", w);
    start();
    g_trace.clear();
    VorqLogWrite = capture_trace;
    runner->Frames(static_cast<int>(expected.size()) + 2);
    VorqLogWrite = nullptr;
    EXPECT_EQ(var("after"), 1);
    for (const auto& [line, kind] : expected) {
        const std::string tail = "main.vsb(" + std::to_string(line) + ") " + kind + ": not available in this build";
        const bool found = std::any_of(g_trace.begin(), g_trace.end(), [&](const std::string& t) {
            return t.size() > tail.size() && t.compare(t.size() - tail.size(), tail.size(), tail) == 0;
        });
        EXPECT_TRUE(found) << tail;
    }
}

TEST_F(Game, SkippedCommandIsNeverPrepared) {
    TPageWriter w;
    w.VarNew("done", PT_INT, "0");
    w.Skip = true;
    w.Wait("1000");
    w.Skip = false;
    w.Calc("done = 1");
    page("main.vsb", w);
    start();
    runner->Frame();
    EXPECT_EQ(var("done"), 1);
    auto* wait = dynamic_cast<TComWait*>(cm().CachedPage(0)->GetItem(1));
    ASSERT_NE(wait, nullptr);
    EXPECT_EQ(wait->FirstFrame, 0);  // Prepare would have set it to 1
}

TEST_F(Game, TerminateStopsPlay) {
    TPageWriter w;
    w.VarNew("x", PT_INT, "0");
    w.Terminate();
    w.Calc("x = 1");
    page("main.vsb", w);
    start();
    runner->Frames(3);
    EXPECT_TRUE(Terminating);
    EXPECT_FALSE(runner->Running());
    EXPECT_EQ(var("x"), 0);
}

TEST_F(Game, PCResetRestartsAPage) {
    TPageWriter w;
    w.VarNew("c", PT_INT, "0");
    w.VarNew("done", PT_INT, "0");
    w.Calc("c = c + 1");
    w.If("c < 3");
    w.Indent = 1;
    w.PCReset("main.vsb", true, 2);
    w.Indent = 0;
    w.Calc("done = 1");
    page("main.vsb", w);
    start();
    runner->Frame();
    EXPECT_EQ(var("c"), 3);
    EXPECT_EQ(var("done"), 1);
}

TEST_F(Game, DoEventEndsTheFrameForHandlers) {
    TPageWriter handler;
    handler.Calc("n = n + 1");
    page("btn.vsb", handler);
    TPageWriter w;
    w.VarNew("n", PT_INT, "0");
    w.VarNew("seen", PT_INT, "0");
    w.DoEvent();
    w.Calc("seen = n");
    page("main.vsb", w);
    start();
    runner->Frame();
    EXPECT_EQ(cm().PC, 3);  // the frame ended after DoEvent
    runner->Scene().QueueEvent("btn.vsb", "b");
    runner->Frame();
    EXPECT_EQ(var("seen"), 1);  // the handler ran before the next command
}

TEST_F(Game, TraceLines) {
    TPageWriter handler;
    handler.Calc("n = n + 1");
    page("btn.vsb", handler);
    TPageWriter w;
    w.VarNew("n", PT_INT, "0");
    w.Wait("0");
    page("main.vsb", w);
    start();
    g_trace.clear();
    VorqLogWrite = capture_trace;
    runner->Frames(3);  // the waiting command is traced once
    runner->Scene().QueueEvent("btn.vsb", "b");
    runner->Frame();
    VorqLogWrite = nullptr;
    const std::vector<std::string> expected = {"00000010 : main.vsb(1)", "00000010 : main.vsb(2)",
                                               "00000040 : <Event>btn.vsb(1)", "00000040 : btn.vsb(1)",
                                               "00000040 : main.vsb(2)"};
    EXPECT_EQ(g_trace, expected);
}

TEST_F(Game, InterpreterStateRoundTrip) {
    TPageWriter w;
    w.VarNew("t", PT_INT, "0");
    w.Wait("100");
    w.Calc("t = 1");
    page("main.vsb", w);
    start();
    runner->Frames(3);  // 100 - 2 x 16 = 68 left
    TMemoryStream saved;
    cm().SaveToStream(saved);
    TCallMan other;
    saved.SetPosition(0);
    other.LoadFromStream(saved, 130);
    EXPECT_EQ(saved.GetPosition(), saved.GetSize());
    ASSERT_NE(other.Page, nullptr);
    EXPECT_EQ(other.Page->Name, "main.vsb");
    EXPECT_EQ(other.PC, 1);
    EXPECT_TRUE(other.Prepared);
    auto* wait = dynamic_cast<TComWait*>(other.Page->GetItem(1));
    ASSERT_NE(wait, nullptr);
    EXPECT_EQ(wait->Remaining, 68);
    TMemoryStream again;
    other.SaveToStream(again);
    EXPECT_EQ(std::vector<uint8_t>(again.Bytes().begin(), again.Bytes().end()),
              std::vector<uint8_t>(saved.Bytes().begin(), saved.Bytes().end()));

    // Before save version 116 no nesting level is stored: it becomes 2.
    TCallMan fresh;
    fresh.NestLevel = 9;
    fresh.Start("main.vsb");
    fresh.NestLevel = 7;
    TMemoryStream s;
    fresh.SaveToStream(s);
    s.SetSize(s.GetSize() - 4);
    s.SetPosition(0);
    TCallMan old;
    old.NestLevel = 5;
    old.LoadFromStream(s, 115);
    EXPECT_EQ(old.NestLevel, 2);
    EXPECT_EQ(s.GetPosition(), s.GetSize());

    // A driver state no version writes is corrupt data.
    TMemoryStream bad;
    fresh.State = 0;
    fresh.SaveToStream(bad);
    bad.SetPosition(4 + 8 + 4 + 1 + 1);
    const int32_t nine = 9;
    bad.WriteBuffer(&nine, 4);
    bad.SetPosition(0);
    TCallMan refused;
    EXPECT_THROW(refused.LoadFromStream(bad, 130), ECorruptData);
}

// A frame's result is one of the four storable kinds or none: any other
// type code leaves the size of the value unknown and the save is refused.
TEST(StackList, UnknownResultTypeIsCorrupt) {
    TStack f;
    f.PageName = "a";
    f.ResultValue = CreateParam(PT_INT);
    f.ResultValue->SetAsInt(12);
    TMemoryStream m;
    f.SaveToStream(m);
    m.SetPosition(0);
    TStack back;
    back.LoadFromStream(m);
    ASSERT_NE(back.ResultValue, nullptr);
    EXPECT_EQ(back.ResultValue->GetAsInt(), 12);
    for (uint8_t code : {uint8_t{5}, uint8_t{0x80}, uint8_t{0x81}}) {
        TStack plain;
        plain.PageName = "a";
        TMemoryStream bad;
        plain.SaveToStream(bad);
        bad.SetPosition(bad.GetSize() - 1);
        bad.WriteBuffer(&code, 1);
        const int32_t payload[2] = {0, 0};
        bad.WriteBuffer(payload, 8);
        bad.SetPosition(0);
        TStack refused;
        EXPECT_THROW(refused.LoadFromStream(bad), ECorruptData) << int(code);
    }
}

// Copying a result that does not fit its variable fails inside the value
// code; the return from the call still completes and nothing leaves Step.
TEST(StackList, ResultThatDoesNotFitStillReturns) {
    TParamCollection table;
    Params = &table;
    TParamCollectionItem* r = table.AddVariable(PT_INT);
    r->SetName("r");
    TPage ended;  // no commands: the page ends at once
    TCallMan cm;
    cm.Page = &ended;
    cm.PC = 0;
    TStack& f = cm.Stack.Push();
    f.ResultName = "r";
    f.PC = 4;
    f.ResultValue = CreateParam(PT_INT);
    f.ResultValue->SetCount(3);  // three elements, no dimensions
    f.ResultValue->SetIntAt(0, 4);
    f.ResultValue->SetIntAt(2, 6);
    EXPECT_NO_THROW(cm.Step());
    EXPECT_EQ(cm.Stack.Count(), 0);
    EXPECT_EQ(cm.PC, 4);
    EXPECT_EQ(r->GetAsInt(), 4);

    Params = nullptr;
}

// A saved command state cut short (a damaged save): on the return to it the
// interrupted command is prepared again rather than the error leaving Step.
TEST_F(Game, UnreadableFrameStatePreparesTheCommandAgain) {
    TPageWriter w;
    w.VarNew("n", PT_INT, "0");
    w.Call("sub.vsb");
    w.Wait("0", "n < 2");
    w.Calc("n = 10");
    page("main.vsb", w);
    TPageWriter sub;
    sub.Calc("n = n + 1");
    sub.Wait("0", "n < 2");
    page("sub.vsb", sub);
    start();
    runner->Frame();
    // Inside sub.vsb: make the caller's frame look interrupted at the wait.
    ASSERT_EQ(cm().Stack.Count(), 1);
    TStack& f = cm().Stack.Get(0);
    f.PC = 2;
    f.Prepared = 1;
    f.State = std::make_unique<TMemoryStream>();
    WriteStateTag(*f.State);
    f.State->WriteBuffer("\x01", 1);
    set("n", 2);
    EXPECT_NO_THROW(runner->Frames(3));
    EXPECT_EQ(cm().Stack.Count(), 0);
    EXPECT_EQ(var("n"), 10);
}

TEST_F(Game, ScreenSizeAndTitleOfTheProject) {
    TPageWriter w;
    w.VarNew("area", PT_INT, "@ScrWidth * @ScrHeight");
    w.VarNew("title", PT_STR, "@Title");
    w.Calc("@ScrWidth = 5");  // read-only: no effect, no error
    page("main.vsb", w);
    start();
    runner->Frame();
    EXPECT_EQ(var("area"), 640 * 480);
    EXPECT_EQ(text("title"), "test game");
    EXPECT_EQ(Params->Find("@ScrWidth")->GetAsInt(), 640);
}

TEST(StackList, PopOnEmptyRaises) {
    TStackList stack;
    EXPECT_THROW(stack.Pop(), Exception);
    stack.Push().PageName = "a";
    stack.Push().PageName = "b";
    EXPECT_EQ(stack.Pop().PageName, "b");
    EXPECT_EQ(stack.Count(), 1);
}

TEST(HandlerPage, NameFromEventLabel) {
    std::string page, label;
    EXPECT_TRUE(HandlerPageOf("title.vcm:start", page, label));
    EXPECT_EQ(page, "title.vsb");
    EXPECT_EQ(label, "start");
    EXPECT_TRUE(HandlerPageOf("dir\\btn.vsb", page, label));
    EXPECT_EQ(page, "dir\\btn.vsb");
    EXPECT_EQ(label, "");
    EXPECT_FALSE(HandlerPageOf("ab", page, label));
    EXPECT_FALSE(HandlerPageOf("", page, label));
}

TEST_F(Game, HandlerWaitingLetsNestedHandlersRun) {
    TPageWriter a;
    a.Calc("na = na + 1");
    a.Wait("50");
    a.Calc("adone = 1");
    page("a.vsb", a);
    TPageWriter b;
    b.Calc("nb = nb + 1");
    page("b.vsb", b);
    TPageWriter w;
    for (const char* v : {"na", "nb", "adone"}) w.VarNew(v, PT_INT, "0");
    w.Wait("0");
    page("main.vsb", w);
    start();
    runner->Frame();
    runner->Scene().QueueEvent("a.vsb", "objA");
    runner->Frame();  // a starts and waits: the driver is in state 2
    EXPECT_EQ(var("na"), 1);
    EXPECT_EQ(cm().State, 2);
    runner->Scene().QueueEvent("b.vsb", "objB");
    runner->Frame();  // b runs one level up while a waits, and is removed
    EXPECT_EQ(var("nb"), 1);
    ASSERT_EQ(runner->Scene().Events().Count(), 1);
    EXPECT_EQ(runner->Scene().Events().Get(0).Label, "a.vsb");
    EXPECT_EQ(runner->Scene().Events().Get(0).State, 1);
    EXPECT_EQ(cm().NestLevel, 2);
    runner->Frames(2);  // 34 -> 18 -> 2 ms left in a's wait
    runner->Frame();  // the wait ends; a waiting command ends the frame
    EXPECT_EQ(var("adone"), 0);
    runner->Frame();
    EXPECT_EQ(var("adone"), 1);
    EXPECT_EQ(runner->Scene().Events().Count(), 0);
    EXPECT_EQ(cm().State, 0);
    EXPECT_EQ(cm().Page->Name, "main.vsb");
}

TEST_F(Game, CorruptHandlerPageDropsItsEvent) {
    folder.WriteFile("bad.vsb", RecU32(109) + "\x01\x05");
    TPageWriter good;
    good.Calc("n = n + 1");
    page("good.vsb", good);
    TPageWriter w;
    w.VarNew("n", PT_INT, "0");
    w.Wait("0");
    page("main.vsb", w);
    start();
    runner->Frame();
    runner->Scene().QueueEvent("bad.vsb", "o");
    runner->Scene().QueueEvent("good.vsb", "o");
    runner->Frames(3);
    EXPECT_EQ(var("n"), 1);
    EXPECT_EQ(runner->Scene().Events().Count(), 0);
    EXPECT_EQ(cm().Page->Name, "main.vsb");
}

// A jump to a damaged page cannot go on; the player is told which page it
// is, once however often the story tries it, and play goes on after it.
TEST_F(Game, DamagedPageIsReportedOnceAndPlayGoesOn) {
    folder.WriteFile("bad.vsb", RecU32(109) + "\x01\x05");
    TPageWriter w;
    w.VarNew("n", PT_INT, "0");
    w.While("n < 3");
    w.Indent = 1;
    w.Calc("n = n + 1");
    w.Jump("bad.vsb");
    w.EndWhile();
    page("main.vsb", w);
    const uint32_t boxes = MessageBoxesShown();
    start();
    runner->Frames(6);
    EXPECT_EQ(var("n"), 3);
    EXPECT_EQ(MessageBoxesShown() - boxes, 1u);
}

TEST_F(Game, PCResetInAHandlerRedirectsTheMainFlow) {
    TPageWriter handler;
    handler.PCReset("other.vsb", false, 1);
    handler.Calc("h = 1");  // the handler itself goes on
    page("btn.vsb", handler);
    TPageWriter other;
    other.Calc("o = 99");
    other.Calc("o = o + 1");
    page("other.vsb", other);
    TPageWriter w;
    for (const char* v : {"h", "o", "m"}) w.VarNew(v, PT_INT, "0");
    w.Wait("0");
    w.Calc("m = 1");
    page("main.vsb", w);
    start();
    runner->Frame();
    runner->Scene().QueueEvent("btn.vsb", "b");
    runner->Frame();
    EXPECT_EQ(var("h"), 1);
    EXPECT_EQ(var("o"), 1);  // other.vsb from command 1
    EXPECT_EQ(var("m"), 0);
    EXPECT_EQ(runner->Scene().Events().Count(), 0);
}

TEST_F(Game, ResetClearsGameStateAndRestarts) {
    TPageWriter second;
    second.VarNew("after", PT_INT, "1");
    page("second.vsb", second);
    TPageWriter w;
    w.VarNew("g", PT_INT, "1");
    w.VarNew("s", PT_INT, "1", 3);
    w.Reset("second.vsb");
    w.Calc("g = 5");
    page("main.vsb", w);
    start();
    runner->Scene().AddObject("sprite");
    runner->Frame();
    EXPECT_FALSE(exists("g"));
    EXPECT_EQ(var("s"), 1);
    EXPECT_EQ(var("after"), 1);
    EXPECT_FALSE(runner->Scene().ObjectExists("sprite"));
}

TEST_F(Game, VariableAndObjectDeletion) {
    TPageWriter w;
    w.VarNew("a", PT_INT, "1");
    w.VarNew("name", PT_STR, "\"sprite\"");
    w.VarDel("a");
    w.VarDel("@Result");  // the engine's own variables stay
    w.VarDel("");
    w.ObjDel("name");
    w.ObjDel("\"\"");
    w.VarNew("bad", 7, "1");  // no such type: refused, play goes on
    w.VarNew("x", PT_INT, "1");
    page("main.vsb", w);
    start();
    runner->Scene().AddObject("sprite");
    runner->Scene().AddObject("other");
    runner->Frames(2);
    EXPECT_FALSE(exists("a"));
    EXPECT_TRUE(exists("@Result"));
    EXPECT_FALSE(exists("bad"));
    EXPECT_EQ(var("x"), 1);
    EXPECT_FALSE(runner->Scene().ObjectExists("sprite"));
    EXPECT_TRUE(runner->Scene().ObjectExists("other"));
}

TEST(WaitState, TaggedAndUntagged) {
    TPage page;
    TComWait wait(&page);
    wait.Remaining = 68;
    wait.FirstFrame = 0;
    wait.WaitBlocksEvents = 1;
    std::unique_ptr<TMemoryStream> s;
    wait.SaveState(s);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetSize(), 7 + 4 + 4 + 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s->Memory()), 7), "vorq100");
    TComWait back(&page);
    s->SetPosition(0);
    back.LoadState(*s);
    EXPECT_EQ(back.Remaining, 68);
    EXPECT_EQ(back.WaitBlocksEvents, 1);
    // An older state has no tag and no event-block byte.
    TMemoryStream old;
    const int32_t fields[2] = {40, 1};
    old.WriteBuffer(fields, 8);
    old.SetPosition(0);
    TComWait legacy(&page);
    legacy.LoadState(old);
    EXPECT_EQ(legacy.Remaining, 40);
    EXPECT_EQ(legacy.FirstFrame, 1);
    EXPECT_EQ(legacy.WaitBlocksEvents, 0);
}

// A state cut short (a damaged save) is refused instead of reading zeros,
// which would leave the wait waiting for ever.
TEST(WaitState, TruncatedStateIsRefused) {
    TPage page;
    TComWait wait(&page);
    wait.Remaining = 68;
    wait.FirstFrame = 1;
    std::unique_ptr<TMemoryStream> s;
    wait.SaveState(s);
    for (int64_t cut = 8; cut < s->GetSize(); ++cut) {
        TMemoryStream part;
        part.WriteBuffer(s->Memory(), cut);
        part.SetPosition(0);
        TComWait back(&page);
        EXPECT_THROW(back.LoadState(part), ECorruptData) << cut;
    }
    TComTextIns text(&page);
    std::unique_ptr<TMemoryStream> t;
    text.SaveState(t);
    TMemoryStream part;
    part.WriteBuffer(t->Memory(), t->GetSize() - 2);
    part.SetPosition(0);
    EXPECT_THROW(text.LoadState(part), ECorruptData);
}

// A saved interpreter with a call frame, its locals and a waiting command's
// state: every prefix is refused, and every damaged byte either loads or
// raises one of our errors.
TEST_F(Game, DamagedInterpreterSaves) {
    TPageWriter callee;
    callee.Wait("500");
    page("sub.vsb", callee);
    TPageWriter w;
    w.VarNew("r", PT_INT, "0");
    w.Call("sub.vsb", {"1", "\"two\""}, "r");
    page("main.vsb", w);
    start();
    runner->Frames(3);
    ASSERT_EQ(cm().Stack.Count(), 1);
    TMemoryStream saved;
    cm().SaveToStream(saved);
    const std::string full(reinterpret_cast<const char*>(saved.Memory()), static_cast<size_t>(saved.GetSize()));
    for (size_t n = 0; n < full.size(); ++n) {
        TMemoryStream part = StreamOf(full.substr(0, n));
        TCallMan back;
        EXPECT_THROW(back.LoadFromStream(part, 130), ECorruptData) << n;
    }
    for (size_t i = 0; i < full.size(); ++i) {
        for (char v : {'\xFF', '\x7F', '\x00'}) {
            std::string bytes = full;
            bytes[i] = v;
            TMemoryStream m = StreamOf(bytes);
            TCallMan back;
            try {
                back.LoadFromStream(m, 130);
            } catch (const Exception&) {
            }
        }
    }
}

// The saved state of each kind that keeps one: tagged, read back whole,
// and refused when cut short.
TEST(CommandState, EveryStatefulKindRoundTripsAndRefusesCuts) {
    TPage page;
    TComWait wait(&page);
    wait.Remaining = 68;
    wait.WaitBlocksEvents = 1;
    TComFlip flip(&page);
    flip.FlipBlocksEvents = 1;
    flip.ClearOldFlag = 1;
    flip.Waits = true;
    TComTextIns text(&page);
    text.TextWait = 1;
    text.TextBlocksEvents = 1;
    TComMovieStop stop(&page);
    stop.StopWait = 1;
    stop.StopBlocksEvents = 1;
    struct Case {
        TCommand* saved;
        std::function<std::unique_ptr<TCommand>()> make;
        std::function<bool(TCommand&)> same;
        const char* tag = "vorq100";
    };
    const Case cases[] = {
        {&wait, [&] { return std::make_unique<TComWait>(&page); },
         [](TCommand& c) {
             auto& w = static_cast<TComWait&>(c);
             return w.Remaining == 68 && w.WaitBlocksEvents == 1;
         }},
        {&flip, [&] { return std::make_unique<TComFlip>(&page); },
         [](TCommand& c) {
             auto& f = static_cast<TComFlip&>(c);
             return f.FlipBlocksEvents == 1 && f.ClearOldFlag == 1 && f.Waits;
         },
         "vorq101"},
        {&text, [&] { return std::make_unique<TComTextIns>(&page); },
         [](TCommand& c) {
             auto& t = static_cast<TComTextIns&>(c);
             return t.TextWait == 1 && t.TextBlocksEvents == 1;
         }},
        {&stop, [&] { return std::make_unique<TComMovieStop>(&page); },
         [](TCommand& c) {
             auto& m = static_cast<TComMovieStop&>(c);
             return m.StopWait == 1 && m.StopBlocksEvents == 1;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(OpcodeName(c.saved->GetOpcode()));
        std::unique_ptr<TMemoryStream> s;
        c.saved->SaveState(s);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(s->Memory()), 7), c.tag);
        auto back = c.make();
        s->SetPosition(0);
        back->LoadState(*s);
        EXPECT_TRUE(c.same(*back));
        EXPECT_EQ(s->GetPosition(), s->GetSize());
        // Past the tag every cut loses a field.
        for (int64_t cut = 8; cut < s->GetSize(); ++cut) {
            TMemoryStream part;
            part.WriteBuffer(s->Memory(), cut);
            part.SetPosition(0);
            auto refused = c.make();
            EXPECT_THROW(refused->LoadState(part), ECorruptData) << cut;
        }
    }
}

// Whether a screen switch waits is kept with its state; a state of an older
// save, which does not keep it, takes it from the duration as preparing did.
TEST(CommandState, AFlipLoadedInTheMiddleOfItsSwitchStillWaits) {
    TPage page;
    struct Case {
        std::string state;     // after the tag
        const char* tag;
        const char* duration;  // the flip's duration expression
        bool waits;
    };
    const Case cases[] = {
        {std::string("\1\0\1", 3), "vorq101", "0", true},
        {std::string("\1\0\0", 3), "vorq101", "500", false},
        {std::string("\1\0", 2), "vorq100", "500", true},
        {std::string("\1\0", 2), "vorq100", "0", false},
        {std::string(), "", "500", true},  // untagged: nothing stored
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.tag) + " " + c.duration);
        TComFlip flip(&page);
        flip.Duration = std::make_unique<TVorqParser>();
        CompileExpression(*flip.Duration, c.duration);
        TMemoryStream s = StreamOf(c.tag + c.state);
        flip.LoadState(s);
        EXPECT_EQ(flip.IsWaiting(), c.waits);
        EXPECT_EQ(s.GetPosition(), s.GetSize());
    }
}
