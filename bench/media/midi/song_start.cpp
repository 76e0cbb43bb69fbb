// The frames around a MIDI song's start, the way the player runs (headless
// video, dummy audio, real clock):
//  - the whole demo game, whose closing page starts a MIDI cadence about a
//    minute in: the longest frame from the one that starts the song to ten
//    frames after it (goal: at most 50 ms), the longest frame of the whole
//    run beside it, and the peak resident memory of the process (goal for
//    the demo: at most 120 MB; bench/midi_footprint.sh measures the player
//    itself);
//  - a game whose first page starts the demo's song at once: the worst
//    case, where the song may have to wait for the synthesizer.
// Run it on two cores too: taskset -c 0,1 build/song_start
#include "bench/bench_game.h"
#include "engine/opcodes.h"
#include "engine/project.h"
#include "engine/scenario_writer.h"
#include "files/vocab.h"
#include "media/audio/sound_items.h"
#include "media/base/media_managers.h"
#include "media/midi/midi_player.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/stream.h"
#include "shell/form_view.h"
#include "shell/player_modules.h"

#include <benchmark/benchmark.h>


#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double peak_rss_mb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

bool song_started() {
    TMidiManager* m = MidiManager();
    return m && m->Current() && m->Player().IsPlaying();
}

struct Run {
    double song_frame_ms = 0;  // longest frame from the song's start to ten frames on
    double longest_ms = 0;
    double peak_rss_mb = 0;
    bool started = false;
};

// Plays the game until it ends (or, when the song has started, until
// frames_after more frames have passed).
Run play(const std::string& game, size_t frames_after) {
    Run r;
    size_t frames = 0, since_start = 0;
    // A game whose song never starts ends after 10000 frames.
    PlayFrames(game, [&](double ms) {
        r.longest_ms = std::max(r.longest_ms, ms);
        if (!r.started && song_started()) r.started = true;
        if (r.started) {
            if (since_start <= 10) r.song_frame_ms = std::max(r.song_frame_ms, ms);
            if (++since_start > frames_after) return false;
        }
        return ++frames < 10000;
    });
    r.peak_rss_mb = peak_rss_mb();
    return r;
}

void report(benchmark::State& st, const Run& r) {
    if (!r.started) st.SkipWithError("no MIDI song started");
    st.counters["song_start_frame_ms"] = r.song_frame_ms;
    st.counters["longest_frame_ms"] = r.longest_ms;
    st.counters["peak_rss_mb"] = r.peak_rss_mb;
}

void BM_DemoSongStart(benchmark::State& st) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    LoadCompanionLibrary();
    // The build puts the demo beside the benchmark programs.
    const std::string demo = ExeFolder() + "demo/";
    Run r;
    for (auto _ : st) r = InChildProcess([&] { return play(demo, 1u << 30); });
    report(st, r);
}

// A game of one page that starts the demo's song straight away.
std::string song_at_once_game() {
    TPageWriter w;
    for (int id : {PR_NAME, PR_SOURCE, PR_VOLUME}) w.SetMask(opSound, id);
    w.Component(opSound, {{PR_NAME, "\"finale\""}, {PR_SOURCE, "\"finale.mid\""}, {PR_VOLUME, "1000"}});
    w.Wait("100000000");
    const std::string folder = WriteBenchGame("song_at_once", w, [](TProjectFileData& d) { d.SoundExtensions = ".mid"; });
    // The demo's song, as the build wrote it before packing.
    std::ifstream in(ExeFolder() + "demo_src/finale.mid", std::ios::binary);
    std::ofstream(folder + "finale.mid", std::ios::binary) << in.rdbuf();
    return folder;
}

void BM_SongOnTheFirstPage(benchmark::State& st) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    LoadCompanionLibrary();
    const std::string game = song_at_once_game();
    Run r;
    for (auto _ : st) r = InChildProcess([&] { return play(game, 60); });
    report(st, r);
}

}  // namespace

BENCHMARK(BM_SongOnTheFirstPage)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DemoSongStart)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
