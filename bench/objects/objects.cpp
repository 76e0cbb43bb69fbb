// The frame passes of the object registry without pixel work: 1,000
// controls on a 640x480 layer, 50 of them moving every frame (update pass,
// render pass over the dirty rectangles, dirty lists cleared), and the
// mouse hit test on a tree six levels deep.
#include "objects/base_list.h"
#include "render/custom_dibx.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {
// A surface with a size and a clip but no pixels: what is measured is the
// registry's own work, not the drawing.
class TNoPixels : public TCustomDIBX {
public:
    void SetSize(int32_t w, int32_t h, int32_t bits) override { TCustomDIBX::SetSize(w, h, bits); }
    void FillRect(const TRect&, uint32_t) override {}
};

std::unique_ptr<TCustomDIBX> no_pixels(int32_t w, int32_t h, int32_t bits) {
    auto s = std::make_unique<TNoPixels>();
    s->SetSize(w, h, bits);
    return s;
}

std::unique_ptr<TVorqBaseList> make_scene() {
    SetSurfaceMaker(no_pixels);
    auto reg = std::make_unique<TVorqBaseList>();
    reg->SetWidth(640);
    reg->SetHeight(480);
    return reg;
}

void BM_FramePasses1000Controls50Moving(benchmark::State& st) {
    auto reg = make_scene();
    std::vector<TVorqControl*> controls;
    for (int i = 0; i < 1000; ++i) {
        auto* c = new TVorqControl(reg.get());
        c->SetRect((i * 37) % 600, (i * 53) % 440, 32, 24);
        c->SetPriority(i % 7);
        c->SetParent(reg->ActiveBase());
        controls.push_back(c);
    }
    reg->ClearDirty();
    int frame = 0;
    for (auto _ : st) {
        for (int k = 0; k < 50; ++k) {
            TVorqControl* c = controls[static_cast<size_t>((frame * 50 + k * 19) % 1000)];
            c->SetLeft((c->GetLeft() + 3) % 600);
        }
        reg->InputStep(16);
        reg->Update();
        reg->Draw();
        reg->ClearDirty();
        ++frame;
    }
    reg.reset();
    SetSurfaceMaker(nullptr);
}

// Each node has three children down to depth 6 (364 controls under each of
// four roots); the pointer lies over the deepest, last-drawn branch.
void add_level(TVorqBaseList* reg, TVorqControl* parent, int depth, int x, int y, int size) {
    if (depth == 0) return;
    for (int i = 0; i < 3; ++i) {
        auto* c = new TVorqControl(reg);
        int w = size / 3;
        c->SetRect(i * w, 0, w, size);
        c->SetParent(parent);
        if (depth % 2) c->SetIgnoreMouse(IM_CLICK);
        add_level(reg, c, depth - 1, x + i * w, y, w);
    }
}

void BM_HitTestTreeSixDeep(benchmark::State& st) {
    auto reg = make_scene();
    for (int r = 0; r < 4; ++r) {
        auto* root = new TVorqControl(reg.get());
        root->SetRect(r * 160, 0, 160 * 3, 480);
        root->SetParent(reg->ActiveBase());
        add_level(reg.get(), root, 5, r * 160, 0, 160 * 3);
    }
    TVorqBase* layer = reg->ActiveBase();
    const TPoint at{639, 100};
    int hits = 0;
    for (auto _ : st) {
        TVorqObject* hit = layer->HitTest(at, kMaskLeftPress);
        hits += hit != nullptr;
        benchmark::DoNotOptimize(hit);
    }
    st.counters["controls"] = reg->GetObjectCount();
    reg.reset();
    SetSurfaceMaker(nullptr);
}
}  // namespace

BENCHMARK(BM_FramePasses1000Controls50Moving)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HitTestTreeSixDeep)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
