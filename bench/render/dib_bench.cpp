// Bitmap costs at a game-screen size (640 x 480): BMP reading against a
// bare memcpy of the same bytes, RLE8 decoding, the depth conversions the
// image loader runs (24 to 5-5-5 with diffusion, 24 to 8 by median cut) and
// the constant-alpha and keyed blits of the drawing surface.
#include "render/dib_surface.h"

#include "platform/filesystem/stream.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr int W = 640, H = 480;

TDIBSurface Picture(int bpp) {
    TDIBSurface s;
    s.SetSize(W, H, 24);
    for (int y = 0; y < H; ++y) {
        uint8_t* row = s.ScanLine(y);
        for (int x = 0; x < W; ++x) {
            row[3 * x] = static_cast<uint8_t>(x * 255 / W);
            row[3 * x + 1] = static_cast<uint8_t>(y * 255 / H);
            row[3 * x + 2] = static_cast<uint8_t>((x ^ y) & 0xF0);
        }
    }
    if (bpp != 24) s.ConvertBitCount(bpp, 0, false);
    return s;
}

TMemoryStream Saved(const TDIB& d) {
    TMemoryStream m;
    d.SaveToStream(m);
    return m;
}

void BM_ReadBmp24(benchmark::State& state) {
    TMemoryStream m = Saved(Picture(24));
    for (auto _ : state) {
        m.SetPosition(0);
        TDIB d;
        d.LoadFromStream(m);
        benchmark::DoNotOptimize(d.TopRowReadOnly());
    }
    state.SetBytesProcessed(state.iterations() * m.GetSize());
}
BENCHMARK(BM_ReadBmp24);

void BM_MemcpyBmp24(benchmark::State& state) {
    TMemoryStream m = Saved(Picture(24));
    std::vector<uint8_t> out(static_cast<size_t>(m.GetSize()));
    for (auto _ : state) {
        std::memcpy(out.data(), m.Memory(), out.size());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * m.GetSize());
}
BENCHMARK(BM_MemcpyBmp24);

void BM_ReadRle8(benchmark::State& state) {
    // Rows of runs of 16 pixels, as an encoder makes of flat artwork.
    std::vector<uint8_t> rle;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; x += 16) rle.insert(rle.end(), {16, static_cast<uint8_t>(x / 16 + y)});
        rle.insert(rle.end(), {0, 0});
    }
    rle.insert(rle.end(), {0, 1});
    TDIB p;
    p.SetSize(W, H, 8);
    TMemoryStream m = Saved(p);
    const uint32_t off = 14 + 40 + 1024;
    m.SetSize(off);
    m.SetPosition(off);
    m.WriteBuffer(rle.data(), static_cast<int64_t>(rle.size()));
    const uint32_t comp = 1, size = static_cast<uint32_t>(rle.size());
    std::memcpy(m.Memory() + 30, &comp, 4);
    std::memcpy(m.Memory() + 34, &size, 4);
    for (auto _ : state) {
        m.SetPosition(0);
        TDIB d;
        d.LoadFromStream(m);
        benchmark::DoNotOptimize(d.TopRowReadOnly());
    }
    state.SetItemsProcessed(state.iterations() * W * H);
}
BENCHMARK(BM_ReadRle8);

void BM_Convert24To15Dithered(benchmark::State& state) {
    const TDIBSurface src = Picture(24);
    for (auto _ : state) {
        TDIBSurface s(src);
        s.ConvertBitCount(15, 0, true);
        benchmark::DoNotOptimize(s.TopRowReadOnly());
    }
    state.SetItemsProcessed(state.iterations() * W * H);
}
BENCHMARK(BM_Convert24To15Dithered);

void BM_Convert24To8MedianCut(benchmark::State& state) {
    const TDIBSurface src = Picture(24);
    for (auto _ : state) {
        TDIBSurface s(src);
        s.ConvertBitCount(8, 0, state.range(0) != 0);
        benchmark::DoNotOptimize(s.TopRowReadOnly());
    }
    state.SetItemsProcessed(state.iterations() * W * H);
}
BENCHMARK(BM_Convert24To8MedianCut)->Arg(0)->Arg(1);

void BM_DrawAlpha(benchmark::State& state) {
    const int bpp = static_cast<int>(state.range(0));
    const TDIBSurface src = Picture(bpp);
    TDIBSurface dst = Picture(bpp);
    for (auto _ : state) {
        dst.DrawAlpha(0, 0, 100, -1, TRect{0, 0, W, H}, src);
        benchmark::DoNotOptimize(dst.TopRowReadOnly());
    }
    state.SetItemsProcessed(state.iterations() * W * H);
}
BENCHMARK(BM_DrawAlpha)->Arg(16)->Arg(24)->Arg(32);

void BM_CopyTransparent(benchmark::State& state) {
    const int bpp = static_cast<int>(state.range(0));
    const TDIBSurface src = Picture(bpp);
    TDIBSurface dst = Picture(bpp);
    for (auto _ : state) {
        dst.CopyTransparent(0, 0, 0, TRect{0, 0, W, H}, src);
        benchmark::DoNotOptimize(dst.TopRowReadOnly());
    }
    state.SetItemsProcessed(state.iterations() * W * H);
}
BENCHMARK(BM_CopyTransparent)->Arg(8)->Arg(16)->Arg(32);

}  // namespace
BENCHMARK_MAIN();
