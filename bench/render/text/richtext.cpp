// Rich text: compiling tagged source, laying out pages, and one typewriter
// frame of a bordered, shadowed page at 32 bits once its glyphs are cached.
// Goals: compile of 10 KB under 1 ms, layout of 5,000 glyphs under 2 ms,
// a 400-glyph typewriter frame under 1 ms.
#include "platform/text/codepage.h"
#include "render/font_pixel.h"
#include "render/text/layout.h"
#include "render/text/tag_compiler.h"
#include "render/text/wz_word.h"
#include "tests/support/plain_dibx.h"

#include <benchmark/benchmark.h>

namespace {

// Japanese prose with words, styles, links, rubies and line breaks.
std::string tagged_source(size_t bytes) {
    const std::string piece = Sjis(
        "吾輩は猫である。名前はまだ無い。<B>どこで</B>生れたか<FONT COLOR=#FF8000 SIZE=14>とんと</FONT>"
        "見当がつかぬ。Hello world, <A HREF=\"next\">click</A> here.<BR>"
        "<RUBY VALUE=\"かんじ\">漢字</RUBY>「かぎ括弧」、読点。<WAIT VALUE=80>ゆっくり</WAIT><BR>");
    std::string s;
    while (s.size() < bytes) s += piece;
    return s;
}

std::unique_ptr<TWzWord> word_of(size_t bytes) {
    auto w = std::make_unique<TWzWord>([](int32_t, int32_t, int32_t) { return std::make_unique<TPlainDIBX>(); });
    CompileTags(*w, {tagged_source(bytes)});
    return w;
}

void BM_CompileTags10KB(benchmark::State& state) {
    const std::vector<std::string> lines = {tagged_source(10 * 1024)};
    TWzWord w([](int32_t, int32_t, int32_t) { return std::make_unique<TPlainDIBX>(); });
    for (auto _ : state) {
        CompileTags(w, lines);
        benchmark::DoNotOptimize(w.GlyphCount());
    }
    state.counters["glyphs"] = w.GlyphCount();
}
BENCHMARK(BM_CompileTags10KB)->Unit(benchmark::kMicrosecond);

void BM_LayoutPages5000(benchmark::State& state) {
    auto w = word_of(1);
    while (w->GlyphCount() < 5000) {
        auto more = word_of(4096);
        w->AppendGlyphsFrom(*more, 0, -1);
    }
    while (w->GlyphCount() > 5000) w->DeleteGlyph(w->GlyphCount() - 1);
    w->ViewWidth = 600;
    w->PageHeight = 400;
    w->FontSize = 20;
    TWdPageList pages;
    for (auto _ : state) {
        pages.clear();
        LayoutPages(*w, pages, 0, -1);
        benchmark::DoNotOptimize(pages.size());
    }
    state.counters["pages"] = static_cast<double>(pages.size());
}
BENCHMARK(BM_LayoutPages5000)->Unit(benchmark::kMicrosecond);

struct BorderedPage {
    std::unique_ptr<TWzWord> w;
    TWdPageList pages;
    TPlainDIBX target{800, 600, 32};
    TWdPage* page = nullptr;
    BorderedPage() {
        w = std::make_unique<TWzWord>([](int32_t, int32_t, int32_t) { return std::make_unique<TPlainDIBX>(); });
        std::string text;
        const std::string kana = Sjis("あいうえおかきくけこさしすせそたちつてとなにぬねの");
        while (text.size() < 800) text += kana;
        CompileTags(*w, {text});
        w->ViewWidth = 640;
        w->PageHeight = 480;
        w->FontSize = 20;
        w->BorderWidth = 2;
        w->ShadowWidth = 2;
        w->Delay = 0;
        w->Target = &target;
        w->UpdateRect = target.BoundsRect();
        LayoutPages(*w, pages, 0, -1);
        page = pages[0].get();
        page->Render(false);  // the glyph cache now holds every glyph
    }
    int32_t glyphs() const {
        int32_t n = 0;
        for (int32_t r = 0; r < page->RowCount(); ++r) n += page->RowAt(r)->ChildCount();
        return n;
    }
};

void BM_TypewriterFrame400(benchmark::State& state) {
    BorderedPage b;
    std::string log;
    for (auto _ : state) {
        b.page->ResetTypewriter();
        AdvanceTypewriter(*b.page, 16, log);  // reveals and fades in all 400
        b.w->DrawPage(*b.page);
        benchmark::DoNotOptimize(log.size());
    }
    state.counters["glyphs"] = b.glyphs();
}
BENCHMARK(BM_TypewriterFrame400)->Unit(benchmark::kMicrosecond);

// Rendering the page into the off-screen pair, once per page shown.
void BM_RenderPage400(benchmark::State& state) {
    BorderedPage b;
    for (auto _ : state) {
        b.page->Render(false);
        benchmark::ClobberMemory();
    }
    state.counters["glyphs"] = b.glyphs();
}
BENCHMARK(BM_RenderPage400)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
