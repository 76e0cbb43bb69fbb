// Starting a large Ogg (about 100 MB at the highest quality, through the
// game's file stream):
//  - the time until its first block of samples is decoded, against
//    libvorbisfile's ov_fopen and ov_read of the same block (goal: at most
//    1.5 times), warm and with the file dropped from the page cache first
//    when the process may do so;
//  - the frame that starts it in the player (headless video, dummy audio,
//    real clock, frames not paced, so that each one's time is its work): a
//    game whose first page starts it, the longest frame from the one that
//    made its item to ten frames on (goal: within one frame period, 16 ms);
//  - reaching a place 5 s before the end of the same file with one page
//    lost (decoded forward to it), against ov_pcm_seek to the same place in
//    the undamaged file;
//  - opening shapes whose pages take long to look at: a chain of 60 links
//    (copies of one link, each given a serial number of its own) and a minute of sound followed
//    by 3 MB of false page headers (255 segments each, every 32 bytes),
//    each beside a clean file of one link and of the same size (the start
//    of the large file, cut at a page): the first block through our decoder
//    and through ov_fopen and ov_read, and the frame that starts it in the
//    player (goal: within 2 times the clean file's);
//  - the frame that starts a 5 MB file of one link (about 100 s) and reads
//    its COUNT (create_frame_ms), beside the frame that starts it without
//    the read (goal: within 1.2 times), with the COUNT the starting frame's
//    item answers;
//  - a place 28 min 20 s into 30 min of sound with a page lost a third of
//    the way in, at 22,050 Hz mono and at 48 kHz stereo (a file over a
//    megabyte plays in the device's layout: the damaged link is converted),
//    beside the same at the device's 44.1 kHz stereo: the first block heard
//    from there after the decoder opens (goal: within 1.1 times);
//  - the software mixer (the "DirectSound" setting off): the longest of
//    the game's frames (each frame the item calls a sound object makes,
//    paced at 16 ms) while a voice plays and that place in the damaged file
//    is taken, and the frames until it is heard (goal: no frame over one
//    period).
#include "bench/bench_game.h"
#include "engine/opcodes.h"
#include "files/big_stream.h"
#include "media/audio/sound_items.h"
#include "media/companion/companion.h"
#include "media/base/media_managers.h"
#include "media/decode/pcm_decoder.h"
#include "platform/filesystem/filesys.h"
#include "shell/form_view.h"
#include "shell/player_modules.h"

#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
constexpr int64_t kBlockFrames = 4096;  // what the module decodes at a step

// sox's sound (layout and synth) through oggenc (options), made once and
// kept in /tmp between runs.
std::string encoded_once(const std::string& path, const std::string& sox, const std::string& options = "-q 10") {
    if (!std::filesystem::exists(path))
        std::system(("sox -n " + sox + " 2>/dev/null | oggenc -Q " + options + " - -o " + path).c_str());
    return path;
}

// About a minute of encoding.
const std::string& large_ogg() {
    static const std::string path =
        encoded_once("/tmp/vorq_bench_100mb.ogg", "-r 44100 -c 2 -b 16 -t wav - synth 2250 pinknoise vol 0.3");
    return path;
}

// Drops the file from the page cache (root may; otherwise it stays warm).
void make_cold(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    fdatasync(fd);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
}

template <class F>
void untimed(benchmark::State& st, F f) {
    st.PauseTiming();
    f();
    st.ResumeTiming();
}

void ours(benchmark::State& st, bool cold) {
    std::vector<uint8_t> block(kBlockFrames * 4);
    for (auto _ : st) {
        if (cold) untimed(st, [] { make_cold(large_ogg()); });
        TFileRangeStream s(large_ogg(), 0, 0);
        auto d = OpenVorbisDecoder(s);
        if (d->Read(block.data(), int64_t(block.size())) <= 0) st.SkipWithError("nothing decoded");
        untimed(st, [&] { d.reset(); });  // the look at the pages stops with it
    }
}

// libvorbisfile opens the undamaged file, seeks to frame at (0: none) and
// decodes a block.
bool peer_block(std::vector<char>& block, int64_t at) {
    OggVorbis_File vf{};
    if (ov_fopen(large_ogg().c_str(), &vf) != 0) return false;
    const bool placed = at == 0 || ov_pcm_seek(&vf, at) == 0;
    int section = 0;
    for (long done = 0, got = 1; placed && done < long(block.size()) && got > 0; done += got)
        got = ov_read(&vf, block.data() + done, int(block.size() - done), 0, 2, 1, &section);
    ov_clear(&vf);
    return placed;
}

void peer(benchmark::State& st, bool cold) {
    std::vector<char> block(kBlockFrames * 4);
    for (auto _ : st) {
        if (cold) untimed(st, [] { make_cold(large_ogg()); });
        if (!peer_block(block, 0)) {
            st.SkipWithError("ov_fopen");
            break;
        }
    }
}

// The large file with a page a third of the way in taken out.
const std::string& damaged_ogg() {
    static const std::string path = [] {
        const std::string p = "/tmp/vorq_bench_100mb_page_lost.ogg";
        if (!std::filesystem::exists(p)) {
            std::ifstream in(large_ogg(), std::ios::binary);
            const std::string b{std::istreambuf_iterator<char>(in), {}};
            const size_t at = b.find("OggS", b.size() / 3), next = b.find("OggS", at + 4);
            std::ofstream(p, std::ios::binary) << b.substr(0, at) << b.substr(next);
        }
        return p;
    }();
    return path;
}

// 5 s before the end, in frames.
int64_t near_end() {
    static const int64_t frames = [] {
        OggVorbis_File vf{};
        if (ov_fopen(large_ogg().c_str(), &vf) != 0) return int64_t{0};
        const int64_t total = ov_pcm_total(&vf, -1);
        ov_clear(&vf);
        return total - 5 * 44100;
    }();
    return frames;
}

void BM_DamagedOggPlaceNearEnd(benchmark::State& st) {
    std::vector<uint8_t> block(kBlockFrames * 4);
    for (auto _ : st) {
        TFileRangeStream s(damaged_ogg(), 0, 0);
        auto d = OpenVorbisDecoder(s);
        if (!d->Seek(near_end() * 4) || ReadOrWait(*d, block.data(), int64_t(block.size())) <= 0)
            st.SkipWithError("the place was not reached");
        untimed(st, [&] { d.reset(); });
    }
}

// 30 minutes of sound in a layout, a page lost a third of the way in;
// made once and kept in /tmp.
const std::string& damaged_in_layout(int which) {
    static const char* const kLayouts[] = {"-r 22050 -c 1", "-r 48000 -c 2", "-r 44100 -c 2"};
    static std::map<int, std::string> made;
    if (made.count(which)) return made[which];
    const std::string p = "/tmp/vorq_bench_damaged_layout" + std::to_string(which) + ".ogg";
    if (!std::filesystem::exists(p)) {
        const std::string whole = encoded_once(
            p + ".whole.ogg", std::string(kLayouts[which]) + " -b 16 -t wav - synth 1800 pinknoise vol 0.3", "");
        std::ifstream in(whole, std::ios::binary);
        const std::string b{std::istreambuf_iterator<char>(in), {}};
        const size_t at = b.find("OggS", b.size() / 3), next = b.find("OggS", at + 4);
        std::ofstream(p, std::ios::binary) << b.substr(0, at) << b.substr(next);
    }
    return made[which] = p;
}

void BM_ConvertedDamagedOggPlace(benchmark::State& st) {
    static const char* const kNames[] = {"22,050 Hz mono", "48 kHz stereo", "44.1 kHz stereo (the device's)"};
    st.SetLabel(kNames[st.range(0)]);
    const std::string& path = damaged_in_layout(int(st.range(0)));
    std::vector<uint8_t> block(kBlockFrames * 4);
    for (auto _ : st) {
        TFileRangeStream s(path, 0, 0);
        auto d = OpenVorbisDecoder(s);
        if (!d->Seek(int64_t{1700} * 44100 * d->Format().nBlockAlign * d->Format().nSamplesPerSec / 44100) ||
            ReadOrWait(*d, block.data(), int64_t(block.size())) <= 0)
            st.SkipWithError("the place was not reached");
        untimed(st, [&] { d.reset(); });
    }
}

void BM_DamagedOggPlaceNearEndPeer(benchmark::State& st) {
    std::vector<char> block(kBlockFrames * 4);
    for (auto _ : st) {
        if (!peer_block(block, near_end())) {
            st.SkipWithError("ov_pcm_seek");
            break;
        }
    }
}

struct MixerRun {
    double longest_frame_ms = 0;
    int frames_until_heard = -1;
};

MixerRun mixer_frames() {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    MixerRun r;
    MediaUseDirectSound = false;
    vorqInit(nullptr, nullptr, nullptr, nullptr, StreamGetSizeCallback, StreamReadCallback, StreamGetPositionCallback,
             StreamSeekCallback, nullptr, nullptr, 0);
    {
        TOggManager manager;
        const std::string voice = "/tmp/vorq_bench_voice.ogg";
        if (!std::filesystem::exists(voice))
            std::system(("sox -n -r 44100 -c 2 -b 16 -t wav - synth 10 sine 440 vol 0.5 2>/dev/null | oggenc -Q - -o " +
                         voice).c_str());
        TDMediaItem* v = manager.Add(voice);
        v->SetAutoRepeat(true);
        v->Play();
        TDMediaItem* far = nullptr;
        for (int frame = 0; frame < 600 && r.frames_until_heard < 0; ++frame) {
            const auto a = Clock::now();
            if (frame == 10) {
                far = manager.Add(damaged_ogg());
                far->SetPosition(int32_t(near_end() * 1000 / 44100));
                far->Play();
            }
            v->CheckEnd();
            v->IsPlaying();
            if (far) {
                far->CheckEnd();
                far->GetLength();
                if (far->GetPosition() > int32_t(near_end() * 1000 / 44100)) r.frames_until_heard = frame - 10;
            }
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - a).count();
            r.longest_frame_ms = std::max(r.longest_frame_ms, ms);
            std::this_thread::sleep_until(a + std::chrono::milliseconds(16));
        }
    }
    vorqFinal();
    return r;
}

void BM_SoftwareMixerFrames(benchmark::State& st) {
    MixerRun r;
    for (auto _ : st) r = InChildProcess(mixer_frames);
    if (r.frames_until_heard < 0) st.SkipWithError("the place was never heard");
    st.counters["longest_frame_ms"] = r.longest_frame_ms;
    st.counters["frames_until_heard"] = r.frames_until_heard;
}

void BM_LargeOggFirstBlock(benchmark::State& st) { ours(st, false); }
void BM_LargeOggFirstBlockPeer(benchmark::State& st) { peer(st, false); }
void BM_LargeOggFirstBlockCold(benchmark::State& st) { ours(st, true); }
void BM_LargeOggFirstBlockColdPeer(benchmark::State& st) { peer(st, true); }

// ---- in the player

bool ogg_playing() {
    TOggManager* m = OggManager();
    return m && m->Count() > 0 && m->Item(0)->IsPlaying();
}

struct Run {
    double start_frame_ms = 0;  // longest frame from the one that starts it to ten frames on
    double create_frame_ms = 0;  // the frame that starts it
    double longest_ms = 0;
    bool started = false;
    int32_t count_ms = 0;  // the item's length in the frame that starts it
};

Run play(const std::string& game) {
    Run r;
    size_t frames = 0, since = 0;
    PlayFrames(game, [&](double ms) {
        r.longest_ms = std::max(r.longest_ms, ms);
        if (!r.started && ogg_playing()) {
            r.started = true;
            r.create_frame_ms = ms;
            r.count_ms = OggManager()->Item(0)->GetLength();
        }
        if (r.started) {
            r.start_frame_ms = std::max(r.start_frame_ms, ms);
            ++since;
        }
        return ++frames < 2000 && since <= 10;
    });
    return r;
}

// read_count: the frame that starts it reads its COUNT too.
void frame_that_starts(benchmark::State& st, bool cold, const std::string& path = large_ogg(), bool read_count = false) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    LoadCompanionLibrary();
    TPageWriter w;
    for (int id : {PR_NAME, PR_SOURCE, PR_VOLUME}) w.SetMask(opSound, id);
    if (read_count) w.VarNew("length", PT_INT, "0");
    w.Component(opSound, {{PR_NAME, "\"bgm\""}, {PR_SOURCE, "\"" + path + "\""}, {PR_VOLUME, "1000"}});
    if (read_count) w.GetProp("\"bgm\"", std::to_string(PR_COUNT), "length");
    w.Wait("100000000");
    // Frames unpaced: each one's time is its own work, no sleep.
    const std::string game = WriteBenchGame("large_ogg_at_once", w, [](TProjectFileData& d) { d.SleepBetweenFrames = 0; });
    Run r;
    double start_ms = 0, create_ms = 0, longest_ms = 0;  // summed over the runs
    for (auto _ : st) {
        if (cold) make_cold(path);
        r = InChildProcess([&] { return play(game); });
        start_ms += r.start_frame_ms;
        create_ms += r.create_frame_ms;
        longest_ms += r.longest_ms;
    }
    if (!r.started) st.SkipWithError("the Ogg never played");
    st.counters["start_frame_ms"] = benchmark::Counter(start_ms, benchmark::Counter::kAvgIterations);
    st.counters["create_frame_ms"] = benchmark::Counter(create_ms, benchmark::Counter::kAvgIterations);
    st.counters["longest_frame_ms"] = benchmark::Counter(longest_ms, benchmark::Counter::kAvgIterations);
    st.counters["count_ms"] = r.count_ms;
}

void BM_LargeOggStartFrame(benchmark::State& st) { frame_that_starts(st, false); }

// ---- shapes slow to look at, and clean files of their sizes

std::string file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The checksum of an Ogg page (its own field zero).
uint32_t ogg_crc(const uint8_t* p, size_t n) {
    uint32_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        crc ^= uint32_t(p[i]) << 24;
        for (int b = 0; b < 8; ++b) crc = crc & 0x80000000u ? crc << 1 ^ 0x04c11db7u : crc << 1;
    }
    return crc;
}

// Made once and kept in /tmp, like the large file.
const std::string& kept(const std::string& path, const std::function<std::string()>& make) {
    static std::map<std::string, std::string> made;
    if (!made.count(path)) {
        if (!std::filesystem::exists(path)) std::ofstream(path, std::ios::binary) << make();
        made[path] = path;
    }
    return made[path];
}

const std::string& chain60() {
    return kept("/tmp/vorq_bench_chain60.ogg", [] {
        const std::string link = "/tmp/vorq_bench_link.ogg";
        std::system(("sox -n -r 44100 -c 2 -b 16 -t wav - synth 36 pinknoise vol 0.3 2>/dev/null | "
                     "oggenc -Q -q 10 - -o " + link).c_str());
        std::string one = file_bytes(link), all;
        // Each link a serial number of its own, as a chain of files joined
        // has: its pages' serials and checksums written anew.
        for (uint32_t serial = 1; serial <= 60; ++serial) {
            for (size_t at = 0; at + 27 <= one.size();) {
                size_t end = at + 27 + uint8_t(one[at + 26]);
                for (size_t i = 0; i < uint8_t(one[at + 26]); ++i) end += uint8_t(one[at + 27 + i]);
                for (int b = 0; b < 4; ++b) {
                    one[at + 14 + b] = char(serial >> (8 * b));
                    one[at + 22 + b] = 0;
                }
                const uint32_t crc = ogg_crc(reinterpret_cast<const uint8_t*>(one.data() + at), end - at);
                for (int b = 0; b < 4; ++b) one[at + 22 + b] = char(crc >> (8 * b));
                at = end;
            }
            all += one;
        }
        return all;
    });
}

const std::string& false_headers() {
    return kept("/tmp/vorq_bench_false_headers.ogg", [] {
        const std::string minute = "/tmp/vorq_bench_minute.ogg";
        std::system(("sox -n -r 44100 -c 2 -b 16 -t wav - synth 60 pinknoise vol 0.3 2>/dev/null | "
                     "oggenc -Q -q 10 - -o " + minute).c_str());
        std::string all = file_bytes(minute);
        // A capture pattern, version 0, a header with 255 segments whose
        // checksum never matches, every 32 bytes.
        std::string header(32, '\x01');
        header.replace(0, 6, std::string("OggS\0\0", 6));
        header[26] = char(255);
        for (int64_t i = 0; i < (int64_t{3} << 20) / 32; ++i) all += header;
        return all;
    });
}

// The large file's pages from its start up to size bytes: one clean link.
const std::string& clean_of_size(const std::string& like) {
    const std::string path = like + ".clean.ogg";
    return kept(path, [&] {
        const std::string b = file_bytes(large_ogg());
        const size_t want = std::filesystem::file_size(like);
        const size_t cut = b.rfind("OggS", std::min(want, b.size()));
        return b.substr(0, cut == std::string::npos ? b.size() : cut);
    });
}

void first_block(benchmark::State& st, const std::string& path) {
    std::vector<uint8_t> block(kBlockFrames * 4);
    for (auto _ : st) {
        TFileRangeStream s(path, 0, 0);
        auto d = OpenVorbisDecoder(s);
        if (d->Read(block.data(), int64_t(block.size())) <= 0) st.SkipWithError("nothing decoded");
        untimed(st, [&] { d.reset(); });
    }
}

void first_block_peer(benchmark::State& st, const std::string& path) {
    std::vector<char> block(kBlockFrames * 4);
    for (auto _ : st) {
        OggVorbis_File vf{};
        if (ov_fopen(path.c_str(), &vf) != 0) {
            st.SkipWithError("ov_fopen");
            break;
        }
        int section = 0;
        for (long done = 0, got = 1; done < long(block.size()) && got > 0; done += got)
            got = ov_read(&vf, block.data() + done, int(block.size() - done), 0, 2, 1, &section);
        ov_clear(&vf);
    }
}

const std::string& shape(int which) {
    switch (which) {
    case 0: return chain60();
    case 1: return clean_of_size(chain60());
    case 2: return false_headers();
    default: return clean_of_size(false_headers());
    }
}
const char* const kShapeNames[] = {"chain of 60 links", "clean, as large as the chain", "false page headers",
                                   "clean, as large as the false headers"};

void BM_ShapeFirstBlock(benchmark::State& st) {
    st.SetLabel(kShapeNames[st.range(0)]);
    first_block(st, shape(int(st.range(0))));
}
void BM_ShapeFirstBlockPeer(benchmark::State& st) {
    st.SetLabel(kShapeNames[st.range(0)]);
    first_block_peer(st, shape(int(st.range(0))));
}
void BM_ShapeStartFrame(benchmark::State& st) {
    st.SetLabel(kShapeNames[st.range(0)]);
    frame_that_starts(st, false, shape(int(st.range(0))));
}
void BM_LargeOggStartFrameCold(benchmark::State& st) { frame_that_starts(st, true); }

// About 100 s at the highest quality: 5 MB of one link.
const std::string& five_mb_ogg() {
    static const std::string path =
        encoded_once("/tmp/vorq_bench_5mb.ogg", "-r 44100 -c 2 -b 16 -t wav - synth 100 whitenoise vol 0.5");
    return path;
}
void BM_FiveMbOggStartFrame(benchmark::State& st) {
    st.SetLabel(st.range(0) ? "COUNT read" : "no read");
    frame_that_starts(st, false, five_mb_ogg(), st.range(0) != 0);
}
}  // namespace

BENCHMARK(BM_LargeOggFirstBlock)->Unit(benchmark::kMillisecond)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_LargeOggFirstBlockPeer)->Unit(benchmark::kMillisecond)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_LargeOggFirstBlockCold)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LargeOggFirstBlockColdPeer)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_DamagedOggPlaceNearEnd)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DamagedOggPlaceNearEndPeer)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ConvertedDamagedOggPlace)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_SoftwareMixerFrames)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargeOggStartFrame)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargeOggStartFrameCold)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FiveMbOggStartFrame)->DenseRange(0, 1)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShapeFirstBlock)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_ShapeFirstBlockPeer)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_ShapeStartFrame)->DenseRange(0, 3)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
