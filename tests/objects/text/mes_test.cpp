// The message window with text from scenario references: the reveal on an
// injected clock, page turns, the events of each page, the read marks and
// the backlog in both forms, and the window's saved record.
#include "script/param_collection.h"
#include "render/text/glyphs.h"
#include "tests/objects/text/mes_fixture.h"
#include "tests/support/file_bytes.h"

#include <gtest/gtest.h>

using namespace mestest;

namespace {

std::string args_of(const TTimerData& e) {
    std::string s;
    for (int32_t i = 0; i < e.Args.Count(); ++i) s += (i ? "," : "") + e.Args.Get(i);
    return s;
}

class MesWindow : public MesScene {
protected:
    void SetUp() override {
        MesScene::SetUp();
        Params = &table;
        // One character row per page: three pages.
        scenario.pages["story.vsb"] = {std::nullopt, stored_text("あいうえお\nかきくけこ\nさしすせそ", 40)};
    }
    void TearDown() override {
        MesScene::TearDown();
        Params = nullptr;
    }
    TVorqMes* Story(bool record = true) {
        TVorqMes* m = Window("msg", 20, 300, 400, 30);
        m->SetTextDelay(256);
        m->SetDelay(0);
        m->SetOnPlayStart("start");
        m->SetOnPlaying("typing");
        m->SetOnPlayEnd("end");
        Insert(*m, "story.vsb", 1, record);
        return m;
    }
    // Frames until the page is all shown; the revealed text of each frame.
    std::vector<std::string> RevealAll(TVorqMes& m, int frames = 40) {
        std::vector<std::string> steps;
        for (int i = 0; i < frames; ++i) {
            Frame(m);
            for (int k = 0; k < reg->Events.Count(); ++k)
                if (reg->Events.Get(k).EventId == TVorqMes::kEvPlaying) steps.push_back(args_of(reg->Events.Get(k)));
            std::erase_if(steps, [](const std::string&) { return false; });
            while (reg->Events.Count() && reg->Events.Get(0).EventId == TVorqMes::kEvPlaying)
                reg->Events.Remove(&reg->Events.Get(0));
        }
        return steps;
    }
    TParamCollection table;
};

TEST_F(MesWindow, RevealsEachPageOnTheClockAndReportsItsEndOnce) {
    TVorqMes* m = Story();
    ASSERT_EQ(m->GetCount(), 3);
    EXPECT_EQ(m->GetIndex(), 0);
    ASSERT_EQ(CountEvents(TVorqMes::kEvPlayStart), 1);
    EXPECT_EQ(args_of(reg->Events.Get(0)), "0");
    // The reveal waits for the start handler: one frame, then while it is queued.
    Frame(*m);
    Frame(*m);
    EXPECT_EQ(CountEvents(TVorqMes::kEvPlaying), 0);
    EXPECT_TRUE(m->GetPlaying());
    RunHandlers();
    const std::vector<std::string> steps = RevealAll(*m);
    ASSERT_GE(steps.size(), 3u);  // 40 ms a glyph over 16 ms frames
    EXPECT_EQ(steps.front(), Sjis("あ"));
    std::string all;
    for (const std::string& s : steps) all += s;
    EXPECT_EQ(all, Sjis("あいうえお"));
    EXPECT_EQ(CountEvents(TVorqMes::kEvPlayEnd), 1);
    EXPECT_EQ(m->GetText(), Sjis("あいうえお"));
    // The window never turns pages by itself.
    EXPECT_EQ(m->GetIndex(), 0);
    EXPECT_TRUE(m->GetPlaying());  // later pages exist
    RunHandlers();
    m->SetIndex(0);
    EXPECT_EQ(reg->Events.Count(), 0) << "the current index restarts nothing";
    for (int32_t bad : {-1, 3, 99}) m->SetIndex(bad);
    EXPECT_EQ(m->GetIndex(), 0);
    m->SetIndex(2);
    EXPECT_EQ(m->GetText(), Sjis("さしすせそ"));
    EXPECT_EQ(CountEvents(TVorqMes::kEvPlayStart), 1);
    RunHandlers();
    RevealAll(*m);
    EXPECT_EQ(CountEvents(TVorqMes::kEvPlayEnd), 1);
    EXPECT_FALSE(m->GetPlaying());
}

TEST_F(MesWindow, ReadMarksAreCommittedAtThePageEndOnly) {
    TVorqMes* m = Story();
    RunHandlers();
    EXPECT_FALSE(ReadList().IsRead("story.vsb", 1, 0));
    RevealAll(*m);
    EXPECT_TRUE(ReadList().IsRead("story.vsb", 1, 0));
    EXPECT_TRUE(ReadList().IsRead("STORY.VSB", 1, 0)) << "page names compare without case";
    // Page 1 turned away before its end is not read.
    m->SetIndex(1);
    RunHandlers();
    Frame(*m);
    m->SetIndex(2);
    EXPECT_FALSE(ReadList().IsRead("story.vsb", 1, 1));
    // A commit of another window changes nothing; marking twice stores one pair.
    ReadList().CommitPending("other");
    ReadList().SetPending("msg", "story.vsb", 0, 1);
    ReadList().CommitPending("msg");
    ASSERT_EQ(ReadList().Items.size(), 1u);
    EXPECT_EQ(ReadList().Items[0].CommandIndexes.size(), 1u);

    // The start handler hears "1" only for a read page of a recording window.
    struct Case {
        bool record;
        int32_t index;
        const char* want;
    } cases[] = {{true, 0, "1"}, {true, 1, "0"}, {false, 0, "0"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        reg->ResetScene();
        TVorqMes* w = Story(c.record);
        RunHandlers();
        if (c.index) w->SetIndex(c.index);
        else {
            w->SetIndex(1);
            RunHandlers();
            w->SetIndex(0);
        }
        ASSERT_EQ(reg->Events.Count(), 1);
        EXPECT_EQ(args_of(reg->Events.Get(0)), c.want);
        RunHandlers();
    }
}

TEST_F(MesWindow, PausesStopTheRevealAndZeroDelayShowsThePageAtOnce) {
    TVorqMes* m = Story();
    RunHandlers();
    m->SetPaused(true);
    EXPECT_TRUE(RevealAll(*m, 5).empty());
    m->SetPaused(false);
    m->SetTextPaused(true);
    EXPECT_TRUE(RevealAll(*m, 5).empty());
    m->SetTextPaused(false);
    m->SetTextDelay(0);
    const std::vector<std::string> steps = RevealAll(*m, 2);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0], Sjis("あいうえお"));
}

// ---- the backlog ----

struct BacklogCase {
    const char* form;
    std::array<int32_t, 6> tmpl;  // font height, border, shadow, width, height, line space
};

TEST_F(MesWindow, EveryShownPageGoesToTheBacklogInBothForms) {
    const BacklogCase cases[] = {{"older", {0, 0, 0, 0, 0, 0}}, {"packed", {20, 0, 0, 400, 100, 4}}};
    for (const BacklogCase& c : cases) {
        SCOPED_TRACE(c.form);
        reg->ResetScene();
        History().Clear();
        History().Word->ViewWidth = 0;
        table.history_settings = c.tmpl;
        TVorqMes* m = Story();
        for (int32_t i = 1; i <= 2; ++i) {
            RunHandlers();
            m->SetIndex(i);
        }
        // The third page is pending until the window leaves it.
        m->SetText("");
        const bool packed = c.tmpl[0] != 0;
        EXPECT_EQ(History().NewFormat(), packed);
        if (!packed) {
            ASSERT_EQ(History().OldEntries.size(), 3u);
            EXPECT_EQ(History().GetCount(), 3);
            EXPECT_EQ(History().OldEntries[0].PageName, "story.vsb");
            EXPECT_EQ(History().OldEntries[1].PageName, "") << "a repeated name is stored empty";
            EXPECT_EQ(History().OldEntries[2].PageIndex, 2);
            EXPECT_EQ(History().OldEntries[2].Height, 30);
        } else {
            // Pieces of about 24 px stack until the next would pass 100 px.
            int32_t pieces = 0, total = 0;
            for (const auto& e : History().Entries) {
                EXPECT_LE(e->TotalHeight, 100);
                pieces += e->Count();
                total += e->TotalHeight;
            }
            EXPECT_EQ(pieces, 3);
            EXPECT_EQ(History().Entries.size(), 1u);
            EXPECT_EQ(History().GetCount(), total);
            // The glyph ranges of the three rows, each with its line break.
            const TVorqHistData& e = *History().Entries[0];
            EXPECT_EQ(e.FirstPositions, (std::vector<int32_t>{0, 6, 12}));
            EXPECT_EQ(e.LastPositions, (std::vector<int32_t>{5, 11, 16}));
        }
    }
}

TEST_F(MesWindow, TheBacklogKeepsTheNewestEntriesUpToItsMaximum) {
    struct Case {
        int32_t max;
        size_t kept;
    } cases[] = {{3, 3}, {0, 5}, {1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.max);
        History().Clear();
        History().Word->ViewWidth = 0;
        History().MaxCount = c.max;
        TVorqMes* m = Window("w");
        for (int32_t i = 0; i < 5; ++i) {
            History().SetPending(*m, "p" + std::to_string(i) + ".vsb", "", 0, -1, 0, i);
            History().CommitPending("w");
        }
        ASSERT_EQ(History().OldEntries.size(), c.kept);
        EXPECT_EQ(History().OldEntries.back().CommandIndex, 4);
        EXPECT_EQ(History().OldEntries.front().CommandIndex, static_cast<int32_t>(5 - c.kept));
        // A commit from another window changes nothing.
        History().SetPending(*m, "x.vsb", "", 0, -1, 0, 9);
        History().CommitPending("someone else");
        EXPECT_EQ(History().OldEntries.size(), c.kept);
        reg->ResetScene();
    }
}

TEST_F(MesWindow, TheBacklogShowsInAWindowAsOneTallPage) {
    table.history_settings = {20, 0, 0, 400, 60, 4};
    TVorqMes* m = Story();
    for (int32_t i = 1; i <= 2; ++i) {
        RunHandlers();
        m->SetIndex(i);
    }
    m->SetText("");
    const int32_t rows = History().GetCount();
    ASSERT_GT(rows, 0);
    // Two pieces fit the 60 px template, so two entries.
    ASSERT_EQ(History().Entries.size(), 2u);
    TVorqMes* log = Window("log", 0, 0, 400, 400);
    History().ShowInMes(0, rows, log);
    EXPECT_EQ(log->RecordMode, TVorqMes::kRecordHistory);
    ASSERT_EQ(log->GetCount(), 1);
    EXPECT_EQ(log->GetText(), Sjis("あいうえおかきくけこさしすせそ"));
    EXPECT_EQ(log->MesData.Pieces.Count(), 3);
    // From the middle of the second piece: it starts above the window's top.
    const int32_t h0 = History().Entries[0]->Heights[0];
    History().ShowInMes(h0 + 3, rows, log);
    EXPECT_EQ(log->FirstPieceOffset, -3);
    EXPECT_EQ(log->GetText(), Sjis("かきくけこさしすせそ"));
    // A missing scenario file ends the display at its piece.
    scenario.pages.clear();
    History().ShowInMes(0, rows, log);
    EXPECT_EQ(log->GetText(), "");
}

TEST_F(MesWindow, MissingPagesAndCommandsShowNothing) {
    struct Case {
        const char* page;
        int32_t command;
    } cases[] = {{"gone.vsb", 1}, {"story.vsb", 0}, {"story.vsb", 7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        TVorqMes* m = Window("m");
        Insert(*m, c.page, c.command);
        EXPECT_EQ(m->GetCount(), 0);
        EXPECT_EQ(m->GetIndex(), -1);
        Frame(*m);
        reg->ResetScene();
    }
}

TEST(MesDataCache, KeepsFourPagesAndSixteenWordsMostRecentFirst) {
    MemoryScenario sc;
    for (int i = 0; i < 5; ++i) {
        std::vector<std::optional<std::string>> texts;
        for (int k = 0; k < 20; ++k) texts.push_back(stored_text("あ"));
        sc.pages["p" + std::to_string(i)] = texts;
    }
    ScenarioText = &sc;
    TMesDataCacheList cache;
    for (int i = 0; i < 4; ++i) ASSERT_NE(cache.GetWord("p" + std::to_string(i), 0), nullptr);
    ASSERT_NE(cache.GetWord("P0", 0), nullptr);  // to the front, without loading again
    EXPECT_EQ(sc.loads, 4);
    ASSERT_NE(cache.GetWord("p4", 0), nullptr);
    ASSERT_EQ(cache.Count(), 4u);
    EXPECT_EQ(cache.At(0).Name(), "p4");
    EXPECT_EQ(cache.At(1).Name(), "p0");
    // p1 was the least recently used: it is gone and loads again.
    cache.GetWord("p1", 0);
    EXPECT_EQ(sc.loads, 6);
    // Words: the same pointer while cached.
    TWzWord* first = cache.GetWord("p1", 0);
    for (int k = 1; k <= 15; ++k) cache.GetWord("p1", k);
    EXPECT_EQ(cache.GetWord("p1", 0), first);
    for (int k = 16; k <= 19; ++k) cache.GetWord("p1", k);
    EXPECT_EQ(cache.GetWord("p1", 99), nullptr);
    ScenarioText = nullptr;
}

}  // namespace

// ---- saved records ----

namespace {

std::vector<uint8_t> bytes_of(const std::function<void(TStream&)>& save) {
    TMemoryStream s;
    save(s);
    return {s.Bytes().begin(), s.Bytes().end()};
}

TMemoryStream stream_of(const std::vector<uint8_t>& bytes, size_t n) {
    TMemoryStream in;
    if (n) in.WriteBuffer(bytes.data(), int64_t(n));
    in.SetPosition(0);
    return in;
}

// Loads every prefix (refused) and every byte replaced (loads or refused).
void expect_damage_refused(const std::vector<uint8_t>& bytes, const std::function<void(TStream&)>& load) {
    for (size_t n = 0; n < bytes.size(); ++n) {
        TMemoryStream in = stream_of(bytes, n);
        EXPECT_THROW(load(in), ECorruptData) << n << " of " << bytes.size();
    }
    for (size_t i = 0; i < bytes.size(); ++i) {
        for (uint8_t v : {uint8_t(0xFF), uint8_t(bytes[i] ^ 0x80)}) {
            std::vector<uint8_t> bad = bytes;
            bad[i] = v;
            TMemoryStream in = stream_of(bad, bad.size());
            try {
                load(in);
            } catch (const ECorruptData&) {
            }
        }
    }
}

}  // namespace

TEST_F(MesWindow, ASavedWindowLoadsToTheSameDisplayState) {
    TVorqMes* m = Story();
    RunHandlers();
    RevealAll(*m);
    m->SetIndex(1);
    RunHandlers();
    for (int i = 0; i < 4; ++i) Frame(*m);  // half revealed
    ASSERT_TRUE(m->GetPlaying());
    const std::vector<uint8_t> bytes = bytes_of([&](TStream& s) { m->SaveToStream(s); });
    auto load = [&](TStream& in) {
        auto* copy = new TVorqMes(reg.get());
        copy->LoadFromStream(in, 130);
        return copy;
    };
    TMemoryStream in = stream_of(bytes, bytes.size());
    TVorqMes* copy = load(in);
    EXPECT_EQ(in.Remaining(), 0);
    EXPECT_EQ(bytes_of([&](TStream& s) { copy->SaveToStream(s); }), bytes);
    EXPECT_EQ(copy->GetCount(), 3);
    EXPECT_EQ(copy->GetIndex(), 1);
    EXPECT_EQ(copy->GetText(), Sjis("かきくけこ"));
    EXPECT_EQ(copy->RecordMode, TVorqMes::kRecordText);
    EXPECT_EQ(copy->PageName, "story.vsb");
    EXPECT_EQ(copy->CurrentPage()->IsTyping(), m->CurrentPage()->IsTyping());
    EXPECT_EQ(copy->CurrentPage()->CurrentGlyph, m->CurrentPage()->CurrentGlyph);
    expect_damage_refused(bytes, [&](TStream& s) {
        reg->ResetScene();
        load(s);
    });
}

TEST_F(MesWindow, SavingABacklogDisplayKeepsEachPiecesOwnValues) {
    table.history_settings = {20, 0, 0, 400, 200, 4};
    TVorqMes* log = Window("log", 0, 0, 400, 400);
    for (const char* v : {"N=1", "N=2"}) log->MesData.Pieces.AddPiece("story.vsb", 1, v, 24, 4, 0);
    log->RecordMode = TVorqMes::kRecordHistory;
    log->RebuildPages(false);
    log->SetIndex(0);
    TMemoryStream s;
    log->SaveToStream(s);
    EXPECT_EQ(log->MesData.Pieces.Texts, (std::vector<std::string>{"N=1", "N=2"}));
    s.SetPosition(0);
    auto* copy = new TVorqMes(reg.get());
    copy->LoadFromStream(s, 130);
    EXPECT_EQ(copy->MesData.Pieces.Texts, (std::vector<std::string>{"N=1", "N=2"}));
}

TEST_F(MesWindow, ABacklogTemplateFromAnyWindowLoadsBack) {
    // A character height (negative), edges and a line space beyond what text
    // can use, a window of negative size: clamped as taken, kept as saved.
    table.history_settings = {-12, 300, -1, -5, -7, 100000};
    History().Clear();
    History().SetPending(*Window("w"), "p.vsb", "", 0, -1, 0, 0);
    const std::vector<uint8_t> hist = bytes_of([](TStream& s) { History().SaveToStream(s); });
    TVorqNewHistory h;
    TMemoryStream in = stream_of(hist, hist.size());
    ASSERT_NO_THROW(h.LoadFromStream(in, 130));
    const TWzWord& w = *h.Word;
    EXPECT_EQ((std::vector<int32_t>{w.FontSize, w.BorderWidth, w.ShadowWidth, w.ViewWidth, w.PageHeight, w.LineSpacing}),
              (std::vector<int32_t>{-12, TWzWord::kMaxEdgeWidth, 0, -5, -7, 65536}));
}

TEST_F(MesWindow, BacklogAndReadMarksSaveAndRefuseDamage) {
    table.history_settings = {20, 0, 0, 400, 60, 4};
    TVorqMes* m = Story();
    RunHandlers();
    RevealAll(*m);
    m->SetIndex(1);
    History().OldEntries.push_back({"old.vsb", 3, 1, 640, 120});
    History().MaxCount = 7;
    const std::vector<uint8_t> hist = bytes_of([](TStream& s) { History().SaveToStream(s); });
    const std::vector<uint8_t> read = bytes_of([](TStream& s) { ReadList().SaveToStream(s); });
    TVorqNewHistory h;
    TMemoryStream in = stream_of(hist, hist.size());
    h.LoadFromStream(in, 130);
    EXPECT_EQ(bytes_of([&](TStream& s) { h.SaveToStream(s); }), hist);
    EXPECT_EQ(h.GetCount(), History().GetCount());
    EXPECT_EQ(h.PendingPage, "story.vsb");
    EXPECT_EQ(h.MaxCount, 7);
    TVorqReadList r;
    TMemoryStream rin = stream_of(read, read.size());
    r.LoadFromStream(rin, 130);
    EXPECT_TRUE(r.IsRead("story.vsb", 1, 0));
    EXPECT_EQ(bytes_of([&](TStream& s) { r.SaveToStream(s); }), read);
    expect_damage_refused(hist, [](TStream& s) { TVorqNewHistory().LoadFromStream(s, 130); });
    expect_damage_refused(read, [](TStream& s) { TVorqReadList().LoadFromStream(s, 130); });

    // Negative indexes are refused wherever a save holds one.
    const size_t first_index = 4 + 4 + 7;  // count, name length, "old.vsb"
    std::vector<uint8_t> bad = hist;
    bad[first_index + 3] = 0x80;
    TMemoryStream bin = stream_of(bad, bad.size());
    EXPECT_THROW(TVorqNewHistory().LoadFromStream(bin, 130), ECorruptData);
    // Before version 100 the status save holds no read marks.
    TMemoryStream none;
    r.LoadFromStream(none, 99);
    EXPECT_TRUE(r.Items.empty());
}

TEST_F(MesWindow, RevealedGlyphsDrawInTheTextColourInsideTheWindowOnly) {
    TVorqMes* m = Story(false);
    m->SetFontColor(0x0000FF);
    m->SetTextDelay(0);
    RunHandlers();
    TCustomDIBX& layer = *Layer().GetOwnSurface();
    ASSERT_EQ(layer.BitCount(), 32);
    auto count = [&](bool inside) -> int {
        int n = 0;
        const TRect r = m->GetRect();
        // Antialiased edges blend into the black layer: red, any strength.
        auto reddish = [](uint32_t p) { return (p >> 16 & 0xFF) >= 0x80 && (p >> 8 & 0xFF) == 0 && (p & 0xFF) == 0; };
        EXPECT_TRUE(reddish(static_cast<uint32_t>(layer.ColorToPixel(0x0000FF))));
        for (int32_t y = 0; y < layer.Height(); ++y)
            for (int32_t x = 0; x < layer.Width(); ++x) {
                const uint32_t p = layer.GetPixel(x, y) & 0xFFFFFF;
                if (PointInRect(MakePoint(x, y), r) == inside && (inside ? reddish(p) : p != 0)) ++n;
            }
        return n;
    };
    layer.Fill(0);
    Frame(*m);
    layer.ClearClipRect();
    m->Draw();
    EXPECT_EQ(count(true), 0) << "nothing drawn before the page is rendered and revealed";
    for (int i = 0; i < 3; ++i) Frame(*m);
    layer.Fill(0);
    layer.ClearClipRect();
    m->Draw();
    EXPECT_GT(count(true), 5 * 20) << "five glyphs of 20 px";
    EXPECT_EQ(count(false), 0);
}

TEST_F(MesWindow, ABorderWiderThanAWindowCanShowIsRefusedAndTheWidestDraws) {
    // A window 65535 wide showing 37 glyphs of size 1013 with a shadow,
    // saved with a border of 91 and, in the second, of 64.
    const std::string dir = std::string(VORQ_TEST_DATA) + "/fuzz-findings/";
    const std::string wide = ReadFileBytes(dir + "mes-wide-border.bin");
    const std::string widest = ReadFileBytes(dir + "mes-wide-border-64.bin");
    // Both records are damaged further on; the second is drawn before that.
    auto refusal = [&](TVorqMes& m, const std::string& bytes) {
        TMemoryStream in = stream_of(std::vector<uint8_t>(bytes.begin(), bytes.end()), bytes.size());
        try {
            m.LoadFromStream(in, 130);
        } catch (const ECorruptData& e) {
            return e.Message();
        }
        return std::string("(no error)");
    };
    const std::string why = refusal(*new TVorqMes(reg.get()), wide);
    EXPECT_NE(why.find("(border width)"), std::string::npos) << why;
    reg->ResetScene();
    auto* m = new TVorqMes(reg.get());
    refusal(*m, widest);
    ASSERT_EQ(m->GetFontBorder(), 64);
    // Drawn: the border round the first glyph's strokes makes most of its
    // cell opaque.
    TCustomDIBX& mask = m->Word().MaskSurface();
    ASSERT_GT(mask.Width(), 1211);
    int opaque = 0;
    for (int32_t y = 0; y < 1024; y += 8)
        for (int32_t x = 0; x < 1211; x += 8) opaque += mask.GetPixel(x, y) == 255;
    EXPECT_GT(opaque, 128 * 151 / 2) << opaque;
}
