// A message page of 1,000 glyphs with a border of 2, 16, 64 and the
// window's width (640): the page drawn by its rows, each row's wide
// borders stamped from one dilation, against the same page drawn glyph
// after glyph (each glyph's border dilated on its own, as a hovered glyph
// is redrawn). Goal: rows never slower, and far faster where borders overlap.
#include "platform/text/codepage.h"
#include "render/font_pixel.h"
#include "render/text/glyphs.h"
#include "render/text/layout.h"
#include "render/text/tag_compiler.h"
#include "render/text/wz_word.h"
#include "tests/support/plain_dibx.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int32_t kWindowWidth = 640;

struct Page {
    std::unique_ptr<TWzWord> w;
    TPlainDIBX target{kWindowWidth, 480, 32};
    TWdPageList pages;
    explicit Page(int32_t border) {
        w = std::make_unique<TWzWord>([](int32_t, int32_t, int32_t) { return std::make_unique<TPlainDIBX>(); });
        w->ViewWidth = kWindowWidth;
        w->PageHeight = 1 << 30;
        w->FontSize = 16;
        w->BorderWidth = border;
        w->ShadowWidth = 2;
        w->Target = &target;
        std::string text;
        const std::string piece = Sjis("吾輩は猫である。名前はまだ無い。");
        while (text.size() < 2000) text += piece;
        text.resize(2000);
        CompileTags(*w, {text});
        LayoutPages(*w, pages, 0, -1);
    }
};

int32_t border_of(int64_t arg) { return arg < 0 ? kWindowWidth : static_cast<int32_t>(arg); }

void BM_WideBorderPageByRows(benchmark::State& state) {
    Page p(border_of(state.range(0)));
    for (auto _ : state) p.pages[0]->Render(false);
    state.counters["glyphs"] = p.w->GlyphCount();
}

void BM_WideBorderPageGlyphAfterGlyph(benchmark::State& state) {
    Page p(border_of(state.range(0)));
    TWdPage& page = *p.pages[0];
    page.Render(false);
    for (auto _ : state) {
        p.w->ColourSurface().Fill(0);
        p.w->MaskSurface().Fill(0);
        for (TWdGlyph* row : page.Children)
            for (TWdGlyph* g : static_cast<TWdRow*>(row)->Children) g->Render(false);
    }
    state.counters["glyphs"] = p.w->GlyphCount();
}

BENCHMARK(BM_WideBorderPageByRows)->Arg(2)->Arg(16)->Arg(64)->Arg(-1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WideBorderPageGlyphAfterGlyph)->Arg(2)->Arg(16)->Arg(64)->Arg(-1)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
