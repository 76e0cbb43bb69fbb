// Labels on an 800x600 32-bit layer: a render pass of 50 labels, each
// zoomed and turned (goal: under 3 ms a frame), beside pixman compositing
// the same coverage masks through the same scale-and-turn transforms with
// a solid colour; the cost of a label's text change (measure and render);
// and a slider dragged along its bar, one pointer step per iteration.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "script/game_clock.h"
#include "objects/base_list.h"
#include "objects/text/label.h"
#include "objects/object_kinds.h"
#include "objects/controls/slider.h"
#include "render/dibx.h"
#include "tests/objects/images/image_pictures.h"
#include "tests/support/plain_dibx.h"

#ifdef HAVE_PIXMAN
#include <pixman.h>
#endif

namespace {

constexpr int kLayerW = 800, kLayerH = 600, kLabels = 50;

struct Scene {
    std::unique_ptr<TVorqBaseList> reg;
    std::vector<TVorqLabel*> labels;
    Scene() {
        SetSurfaceMaker([](int32_t w, int32_t h, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
            return std::make_unique<TPlainDIBX>(w, h, bits);
        });
        SetDisplayBitCount(32);
        InstallObjectKinds();
        reg = std::make_unique<TVorqBaseList>();
        reg->SurfaceBits = 32;
        reg->SetWidth(kLayerW);
        reg->SetHeight(kLayerH);
        reg->ActiveBase()->SetColor(0x204060);
    }
    // Fifty labels of a dozen characters at 20 pixels, antialiased, spread
    // over the layer, zoomed 100..250 % and turned by various angles.
    void MakeLabels() {
        for (int i = 0; i < kLabels; ++i) {
            auto* l = static_cast<TVorqLabel*>(CreateObjectByType(reg.get(), LT_LABEL));
            l->SetParent(reg->ActiveBase());
            l->SetFontHeight(20);
            l->SetAntialias(true);
            l->SetFontColor(0x00E0FF);
            l->SetText("Label no. " + std::to_string(i));
            l->SetLeft(40 + (i % 8) * 95);
            l->SetTop(40 + (i / 8) * 80);
            l->SetOffsetX(l->NaturalWidth() / 2);
            l->SetOffsetY(l->NaturalHeight() / 2);
            l->SetZoomX(256 + (i % 7) * 64);
            l->SetZoomY(256 + (i % 5) * 64);
            l->SetAngle(8 + (i * 37) % 240);
            l->SetAlpha(i % 3 == 0 ? 200 : 255);
            labels.push_back(l);
        }
    }
    TPlainDIBX& Layer() { return static_cast<TPlainDIBX&>(*reg->ActiveBase()->GetSurface()); }
    // Pixels that differ from the background: both sides of a comparison
    // should cover about the same.
    double Ink() {
        TPlainDIBX& l = Layer();
        const uint32_t back = l.GetPixel(kLayerW - 1, kLayerH - 1) & 0xFFFFFF;
        int64_t n = 0;
        for (int y = 0; y < kLayerH; ++y)
            for (int x = 0; x < kLayerW; ++x) n += (l.GetPixel(x, y) & 0xFFFFFF) != back;
        return double(n);
    }
};

void BM_LabelFrame(benchmark::State& st) {
    Scene s;
    s.MakeLabels();
    for (auto _ : st) {
        s.reg->ActiveBase()->InvalidateWhole();
        s.reg->Draw();
        s.reg->ClearDirty();
    }
    st.counters["ink"] = s.Ink();
    st.SetItemsProcessed(int64_t(st.iterations()) * kLabels);
}

// A text change measures and renders the label again.
void BM_LabelSetText(benchmark::State& st) {
    Scene s;
    auto* l = static_cast<TVorqLabel*>(CreateObjectByType(s.reg.get(), LT_LABEL));
    l->SetParent(s.reg->ActiveBase());
    l->SetFontHeight(20);
    l->SetAntialias(true);
    int n = 0;
    for (auto _ : st) l->SetText("Score: " + std::to_string(n++ % 1000) + " points");
    st.SetItemsProcessed(int64_t(st.iterations()));
}

// One pointer step of a drag along a 400-pixel bar: the registry's mouse
// step, the value from the pointer, the thumb moved, ONNOTIFY queued (and
// taken off again).
void BM_SliderDrag(benchmark::State& st) {
    MemoryPictures pictures;
    pictures.Add("bar.tes", {{20, 8, 100, [](int32_t x, int32_t) { return x < 10 ? 0x00FF00 : 0x0000FF; }}});
    pictures.Add("thumb.tes", {{30, 16, 100, [](int32_t, int32_t) { return 0xFFFFFF; }}});
    TTeskCollection cache(&pictures);
    TTeskCollection* saved = TeskCollection;
    TeskCollection = &cache;
    {
        Scene s;
        auto* sl = static_cast<TVorqSlider*>(CreateObjectByType(s.reg.get(), LT_SLIDER));
        sl->SetParent(s.reg->ActiveBase());
        sl->SetAlpha(255);
        sl->SetSource("bar.tes");
        sl->SetThumbSource("thumb.tes");
        sl->SetBarSize(400);
        sl->SetMin(0);
        sl->SetMax(1000);
        sl->SetOnNotify("notify");
        TVorqBase& layer = *s.reg->ActiveBase();
        FrameTime = 16;
        layer.SetMousePos(5, 8);
        s.reg->InputStep(16);
        layer.LPressPending = layer.LHeld = 1;
        s.reg->InputStep(16);
        int i = 0;
        for (auto _ : st) {
            layer.SetMousePos(5 + i % 400, 8);
            s.reg->InputStep(16);
            s.reg->Events.Clear();
            ++i;
        }
        if (sl->InteractionNow() != TVorqSlider::kDrag) st.SkipWithError("the drag did not start");
        st.SetItemsProcessed(int64_t(st.iterations()));
    }
    TeskCollection = saved;
}

#ifdef HAVE_PIXMAN
constexpr double kPi = 3.14159265358979323846;

// pixman on the same layer: each label's coverage mask (copied into a
// pixman-shaped 8-bit buffer) transformed by the label's zoom and turn about
// its pivot, composited OVER with the label's colour at its opacity.
void PX_LabelFrame(benchmark::State& st) {
    Scene s;
    s.MakeLabels();
    TPlainDIBX& layer = s.Layer();
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, layer.Width(), layer.Height(),
                                                   reinterpret_cast<uint32_t*>(layer.Bytes().data()), layer.Pitch());
    struct Item {
        std::unique_ptr<TPlainDIBX> bits;
        pixman_image_t* mask;
        pixman_image_t* colour;
        TRect bounds;
        TPoint anchor;
    };
    std::vector<Item> items;
    for (TVorqLabel* l : s.labels) {
        TCustomDIBX& m = *l->MaskSurface();
        auto bits = std::make_unique<TPlainDIBX>(m.Width(), m.Height(), 8);
        for (int y = 0; y < m.Height(); ++y)
            for (int x = 0; x < m.Width(); ++x) bits->SetPixel(x, y, m.GetPixel(x, y));
        pixman_image_t* mask = pixman_image_create_bits(PIXMAN_a8, bits->Width(), bits->Height(),
                                                        reinterpret_cast<uint32_t*>(bits->Bytes().data()),
                                                        bits->Pitch());
        // Destination (relative to the anchor) to mask pixels: unturn, unzoom,
        // then from the pivot.
        const double a = (l->GetAngle() & 0xFF) * 2 * kPi / 256, zx = l->GetZoomX() / 256.0,
                     zy = l->GetZoomY() / 256.0;
        pixman_transform_t t;
        pixman_transform_init_identity(&t);
        t.matrix[0][0] = pixman_double_to_fixed(std::cos(a) / zx);
        t.matrix[0][1] = pixman_double_to_fixed(std::sin(a) / zx);
        t.matrix[0][2] = pixman_double_to_fixed(l->GetOffsetX());
        t.matrix[1][0] = pixman_double_to_fixed(-std::sin(a) / zy);
        t.matrix[1][1] = pixman_double_to_fixed(std::cos(a) / zy);
        t.matrix[1][2] = pixman_double_to_fixed(l->GetOffsetY());
        pixman_image_set_transform(mask, &t);
        pixman_image_set_filter(mask, PIXMAN_FILTER_NEAREST, nullptr, 0);
        const uint16_t alpha = uint16_t(l->GetAlpha() * 257);
        const pixman_color_t c{uint16_t(0xFF * alpha / 0xFFFF), uint16_t(0xE0 * alpha / 0xFFFF), 0, alpha};
        items.push_back({std::move(bits), mask, pixman_image_create_solid_fill(&c), l->GetRect(), l->GetDrawPos()});
    }
    const pixman_color_t back{0x6060, 0x4040, 0x2020, 0xFFFF};
    const pixman_box32_t whole{0, 0, kLayerW, kLayerH};
    for (auto _ : st) {
        pixman_image_fill_boxes(PIXMAN_OP_SRC, dst, &back, 1, &whole);
        for (const Item& it : items)
            pixman_image_composite32(PIXMAN_OP_OVER, it.colour, it.mask, dst, 0, 0, it.bounds.Left - it.anchor.X,
                                     it.bounds.Top - it.anchor.Y, it.bounds.Left, it.bounds.Top,
                                     it.bounds.Right - it.bounds.Left, it.bounds.Bottom - it.bounds.Top);
    }
    st.counters["ink"] = s.Ink();
    for (Item& it : items) {
        pixman_image_unref(it.mask);
        pixman_image_unref(it.colour);
    }
    pixman_image_unref(dst);
    st.SetItemsProcessed(int64_t(st.iterations()) * kLabels);
}
#endif

}  // namespace

BENCHMARK(BM_LabelFrame)->Unit(benchmark::kMicrosecond);
#ifdef HAVE_PIXMAN
BENCHMARK(PX_LabelFrame)->Unit(benchmark::kMicrosecond);
#endif
BENCHMARK(BM_LabelSetText)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SliderDrag);

BENCHMARK_MAIN();
