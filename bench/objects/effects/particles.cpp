// 5,000 falling particle sprites updated and drawn per frame on an 800x600
// 32-bit layer (goal: under 3 ms a frame). Peers in the same run: the same
// number of plain picture objects moved one pixel a frame through the
// registry (the object model's own cost without the emitter), and pixman
// compositing 5,000 sprites of the same size over a cleared buffer (the
// least any compositor pays for the pixels).
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "script/game_clock.h"
#include "files/number_text.h"
#include "objects/base_list.h"
#include "objects/images/image.h"
#include "objects/object_kinds.h"
#include "objects/effects/particle.h"
#include "render/dibx.h"
#include "render/tesk_collection.h"
#include "tests/objects/images/image_pictures.h"
#include "tests/support/plain_dibx.h"

#ifdef HAVE_PIXMAN
#include <pixman.h>
#endif

namespace {

constexpr int kLayerW = 800, kLayerH = 600, kSide = 8, kSprites = 5000;

int32_t flake(int32_t x, int32_t y) {
    const int dx = x * 2 - 7, dy = y * 2 - 7;
    return dx * dx + dy * dy <= 49 ? 0xFFFFFF : 0xFF00FF;  // magenta is the key
}

struct Scene {
    std::unique_ptr<TVorqBaseList> reg;
    MemoryPictures pictures;
    Scene() {
        SetSurfaceMaker([](int32_t w, int32_t h, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
            return std::make_unique<TPlainDIBX>(w, h, bits);
        });
        SetDisplayBitCount(32);
        InstallObjectKinds();
        pictures.Add("flake.tes", {{kSide, kSide, 100, flake, 0xFF00FF}});
        TeskCollection = new TTeskCollection(&pictures);
        reg = std::make_unique<TVorqBaseList>();
        reg->SurfaceBits = 32;
        reg->SetWidth(kLayerW);
        reg->SetHeight(kLayerH);
        reg->ActiveBase()->SetColor(0x403020);
        FramePeriod = 16;
        FrameTime = 16;
    }
    ~Scene() {
        reg.reset();
        delete TeskCollection;
        TeskCollection = nullptr;
    }
    void Frame() {
        reg->Update();
        reg->Draw();
        reg->ClearDirty();
    }
};

// Snow born anywhere, 8 births a tick (2 ms apart), falling about half a
// pixel a tick.
void BM_Particles5000(benchmark::State& st) {
    Scene s;
    RandSeed() = 1;
    auto* e = static_cast<TVorqParticle*>(CreateObjectByType(s.reg.get(), LT_PARTICLE));
    e->SetName("snow");
    e->SetParent(s.reg->ActiveBase());
    e->SetRect(0, 0, kLayerW, kLayerH);
    e->SetSource("flake.tes");
    e->SetPartMotion(PM_SNOW);
    e->SetParam(0, 0.48L);
    e->SetParam(1, 3.0L);
    e->SetParam(2, 8.0L);
    TVorqParticleParam& p = e->EnsureParam();
    p.XMin = 0, p.XRange = kLayerW, p.YMin = 0, p.YRange = kLayerH, p.IntervalMin = 2, p.IntervalRange = 1;
    // Eight births a tick live 300 / 0.48 ticks on average: the population
    // settles near 5,000, with eight births and deaths a frame.
    for (int i = 0; i < 1500; ++i) s.reg->Update();
    s.reg->ActiveBase()->InvalidateWhole();
    s.Frame();
    int64_t alive = 0;
    for (auto _ : st) {
        s.Frame();
        alive += e->Sprites().Count();
    }
    st.counters["sprites"] = benchmark::Counter(double(alive), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Particles5000)->Unit(benchmark::kMillisecond);

// Peer: 5,000 picture objects of the same picture, each moved down one
// pixel a frame by its own SetTop, through the same update and render pass.
void BM_PeerPlainImages5000(benchmark::State& st) {
    Scene s;
    TPlainDIBX picture(kSide, kSide, 32);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const uint32_t c = uint32_t(flake(x, y));
            picture.SetPixel(x, y, (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF));
        }
    picture.SetTransparentColor(picture.ColorToPixel(0xFF00FF));
    std::mt19937 rng(3);
    std::vector<TVorqImage*> images;
    for (int i = 0; i < kSprites; ++i) {
        auto* img = new TVorqImage(s.reg.get());
        img->SetPictureSurface(&picture);
        TVorqCustomImage* c = img;
        c->TVorqControl::SetWidth(kSide);
        c->TVorqControl::SetHeight(kSide);
        img->SetLeft(int32_t(rng() % kLayerW));
        img->SetTop(int32_t(rng() % kLayerH));
        img->SetParent(s.reg->ActiveBase());
        images.push_back(img);
    }
    s.Frame();
    for (auto _ : st) {
        for (TVorqImage* img : images) img->SetTop(img->GetTop() >= kLayerH ? 0 : img->GetTop() + 1);
        s.Frame();
    }
}
BENCHMARK(BM_PeerPlainImages5000)->Unit(benchmark::kMillisecond);

#ifdef HAVE_PIXMAN
// Peer: pixman clears the buffer and composites 5,000 keyed 8x8 sprites
// (as alpha: key pixels transparent) at moving places.
void BM_PeerPixman5000(benchmark::State& st) {
    std::vector<uint32_t> dst(size_t(kLayerW) * kLayerH), spr(kSide * kSide);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) spr[size_t(y * kSide + x)] = flake(x, y) == 0xFFFFFF ? 0xFFFFFFFFu : 0u;
    pixman_image_t* d = pixman_image_create_bits(PIXMAN_x8r8g8b8, kLayerW, kLayerH, dst.data(), kLayerW * 4);
    pixman_image_t* s = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, spr.data(), kSide * 4);
    std::mt19937 rng(3);
    std::vector<std::pair<int, int>> at;
    for (int i = 0; i < kSprites; ++i) at.emplace_back(int(rng() % kLayerW), int(rng() % kLayerH));
    const pixman_color_t bg{0x2000, 0x3000, 0x4000, 0xFFFF};
    const pixman_rectangle16_t all{0, 0, kLayerW, kLayerH};
    for (auto _ : st) {
        pixman_image_fill_rectangles(PIXMAN_OP_SRC, d, &bg, 1, &all);
        for (auto& [x, y] : at) {
            y = y >= kLayerH ? 0 : y + 1;
            pixman_image_composite32(PIXMAN_OP_OVER, s, nullptr, d, 0, 0, 0, 0, x, y, kSide, kSide);
        }
        benchmark::DoNotOptimize(dst.data());
    }
    pixman_image_unref(s);
    pixman_image_unref(d);
}
BENCHMARK(BM_PeerPixman5000)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
