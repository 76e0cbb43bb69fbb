// A selection menu of 1,000 items on an 800x600 32-bit layer, scrolled one
// line per iteration and redrawn through the registry's dirty-rectangle
// pass (goal: under 1 ms), beside a plain redraw of the same rows: the
// background filled and the visible pre-rendered labels composited at the
// same places, with no list logic at all.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "objects/base_list.h"
#include "objects/controls/menu.h"
#include "objects/object_kinds.h"
#include "render/dibx.h"
#include "render/label_list.h"
#include "tests/support/plain_dibx.h"

namespace {

constexpr int kLayerW = 800, kLayerH = 600, kItems = 1000, kRows = 20, kFont = 16, kSpace = 4;

std::string item_text() {
    std::string t;
    for (int i = 0; i < kItems; ++i) t += "Chapter " + std::to_string(i + 1) + ": the road home\r\n";
    return t;
}

struct Scene {
    std::unique_ptr<TVorqBaseList> reg;
    TVorqMenu* menu = nullptr;
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
        menu = static_cast<TVorqMenu*>(CreateObjectByType(reg.get(), LT_MENU));
        menu->SetParent(reg->ActiveBase());
        menu->SetRect(100, 60, 0, 0);
        menu->SetFontHeight(kFont);
        menu->SetAntialias(true);
        menu->SetFontColor(0xFFFFFF);
        menu->SetLineSpace(kSpace);
        menu->SetMarginX(8);
        menu->SetMarginY(4);
        menu->SetBorderWidth(2);
        menu->SetBorderColor(0xC0C0C0);
        menu->SetColor(0x302010);
        menu->SetRowCount(kRows);
        menu->SetText(item_text());
        menu->SetPlayState(PS_PLAY);
        reg->ActiveBase()->InvalidateWhole();
        reg->Draw();
        reg->ClearDirty();
    }
};

void BM_MenuScrollOneLine(benchmark::State& st) {
    Scene s;
    int32_t top = 0;
    for (auto _ : st) {
        top = (top + 1) % (kItems - kRows + 1);
        s.menu->SetTopIndex(top);
        s.reg->Draw();
        s.reg->ClearDirty();
        benchmark::ClobberMemory();
    }
    st.counters["width"] = s.menu->GetWidth();
}
BENCHMARK(BM_MenuScrollOneLine)->Unit(benchmark::kMicrosecond);

// The peer: the same rows drawn straight from a label list.
void BM_PlainRowsRedraw(benchmark::State& st) {
    Scene s;  // for the same layer surface and the menu's size
    TCustomDIBX& layer = *s.reg->ActiveBase()->GetSurface();
    TWzLabelList labels;
    labels.FontSize = kFont;
    labels.Quality = 3;
    labels.Colour = 0xFFFFFF;
    labels.Target = &layer;
    for (int i = 0; i < kItems; ++i) labels.AddLabel()->SetText("Chapter " + std::to_string(i + 1) + ": the road home");
    labels.Measure();
    const TRect area{100, 60, 100 + s.menu->GetWidth(), 60 + s.menu->GetHeight()};
    const uint32_t back = static_cast<uint32_t>(layer.ColorToPixel(0x302010));
    int32_t top = 0;
    for (auto _ : st) {
        top = (top + 1) % (kItems - kRows + 1);
        layer.FillRect(area, back);
        for (int k = 0; k < kRows; ++k) labels.GetLabel(top + k)->Draw(110, 66 + k * (kFont + kSpace));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PlainRowsRedraw)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
