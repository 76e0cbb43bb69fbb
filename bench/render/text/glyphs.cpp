// Glyph cache speed: a hit, a miss (rasterise and quantise) by size, and a
// page of 400 distinct kanji with border and shadow.
#include "platform/text/codepage.h"
#include "render/font_pixel.h"
#include "tests/support/plain_dibx.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

const std::string& gothic() {
    static const std::string name = Sjis("ＭＳ ゴシック");
    return name;
}

// Distinct level-1 kanji, from the first kanji row on.
std::vector<uint16_t> kanji(size_t n) {
    std::vector<uint16_t> codes;
    for (uint16_t c = 0x889F; codes.size() < n; ++c) {
        const uint8_t t = c & 0xFF;
        if (t >= 0x40 && t != 0x7F && t <= 0xFC) codes.push_back(c);
    }
    return codes;
}

void BM_GlyphCacheHit(benchmark::State& state) {
    TFontPixelManager m;
    const auto codes = kanji(64);
    for (uint16_t c : codes) m.RenderGlyph(c, gothic(), 24, 0);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(m.RenderGlyph(codes[i], gothic(), 24, 0));
        i = (i + 1) & 63;
    }
}
BENCHMARK(BM_GlyphCacheHit);

// Cycling through more glyphs than the cache holds makes every request a miss.
void BM_GlyphCacheMiss(benchmark::State& state) {
    TFontPixelManager m;
    const int32_t size = static_cast<int32_t>(state.range(0));
    const auto codes = kanji(300);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(m.RenderGlyph(codes[i], gothic(), size, 0));
        if (++i == codes.size()) i = 0;
    }
}
BENCHMARK(BM_GlyphCacheMiss)->Arg(16)->Arg(24)->Arg(32)->Arg(48);

void draw_page(benchmark::State& state, TFontPixelManager* managers[2], const std::vector<uint16_t>& codes,
               TPlainDIBX& colour, TPlainDIBX& mask) {
    const int32_t size = 24;
    for (auto _ : state) {
        TRect out;
        for (size_t k = 0; k < codes.size(); ++k) {
            const TFontPixel* g = managers[k & 1]->RenderGlyph(codes[k], gothic(), size, 0);
            const int32_t col = static_cast<int32_t>(k % 25), row = static_cast<int32_t>(k / 25);
            g->DrawTo(colour, mask, Bounds(col * (size + 4), row * (size + 6), size, size), 1, 2, col == 0, col == 24,
                      0xFFFFFF, 0x202020, 0x000000, out, false);
        }
        benchmark::DoNotOptimize(mask.Bytes().data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(codes.size()));
}

// The glyphs stay cached (two caches of 200 each), so this is the drawing.
void BM_PageBorderShadow(benchmark::State& state) {
    TFontPixelManager a, b;
    TFontPixelManager* managers[2] = {&a, &b};
    TPlainDIBX colour(800, 600, static_cast<int32_t>(state.range(0))), mask(800, 600, 8);
    const auto codes = kanji(400);
    draw_page(state, managers, codes, colour, mask);
}
BENCHMARK(BM_PageBorderShadow)->Arg(32)->Arg(16)->Unit(benchmark::kMicrosecond);

// One cache for 400 glyphs: every glyph is rasterised again on each page.
void BM_PageBorderShadowUncached(benchmark::State& state) {
    TFontPixelManager a;
    TFontPixelManager* managers[2] = {&a, &a};
    TPlainDIBX colour(800, 600, 32), mask(800, 600, 8);
    const auto codes = kanji(400);
    draw_page(state, managers, codes, colour, mask);
}
BENCHMARK(BM_PageBorderShadowUncached)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
