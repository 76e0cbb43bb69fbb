// SetFrame of a film of 300 box tracks played into a registry (every track
// eases position, size, alpha, colours and clip and sets them on its box),
// against a plain loop that eases the same values into an array: the cost
// of going through tracks, look-ups and property setters. And the time from
// the main window's creation to the first presented frame of the demo with
// the start-up logo playing, against the same start without it.
#include "shell/form_view.h"
#include "script/game_clock.h"
#include "shell/player_modules.h"
#include "objects/base_list.h"
#include "objects/film/film_manager.h"
#include "objects/object_kinds.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/resources.h"
#include "platform/filesystem/stream.h"
#include "platform/display/video.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

// The logo archive the player links in.
extern const unsigned char kMadeWith[];
extern const size_t kMadeWithSize;

namespace {

constexpr int kTracks = 300;
constexpr int32_t kLength = 120;

void put32(std::vector<uint8_t>& b, int32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * k)));
}

struct BoxValues {
    int32_t x0, y0, x1, y1, a0, a1, w0, h0, w1, h1, c0, c1, bw0, bw1, bc0, bc1;
};

BoxValues values_of(int i) {
    return {i, 2 * i, 600 - i, 400 - i, 40, 255, 20 + i % 30, 10, 60, 30 + i % 20,
            0x102030 + i, 0xF0E0D0 - i, 0, 4, 0xFFFFFF, 0x000000};
}

// A film written field by field as stored (current version, box records).
std::vector<uint8_t> film_bytes() {
    std::vector<uint8_t> b;
    const char tag[] = "VorqCinema108";
    b.insert(b.end(), tag, tag + 13);
    put32(b, 640);
    put32(b, 480);
    put32(b, 0);
    b.push_back(0);  // relative
    put32(b, 0);     // reference point
    put32(b, 0);
    put32(b, 0);     // loop start
    put32(b, kTracks);
    for (int i = 0; i < kTracks; ++i) {
        b.push_back(2);
        for (int32_t v : {-1, kLength, 0, 0, 0, i}) put32(b, v);  // parent, length, spare, start, period, priority
        b.insert(b.end(), {0, 0, 0});
        const BoxValues v = values_of(i);
        for (int32_t x : {v.x0, v.y0, v.x1, v.y1}) put32(b, x);
        b.insert(b.end(), {uint8_t(i % 3), uint8_t(i % 3)});
        for (int32_t x : {v.a0, v.a1, v.w0, v.h0, v.w1, v.h1, v.c0, v.c1, v.bw0, v.bw1, v.bc0, v.bc1}) put32(b, x);
        for (int k = 0; k < 8; ++k) put32(b, 0);  // clip
        b.insert(b.end(), {0, 0});
    }
    return b;
}

void BM_FilmSetFrame300Boxes(benchmark::State& state) {
    InstallObjectKinds();
    TVorqBaseList reg;
    reg.SetWidth(640);
    reg.SetHeight(480);
    {
        TFilmManager film;
        const std::vector<uint8_t> bytes = film_bytes();
        TMemoryStream s;
        s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        s.SetPosition(0);
        film.LoadFromStream(s, "bench.vcm");
        film.SetTarget(&reg);
        film.Start();
        film.SetFrame(0);
        int32_t t = 0;
        for (auto _ : state) {
            t = (t + 1) % kLength;
            film.SetFrame(t);
            reg.ClearDirty();
        }
        benchmark::DoNotOptimize(reg.GetObjectCount());
    }
    reg.Update();
}
BENCHMARK(BM_FilmSetFrame300Boxes)->Unit(benchmark::kMicrosecond);

// The same easing for the same 300 tracks, written to plain structs.
struct Eased {
    int32_t left, top, width, height, alpha, color, border_width, border_color;
};

int32_t ease_color(int32_t a, int32_t b, int32_t n, int32_t i) {
    if (a == b) return a;
    uint32_t c = 0;
    for (int s = 0; s < 24; s += 8)
        c |= (static_cast<uint32_t>(FilmTweenInt(0, (a >> s) & 0xff, (b >> s) & 0xff, n, i, false)) & 0xff) << s;
    return static_cast<int32_t>(c);
}

void BM_PlainLoopSameEasing(benchmark::State& state) {
    std::vector<BoxValues> tracks;
    for (int i = 0; i < kTracks; ++i) tracks.push_back(values_of(i));
    std::vector<Eased> out(kTracks);
    int32_t t = 0;
    for (auto _ : state) {
        t = (t + 1) % kLength;
        for (int i = 0; i < kTracks; ++i) {
            const BoxValues& v = tracks[static_cast<size_t>(i)];
            const uint8_t kind = static_cast<uint8_t>(i % 3);
            Eased& e = out[static_cast<size_t>(i)];
            e.left = FilmTweenInt(kind, v.x0, v.x1, kLength, t, false);
            const int32_t right = FilmTweenInt(kind, v.x0 + v.w0 - 1, v.x1 + v.w1 - 1, kLength, t, false);
            e.top = FilmTweenInt(kind, v.y0, v.y1, kLength, t, false);
            const int32_t bottom = FilmTweenInt(kind, v.y0 + v.h0 - 1, v.y1 + v.h1 - 1, kLength, t, false);
            e.width = right - e.left + 1;
            e.height = bottom - e.top + 1;
            e.alpha = FilmTweenInt(0, v.a0, v.a1, kLength, t, false);
            e.color = ease_color(v.c0, v.c1, kLength, t);
            e.border_width = FilmTweenInt(0, v.bw0, v.bw1, kLength, t, false);
            e.border_color = ease_color(v.bc0, v.bc1, kLength, t);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PlainLoopSameEasing)->Unit(benchmark::kMicrosecond);

void start_to_first_frame(benchmark::State& st, bool logo) {
    InstallPlayerModules();
    if (logo) RegisterResource("MADEWITH", "DATA", {kMadeWith, kMadeWithSize});
    const std::string demo = ExeFolder() + "demo/";
    double sum = 0;
    int n = 0;
    for (auto _ : st) {
        Terminating = false;
        GameClock = FrameTime = FrameCount = 0;
        FormViewUnitStart();
        {
            const auto start = std::chrono::steady_clock::now();
            TFormView view({demo}, Video::Create(VideoBackend::Headless));
            view.FormCreate();
            while (view.PresentedFrames == 0 && !Terminating) view.ApplicationEventsIdle();
            sum += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            ++n;
            if (logo && view.LogoDone) st.SkipWithError("the logo did not play");
        }
        FormViewUnitFinish();
    }
    if (logo) UnregisterResource("MADEWITH", "DATA");
    st.counters["first_frame_ms"] = n ? sum / n : 0;
}
void BM_DemoStartWithLogo(benchmark::State& st) { start_to_first_frame(st, true); }
void BM_DemoStartWithoutLogo(benchmark::State& st) { start_to_first_frame(st, false); }
BENCHMARK(BM_DemoStartWithLogo)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DemoStartWithoutLogo)->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
