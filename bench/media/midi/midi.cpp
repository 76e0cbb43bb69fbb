// The MIDI reader on a 1 MB file (goal: parsed and timed well under 20 ms),
// and the synthesizer's cost per second of audio beside the real-time budget.
#include "media/midi/midi_file.h"
#include "media/midi/midi_player.h"
#include "platform/system/audio.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {
std::string vlq(uint32_t n) {
    std::string r(1, static_cast<char>(n & 0x7F));
    while (n >>= 7) r.insert(r.begin(), static_cast<char>(0x80 | (n & 0x7F)));
    return r;
}

std::string be(uint32_t v, int n) {
    std::string r;
    for (int i = n - 1; i >= 0; --i) r += static_cast<char>(v >> (8 * i));
    return r;
}

// About 1 MB over 8 tracks: notes with running status, controllers, tempo changes.
std::string big_file() {
    std::string f = "MThd" + be(6, 4) + be(1, 2) + be(8, 2) + be(480, 2);
    uint32_t seed = 12345;
    auto rnd = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 16; };
    for (int t = 0; t < 8; ++t) {
        std::string tr;
        bool running = false;  // a meta event ends the running status
        while (tr.size() < 128 * 1024) {
            const uint32_t k = rnd() % 20;
            tr += vlq(rnd() % 60);
            if (k < 8 || (k < 14 && !running)) {
                tr += std::string{char(0x90 | t), char(rnd() % 128), char(rnd() % 128)};
                running = true;
            } else if (k < 14) {
                tr += std::string{char(rnd() % 128), char(0)};  // running status
            } else if (k < 19) {
                tr += std::string{char(0xB0 | t), char(rnd() % 128), char(rnd() % 128)};
                running = true;
            } else {
                tr += std::string("\xFF\x51\x03", 3) + be(300000 + rnd() % 400000, 3);
                running = false;
            }
        }
        tr += std::string("\x00\xFF\x2F\x00", 4);
        f += "MTrk" + be(static_cast<uint32_t>(tr.size()), 4) + tr;
    }
    return f;
}

void BM_MidiParse1MB(benchmark::State& state) {
    const std::string f = big_file();
    TMemoryStream s;
    s.WriteBuffer(f.data(), static_cast<int64_t>(f.size()));
    TMidiV m;
    for (auto _ : state) {
        s.SetPosition(0);
        m.LoadFromStream(s);
        benchmark::DoNotOptimize(m.LengthMs());
    }
    state.counters["bytes"] = static_cast<double>(f.size());
    state.counters["events"] = m.EventCount();
}
BENCHMARK(BM_MidiParse1MB)->Unit(benchmark::kMillisecond);

std::unique_ptr<AudioDevice> synth_device;

// One second of synthesizer output (16 channels, 4 voices each, held notes)
// pulled through the mixing bus; the real-time budget is 1000 ms per second.
void BM_SynthRenderOneSecond(benchmark::State& state) {
    synth_device = AudioDevice::Open(AudioBackend::Manual);
    SetMidiSynthBus([] { return &synth_device->Bus(); });
    std::unique_ptr<MidiOut> out = SystemMidiOutputs()->Open(-1);
    if (!out) {
        state.SkipWithError("no General MIDI sound font");
        return;
    }
    // The font loads on a thread of its own: the notes go once it is there.
    while (!out->Ready()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (uint32_t ch = 0; ch < 16; ++ch) {
        if (ch == 9) continue;
        out->ShortMessage(0xC0 | ch | (ch * 5) << 8);
        for (uint32_t n = 0; n < 4; ++n) out->ShortMessage(0x90 | ch | (48 + ch + n * 4) << 8 | 100u << 16);
    }
    std::vector<int16_t> pcm(AudioFrequency * 2);
    for (auto _ : state) synth_device->Bus().Mix(pcm.data(), AudioFrequency);
    state.counters["budget_ms"] = 1000;
    out.reset();
    SetMidiSynthBus(nullptr);
    synth_device.reset();
}
BENCHMARK(BM_SynthRenderOneSecond)->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();
