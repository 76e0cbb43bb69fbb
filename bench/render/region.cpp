// Hit-area regions rasterised to one bit per pixel, beside cairo filling
// the same outline without antialiasing (non-zero winding) into a 1-bit and
// an 8-bit mask surface of the same size: a five-pointed star and a 20-vertex area over
// 256 x 256, an ellipse over 256 x 192; each side builds its shape from the
// vertices every time. Then the hover change of a map image with 20 areas
// over an 800 x 600 picture: the pointer moves to another area and the map
// is drawn (both masks cut again, picture and hover drawn).
#include "script/game_clock.h"
#include "files/hit_map.h"
#include "files/vr_file_manager.h"
#include "objects/base_list.h"
#include "objects/images/map_image.h"
#include "render/dibx.h"
#include "render/region.h"
#include "render/tesk_collection.h"
#include "tests/objects/images/image_pictures.h"
#include "tests/support/plain_dibx.h"

#include <benchmark/benchmark.h>

#ifdef HAVE_CAIRO
#include <cairo.h>
#endif

#include <cmath>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

namespace {

std::vector<TPoint> star() { return {{128, 2}, {202, 250}, {6, 92}, {250, 92}, {54, 250}}; }

std::vector<TPoint> area20() {
    std::vector<TPoint> p;
    for (int i = 0; i < 20; ++i) {
        const double a = i * 2 * M_PI / 20, r = i % 2 ? 70 : 124;
        p.push_back(TPoint{int32_t(128 + r * std::cos(a)), int32_t(128 + r * std::sin(a))});
    }
    return p;
}

void BM_RegionPolygon(benchmark::State& state, std::vector<TPoint> (*shape)()) {
    const std::vector<TPoint> pts = shape();
    const TRect clip{0, 0, 256, 256};
    for (auto _ : state) {
        TBitMask m = TRegion::Polygon(pts).Rasterise(clip);
        benchmark::DoNotOptimize(m.Bits.data());
    }
}
BENCHMARK_CAPTURE(BM_RegionPolygon, star, star);
BENCHMARK_CAPTURE(BM_RegionPolygon, area20, area20);

void BM_RegionEllipse(benchmark::State& state) {
    for (auto _ : state) {
        TBitMask m = TRegion::Ellipse(0, 0, 255, 191).Rasterise(TRect{0, 0, 256, 192});
        benchmark::DoNotOptimize(m.Bits.data());
    }
}
BENCHMARK(BM_RegionEllipse);

#ifdef HAVE_CAIRO
cairo_t* cairo_mask(cairo_format_t format, int w, int h, cairo_surface_t*& surface) {
    surface = cairo_image_surface_create(format, w, h);
    cairo_t* cr = cairo_create(surface);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    return cr;
}

void clear(cairo_t* cr) {
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
}

void BM_CairoPolygon(benchmark::State& state, std::vector<TPoint> (*shape)(), cairo_format_t format) {
    const std::vector<TPoint> pts = shape();
    cairo_surface_t* surface;
    cairo_t* cr = cairo_mask(format, 256, 256, surface);
    for (auto _ : state) {
        clear(cr);
        cairo_move_to(cr, pts[0].X, pts[0].Y);
        for (size_t i = 1; i < pts.size(); ++i) cairo_line_to(cr, pts[i].X, pts[i].Y);
        cairo_close_path(cr);
        cairo_fill(cr);
        cairo_surface_flush(surface);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}
BENCHMARK_CAPTURE(BM_CairoPolygon, star_a1, star, CAIRO_FORMAT_A1);
BENCHMARK_CAPTURE(BM_CairoPolygon, area20_a1, area20, CAIRO_FORMAT_A1);
BENCHMARK_CAPTURE(BM_CairoPolygon, star_a8, star, CAIRO_FORMAT_A8);
BENCHMARK_CAPTURE(BM_CairoPolygon, area20_a8, area20, CAIRO_FORMAT_A8);

void BM_CairoEllipse(benchmark::State& state, cairo_format_t format) {
    cairo_surface_t* surface;
    cairo_t* cr = cairo_mask(format, 256, 192, surface);
    for (auto _ : state) {
        clear(cr);
        cairo_save(cr);
        cairo_translate(cr, 128, 96);
        cairo_scale(cr, 128, 96);
        cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
        cairo_restore(cr);
        cairo_fill(cr);
        cairo_surface_flush(surface);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}
BENCHMARK_CAPTURE(BM_CairoEllipse, a1, CAIRO_FORMAT_A1);
BENCHMARK_CAPTURE(BM_CairoEllipse, a8, CAIRO_FORMAT_A8);
#endif

// ---- map image hover -------------------------------------------------------------------

void BM_MapHoverChange(benchmark::State& state) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("vorq_map_bench_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    // 20 areas in a 5 x 4 grid of 160 x 150 cells: rectangles, ellipses and
    // diamonds in turn.
    std::vector<THitArea> areas;
    for (int i = 0; i < 20; ++i) {
        const int l = (i % 5) * 160 + 8, t = (i / 5) * 150 + 8, r = l + 143, b = t + 133;
        THitArea a;
        a.Text = "area" + std::to_string(i);
        a.Shape = static_cast<uint8_t>(i % 3);
        a.Left = l, a.Top = t, a.Right = r, a.Bottom = b;
        if (a.Shape == kHitPolygon) a.Points = {{(l + r) / 2, t}, {r, (t + b) / 2}, {(l + r) / 2, b}, {l, (t + b) / 2}};
        areas.push_back(a);
    }
    {
        TMemoryStream s;
        WriteHitMap(s, areas);
        std::ofstream(folder / "grid.map", std::ios::binary)
            .write(reinterpret_cast<const char*>(s.Memory()), std::streamsize(s.GetSize()));
    }
    CreateFileManager();
    FileManager->SetBaseFolder(folder.string());
    SetDisplayBitCount(32);
    MemoryPictures pictures;
    pictures.Add("map.tes", {{800, 600, 100, [](int32_t x, int32_t y) { return (x * 7 + y * 3) & 0xFFFFFF; }, 0}});
    pictures.Add("lit.tes", {{800, 600, 100, [](int32_t x, int32_t y) { return (x * 3 + y * 5) | 0x404040; }}});
    TeskCollection = new TTeskCollection(&pictures);
    SetSurfaceMaker([](int32_t w, int32_t h, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
        return std::make_unique<TPlainDIBX>(w, h, bits);
    });
    {
        TPlainDIBX screen(800, 600, 32);
        TVorqBaseList reg;
        reg.SurfaceBits = 32;
        reg.SetWidth(800);
        reg.SetHeight(600);
        reg.SetScreenSurface(&screen);
        auto* map = new TVorqMapImage(&reg);
        map->SetAlpha(255);
        map->SetSource("map.tes");
        map->SetHoverSource("lit.tes");
        map->SetMapSource("grid.map");
        map->SetParent(reg.ActiveBase());
        int i = 0;
        for (auto _ : state) {
            // Across the grid, so that each change leaves one area and enters another.
            const int area = (i++ * 7) % 20;
            const int x = (area % 5) * 160 + 80, y = (area / 5) * 150 + 75;
            reg.ActiveBase()->SetMousePos(x, y);
            reg.InputStep(16);
            reg.Draw();
            reg.ClearDirty();
            benchmark::DoNotOptimize(screen.GetPixel(x, y));
        }
    }
    SetSurfaceMaker(nullptr);
    delete TeskCollection;
    TeskCollection = nullptr;
    FreeFileManager();
    fs::remove_all(folder);
}
BENCHMARK(BM_MapHoverChange)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
