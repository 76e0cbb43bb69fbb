// Message-window scenes: a registry with 32-bit memory layers, scenario
// pages held in memory (stored glyph lists written by our writer), and
// helpers that run frames on an injected clock.
#pragma once
#include "script/game_clock.h"
#include "objects/text/history.h"
#include "objects/text/mes.h"
#include "objects/text/scenario_text.h"
#include "platform/text/codepage.h"
#include "render/text/wz_word.h"
#include "tests/objects/scene_fixture.h"
#include "tests/support/glyph_list_writer.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace mestest {

// Pages by exact name: one entry per command, a stored text for text-insert commands.
class MemoryScenario : public TScenarioText {
public:
    struct Page : TScenarioTextPage {
        std::vector<std::optional<std::string>> texts;
        int32_t CommandCount() const override { return static_cast<int32_t>(texts.size()); }
        const std::string* StoredText(int32_t i) const override {
            if (i < 0 || i >= CommandCount() || !texts[static_cast<size_t>(i)]) return nullptr;
            return &*texts[static_cast<size_t>(i)];
        }
    };
    std::map<std::string, std::vector<std::optional<std::string>>> pages;
    int loads = 0;
    bool PageExists(const std::string& name) override { return find(name) != pages.end(); }
    std::unique_ptr<TScenarioTextPage> LoadPage(const std::string& name) override {
        ++loads;
        auto p = std::make_unique<Page>();
        if (auto it = find(name); it != pages.end()) p->texts = it->second;
        return p;
    }

private:
    // File names compare without case, as on the game's file system.
    std::map<std::string, std::vector<std::optional<std::string>>>::iterator find(const std::string& name) {
        for (auto it = pages.begin(); it != pages.end(); ++it)
            if (AnsiSameText(it->first, name)) return it;
        return pages.end();
    }
};

// A stored glyph list of a UTF-8 text; "\n" becomes a line break, each
// character waits wait ms.
inline std::string stored_text(const std::string& utf8, int32_t wait = 0) {
    TGlyphListWriter w;
    const uint32_t d = w.AddDecoration(StoredDecoration{});
    std::string line;
    auto flush = [&] {
        if (!line.empty()) w.Text(Sjis(line), d, wait);
        line.clear();
    };
    for (char c : utf8) {
        if (c == '\n') {
            flush();
            w.Return();
        } else {
            line += c;
        }
    }
    flush();
    return w.Bytes();
}

class MesScene : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        ScenarioText = &scenario;
        History().Clear();
        History().MaxCount = 0;
        History().Word->ViewWidth = 0;
        ReadList().Clear();
        GameClock = 1000;
    }
    void TearDown() override {
        History().Clear();
        History().Word->ViewWidth = 0;
        ReadList().Clear();
        ScenarioText = nullptr;
        SceneTest::TearDown();
    }
    TVorqMes* Window(const std::string& name, int l = 20, int t = 300, int w = 400, int h = 60) {
        auto* m = new TVorqMes(reg.get());
        m->SetName(name);
        m->SetRect(l, t, w, h);
        m->SetFontHeight(20);
        m->SetParent(reg->ActiveBase());
        return m;
    }
    // What the text-insert command does: one piece referring to the command.
    void Insert(TVorqMes& m, const std::string& page, int32_t command, bool record = true) {
        m.RecordMode = record ? TVorqMes::kRecordText : TVorqMes::kRecordNone;
        m.PageName = record ? page : std::string();
        m.CommandIndex = record ? command : 0;
        m.MesData.Pieces.Clear();
        m.MesData.Pieces.AddPiece(page, command, "", 0, -1, 0);
        m.PackedHistory = 0;
        // Page 0 is started by showing it, not twice.
        m.RebuildPages(false);
        if (m.GetCount() > 0) m.SetPageIndex(0);
    }
    // One frame ms after the last: the window's update only.
    void Frame(TVorqMes& m, uint32_t ms = 16) {
        GameClock += ms;
        m.Update();
    }
    // Handlers that ran: the queue emptied.
    void RunHandlers() { reg->Events.Clear(); }
    MemoryScenario scenario;
};

}  // namespace mestest
