// The message window's hot paths: one typewriter frame of a 400-glyph page
// on a 32-bit layer with the glyphs cached, and the backlog display of 100
// pieces laid out as one tall page, with the page cache cold and warm.
#include "objects/base_list.h"
#include "objects/text/mes.h"
#include "objects/text/scenario_text.h"
#include "platform/text/codepage.h"
#include "script/game_clock.h"
#include "render/custom_dibx.h"
#include "render/text/wz_word.h"
#include "tests/support/glyph_list_writer.h"
#include "tests/support/plain_dibx.h"

#include <benchmark/benchmark.h>

namespace {

class OnePage : public TScenarioText {
public:
    struct Page : TScenarioTextPage {
        std::string text;
        int32_t CommandCount() const override { return 1; }
        const std::string* StoredText(int32_t i) const override { return i == 0 ? &text : nullptr; }
    };
    std::string text;
    bool PageExists(const std::string&) override { return true; }
    std::unique_ptr<TScenarioTextPage> LoadPage(const std::string&) override {
        auto p = std::make_unique<Page>();
        p->text = text;
        return p;
    }
};

std::string kana_list(size_t glyphs) {
    TGlyphListWriter w;
    const uint32_t d = w.AddDecoration(StoredDecoration{});
    const std::string kana = "あいうえおかきくけこさしすせそたちつてとなにぬねの";
    std::string text;
    while (text.size() < glyphs * 3) text += kana;
    text.resize(glyphs * 3);
    w.Text(Sjis(text), d);
    return w.Bytes();
}

struct Scene {
    OnePage source;
    std::unique_ptr<TVorqBaseList> reg;
    Scene() {
        SetSurfaceMaker([](int32_t w, int32_t h, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
            return std::make_unique<TPlainDIBX>(w, h, bits);
        });
        reg = std::make_unique<TVorqBaseList>();
        reg->SurfaceBits = 32;
        reg->SetWidth(800);
        reg->SetHeight(600);
        ScenarioText = &source;
    }
    ~Scene() {
        reg.reset();
        ScenarioText = nullptr;
        SetSurfaceMaker(nullptr);
    }
    TVorqMes* window(int32_t h) {
        auto* m = new TVorqMes(reg.get());
        m->SetName("msg");
        m->SetRect(0, 0, 800, h);
        m->SetFontHeight(20);
        m->SetDelay(0);
        m->SetParent(reg->ActiveBase());
        return m;
    }
};

void BM_MesTypewriterFrame400(benchmark::State& state) {
    Scene s;
    s.source.text = kana_list(400);
    TVorqMes* m = s.window(600);
    m->MesData.Pieces.AddPiece("story.vsb", 0, "", 0, -1, 0);
    m->RebuildPages(false);
    m->SetIndex(0);
    m->Update();  // renders: the glyph cache now holds every glyph
    for (auto _ : state) {
        m->CurrentPage()->ResetTypewriter();
        GameClock += 16;
        m->Update();  // TEXTDELAY 0: the whole page in one frame
    }
    state.counters["glyphs"] = 400;
}
BENCHMARK(BM_MesTypewriterFrame400)->Unit(benchmark::kMicrosecond);

void rebuild_backlog(benchmark::State& state, bool warm) {
    Scene s;
    s.source.text = kana_list(40);
    TVorqMes* m = s.window(600);
    for (int i = 0; i < 100; ++i) m->MesData.Pieces.AddPiece("story.vsb", 0, "", 24, 39, 0);
    m->RecordMode = TVorqMes::kRecordHistory;
    if (warm) m->RebuildPages(false);
    for (auto _ : state) {
        if (!warm) {
            state.PauseTiming();
            m->MesData.Cache = TMesDataCacheList();
            state.ResumeTiming();
        }
        m->RebuildPages(false);
    }
}
void BM_MesBacklogRebuild100Cold(benchmark::State& state) { rebuild_backlog(state, false); }
void BM_MesBacklogRebuild100Warm(benchmark::State& state) { rebuild_backlog(state, true); }
BENCHMARK(BM_MesBacklogRebuild100Cold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MesBacklogRebuild100Warm)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
