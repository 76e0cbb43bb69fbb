// One step of every wipe at 800 x 600, 32 bpp, at a position whose picture
// differs from the previous one (mask wipes compose only then), beside
// pixman doing the nearest composites on the same buffers: OVER through an
// a8 mask for the mask compositor, ADD of a solid grey for the white and
// black fades.
#include "render/wipes/custom_wipe.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "render/dibx.h"
#include "tests/support/plain_dibx.h"

#ifdef HAVE_PIXMAN
#include <pixman.h>
#endif

namespace {

constexpr int32_t W = 800, H = 600;

struct Screens {
    TPlainDIBX target{W, H, 32}, old_picture{W, H, 32}, new_picture{W, H, 32};
    TDIBX mask;
    Screens() {
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x) {
                old_picture.SetPixel(x, y, uint32_t(x * 255 / W) << 16 | uint32_t(y * 255 / H) << 8 | uint32_t((x ^ y) & 0xF0));
                new_picture.SetPixel(x, y, uint32_t((x + y) & 0xFF) << 16 | uint32_t(x & 0xC0) << 8 | uint32_t(y * 255 / H));
            }
        // A soft-edged mask: wide runs of 0 and 255 with ramps between, as
        // the blinds and grids make.
        mask.SetSize(W, H, 8);
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x) {
                const int32_t r = (x + y / 4) % 80;
                mask.SetPixel(x, y, uint32_t(r < 30 ? 0 : r < 50 ? (r - 30) * 255 / 20 : 255));
            }
    }
};

Screens& S() {
    static Screens s;
    return s;
}

void BM_WipeStep(benchmark::State& st) {
    Screens& s = S();
    const int32_t kind = int32_t(st.range(0));
    auto wipe = CreateWipe(kind, &s.target, &s.old_picture, &s.new_picture);
    constexpr int32_t kDuration = 1000000;
    wipe->Duration = kDuration;
    wipe->SetMode(0);
    wipe->Prepare();
    // Positions through the middle of the transition, each a new picture.
    int32_t i = 0;
    for (auto _ : st) {
        wipe->Position = 300000 + (i * 7919) % 400000;
        ++i;
        wipe->Step();
        benchmark::DoNotOptimize(s.target.Bytes().data());
    }
    st.SetItemsProcessed(st.iterations() * W * H);
}
BENCHMARK(BM_WipeStep)->DenseRange(1, 38)->Unit(benchmark::kMicrosecond);

void BM_ComposeMask(benchmark::State& st) {
    Screens& s = S();
    for (auto _ : st) {
        wipes::ComposeMask(s.target, s.old_picture, s.new_picture, s.mask);
        benchmark::DoNotOptimize(s.target.Bytes().data());
    }
    st.SetItemsProcessed(st.iterations() * W * H);
}
BENCHMARK(BM_ComposeMask)->Unit(benchmark::kMicrosecond);

// The saturating add of the white and black wipes alone, in place, as
// pixman's ADD below works.
void BM_AddGreyInPlace(benchmark::State& st) {
    Screens& s = S();
    for (auto _ : st) {
        for (int32_t y = 0; y < H; ++y) wipes::AddConstRow(s.target, s.target.Row(y), s.target.Row(y), 0x808080u, W, false);
        benchmark::DoNotOptimize(s.target.Bytes().data());
    }
    st.SetItemsProcessed(st.iterations() * W * H);
}
BENCHMARK(BM_AddGreyInPlace)->Unit(benchmark::kMicrosecond);

#ifdef HAVE_PIXMAN
pixman_image_t* Image(TPlainDIBX& s, pixman_format_code_t f) {
    return pixman_image_create_bits(f, s.Width(), s.Height(), reinterpret_cast<uint32_t*>(s.Bytes().data()), s.Pitch());
}

void PX_OverA8(benchmark::State& st) {
    Screens& s = S();
    TPlainDIBX m(W, H, 8);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) m.SetPixel(x, y, s.mask.GetPixel(x, y));
    pixman_image_t *src = Image(s.new_picture, PIXMAN_x8r8g8b8), *msk = Image(m, PIXMAN_a8),
                   *dst = Image(s.target, PIXMAN_x8r8g8b8);
    for (auto _ : st) pixman_image_composite32(PIXMAN_OP_OVER, src, msk, dst, 0, 0, 0, 0, 0, 0, W, H);
    pixman_image_unref(src);
    pixman_image_unref(msk);
    pixman_image_unref(dst);
    st.SetItemsProcessed(st.iterations() * W * H);
}
BENCHMARK(PX_OverA8)->Unit(benchmark::kMicrosecond);

void PX_AddGrey(benchmark::State& st) {
    Screens& s = S();
    const pixman_color_t grey{0x8080, 0x8080, 0x8080, 0xFFFF};
    pixman_image_t *src = pixman_image_create_solid_fill(&grey), *dst = Image(s.target, PIXMAN_x8r8g8b8);
    for (auto _ : st) pixman_image_composite32(PIXMAN_OP_ADD, src, nullptr, dst, 0, 0, 0, 0, 0, 0, W, H);
    pixman_image_unref(src);
    pixman_image_unref(dst);
    st.SetItemsProcessed(st.iterations() * W * H);
}
BENCHMARK(PX_AddGrey)->Unit(benchmark::kMicrosecond);

// What a white or black step does, in pixman: copy the picture, then add.
void PX_CopyThenAddGrey(benchmark::State& st) {
    Screens& s = S();
    const pixman_color_t grey{0x8080, 0x8080, 0x8080, 0xFFFF};
    pixman_image_t *src = pixman_image_create_solid_fill(&grey), *dst = Image(s.target, PIXMAN_x8r8g8b8),
                   *pic = Image(s.old_picture, PIXMAN_x8r8g8b8);
    for (auto _ : st) {
        pixman_image_composite32(PIXMAN_OP_SRC, pic, nullptr, dst, 0, 0, 0, 0, 0, 0, W, H);
        pixman_image_composite32(PIXMAN_OP_ADD, src, nullptr, dst, 0, 0, 0, 0, 0, 0, W, H);
    }
    pixman_image_unref(src);
    pixman_image_unref(dst);
    pixman_image_unref(pic);
    st.SetItemsProcessed(st.iterations() * W * H);
}
BENCHMARK(PX_CopyThenAddGrey)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace

BENCHMARK_MAIN();
