// Picture objects drawing onto an 800x600 32-bit layer: one 128x128 image
// with constant opacity, with a per-pixel mask, additive, stretched to 1.5x
// and turned by 45 degrees; a tile filling the layer edge to edge and one at
// a pitch with gaps; and a whole render pass of 100 images (60 translucent
// or masked, 20 rotated, 20 stretched). Each beside pixman doing the nearest
// matching composites on the same buffers.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "objects/base_list.h"
#include "objects/images/image.h"
#include "objects/images/tile.h"
#include "tests/support/plain_dibx.h"

#ifdef HAVE_PIXMAN
#include <pixman.h>
#endif

namespace {

constexpr int kLayerW = 800, kLayerH = 600, kSide = 128;

// Picture-like content: gradients plus noise.
void Paint(TPlainDIBX& s, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int y = 0; y < s.Height(); ++y)
        for (int x = 0; x < s.Width(); ++x)
            s.SetPixel(x, y, uint32_t((x * 2) & 0xFF) | uint32_t((y * 2) & 0xFF) << 8 | ((rng() & 0x3F) + 0x40) << 16);
}

// A soft disc: opaque inside, fading at the rim, clear in the corners.
void Disc(TPlainDIBX& m) {
    const double c = (m.Width() - 1) / 2.0;
    for (int y = 0; y < m.Height(); ++y)
        for (int x = 0; x < m.Width(); ++x) {
            const double d = std::hypot(x - c, y - c) / c;
            m.SetPixel(x, y, uint32_t(d < 0.8 ? 255 : d > 1 ? 0 : int(255 * (1 - d) / 0.2)));
        }
}

struct Scene {
    std::unique_ptr<TVorqBaseList> reg;
    TPlainDIBX picture{kSide, kSide, 32}, mask{kSide, kSide, 8};
    Scene() {
        SetSurfaceMaker([](int32_t w, int32_t h, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
            return std::make_unique<TPlainDIBX>(w, h, bits);
        });
        reg = std::make_unique<TVorqBaseList>();
        reg->SurfaceBits = 32;
        reg->SetWidth(kLayerW);
        reg->SetHeight(kLayerH);
        Paint(picture, 7);
        Disc(mask);
        Layer().Fill(0x204060);
    }
    TPlainDIBX& Layer() { return static_cast<TPlainDIBX&>(*reg->ActiveBase()->GetSurface()); }
    TVorqImage* Image(int x, int y, int32_t alpha, bool masked) {
        auto* img = new TVorqImage(reg.get());
        img->SetPictureSurface(&picture);
        if (masked) img->SetMaskSurface(&mask);
        TVorqCustomImage* c = img;
        c->TVorqControl::SetWidth(kSide);
        c->TVorqControl::SetHeight(kSide);
        img->SetLeft(x);
        img->SetTop(y);
        img->SetAlpha(alpha);
        img->SetParent(reg->ActiveBase());
        return img;
    }
    void Clear() {
        reg->ResetScene();
        Layer().ClearClipRect();
    }
};

Scene& TheScene() {
    static Scene scene;
    scene.Clear();
    return scene;
}

void Pixels(benchmark::State& st, int64_t per_iteration) { st.SetItemsProcessed(int64_t(st.iterations()) * per_iteration); }

// ---- ours, through the objects ----

void DrawOne(benchmark::State& st, int32_t alpha, bool masked, int32_t zoom, int32_t angle) {
    Scene& s = TheScene();
    TVorqImage* img = s.Image(300, 200, alpha, masked);
    img->SetZoomX(zoom);
    img->SetZoomY(zoom);
    img->SetAngle(angle);
    img->Update();  // sized by the zoom
    for (auto _ : st) img->Draw();
    Pixels(st, int64_t(kSide) * kSide * zoom / 256 * zoom / 256);
}

void BM_ImageAlpha(benchmark::State& st) { DrawOne(st, 160, false, 256, 0); }
void BM_ImageMask(benchmark::State& st) { DrawOne(st, 255, true, 256, 0); }
void BM_ImageAdd(benchmark::State& st) { DrawOne(st, 256 + 96, false, 256, 0); }
void BM_ImageStretch(benchmark::State& st) { DrawOne(st, 255, false, 384, 0); }
void BM_ImageRotate(benchmark::State& st) { DrawOne(st, 255, false, 256, 32); }

void BM_TilePattern(benchmark::State& st) {
    Scene& s = TheScene();
    auto* t = new TVorqTile(s.reg.get());
    t->SetPictureSurface(&s.picture);
    t->SetRect(0, 0, kLayerW, kLayerH);
    t->SetScrollX(37);
    t->SetParent(s.reg->ActiveBase());
    for (auto _ : st) t->Draw();
    Pixels(st, int64_t(kLayerW) * kLayerH);
}

// Copies every 160 pixels, translucent: the gaps show the layer.
void BM_TilePitch(benchmark::State& st) {
    Scene& s = TheScene();
    auto* t = new TVorqTile(s.reg.get());
    t->SetPictureSurface(&s.picture);
    t->SetRect(0, 0, kLayerW, kLayerH);
    t->SetDistanceX(160);
    t->SetDistanceY(160);
    t->SetAlpha(160);
    t->SetParent(s.reg->ActiveBase());
    for (auto _ : st) t->Draw();
    Pixels(st, int64_t(kLayerW / 160) * (kLayerH / 160 + 1) * kSide * kSide);
}

// Where the 100 images of the render pass lie, and how each is drawn.
struct Placed {
    int x, y;
    int32_t alpha;
    bool masked;
    int32_t zoom, angle;
};

std::vector<Placed> Pass() {
    std::mt19937 rng(11);
    std::vector<Placed> v;
    for (int i = 0; i < 100; ++i) {
        Placed p{int(rng() % (kLayerW - kSide)), int(rng() % (kLayerH - kSide)), 255, false, 256, 0};
        if (i < 30) p.alpha = 160;
        else if (i < 60) p.masked = true;
        else if (i < 80) p.angle = 8 + i % 48;
        else p.zoom = 384;
        v.push_back(p);
    }
    return v;
}

void BM_RenderPass(benchmark::State& st) {
    Scene& s = TheScene();
    s.reg->ActiveBase()->SetColor(0x204060);
    for (const Placed& p : Pass()) {
        TVorqImage* img = s.Image(p.x, p.y, p.alpha, p.masked);
        img->SetZoomX(p.zoom);
        img->SetZoomY(p.zoom);
        img->SetAngle(p.angle);
        img->Update();
    }
    for (auto _ : st) {
        s.reg->ActiveBase()->InvalidateWhole();
        s.reg->Draw();
        s.reg->ClearDirty();
    }
    Pixels(st, int64_t(kLayerW) * kLayerH);
}

#ifdef HAVE_PIXMAN
// ---- pixman on the same buffers ----

struct Img {
    pixman_image_t* p;
    Img(TPlainDIBX& s, pixman_format_code_t f)
        : p(pixman_image_create_bits(f, s.Width(), s.Height(), reinterpret_cast<uint32_t*>(s.Bytes().data()),
                                     s.Pitch())) {}
    explicit Img(pixman_image_t* q) : p(q) {}
    ~Img() { pixman_image_unref(p); }
};

pixman_image_t* Solid(uint16_t alpha) {
    const pixman_color_t c{0, 0, 0, alpha};
    return pixman_image_create_solid_fill(&c);
}

// The picture as an opaque a8r8g8b8 source, for transforms whose samples
// outside the picture must leave the destination alone.
TPlainDIBX& OpaqueCopy(Scene& s) {
    static TPlainDIBX copy(kSide, kSide, 32);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) copy.SetPixel(x, y, s.picture.GetPixel(x, y) | 0xFF000000u);
    return copy;
}

void Scale(pixman_image_t* src, double zoom) {
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(1 / zoom), pixman_double_to_fixed(1 / zoom));
    pixman_image_set_transform(src, &t);
    pixman_image_set_filter(src, PIXMAN_FILTER_NEAREST, nullptr, 0);
}

// The bounds a turn of the picture about its centre covers, and the
// transform from those bounds back into the picture.
TRect Rotate(pixman_image_t* src, double turns) {
    const double a = turns * 2 * 3.14159265358979323846, c = std::cos(a), sn = std::sin(a);
    const double half = kSide / 2.0, r = half * (std::fabs(c) + std::fabs(sn));
    const int side = int(std::ceil(2 * r));
    pixman_transform_t t;
    pixman_transform_init_translate(&t, pixman_double_to_fixed(-side / 2.0), pixman_double_to_fixed(-side / 2.0));
    pixman_transform_rotate(&t, nullptr, pixman_double_to_fixed(std::cos(-a)), pixman_double_to_fixed(std::sin(-a)));
    pixman_transform_translate(&t, nullptr, pixman_double_to_fixed(half), pixman_double_to_fixed(half));
    pixman_image_set_transform(src, &t);
    pixman_image_set_filter(src, PIXMAN_FILTER_NEAREST, nullptr, 0);
    return TRect{0, 0, side, side};
}

void Composite(pixman_op_t op, pixman_image_t* src, pixman_image_t* mask, pixman_image_t* dst, int x, int y,
               int w, int h) {
    pixman_image_composite32(op, src, mask, dst, 0, 0, 0, 0, x, y, w, h);
}

void PX_ImageAlpha(benchmark::State& st) {
    Scene& s = TheScene();
    Img d(s.Layer(), PIXMAN_x8r8g8b8), src(s.picture, PIXMAN_x8r8g8b8), m(Solid(160 * 257));
    for (auto _ : st) Composite(PIXMAN_OP_OVER, src.p, m.p, d.p, 300, 200, kSide, kSide);
    Pixels(st, int64_t(kSide) * kSide);
}

void PX_ImageMask(benchmark::State& st) {
    Scene& s = TheScene();
    Img d(s.Layer(), PIXMAN_x8r8g8b8), src(s.picture, PIXMAN_x8r8g8b8), m(s.mask, PIXMAN_a8);
    for (auto _ : st) Composite(PIXMAN_OP_OVER, src.p, m.p, d.p, 300, 200, kSide, kSide);
    Pixels(st, int64_t(kSide) * kSide);
}

void PX_ImageAdd(benchmark::State& st) {
    Scene& s = TheScene();
    Img d(s.Layer(), PIXMAN_x8r8g8b8), src(s.picture, PIXMAN_x8r8g8b8), m(Solid(96 * 257));
    for (auto _ : st) Composite(PIXMAN_OP_ADD, src.p, m.p, d.p, 300, 200, kSide, kSide);
    Pixels(st, int64_t(kSide) * kSide);
}

void PX_ImageStretch(benchmark::State& st) {
    Scene& s = TheScene();
    Img d(s.Layer(), PIXMAN_x8r8g8b8), src(s.picture, PIXMAN_x8r8g8b8);
    Scale(src.p, 1.5);
    for (auto _ : st) Composite(PIXMAN_OP_SRC, src.p, nullptr, d.p, 300, 200, kSide * 3 / 2, kSide * 3 / 2);
    Pixels(st, int64_t(kSide) * kSide * 9 / 4);
}

void PX_ImageRotate(benchmark::State& st) {
    Scene& s = TheScene();
    Img d(s.Layer(), PIXMAN_x8r8g8b8), src(OpaqueCopy(s), PIXMAN_a8r8g8b8);
    const TRect b = Rotate(src.p, 32 / 256.0);
    for (auto _ : st) Composite(PIXMAN_OP_OVER, src.p, nullptr, d.p, 300, 200, b.Right, b.Bottom);
    Pixels(st, int64_t(kSide) * kSide);
}

void PX_TilePattern(benchmark::State& st) {
    Scene& s = TheScene();
    Img d(s.Layer(), PIXMAN_x8r8g8b8), src(s.picture, PIXMAN_x8r8g8b8);
    pixman_image_set_repeat(src.p, PIXMAN_REPEAT_NORMAL);
    for (auto _ : st)
        pixman_image_composite32(PIXMAN_OP_SRC, src.p, nullptr, d.p, 37, 0, 0, 0, 0, 0, kLayerW, kLayerH);
    Pixels(st, int64_t(kLayerW) * kLayerH);
}

void PX_TilePitch(benchmark::State& st) {
    Scene& s = TheScene();
    Img d(s.Layer(), PIXMAN_x8r8g8b8), src(s.picture, PIXMAN_x8r8g8b8), m(Solid(160 * 257));
    for (auto _ : st)
        for (int y = 0; y < kLayerH; y += 160)
            for (int x = 0; x < kLayerW; x += 160) Composite(PIXMAN_OP_OVER, src.p, m.p, d.p, x, y, kSide, kSide);
    Pixels(st, int64_t(kLayerW / 160) * (kLayerH / 160 + 1) * kSide * kSide);
}

void PX_RenderPass(benchmark::State& st) {
    Scene& s = TheScene();
    Img d(s.Layer(), PIXMAN_x8r8g8b8), plain(s.picture, PIXMAN_x8r8g8b8), m(s.mask, PIXMAN_a8);
    Img alpha(Solid(160 * 257)), stretched(s.picture, PIXMAN_x8r8g8b8);
    Scale(stretched.p, 1.5);
    const pixman_color_t back{0x6060, 0x4040, 0x2020, 0xFFFF};
    const std::vector<Placed> pass = Pass();
    std::vector<std::unique_ptr<Img>> turned;
    std::vector<TRect> bounds;
    for (const Placed& p : pass)
        if (p.angle) {
            turned.push_back(std::make_unique<Img>(OpaqueCopy(s), PIXMAN_a8r8g8b8));
            bounds.push_back(Rotate(turned.back()->p, p.angle / 256.0));
        }
    const pixman_box32_t whole{0, 0, kLayerW, kLayerH};
    for (auto _ : st) {
        pixman_image_fill_boxes(PIXMAN_OP_SRC, d.p, &back, 1, &whole);
        size_t k = 0;
        for (const Placed& p : pass) {
            if (p.angle) {
                Composite(PIXMAN_OP_OVER, turned[k]->p, nullptr, d.p, p.x, p.y, bounds[k].Right, bounds[k].Bottom);
                ++k;
            } else if (p.zoom != 256) {
                Composite(PIXMAN_OP_SRC, stretched.p, nullptr, d.p, p.x, p.y, kSide * 3 / 2, kSide * 3 / 2);
            } else {
                Composite(PIXMAN_OP_OVER, plain.p, p.masked ? m.p : alpha.p, d.p, p.x, p.y, kSide, kSide);
            }
        }
    }
    Pixels(st, int64_t(kLayerW) * kLayerH);
}
#endif

}  // namespace

BENCHMARK(BM_ImageAlpha);
BENCHMARK(BM_ImageMask);
BENCHMARK(BM_ImageAdd);
BENCHMARK(BM_ImageStretch);
BENCHMARK(BM_ImageRotate);
BENCHMARK(BM_TilePattern);
BENCHMARK(BM_TilePitch);
BENCHMARK(BM_RenderPass)->Unit(benchmark::kMillisecond);
#ifdef HAVE_PIXMAN
BENCHMARK(PX_ImageAlpha);
BENCHMARK(PX_ImageMask);
BENCHMARK(PX_ImageAdd);
BENCHMARK(PX_ImageStretch);
BENCHMARK(PX_ImageRotate);
BENCHMARK(PX_TilePattern);
BENCHMARK(PX_TilePitch);
BENCHMARK(PX_RenderPass)->Unit(benchmark::kMillisecond);
#endif

BENCHMARK_MAIN();
