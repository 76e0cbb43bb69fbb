// A message page of 1,000 glyphs with a border of 2, 16, 64 and the
// window's width (640): the page drawn by its rows, each row's wide
// borders stamped from one dilation, against the same page drawn glyph
// after glyph (each glyph's border dilated on its own, as a hovered glyph
// is redrawn), and against glyph after glyph with the earlier per-glyph
// dilation (a queue of sliding maxima per row and column of the square).
// Goal: rows never slower than either.
#include "platform/text/codepage.h"
#include "render/font_pixel.h"
#include "render/text/glyphs.h"
#include "render/text/layout.h"
#include "render/text/tag_compiler.h"
#include "render/text/wz_word.h"
#include "tests/support/plain_dibx.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

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

// The earlier wide border of one glyph at (x, y) of a 32-bit target: the
// square's coverage by sliding-maximum queues, stamped by the "over" rule.
void window_max(const uint8_t* in, ptrdiff_t in_step, int32_t n, int32_t r, int32_t o0, int32_t o1, uint8_t* out,
                ptrdiff_t out_step, std::vector<int32_t>& queue) {
    queue.resize(static_cast<size_t>(std::max(n, 1)));
    int32_t head = 0, tail = 0;
    int64_t next = std::max<int64_t>(0, int64_t{o0} - 2 * int64_t{r});
    for (int32_t i = o0; i < o1; ++i) {
        for (; next <= std::min<int64_t>(i, n - 1); ++next) {
            const uint8_t v = in[next * in_step];
            while (tail > head && in[queue[tail - 1] * in_step] <= v) --tail;
            queue[tail++] = static_cast<int32_t>(next);
        }
        while (head < tail && queue[head] < int64_t{i} - 2 * int64_t{r}) ++head;
        out[(i - o0) * out_step] = head < tail ? in[queue[head] * in_step] : 0;
    }
}

void over32(uint32_t& pixel, uint8_t& mask, uint32_t c, uint32_t colour) {
    const uint32_t grown = mask + (((255u - mask) * c + 1 + (((255u - mask) * c) >> 8)) >> 8);
    mask = static_cast<uint8_t>(grown);
    if (c >= 255) {
        pixel = colour;
        return;
    }
    const uint32_t w = std::min<uint32_t>(255, grown ? c * 255u / grown : 255u), v = 255 - w;
    pixel = (((w * (colour & 0xFF00FF) + v * (pixel & 0xFF00FF)) >> 8) & 0xFF00FF) |
            (((w * (colour & 0xFF00) + v * (pixel & 0xFF00)) >> 8) & 0xFF00);
}

void queue_stamp(TCustomDIBX& t, TCustomDIBX& m, int32_t x, int32_t y, const TFontPixel& g, uint32_t colour,
                 int32_t b, bool outside_only) {
    const int32_t gw = g.GetWidth(), gh = g.GetHeight();
    const int32_t tw = std::min(t.Width(), m.Width()), th = std::min(t.Height(), m.Height());
    const int64_t ox = int64_t{x} - b, oy = int64_t{y} - b;
    const int32_t x0 = static_cast<int32_t>(std::max<int64_t>(0, ox));
    const int32_t x1 = static_cast<int32_t>(std::min<int64_t>(tw, int64_t{x} + gw + b));
    const int32_t y0 = static_cast<int32_t>(std::max<int64_t>(0, oy));
    const int32_t y1 = static_cast<int32_t>(std::min<int64_t>(th, int64_t{y} + gh + b));
    if (g.IsEmpty() || x0 >= x1 || y0 >= y1) return;
    const int32_t cols = x1 - x0, rows = y1 - y0;
    const int32_t X0 = static_cast<int32_t>(x0 - ox), Y0 = static_cast<int32_t>(y0 - oy);
    std::vector<int32_t> queue;
    std::vector<uint8_t> across(static_cast<size_t>(gh) * cols);
    for (int32_t gy = 0; gy < gh; ++gy)
        window_max(g.Pixels() + static_cast<ptrdiff_t>(gy) * gw, 1, gw, b, X0, X0 + cols,
                   across.data() + static_cast<size_t>(gy) * cols, 1, queue);
    std::vector<uint8_t> square(static_cast<size_t>(rows) * cols);
    for (int32_t i = 0; i < cols; ++i)
        window_max(across.data() + i, cols, gh, b, Y0, Y0 + rows, square.data() + i, cols, queue);
    uint8_t* tb = t.Lock(0, 0);
    uint8_t* mb = m.Lock(0, 0);
    for (int32_t j = 0; j < rows; ++j) {
        const int32_t py = y0 + j;
        auto* prow = reinterpret_cast<uint32_t*>(tb + static_cast<ptrdiff_t>(t.Pitch()) * py);
        uint8_t* krow = mb + static_cast<ptrdiff_t>(m.Pitch()) * py;
        const uint8_t* c = square.data() + static_cast<size_t>(j) * cols;
        for (int32_t i = 0; i < cols; ++i) {
            const int32_t px = x0 + i, gx = px - x, gy = py - y;
            if (!c[i] || (outside_only && gx >= 0 && gy >= 0 && gx < gw && gy < gh && g.Pixels()[gy * gw + gx]))
                continue;
            over32(prow[px], krow[px], c[i], colour);
        }
    }
    m.Unlock();
    t.Unlock();
}

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

void BM_WideBorderPageGlyphAfterGlyphByQueues(benchmark::State& state) {
    const int32_t b = border_of(state.range(0));
    Page p(b);
    TWdPage& page = *p.pages[0];
    page.Render(false);
    TFontPixelManager& cache = FontPixelManager();
    for (auto _ : state) {
        p.w->ColourSurface().Fill(0);
        p.w->MaskSurface().Fill(0);
        for (TWdGlyph* row : page.Children)
            for (TWdGlyph* g : static_cast<TWdRow*>(row)->Children) {
                auto* c = static_cast<TWdChar*>(g);
                const TWdChar::Look k = c->GetLook();
                if (b <= kExactStampBorder) {
                    c->Render(false);
                    continue;
                }
                const TFontPixel* glyph = cache.RenderGlyph(c->Code, k.font, k.size, k.style);
                const TPoint o = glyph->Origin(k.cell);
                const int32_t s = k.shadow_width;
                TCustomDIBX& colour = p.w->ColourSurface();
                TCustomDIBX& mask = p.w->MaskSurface();
                if (s > 0) queue_stamp(colour, mask, o.X + b + s, o.Y + b + s, *glyph, k.shadow, b, false);
                queue_stamp(colour, mask, o.X + b, o.Y + b, *glyph, k.border, b, true);
                c->RenderAfterBorders(false);
            }
    }
    state.counters["glyphs"] = p.w->GlyphCount();
}

BENCHMARK(BM_WideBorderPageByRows)->Arg(2)->Arg(16)->Arg(64)->Arg(-1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WideBorderPageGlyphAfterGlyph)->Arg(2)->Arg(16)->Arg(64)->Arg(-1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WideBorderPageGlyphAfterGlyphByQueues)->Arg(2)->Arg(16)->Arg(64)->Arg(-1)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
