// Sounds at rates other than the device's, made by sox and oggenc and heard
// against sox's own resampling: played by the companion module, and decoded
// by it into the software mixer (the "DirectSound" setting off); alone, and
// as links of a chained Ogg.
#include "media/companion/companion.h"
#include "media/audio/sound_items.h"
#include "media/audio/wav_out.h"
#include "platform/system/audio.h"
#include "platform/filesystem/stream.h"
#include "tests/media/companion/module_test_fixture.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {
std::vector<uint8_t> bytes_of(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

struct LowRate : CompanionModuleTest {
    // What the module plays of the sound until it ends (at most 4 s).
    std::vector<int16_t> play_by_module(TStream* s, bool ogg) {
        const uint32_t h = vorqOggmanAdd(s, ogg ? -1 : 0);
        vorqOggPlay(h);
        std::vector<int16_t> got;
        std::vector<int16_t> piece(2048);
        while (!vorqOggIsEnd(h) && got.size() < 2 * 44100 * 4) {
            vorqOggmanUpdate();
            device->Bus().Mix(piece.data(), piece.size() / 2);
            got.insert(got.end(), piece.begin(), piece.end());
        }
        vorqOggmanDel(h);
        return got;
    }
    // What the software mixer plays of the module's decoded stream.
    static std::vector<int16_t> play_by_mixer(TStream* s, bool ogg) {
        TWavOut::Options o;
        o.Backend = AudioBackend::Manual;
        o.RefillThread = false;
        TWavOut out(100, o);
        EXPECT_TRUE(out.Open());
        TOggStream stream(s, ogg);
        TWavBuffer* b = out.AddBuffer(stream.Format(), &stream);
        b->Play();
        std::vector<int16_t> got;
        std::vector<int16_t> block(size_t(out.BlockBytes()) / 2);
        while (out.MixBlock(block.data()) && got.size() < 2 * 44100 * 4) got.insert(got.end(), block.begin(), block.end());
        out.RemoveBuffer(b);
        return got;
    }
};
}  // namespace

// A sound below the device's rate grows several times over when resampled:
// each is heard whole, with no piece cut out, and every resampled sound to
// its last frame.
TEST_F(LowRate, SoundsPlayWholeToTheirLastFrame) {
    const std::string dir = ::testing::TempDir() + "low_rate_" + std::to_string(getpid()) + "_";
    const struct {
        const char* name;
        int rate;
        const char* layout;
        bool ogg;
    } cases[] = {{"8k_mono16", 8000, "-b 16 -c 1", false},    {"8k_stereo16", 8000, "-b 16 -c 2", false},
                 {"8k_mono8", 8000, "-b 8 -c 1", false},      {"11k_mono16", 11025, "-b 16 -c 1", false},
                 {"11k_stereo8", 11025, "-b 8 -c 2", false}, {"16k_mono16", 16000, "-b 16 -c 1", false},
                 {"22k_mono16", 22050, "-b 16 -c 1", false}, {"48k_stereo16", 48000, "-b 16 -c 2", false},
                 {"11k_ogg", 11025, "-b 16 -c 1", true}};
    for (auto c : cases) {
        const std::string wav = dir + c.name + ".wav", ogg = dir + c.name + ".ogg", ref = dir + c.name + ".raw";
        // A tone over a DC offset never reaches zero, so the capture's last
        // sounding frame is the sound's last.
        std::string cmd = "sox -n -r " + std::to_string(c.rate) + " " + c.layout + " '" + wav +
                          "' synth 1.9 sine 500 vol 0.3 dcshift 0.5";
        // For the Ogg, what oggdec decodes is what must be heard.
        if (c.ogg) cmd += " && oggenc -Q -o '" + ogg + "' '" + wav + "' && oggdec -Q -o '" + wav + "' '" + ogg + "'";
        cmd += " && sox '" + wav + "' -r 44100 -c 2 -b 16 -e signed -t raw '" + ref + "' && soxi -s '" + wav + "'";
        const CommandOutcome made = RunCommand(cmd);
        ASSERT_EQ(made.Status, 0) << cmd;
        const double frames = std::strtod(made.Output.c_str(), nullptr) * 44100 / c.rate;
        const auto ref_bytes = bytes_of(ref);
        std::vector<int16_t> want(ref_bytes.size() / 2);
        std::memcpy(want.data(), ref_bytes.data(), want.size() * 2);
        const auto bytes = bytes_of(c.ogg ? ogg : wav);
        for (const std::string& made_file : {wav, ogg, ref}) std::remove(made_file.c_str());

        // The mixer widens 22,050 Hz by repeating frames, which sox does not.
        for (bool mixer : {false, c.rate != 22050}) {
            SCOPED_TRACE(std::string(c.name) + (mixer ? " mixer" : " module"));
            auto s = MemoryStreamOf(bytes);
            const auto got = mixer ? play_by_mixer(s.get(), c.ogg) : play_by_module(s.get(), c.ogg);
            size_t heard = got.size() / 2;
            while (heard > 0 && got[2 * heard - 2] == 0 && got[2 * heard - 1] == 0) --heard;
            EXPECT_NEAR(double(heard), frames, 1.0);
            // Clear of the filters' edges.
            int worst = 0;
            for (size_t i = 2 * 441; i + 2 * 441 < std::min(got.size(), want.size()); ++i)
                worst = std::max(worst, std::abs(got[i] - want[i]));
            EXPECT_LE(worst, 328);
        }
    }
}

// A chain of two oggenc-made links, 22,050 Hz mono at 440 Hz then 44.1 kHz
// stereo at 880 Hz: both links are heard, from the first, each at its own
// pitch and length, as oggdec decodes and sox resamples each by itself.
TEST_F(LowRate, EveryLinkOfAChainedOggPlaysInItsOwnFormat) {
    const std::string dir = ::testing::TempDir() + "chain_" + std::to_string(getpid()) + "_";
    const struct {
        const char* layout;
        int freq;
    } links[] = {{"-r 22050 -c 1", 440}, {"-r 44100 -c 2", 880}};
    auto path = [&dir](const std::string& name) { return "'" + dir + name + "'"; };
    std::string cmd = "true";
    for (int i = 0; i < 2; ++i) {
        const std::string n = std::to_string(i);
        cmd += " && sox -n " + std::string(links[i].layout) + " -b 16 " + path(n + ".wav") + " synth 1 sine " +
               std::to_string(links[i].freq) + " vol 0.5 dcshift 0.4 && oggenc -Q " + path(n + ".wav") +
               " && oggdec -Q " + path(n + ".ogg") + " && sox " + path(n + ".wav") +
               " -r 44100 -c 2 -b 16 -e signed -t raw " + path(n + ".raw") + " && soxi -s " + path(n + ".wav") +
               " && soxi -r " + path(n + ".wav");
    }
    cmd += " && cat " + path("0.ogg") + " " + path("1.ogg") + " >" + path("chain.ogg") + " && cat " + path("0.raw") +
           " " + path("1.raw") + " >" + path("chain.raw");
    const CommandOutcome made = RunCommand(cmd);
    ASSERT_EQ(made.Status, 0) << cmd;
    // Each link's frames and rate as soxi says: where each starts at 44.1 kHz.
    std::vector<size_t> starts{0};
    std::istringstream said(made.Output);
    for (double frames, rate; said >> frames >> rate;)
        starts.push_back(starts.back() + size_t(std::lround(frames * 44100 / rate)));
    ASSERT_EQ(starts.size(), 3u);
    const auto chain = bytes_of(dir + "chain.ogg"), want_bytes = bytes_of(dir + "chain.raw");
    std::vector<int16_t> want(want_bytes.size() / 2);
    std::memcpy(want.data(), want_bytes.data(), want.size() * 2);
    RunCommand("rm -f '" + dir + "'*");

    for (bool mixer : {false, true}) {
        SCOPED_TRACE(mixer ? "mixer" : "module");
        auto s = MemoryStreamOf(chain);
        const auto got = mixer ? play_by_mixer(s.get(), true) : play_by_module(s.get(), true);
        size_t heard = got.size() / 2;
        while (heard > 0 && got[2 * heard - 2] == 0 && got[2 * heard - 1] == 0) --heard;
        EXPECT_NEAR(double(heard), double(starts[2]), 1.0);
        if (got.size() < want.size()) continue;
        for (int i = 0; i < 2; ++i) {
            // Clear of the filters' edges: oggdec's samples, and the tone's
            // pitch from its rising crossings of its middle level.
            const size_t from = starts[i] + 441, to = starts[i + 1] - 441;
            int worst = 0, rises = 0;
            for (size_t f = from; f < to; ++f)
                for (int ch = 0; ch < 2; ++ch) worst = std::max(worst, std::abs(got[2 * f + ch] - want[2 * f + ch]));
            const int16_t middle = int16_t(0.4 * 32767);
            for (size_t f = from + 1; f < to; ++f) rises += got[2 * f - 2] < middle && got[2 * f] >= middle;
            EXPECT_LE(worst, 328) << i;
            EXPECT_NEAR(rises * 44100.0 / double(to - from), links[i].freq, 5) << i;
        }
    }
}
