// What the message window reports besides the reveal: links hovered and
// clicked through the registry's mouse step, clicks falling through plain
// text with CAPTURELINK, EVENT tags of the text heard by ONNOTIFY, and what
// each record mode leaves in the backlog and the read marks.
#include "script/param_collection.h"
#include "render/text/glyphs.h"
#include "tests/objects/text/mes_fixture.h"

#include <gtest/gtest.h>

using namespace mestest;

namespace {

std::vector<std::string> args_of(const TTimerData& e) {
    std::vector<std::string> v;
    for (int32_t i = 0; i < e.Args.Count(); ++i) v.push_back(e.Args.Get(i));
    return v;
}

std::vector<std::vector<std::string>> queued(TVorqBaseList& reg, int id) {
    std::vector<std::vector<std::string>> out;
    for (int32_t i = 0; i < reg.Events.Count(); ++i)
        if (reg.Events.Get(i).EventId == id) out.push_back(args_of(reg.Events.Get(i)));
    return out;
}

// "あい" plain, then "うえ" linked to a two-line HREF, then "お" plain.
std::string linked_text() {
    TGlyphListWriter w;
    const uint32_t d = w.AddDecoration(StoredDecoration{});
    w.Text(Sjis("あい"), d, 40);
    const std::string kana = Sjis("うえ");
    for (size_t i = 0; i < kana.size(); i += 2)
        w.Char(static_cast<uint16_t>(uint8_t(kana[i]) << 8 | uint8_t(kana[i + 1])), d, "go\nthere", 40);
    w.Text(Sjis("お"), d, 40);
    return w.Bytes();
}

class MesEvents : public MesScene {
protected:
    void SetUp() override {
        MesScene::SetUp();
        Params = &table;
        scenario.pages["story.vsb"] = {std::nullopt, linked_text(), stored_text("かきくけこ\nさしすせそ\nたちつてと", 40)};
    }
    void TearDown() override {
        MesScene::TearDown();
        Params = nullptr;
    }
    // The window over a box that takes clicks falling through it.
    TVorqMes* Linked(bool capture) {
        under = Box("under", 0, 0, 640, 480);
        under->SetPriority(-1);
        TVorqMes* m = Window("msg", 20, 300, 400, 30);
        m->SetTextDelay(256);
        m->SetDelay(0);
        m->SetOnLink("linked");
        m->SetCaptureLink(capture);
        Insert(*m, "story.vsb", 1, false);
        return m;
    }
    // Centre of glyph k of the shown page, on the layer.
    TPoint Centre(TVorqMes& m, int32_t k) {
        const TWdGlyph* g = m.CurrentPage()->RowAt(0)->GetChild(k);
        return MakePoint(g->GetAbsX() + g->GetWidth() / 2, g->GetAbsY() + g->GetHeight() / 2);
    }
    void FramesUntilShown(TVorqMes& m) {
        for (int i = 0; i < 40 && m.GetPlaying(); ++i) Frame(m);
        Frame(m);
    }
    TParamCollection table;
    TTestBox* under = nullptr;
};

TEST_F(MesEvents, AShownLinkHighlightsUnderTheMouseAndReportsItsClick) {
    TVorqMes* m = Linked(false);
    Frame(*m);
    Frame(*m);  // the first glyphs are out, the link still to come
    ASSERT_TRUE(m->CurrentPage()->IsTyping());
    const TPoint link = Centre(*m, 2);
    Step(link.X, link.Y);
    EXPECT_EQ(m->CurrentPage()->Hovered, nullptr) << "no hover while the page is typing";
    Step(link.X, link.Y, 'L');
    Release();
    EXPECT_TRUE(queued(*reg, TVorqMes::kEvLink).empty());

    FramesUntilShown(*m);
    struct Case {
        const char* what;
        int32_t glyph;
        bool paused;
        bool hovered;
    } cases[] = {
        {"plain glyph", 0, false, false},
        {"first link glyph", 2, false, true},
        {"second link glyph", 3, false, true},
        {"link while paused", 2, true, false},
        {"plain after the link", 4, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reg->Events.Clear();
        m->SetPaused(c.paused);
        const TPoint p = Centre(*m, c.glyph);
        Step(p.X, p.Y + 1);  // a move: the hover follows the mouse
        Step(p.X, p.Y);
        EXPECT_EQ(m->CurrentPage()->Hovered != nullptr, c.hovered);
        Step(p.X, p.Y, 'L');
        Release();
        const auto links = queued(*reg, TVorqMes::kEvLink);
        if (c.hovered) {
            ASSERT_EQ(links.size(), 1u);
            EXPECT_EQ(links[0], (std::vector<std::string>{Sjis("うえ"), "go", "there"}));
        } else {
            EXPECT_TRUE(links.empty());
        }
        m->SetPaused(false);
    }
    // A second click while the first report waits queues nothing more.
    reg->Events.Clear();
    const TPoint p = Centre(*m, 2);
    Step(p.X, p.Y);
    Step(p.X, p.Y, 'L');
    Release();
    Step(p.X, p.Y, 'L');
    Release();
    EXPECT_EQ(queued(*reg, TVorqMes::kEvLink).size(), 1u);
    // Leaving the window drops the highlight.
    Step(5, 5);
    EXPECT_EQ(m->CurrentPage()->Hovered, nullptr);
}

TEST_F(MesEvents, CaptureLinkLetsClicksOnPlainTextFallThrough) {
    struct Case {
        bool capture;
        int32_t glyph;
        bool window_hit;
    } cases[] = {{false, 0, true}, {false, 2, true}, {true, 0, false}, {true, 2, true}, {true, 4, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.capture << " " << c.glyph);
        reg->ResetScene();
        TVorqMes* m = Linked(c.capture);
        FramesUntilShown(*m);
        const TPoint p = Centre(*m, c.glyph);
        TVorqObject* hit = Layer().HitTest(p, 0xFFFFFFFFu);
        EXPECT_EQ(hit, c.window_hit ? static_cast<TVorqObject*>(m) : static_cast<TVorqObject*>(under));
    }
    // Outside the window's rectangle the window is never hit.
    reg->ResetScene();
    TVorqMes* m = Linked(false);
    EXPECT_NE(Layer().HitTest(MakePoint(10, 10), 0xFFFFFFFFu), m);
}

// EVENT tags between glyphs: heard only while ONNOTIFY is set, one event
// per tag, each line of a tag's value one argument.
TEST_F(MesEvents, EventTagsOfTheTextReachTheNotifyHandler) {
    TGlyphListWriter w;
    const uint32_t d = w.AddDecoration(StoredDecoration{});
    w.Text(Sjis("あ"), d, 40);
    w.Event("shake");
    w.Text(Sjis("い"), d, 40);
    w.Event("sound\nbell");
    w.Event("flash", true);
    w.Text(Sjis("う"), d, 40);
    scenario.pages["events.vsb"] = {w.Bytes()};
    struct Case {
        const char* label;
        std::vector<std::vector<std::string>> heard;
    } cases[] = {
        {"", {}},
        {"notify", {{"shake"}, {"sound", "bell"}, {"flash"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        reg->ResetScene();
        TVorqMes* m = Window("msg", 20, 300, 400, 30);
        m->SetTextDelay(256);
        m->SetDelay(0);
        m->SetOnNotify(c.label);
        Insert(*m, "events.vsb", 0, false);
        std::vector<std::vector<std::string>> heard;
        for (int i = 0; i < 60; ++i) {
            Frame(*m);
            for (auto& a : queued(*reg, TVorqMes::kEvNotify)) heard.push_back(a);
            reg->Events.Clear();
        }
        EXPECT_EQ(heard, c.heard);
        EXPECT_EQ(m->GetText(), Sjis("あいう")) << "the tags show nothing";
        EXPECT_FALSE(m->CurrentPage()->IsTyping());
    }
}

// Mode 0 (plain) records nothing, mode 1 (a recorded text-insert message)
// puts each page it leaves into the backlog and marks read what was shown
// to its end, mode 2 (a backlog display) records nothing of what it shows.
TEST_F(MesEvents, EachRecordModeLeavesItsOwnTraces) {
    History().Word->ViewWidth = 400;  // the backlog template
    History().Word->PageHeight = 90;
    History().Word->FontSize = 20;
    struct Case {
        const char* what;
        bool record;
        int entries;
        bool read;
    } cases[] = {{"plain", false, 0, false}, {"recorded", true, 1, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reg->ResetScene();
        History().Clear();
        ReadList().Clear();
        TVorqMes* m = Window("msg", 20, 300, 400, 30);
        m->SetTextDelay(0);
        m->SetDelay(0);
        Insert(*m, "story.vsb", 2, c.record);
        EXPECT_EQ(m->RecordMode, c.record ? TVorqMes::kRecordText : TVorqMes::kRecordNone);
        FramesUntilShown(*m);
        m->SetIndex(1);  // leaves page 0
        EXPECT_EQ(History().EntryCount(), c.entries);
        EXPECT_EQ(ReadList().IsRead("story.vsb", 2, 0), c.read);
        EXPECT_FALSE(ReadList().IsRead("story.vsb", 2, 1)) << "page 1 is not shown to its end";
    }
    // The backlog shown in another window and read to its end adds nothing.
    const int32_t entries = History().EntryCount();
    const int32_t height = History().GetCount();
    ASSERT_GT(height, 0);
    TVorqMes* log = Window("log", 20, 20, 400, 200);
    log->SetTextDelay(0);
    log->SetDelay(0);
    History().ShowInMes(0, height, log);
    EXPECT_EQ(log->RecordMode, TVorqMes::kRecordHistory);
    ASSERT_EQ(log->GetCount(), 1);
    FramesUntilShown(*log);
    log->SetText("");
    EXPECT_EQ(History().EntryCount(), entries);
    EXPECT_EQ(History().GetCount(), height);
    ASSERT_EQ(ReadList().Items.size(), 1u);
    EXPECT_EQ(ReadList().Items[0].CommandIndexes.size(), 1u);
}

}  // namespace

namespace {

// A layer's surface made anew (after the device lost it) frees the old one:
// the window renders and draws on the new one, never through the old.
TEST_F(MesEvents, AWindowOnARemadeLayerDrawsOnItsNewSurface) {
    TVorqBase& hidden = *reg->InactiveBase();
    TVorqMes* m = Window("msg", 20, 300, 400, 30);
    m->SetParent(&hidden);
    m->SetFontColor(0x0000FF);
    m->SetTextDelay(0);
    m->SetDelay(0);
    Insert(*m, "story.vsb", 2, false);
    FramesUntilShown(*m);
    reg->ReleaseSurfaces();
    reg->RestoreSurfaces();
    TCustomDIBX& s = *hidden.GetOwnSurface();
    ASSERT_EQ(s.Width(), 640);
    Frame(*m);
    s.Fill(0);
    s.ClearClipRect();
    m->Draw();
    int red = 0;
    for (int32_t y = 300; y < 330; ++y)
        for (int32_t x = 20; x < 420; ++x) red += (s.GetPixel(x, y) >> 16 & 0xFF) >= 0x80;
    EXPECT_GT(red, 5 * 20) << "five glyphs of 20 px";
}

}  // namespace
