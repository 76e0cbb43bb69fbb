// Boxes on the screen: the render pass of 500 translucent boxes over an
// 800x600 32-bit layer redrawn whole, beside pixman doing the same fills
// (a solid background, then 500 OVER fills with a translucent colour) on a
// buffer of the same size; and the property applier of a box creation
// command holding 30 property expressions.
#include "engine/commands_objects.h"
#include "engine/page.h"
#include "script/param_collection.h"
#include "engine/scenario_writer.h"
#include "objects/basic/box.h"
#include "objects/object_kinds.h"
#include "tests/support/plain_dibx.h"

#include <benchmark/benchmark.h>

#ifdef HAVE_PIXMAN
#include <pixman.h>
#endif

#include <memory>
#include <vector>

namespace {

constexpr int W = 800, H = 600, kBoxes = 500, kBoxW = 48, kBoxH = 36;

TRect box_rect(int i) { return Bounds((i * 131) % (W - kBoxW), (i * 71) % (H - kBoxH), kBoxW, kBoxH); }
int32_t box_alpha(int i) { return 40 + (i * 37) % 200; }
int32_t box_colour(int i) { return int32_t((uint32_t(i) * 2654435761u) & 0xFFFFFF); }

void BM_RenderPass500TranslucentBoxes800x600(benchmark::State& st) {
    InstallObjectKinds();
    TPlainDIBX screen(W, H, 32);
    auto reg = std::make_unique<TVorqBaseList>();
    reg->SurfaceBits = 32;
    reg->SetWidth(W);
    reg->SetHeight(H);
    reg->SetScreenSurface(&screen);
    reg->ActiveBase()->SetColor(0x402010);
    for (int i = 0; i < kBoxes; ++i) {
        auto* b = static_cast<TVorqBox*>(CreateObjectByType(reg.get(), LT_BOX));
        const TRect r = box_rect(i);
        b->SetRect(r.Left, r.Top, kBoxW, kBoxH);
        b->SetColor(box_colour(i));
        b->SetAlpha(box_alpha(i));
        b->SetParent(reg->ActiveBase());
    }
    for (auto _ : st) {
        reg->ActiveBase()->InvalidateWhole();
        reg->Draw();
        reg->ClearDirty();
        benchmark::DoNotOptimize(screen.GetPixel(400, 300));
    }
    reg.reset();
}
BENCHMARK(BM_RenderPass500TranslucentBoxes800x600)->Unit(benchmark::kMicrosecond);

#ifdef HAVE_PIXMAN
void BM_Pixman500TranslucentFills800x600(benchmark::State& st) {
    std::vector<uint32_t> pixels(size_t(W) * H);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, W, H, pixels.data(), W * 4);
    const pixman_color_t back{0x1010, 0x2020, 0x4040, 0xFFFF};
    std::vector<pixman_color_t> colours;
    std::vector<pixman_rectangle16_t> rects;
    for (int i = 0; i < kBoxes; ++i) {
        const uint32_t c = uint32_t(box_colour(i));
        const uint32_t a = uint32_t(box_alpha(i));
        // Premultiplied 16-bit channels.
        const auto ch = [&](uint32_t v) { return uint16_t((v * a / 255) * 257); };
        colours.push_back({ch(c & 0xFF), ch((c >> 8) & 0xFF), ch((c >> 16) & 0xFF), uint16_t(a * 257)});
        const TRect r = box_rect(i);
        rects.push_back({int16_t(r.Left), int16_t(r.Top), uint16_t(kBoxW), uint16_t(kBoxH)});
    }
    const pixman_rectangle16_t whole{0, 0, W, H};
    for (auto _ : st) {
        pixman_image_fill_rectangles(PIXMAN_OP_SRC, dst, &back, 1, &whole);
        for (int i = 0; i < kBoxes; ++i)
            pixman_image_fill_rectangles(PIXMAN_OP_OVER, dst, &colours[size_t(i)], 1, &rects[size_t(i)]);
        benchmark::DoNotOptimize(pixels[size_t(W) * 300 + 400]);
    }
    pixman_image_unref(dst);
}
BENCHMARK(BM_Pixman500TranslucentFills800x600)->Unit(benchmark::kMicrosecond);
#endif

void BM_ApplierBoxWith30Properties(benchmark::State& st) {
    InstallObjectKinds();
    TParamCollection params;
    Params = &params;
    const std::vector<std::pair<int, std::string>> props = {
        {PR_NAME, "\"panel\""},        {PR_PARENT, "\"\x01" "BASE0\""}, {PR_LEFT, "10 + 20"},
        {PR_TOP, "40"},                {PR_WIDTH, "320"},               {PR_HEIGHT, "200"},
        {PR_COLOR, "255"},             {PR_ALPHA, "128"},               {PR_BORDERWIDTH, "2"},
        {PR_BORDERCOLOR, "65535"},     {PR_PRIORITY, "5"},              {PR_OFFSETX, "1"},
        {PR_OFFSETY, "2"},             {PR_VISIBLE, "TRUE"},            {PR_ONLBTNDOWN, "\"click.vsb\""},
        {PR_ONLBTNUP, "\"up.vsb\""},   {PR_ONMOUSEIN, "\"in.vsb\""},    {PR_ONMOUSEOUT, "\"out.vsb\""},
        {PR_ONMOUSEMOVE, "\"mv.vsb\""}, {PR_CURSOR, "\"hand.cur\""},    {PR_IGNOREMOUSE, "0"},
        {PR_TAG, "\"tag\""},           {PR_REPEAT, "FALSE"},            {PR_AUTOSCRAP, "FALSE"},
        {PR_PAUSED, "FALSE"},          {PR_ONIDLE, ""},                 {PR_ONPLAYEND, "\"end.vsb\""},
        {PR_CLIPLEFT, "0"},            {PR_CLIPTOP, "0"},               {PR_CLIPWIDTH, "2 * 160"},
    };
    TPageWriter w;
    for (const auto& p : props) w.SetMask(opBoxNew, p.first);
    w.Component(opBoxNew, props);
    TMemoryStream s;
    w.SaveToStream(s);
    s.SetPosition(0);
    TPage page;
    page.LoadFromStream(s, "bench.vsb");
    auto* command = static_cast<TComComponent*>(page.GetItem(0));
    TVorqBaseList reg;
    reg.SurfaceBits = 32;
    reg.SetWidth(W);
    reg.SetHeight(H);
    for (auto _ : st) {
        TVorqObject* box = CreateObjectByType(&reg, LT_BOX);
        command->ApplyProperties(*box);
        benchmark::DoNotOptimize(box->GetLeft());
        box->FreeNow();
    }
    Params = nullptr;
}
BENCHMARK(BM_ApplierBoxWith30Properties)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
