// Drawing-surface costs on screen-sized surfaces (800x600 at 32 bits, 640x480
// at 16 bits): copies, keyed copies, blends, fills, rotation and stretch, each
// beside pixman doing the nearest matching composite on the same buffers, and
// the opaque copy beside memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>

#include "tests/support/plain_dibx.h"

#ifdef HAVE_PIXMAN
#include <pixman.h>
#endif

namespace {

struct Size {
    int w, h, bits;
};
const Size kSizes[] = {{800, 600, 32}, {640, 480, 16}};

// Picture-like content: gradients plus noise.
void Paint(TPlainDIBX& s, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int y = 0; y < s.Height(); ++y)
        for (int x = 0; x < s.Width(); ++x) {
            const uint32_t c = ((x * 255 / std::max(1, s.Width())) & 0xFF) | ((y * 255 / std::max(1, s.Height())) & 0xFF) << 8 |
                               ((rng() & 0x3F) + 0x40) << 16;
            s.SetPixel(x, y, uint32_t(s.ColorToPixel(int32_t(c))));
        }
}

// Key pixels: sparse = one in 64 at random places; dense = runs of 16 key
// pixels every 32 (half the picture).
void Key(TPlainDIBX& s, bool dense) {
    const uint32_t key = uint32_t(s.ColorToPixel(0xFF00FF));
    s.SetTransparentColor(int32_t(key));
    std::mt19937 rng(3);
    for (int y = 0; y < s.Height(); ++y)
        for (int x = 0; x < s.Width(); ++x)
            if (dense ? (x & 31) < 16 : rng() % 64 == 0) s.SetPixel(x, y, key);
}

void Mask(TPlainDIBX& m) {
    for (int y = 0; y < m.Height(); ++y)
        for (int x = 0; x < m.Width(); ++x) {
            const int v = (x + y) % 384;
            m.SetPixel(x, y, uint32_t(v < 64 ? 0 : v < 128 ? 255 : (v * 7) & 0xFF));
        }
}

struct Scene {
    TPlainDIBX dst, src, mask, half, dbl;
    explicit Scene(const Size& z)
        : dst(z.w, z.h, z.bits), src(z.w, z.h, z.bits), mask(z.w, z.h, 8), half(z.w / 2, z.h / 2, z.bits),
          dbl(z.w * 2, z.h * 2, z.bits) {
        Paint(dst, 1);
        Paint(src, 2);
        Paint(half, 4);
        Paint(dbl, 5);
        Mask(mask);
    }
};

Scene& SceneFor(int index) {
    static std::unique_ptr<Scene> scenes[2];
    if (!scenes[index]) scenes[index] = std::make_unique<Scene>(kSizes[index]);
    return *scenes[index];
}

void Pixels(benchmark::State& st, const TPlainDIBX& d) {
    st.SetItemsProcessed(int64_t(st.iterations()) * d.Width() * d.Height());
    st.SetLabel(std::to_string(d.Width()) + "x" + std::to_string(d.Height()) + "@" + std::to_string(d.BitCount()));
}

// ---- ours ----

void BM_Draw(benchmark::State& st) {
    Scene& s = SceneFor(int(st.range(0)));
    for (auto _ : st) s.dst.Draw(0, 0, s.src, s.src.BoundsRect(), false, false, false);
    Pixels(st, s.dst);
}

void BM_Memcpy(benchmark::State& st) {
    Scene& s = SceneFor(int(st.range(0)));
    for (auto _ : st) {
        std::memcpy(s.dst.Bytes().data(), s.src.Bytes().data(), s.src.Bytes().size());
        benchmark::ClobberMemory();
    }
    Pixels(st, s.dst);
}

void BM_DrawKeyed(benchmark::State& st) {
    Scene& s = SceneFor(int(st.range(0)));
    TPlainDIBX keyed(s.src.Width(), s.src.Height(), s.src.BitCount());
    Paint(keyed, 2);
    Key(keyed, st.range(1) != 0);
    for (auto _ : st) s.dst.Draw(0, 0, keyed, keyed.BoundsRect(), true, false, false);
    Pixels(st, s.dst);
}

void BM_DrawAlpha(benchmark::State& st) {
    Scene& s = SceneFor(int(st.range(0)));
    for (auto _ : st) s.dst.DrawAlpha(0, 0, s.src, s.src.BoundsRect(), false, false, false, 160);
    Pixels(st, s.dst);
}

void BM_DrawMask(benchmark::State& st) {
    Scene& s = SceneFor(int(st.range(0)));
    for (auto _ : st) s.dst.DrawMask(0, 0, s.src, s.src.BoundsRect(), false, false, s.mask);
    Pixels(st, s.dst);
}

void BM_DrawMaskAlpha(benchmark::State& st) {
    Scene& s = SceneFor(int(st.range(0)));
    for (auto _ : st) s.dst.DrawMaskAlpha(0, 0, s.src, s.src.BoundsRect(), false, false, s.mask, 160);
    Pixels(st, s.dst);
}

void BM_DrawAdd(benchmark::State& st) {
    Scene& s = SceneFor(int(st.range(0)));
    for (auto _ : st) s.dst.DrawAdd(0, 0, s.src, s.src.BoundsRect(), false, false, false, 96);
    Pixels(st, s.dst);
}

void BM_FillRect(benchmark::State& st) {
    Scene& s = SceneFor(int(st.range(0)));
    const uint32_t v = uint32_t(s.dst.ColorToPixel(0x336699));
    for (auto _ : st) s.dst.FillRect(s.dst.BoundsRect(), v);
    Pixels(st, s.dst);
}

void BM_FillRectAlpha(benchmark::State& st) {
    Scene& s = SceneFor(int(st.range(0)));
    const uint32_t v = uint32_t(s.dst.ColorToPixel(0x336699));
    for (auto _ : st) s.dst.FillRectAlpha(s.dst.BoundsRect(), v, 100);
    Pixels(st, s.dst);
}

void BM_DrawRotate(benchmark::State& st) {
    Scene& s = SceneFor(int(st.range(0)));
    const int cx = s.half.Width() / 2, cy = s.half.Height() / 2;
    for (auto _ : st)
        s.dst.DrawRotate(s.dst.Width() / 2, s.dst.Height() / 2, 384, 384, s.half, s.half.BoundsRect(), cx, cy, 32,
                         false, false, false, 255);
    Pixels(st, s.dst);
}

void BM_DrawStretch(benchmark::State& st) {
    Scene& s = SceneFor(int(st.range(0)));
    TPlainDIBX& src = st.range(1) ? s.dbl : s.half;  // 1 = 0.5x, 0 = 2x
    for (auto _ : st) s.dst.DrawStretch(s.dst.BoundsRect(), src, src.BoundsRect(), false, false, false, 255);
    Pixels(st, s.dst);
}

#ifdef HAVE_PIXMAN
// ---- pixman on the same buffers ----

pixman_format_code_t FormatOf(const TPlainDIBX& s) {
    return s.BitCount() == 32 ? PIXMAN_x8r8g8b8 : PIXMAN_r5g6b5;
}

struct Img {
    pixman_image_t* p;
    explicit Img(TPlainDIBX& s, pixman_format_code_t f)
        : p(pixman_image_create_bits(f, s.Width(), s.Height(), reinterpret_cast<uint32_t*>(s.Bytes().data()),
                                     s.Pitch())) {}
    explicit Img(TPlainDIBX& s) : Img(s, FormatOf(s)) {}
    explicit Img(pixman_image_t* q) : p(q) {}
    ~Img() { pixman_image_unref(p); }
};

pixman_image_t* Solid(uint16_t alpha, uint16_t grey = 0) {
    const pixman_color_t c{grey, grey, grey, alpha};
    return pixman_image_create_solid_fill(&c);
}

// Times the composite of src (through mask) onto the whole destination.
void Run(benchmark::State& st, Scene& s, pixman_op_t op, Img& src, pixman_image_t* mask) {
    Img d(s.dst);
    for (auto _ : st)
        pixman_image_composite32(op, src.p, mask, d.p, 0, 0, 0, 0, 0, 0, s.dst.Width(), s.dst.Height());
    Pixels(st, s.dst);
}

void PX_Draw(benchmark::State& st) {
    Scene& s = SceneFor(int(st.range(0)));
    Img src(s.src);
    Run(st, s, PIXMAN_OP_SRC, src, nullptr);
}

// A colour key has no pixman counterpart: the nearest is OVER from a source
// whose key pixels carry alpha 0 (32 bits: a8r8g8b8; 16 bits: a1r5g5b5).
void PX_DrawKeyed(benchmark::State& st) {
    Scene& s = SceneFor(int(st.range(0)));
    TPlainDIBX keyed(s.src.Width(), s.src.Height(), s.src.BitCount());
    Paint(keyed, 2);
    Key(keyed, st.range(1) != 0);
    const uint32_t key = uint32_t(keyed.TransparentColor());
    for (int y = 0; y < keyed.Height(); ++y)
        for (int x = 0; x < keyed.Width(); ++x) {
            const uint32_t v = keyed.GetPixel(x, y);
            if (keyed.BitCount() == 32) keyed.SetPixel(x, y, v == key ? 0 : v | 0xFF000000u);
            else keyed.SetPixel(x, y, v == key ? 0 : 0x8000 | (v >> 11) << 10 | ((v >> 6) & 31) << 5 | (v & 31));
        }
    Img src(keyed, keyed.BitCount() == 32 ? PIXMAN_a8r8g8b8 : PIXMAN_a1r5g5b5);
    Run(st, s, PIXMAN_OP_OVER, src, nullptr);
}

void PX_DrawAlpha(benchmark::State& st) {
    Scene& s = SceneFor(int(st.range(0)));
    Img src(s.src), m(Solid(160 * 257));
    Run(st, s, PIXMAN_OP_OVER, src, m.p);
}

// DrawMaskAlpha has the same pixman composite as DrawMask (one a8 mask).
void PX_DrawMask(benchmark::State& st) {
    Scene& s = SceneFor(int(st.range(0)));
    Img src(s.src), m(s.mask, PIXMAN_a8);
    Run(st, s, PIXMAN_OP_OVER, src, m.p);
}

void PX_DrawAdd(benchmark::State& st) {
    Scene& s = SceneFor(int(st.range(0)));
    Img src(s.src), m(Solid(96 * 257));
    Run(st, s, PIXMAN_OP_ADD, src, m.p);
}

void PX_FillRect(benchmark::State& st) {
    Scene& s = SceneFor(int(st.range(0)));
    Img src(Solid(0xFFFF, 0x3366));
    Run(st, s, PIXMAN_OP_SRC, src, nullptr);
}

void PX_FillRectAlpha(benchmark::State& st) {
    Scene& s = SceneFor(int(st.range(0)));
    Img src(Solid(100 * 257, 0x2020));
    Run(st, s, PIXMAN_OP_OVER, src, nullptr);
}

// Nearest-filtered transforms; the rotated source is a8r8g8b8 (opaque) so
// that samples outside it leave the destination as DrawRotate does.
void PX_DrawRotate(benchmark::State& st) {
    Scene& s = SceneFor(int(st.range(0)));
    TPlainDIBX& h = s.half;
    Img src(h, h.BitCount() == 32 ? PIXMAN_a8r8g8b8 : PIXMAN_r5g6b5);
    pixman_transform_t t;
    pixman_transform_init_identity(&t);
    // destination -> source: translate to the centre, rotate back, unzoom.
    const double a = -45.0 * 3.14159265358979323846 / 180.0;
    pixman_transform_translate(&t, nullptr, pixman_double_to_fixed(-s.dst.Width() / 2.0),
                               pixman_double_to_fixed(-s.dst.Height() / 2.0));
    pixman_transform_rotate(&t, nullptr, pixman_double_to_fixed(std::cos(a)), pixman_double_to_fixed(std::sin(a)));
    pixman_transform_scale(&t, nullptr, pixman_double_to_fixed(1 / 1.5), pixman_double_to_fixed(1 / 1.5));
    pixman_transform_translate(&t, nullptr, pixman_int_to_fixed(h.Width() / 2), pixman_int_to_fixed(h.Height() / 2));
    pixman_image_set_transform(src.p, &t);
    pixman_image_set_filter(src.p, PIXMAN_FILTER_NEAREST, nullptr, 0);
    Run(st, s, PIXMAN_OP_OVER, src, nullptr);
}

void PX_DrawStretch(benchmark::State& st) {
    Scene& s = SceneFor(int(st.range(0)));
    TPlainDIBX& from = st.range(1) ? s.dbl : s.half;
    Img src(from);
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(double(from.Width()) / s.dst.Width()),
                                pixman_double_to_fixed(double(from.Height()) / s.dst.Height()));
    pixman_image_set_transform(src.p, &t);
    pixman_image_set_filter(src.p, PIXMAN_FILTER_NEAREST, nullptr, 0);
    Run(st, s, PIXMAN_OP_SRC, src, nullptr);
}
#endif

// Size index 0 = 800x600@32, 1 = 640x480@16.
#define SIZES ->Arg(0)->Arg(1)
#define KEYED ->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})
BENCHMARK(BM_Draw) SIZES;
BENCHMARK(BM_Memcpy) SIZES;
BENCHMARK(BM_DrawKeyed) KEYED;
BENCHMARK(BM_DrawAlpha) SIZES;
BENCHMARK(BM_DrawMask) SIZES;
BENCHMARK(BM_DrawMaskAlpha) SIZES;
BENCHMARK(BM_DrawAdd) SIZES;
BENCHMARK(BM_FillRect) SIZES;
BENCHMARK(BM_FillRectAlpha) SIZES;
BENCHMARK(BM_DrawRotate) SIZES;
BENCHMARK(BM_DrawStretch) KEYED;
#ifdef HAVE_PIXMAN
BENCHMARK(PX_Draw) SIZES;
BENCHMARK(PX_DrawKeyed) KEYED;
BENCHMARK(PX_DrawAlpha) SIZES;
BENCHMARK(PX_DrawMask) SIZES;
BENCHMARK(PX_DrawAdd) SIZES;
BENCHMARK(PX_FillRect) SIZES;
BENCHMARK(PX_FillRectAlpha) SIZES;
BENCHMARK(PX_DrawRotate) SIZES;
BENCHMARK(PX_DrawStretch) KEYED;
#endif

}  // namespace

BENCHMARK_MAIN();
