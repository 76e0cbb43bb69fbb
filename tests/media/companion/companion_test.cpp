// The companion module playing Ogg and Windows Media sound into a device
// whose mix the test pulls: against oggdec's and ffmpeg's samples, levels
// as sox measures them, loops, damaged files, a failing decoding thread, its
// decoded streams, and a fade of an item it plays.
#include "media/companion/companion.h"
#include "media/decode/pcm_decoder.h"
#include "media/audio/sound_items.h"
#include "media/audio/wav_out.h"
#include "media/base/media_managers.h"
#include "platform/system/audio.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "script/game_clock.h"
#include "objects/media/volume_fade.h"
#include "tests/media/companion/module_test_fixture.h"
#include "tests/support/file_bytes.h"
#include "tests/support/gated_stream.h"
#include "tests/support/run_command.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {
std::string data_path(const std::string& name) { return std::string(VORQ_TEST_DATA) + "/audio/" + name; }

std::vector<uint8_t> file_bytes(const std::string& name) {
    std::ifstream f(data_path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

std::vector<int16_t> raw_samples(const std::string& name) {
    const auto b = file_bytes(name);
    std::vector<int16_t> v(b.size() / 2);
    std::memcpy(v.data(), b.data(), v.size() * 2);
    return v;
}

struct Module : CompanionModuleTest {
    // Of frames frames the module plays of an Ogg on repeat, how many are
    // ref played again and again from its start.
    size_t frames_looped(TStream& s, const std::vector<int16_t>& ref, size_t frames) {
        const uint32_t h = vorqOggmanAdd(&s, -1);
        vorqOggSetAutoRepeat(h, -1);
        vorqOggPlay(h);
        const auto heard = capture(frames);
        vorqOggmanDel(h);
        size_t f = 0;
        const size_t n = ref.size();
        while (f < frames && heard[2 * f] == ref[2 * f % n] && heard[2 * f + 1] == ref[(2 * f + 1) % n]) ++f;
        return f;
    }
    // frames stereo frames of what the device plays.
    std::vector<int16_t> capture(size_t frames) {
        for (int i = 0; i < 6; ++i) vorqOggmanUpdate();
        std::vector<int16_t> out(frames * 2);
        for (size_t at = 0; at < frames; at += 1024) {
            const size_t n = std::min<size_t>(1024, frames - at);
            device->Bus().Mix(out.data() + at * 2, n);
            vorqOggmanUpdate();
            vorqOggmanUpdate();
        }
        return out;
    }
};

}  // namespace

TEST_F(Module, OggPlaysAsOggdecDecodesItScaledByVolumeAndPan) {
    const auto ref = raw_samples("tone_ogg.raw");  // oggdec -R
    const size_t frames = ref.size() / 2;
    const struct {
        int32_t volume, pan;
    } cases[] = {{0, 0}, {-600, 0}, {-2000, 0}, {0, 600}, {-300, -1200}};
    for (auto c : cases) {
        auto s = MemoryStreamOf(file_bytes("tone.ogg"));
        const uint32_t h = vorqOggmanAdd(s.get(), -1);
        ASSERT_NE(h, 0u);
        EXPECT_EQ(vorqOggGetLen(h), 500);
        vorqOggSetVol(h, c.volume);
        vorqOggSetPan(h, c.pan);
        vorqOggPlay(h);
        const auto got = capture(frames + 2048);
        const ChannelGains g = GainsOf(c.volume, c.pan);
        // The dB the gains stand for: volume on both, pan on the far side.
        EXPECT_NEAR(20 * std::log10(g.Left / 65536.0), c.volume / 100.0 - (c.pan > 0 ? c.pan / 100.0 : 0), 0.01);
        EXPECT_NEAR(20 * std::log10(g.Right / 65536.0), c.volume / 100.0 + (c.pan < 0 ? c.pan / 100.0 : 0), 0.01);
        int worst = 0;
        for (size_t i = 0; i < frames; ++i)
            for (int ch = 0; ch < 2; ++ch) {
                const double gain = (ch ? g.Right : g.Left) / 65536.0;
                const int want = static_cast<int>(std::floor(ref[2 * i + ch] * gain));
                worst = std::max(worst, std::abs(want - got[2 * i + ch]));
            }
        EXPECT_LE(worst, 1) << c.volume << " " << c.pan;
        for (size_t i = frames * 2; i < got.size(); ++i) ASSERT_EQ(got[i], 0) << "after the end";
        EXPECT_TRUE(vorqOggIsEnd(h));
        EXPECT_FALSE(vorqOggIsPlaying(h));
        vorqOggmanDel(h);
    }
}

TEST_F(Module, RepeatingOggLoopsWithoutAGap) {
    const auto ref = raw_samples("tone_ogg.raw");
    const size_t frames = ref.size() / 2;
    auto s = MemoryStreamOf(file_bytes("tone.ogg"));
    const uint32_t h = vorqOggmanAdd(s.get(), -1);
    vorqOggSetAutoRepeat(h, -1);
    vorqOggPlay(h);
    const auto got = capture(frames * 2 + 500);
    for (size_t i = 0; i < frames + 500; ++i) {
        ASSERT_EQ(got[2 * (frames + i)], ref[2 * (i % frames)]) << i;
    }
    EXPECT_FALSE(vorqOggIsEnd(h));
    EXPECT_TRUE(vorqOggIsPlaying(h));
    vorqOggmanDel(h);
}

TEST_F(Module, WindowsMediaAudioMatchesFfmpegWithinCodecTolerance) {
    const auto ref = raw_samples("tone_wma.raw");  // ffmpeg -f s16le
    const auto bytes = file_bytes("tone.wma");
    const uint32_t h = vorqWmpmanAdd(bytes.data(), static_cast<int32_t>(bytes.size()));
    ASSERT_NE(h, 0u);
    EXPECT_NEAR(vorqWmpGetLen(h), 500, 30);
    vorqWmpPlay(h);
    const size_t frames = ref.size() / 2;
    const auto got = capture(frames + 4096);
    int worst = 0;
    for (size_t i = 0; i < frames * 2; ++i) worst = std::max(worst, std::abs(int(ref[i]) - int(got[i])));
    EXPECT_LE(worst, 2);
    EXPECT_TRUE(vorqWmpIsEnd(h));
    // Back to the start: it plays again from there.
    vorqWmpSetPosition(h, 0);
    EXPECT_FALSE(vorqWmpIsEnd(h));
    vorqWmpPlay(h);
    const auto again = capture(2048);
    for (size_t i = 0; i < 4096; ++i) ASSERT_NEAR(again[i], ref[i], 2) << i;
    vorqWmpmanDel(h);
}

TEST_F(Module, DamagedAndTruncatedFilesEndCleanly) {
    const auto ogg = file_bytes("tone.ogg");
    // Not sound at all: refused when added.
    for (const std::vector<uint8_t>& junk : {std::vector<uint8_t>{}, std::vector<uint8_t>(100, 0x4F),
                                            std::vector<uint8_t>(ogg.begin(), ogg.begin() + 40)}) {
        auto s = MemoryStreamOf(junk);
        EXPECT_THROW(vorqOggmanAdd(s.get(), -1), ECorruptData);
        EXPECT_THROW(vorqOggmanAdd(s.get(), 0), ECorruptData);
        EXPECT_THROW(vorqWmpmanAdd(junk.data(), static_cast<int32_t>(junk.size())), ECorruptData);
    }
    // Cut short or with pages damaged: plays what it can, then ends.
    int played = 0;
    for (size_t cut : {ogg.size() / 2, ogg.size() * 3 / 4, ogg.size() * 9 / 10}) {
        for (bool damage : {false, true}) {
            std::vector<uint8_t> part(ogg.begin(), ogg.begin() + static_cast<std::ptrdiff_t>(cut));
            if (damage)
                for (size_t i = 4000; i < part.size(); i += 97) part[i] ^= 0x5A;
            auto s = MemoryStreamOf(part);
            uint32_t h = 0;
            try {
                h = vorqOggmanAdd(s.get(), -1);
            } catch (const ECorruptData&) {
                continue;
            }
            vorqOggPlay(h);
            ++played;
            capture(44100);
            EXPECT_TRUE(vorqOggIsEnd(h)) << cut << damage;
            vorqOggmanDel(h);
        }
    }
    EXPECT_GE(played, 2);  // the long cuts open
}

TEST_F(Module, ADecodingThreadThatRaisesEndsItsMediumAndThePlayerLives) {
    // Memory runs short while the thread decodes: the read of the samples
    // raises std::bad_alloc.
    struct ShortOfMemory : TMemoryStream {
        bool armed = false;
        int64_t Read(void* buffer, int64_t count) override {
            if (armed) throw std::bad_alloc();
            return TMemoryStream::Read(buffer, count);
        }
    };
    ShortOfMemory s;
    const auto wav = file_bytes("tone.wav");
    s.WriteBuffer(wav.data(), static_cast<int64_t>(wav.size()));
    s.SetPosition(0);
    const uint32_t h = vorqOggmanAdd(&s, 0);
    ASSERT_NE(h, 0u);
    s.armed = true;
    vorqOggPlay(h);
    vorqOggmanSetUseThread(1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!vorqOggIsEnd(h) && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    EXPECT_TRUE(vorqOggIsEnd(h));
    EXPECT_FALSE(vorqOggIsPlaying(h));
    vorqOggmanSetUseThread(0);
    vorqOggmanDel(h);
}

TEST_F(Module, NoDeviceMeansAnEndAtOnce) {
    cell = nullptr;
    auto s = MemoryStreamOf(file_bytes("tone.ogg"));
    const uint32_t h = vorqOggmanAdd(s.get(), -1);
    vorqOggPlay(h);
    EXPECT_TRUE(vorqOggIsEnd(h));
    vorqOggmanDel(h);
    // Unknown handles are ignored.
    vorqOggPlay(12345);
    EXPECT_EQ(vorqOggGetLen(12345), 0);
}

TEST_F(Module, DecodedStreamsSeekWithinTheirSizeAndGiveOggdecsSamples) {
    const auto ref = raw_samples("tone_ogg.raw");
    auto src = MemoryStreamOf(file_bytes("tone.ogg"));
    TOggStream s(src.get(), true);
    EXPECT_EQ(s.Format(), MakePCMWaveFormat(44100, 16, 2));
    EXPECT_EQ(s.GetSize(), static_cast<int64_t>(ref.size() * 2));
    EXPECT_EQ(s.GetLength(), 500);
    const struct {
        int64_t to, at;
    } seeks[] = {{-50, 0}, {400, 400}, {1 << 30, int64_t(ref.size() * 2)}};
    for (auto c : seeks) EXPECT_EQ(s.Seek(c.to, SeekOrigin::Beginning), c.at) << c.to;
    s.Seek(4000, SeekOrigin::Beginning);
    std::vector<int16_t> got(1000);
    ASSERT_EQ(s.Read(got.data(), 2000), 2000);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(got[i], ref[2000 + i]) << i;
    EXPECT_EQ(s.Read(got.data(), 0), 0);

    auto junk = MemoryStreamOf(std::vector<uint8_t>(64, 1));
    try {
        TOggStream bad(junk.get(), true);
        ADD_FAILURE();
    } catch (const ECorruptData& e) {
        EXPECT_EQ(e.Message(), Sjis("サウンドデータが不正です"));
    }
}

namespace {
// sox's RMS level in dB of one channel (1 or 2) of raw 16-bit stereo.
double sox_rms_db(const std::vector<int16_t>& samples, int channel) {
    const std::string path = ::testing::TempDir() + "sox_level_" + std::to_string(getpid()) + ".raw";
    {
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size() * 2));
    }
    const std::string cmd = "sox -t raw -r 44100 -e signed -b 16 -c 2 '" + path + "' -n remix " +
                            std::to_string(channel) + " stats 2>&1";
    const std::string out = RunCommand(cmd).Output;
    std::remove(path.c_str());
    const size_t at = out.find("RMS lev dB");
    if (at == std::string::npos) return 999;
    return std::strtod(out.c_str() + at + 10, nullptr);
}
}  // namespace

TEST_F(Module, VolumeAndPanInDecibelsAsSoxMeasuresThem) {
    const auto ref = raw_samples("tone_ogg.raw");
    const double ref_l = sox_rms_db(ref, 1), ref_r = sox_rms_db(ref, 2);
    ASSERT_LT(ref_l, 0);
    const struct {
        int32_t volume, pan;
        double left_db, right_db;
    } cases[] = {{-600, 0, -6, -6}, {0, 1200, -12, 0}, {-300, -900, -3, -12}, {-1000, 10000, -110, -10}};
    for (auto c : cases) {
        auto s = MemoryStreamOf(file_bytes("tone.ogg"));
        const uint32_t h = vorqOggmanAdd(s.get(), -1);
        vorqOggSetVol(h, c.volume);
        vorqOggSetPan(h, c.pan);
        vorqOggPlay(h);
        auto got = capture(ref.size() / 2);
        const double l = sox_rms_db(got, 1) - ref_l, r = sox_rms_db(got, 2) - ref_r;
        if (c.left_db > -100) {
            EXPECT_NEAR(l, c.left_db, 0.05) << c.volume << " " << c.pan;
        } else {
            EXPECT_LT(l, -80);  // sox reports silence as far below
        }
        EXPECT_NEAR(r, c.right_db, 0.05) << c.volume << " " << c.pan;
        vorqOggmanDel(h);
    }
}

namespace {
// sox's RMS level in dB of a sound file (mono: its one channel).
double sox_file_rms_db(const std::string& path) {
    const std::string out = RunCommand("sox '" + path + "' -n stats 2>&1").Output;
    const size_t at = out.find("RMS lev dB");
    return at == std::string::npos ? 999 : std::strtod(out.c_str() + at + 10, nullptr);
}
}  // namespace

// A mono sound plays at its own level in each channel, whatever decodes it
// (the software mixer does the same): not the 3 dB lower of a centre mix.
TEST_F(Module, MonoSoundsPlayAtTheirOwnLevelInBothChannels) {
    const double own = sox_file_rms_db(data_path("tone22m.wav"));
    ASSERT_LT(own, 0);
    const struct {
        const char* name;
        double tolerance;  // the lossy codecs' own error
    } cases[] = {{"tone22m.wav", 0.05}, {"tone22m.ogg", 0.2}, {"tone22m.wma", 0.3}};
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        const auto bytes = file_bytes(c.name);
        auto s = MemoryStreamOf(bytes);
        const bool wma = std::string(c.name).ends_with(".wma");
        const uint32_t h = wma ? vorqWmpmanAdd(bytes.data(), static_cast<int32_t>(bytes.size()))
                               : vorqOggmanAdd(s.get(), std::string(c.name).ends_with(".ogg") ? -1 : 0);
        // Twice: a seek sets the resampler up again.
        for (int pass = 0; pass < 2; ++pass) {
            wma ? vorqWmpSetPosition(h, 0) : vorqOggSetPosition(h, 0);
            wma ? vorqWmpPlay(h) : vorqOggPlay(h);
            // The steady middle of the quarter second, clear of codec edges.
            auto got = capture(8000);
            got.erase(got.begin(), got.begin() + 2 * 2000);
            EXPECT_NEAR(sox_rms_db(got, 1), own, c.tolerance) << pass;
            EXPECT_NEAR(sox_rms_db(got, 2), own, c.tolerance) << pass;
        }
        wma ? vorqWmpmanDel(h) : vorqOggmanDel(h);
    }
}

// A fade-in of an item played by the module, heard a tenth of a second at a
// time: each piece is as loud as the volume the fade set before it.
TEST_F(Module, AFadeInRisesAsItsVolumeCurveSays) {
    const auto ref = raw_samples("tone_ogg.raw");
    const size_t frames = ref.size() / 2;
    TOggItem item(nullptr, data_path("tone.ogg"));
    item.SetAutoRepeat(true);
    TVorqMixerFadein fade(&item, 1000, 0);
    GameClock = 5000;
    ASSERT_FALSE(fade.Step());
    EXPECT_TRUE(item.IsPlaying());
    for (int k = 0; k < 10; ++k) {
        GameClock = 5000 + 100 * k;
        ASSERT_FALSE(fade.Step());
        const int32_t vol = item.GetVolume();
        const auto got = capture(4410);
        double num = 0, den = 0;
        for (size_t i = 0; i < 4410; ++i) {
            const size_t at = (size_t(k) * 4410 + i) % frames;
            num += double(got[2 * i]) * got[2 * i];
            den += double(ref[2 * at]) * ref[2 * at];
        }
        EXPECT_NEAR(10 * std::log10(num / den), vol / 100.0, 0.1) << k;
        EXPECT_EQ(vol, -5000 + 500 * k);
    }
    GameClock = 6000;
    EXPECT_TRUE(fade.Step());
    EXPECT_EQ(item.GetVolume(), 0);
    GameClock = 0;
}

namespace {
// Files made for a test by sox, oggenc and oggdec in a folder of its own.
struct MadeFiles {
    std::string dir = ::testing::TempDir() + "made_" + std::to_string(getpid()) + "_";
    ~MadeFiles() { RunCommand("rm -f '" + dir + "'*"); }
    // An oggenc file of a second of sox's sound, made once; each encoding
    // with its own oggenc options.
    std::string ogg(const std::string& name, const std::string& layout, const std::string& synth,
                    const std::string& options = "", int seconds = 1) {
        const std::string wav = dir + name + ".wav", ogg = dir + name + ".ogg";
        const std::string cmd = "(test -f '" + wav + "' || sox -n " + layout + " -b 16 '" + wav + "' synth " +
                                std::to_string(seconds) + " " + synth +
                                ") && oggenc -Q " + options + " -o '" + ogg + "' '" + wav + "'";
        EXPECT_EQ(RunCommand(cmd).Status, 0) << cmd;
        return ReadFileBytes(ogg);
    }
    // What oggdec decodes of bytes.
    std::vector<int16_t> oggdec(const std::string& bytes) {
        std::ofstream(dir + "in.ogg", std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
        EXPECT_EQ(RunCommand("oggdec -Q -R -o '" + dir + "out.raw' '" + dir + "in.ogg'").Status, 0);
        const std::string b = ReadFileBytes(dir + "out.raw");
        std::vector<int16_t> v(b.size() / 2);
        std::memcpy(v.data(), b.data(), v.size() * 2);
        return v;
    }
};

std::unique_ptr<TMemoryStream> stream_of(const std::string& bytes) {
    return MemoryStreamOf(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

// All the decoder gives from where it stands, at most frames frames.
std::vector<int16_t> read_on(PcmDecoder& d, size_t frames = SIZE_MAX) {
    std::vector<int16_t> all, piece(8192);
    for (int64_t got; all.size() / 2 < frames && (got = ReadOrWait(d, reinterpret_cast<uint8_t*>(piece.data()), 16384)) > 0;)
        all.insert(all.end(), piece.begin(), piece.begin() + got / 2);
    all.resize(std::min(all.size(), frames * 2));
    return all;
}
}  // namespace

// Bytes outside an Ogg's pages, as taggers and tools leave them, and a tail
// cut or spoilt: read whole as oggdec reads it, sought to the start after
// the end, to the middle and to the last frame, and held 3.5 s on repeat,
// each second of the file heard again without a gap.
TEST_F(Module, AnOggWithBytesOutsideItsPagesOrACutOrSpoiltTailSeeksAndLoops) {
    MadeFiles made;
    // Noise, so that its sound lies in several pages.
    const std::string ogg = made.ogg("noise", "-r 44100 -c 2", "pinknoise vol 0.3");
    const std::string id3v2 = std::string("ID3\4\0\0\0\0\3\x76TIT2\0\0\0\6\0\0\3Title", 26) + std::string(486, '\0');
    const std::string id3v1 = "TAG" + std::string("Title").append(122, '\0') + "\x0c";
    const struct {
        const char* kind;
        std::string before, after;
        size_t cut = 0;    // bytes cut off the end
        size_t spoil = 0;  // the byte spoilt, from the end
    } kinds[] = {{"ID3v1 tag after", "", id3v1},      {"ID3v2 tag before", id3v2, ""},
                 {"zero bytes before", std::string(5, '\0'), ""},
                 {"zero padding after", "", std::string(4096, '\0')},
                 {"cut in its last page", "", "", 100},
                 {"a byte spoilt in its last page", "", "", 0, 50}};
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.kind);
        std::string body = ogg.substr(0, ogg.size() - k.cut);
        if (k.spoil) body[body.size() - k.spoil] ^= 0x21;
        const std::string bytes = k.before + body + k.after;
        const std::vector<int16_t> ref = made.oggdec(bytes);
        const size_t frames = ref.size() / 2;
        ASSERT_GT(frames, 22050u);

        auto s = stream_of(bytes);
        auto d = OpenVorbisDecoder(*s);
        EXPECT_EQ(d->TotalBytes(), int64_t(frames * 4));
        EXPECT_TRUE(read_on(*d) == ref);
        for (const size_t to : {size_t(0), frames / 2, frames - 1}) {
            EXPECT_TRUE(d->Seek(int64_t(to * 4))) << to;
            const auto from = ref.begin() + std::ptrdiff_t(to * 2);
            const auto n = std::ptrdiff_t(std::min<size_t>(4096, frames - to) * 2);
            EXPECT_TRUE(read_on(*d, 4096) == std::vector<int16_t>(from, from + n)) << to;
        }

        EXPECT_EQ(frames_looped(*s, ref, 44100 * 7 / 2), size_t(44100 * 7 / 2));
    }
}

// Chains whose links play as in the same chain made clean: with 1,000
// random bytes after them, whether their links share a layout or not, and
// two links of one serial number, which libvorbisfile reads as one stream.
// Each is read whole, then heard on repeat into its second pass.
TEST_F(Module, ChainsWithJunkAfterThemOrOneSerialPlayEveryLinkAndLoop) {
    MadeFiles made;
    std::mt19937 random(46);
    std::string junk(1000, '\0');
    for (char& c : junk) c = char(random());
    const struct Link {
        const char* name;
        const char* layout;
        const char* synth;
    } mono22{"mono22", "-r 22050 -c 1", "sine 440"}, stereo44{"stereo44", "-r 44100 -c 2", "sine 880"},
        mono8{"mono8", "-r 8000 -c 1", "sine 300"}, stereo44b{"stereo44b", "-r 44100 -c 2", "sine 660"};
    const struct {
        const char* kind;
        std::vector<Link> links;
        bool one_serial;
        std::string after;
    } kinds[] = {{"three layouts, junk after", {mono22, stereo44, mono8}, false, junk},
                 {"one layout, junk after", {stereo44, stereo44b}, false, junk},
                 {"one serial number", {stereo44, stereo44b}, true, ""}};
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.kind);
        std::string clean, chain;
        for (size_t i = 0; i < k.links.size(); ++i) {
            const Link& l = k.links[i];
            clean += made.ogg(l.name, l.layout, l.synth, "-s " + std::to_string(i + 1));
            chain += made.ogg(l.name, l.layout, l.synth, k.one_serial ? "-s 777" : "");
        }
        chain += k.after;
        auto c = stream_of(clean);
        const std::vector<int16_t> ref = read_on(*OpenVorbisDecoder(*c));
        const size_t frames = ref.size() / 2;
        ASSERT_GT(frames, k.links.size() * 44100 - 100);

        auto s = stream_of(chain);
        auto d = OpenVorbisDecoder(*s);
        EXPECT_EQ(d->TotalBytes(), int64_t(frames * 4));
        EXPECT_TRUE(read_on(*d) == ref);
        EXPECT_EQ(frames_looped(*s, ref, frames + 44100 / 2), frames + 44100 / 2);
    }
}

// Oggs over a megabyte start before their pages are looked at, which goes
// on beside their decoding: a clean one and one with a byte spoilt in a
// middle page. Each reads as oggdec decodes it, knows its length once read,
// moves to the middle and back to the start, and loops on repeat.
TEST_F(Module, ALargeOggStartsAtOnceAndMovesOnceItsPagesAreKnown) {
    MadeFiles made;
    const std::string clean = made.ogg("large", "-r 44100 -c 2", "pinknoise vol 0.3", "-q 10", 30);
    ASSERT_GT(clean.size(), size_t{1} << 20);
    std::string spoilt = clean;
    spoilt[spoilt.size() / 2] ^= 0x21;
    for (const std::string& bytes : {clean, spoilt}) {
        SCOPED_TRACE(&bytes == &clean ? "clean" : "spoilt");
        const std::vector<int16_t> ref = made.oggdec(bytes);
        const size_t frames = ref.size() / 2;
        auto s = stream_of(bytes);
        auto d = OpenVorbisDecoder(*s);
        EXPECT_TRUE(read_on(*d) == ref);
        EXPECT_EQ(d->TotalBytes(), int64_t(frames * 4));
        for (const size_t to : {frames / 2, size_t(0)}) {
            EXPECT_TRUE(d->Seek(int64_t(to * 4))) << to;
            const auto from = ref.begin() + std::ptrdiff_t(to * 2);
            EXPECT_TRUE(read_on(*d, 4096) == std::vector<int16_t>(from, from + 4096 * 2)) << to;
        }
        EXPECT_EQ(frames_looped(*s, ref, frames + 44100), frames + 44100);
    }
}

// On the software mixer, an Ogg whose middle page is written twice (it
// decodes longer than its pages tell) loops at its real end, as oggdec
// decodes it, and a place near the end of one with a page lost, which is
// decoded forward to elsewhere, is passed over until it is reached and then
// heard from there. Before, the loop came at the pages' length and cut the
// last 0.35 s of every pass.
TEST_F(Module, TheSoftwareMixerLoopsAtTheRealEndAndIsPlacedInDamagedFiles) {
    MadeFiles made;
    const std::string ogg = made.ogg("noise", "-r 44100 -c 2", "pinknoise vol 0.3", "", 4);
    std::vector<size_t> at;
    for (size_t i = ogg.find("OggS"); i != std::string::npos; i = ogg.find("OggS", i + 1)) at.push_back(i);
    ASSERT_GE(at.size(), 8u);
    const size_t m = at.size() / 2;
    const std::string doubled = ogg.substr(0, at[m + 1]) + ogg.substr(at[m], at[m + 1] - at[m]) + ogg.substr(at[m + 1]);
    const std::string lost = ogg.substr(0, at[m]) + ogg.substr(at[m + 1]);
    TWavOut::Options o;
    o.Backend = AudioBackend::Manual;
    o.RefillThread = false;
    TWavOut out(100, o);
    ASSERT_TRUE(out.Open());
    std::vector<int16_t> block(size_t(out.BlockBytes()) / 2);
    for (const std::string* bytes : {&doubled, &lost}) {
        SCOPED_TRACE(bytes == &doubled ? "a page twice" : "a page lost");
        const std::vector<int16_t> ref = made.oggdec(*bytes);
        const size_t n = ref.size() / 2;
        auto s = stream_of(*bytes);
        TOggStream stream(s.get(), true);
        TWavBuffer* b = out.AddBuffer(stream.Format(), &stream, [&] { return stream.Busy(); });
        b->SetAutoRepeat(true);
        b->Play();
        // Frames heard from frame from of ref, looped, that differ.
        auto differ = [&](size_t from, size_t frames) {
            size_t bad = 0;
            for (size_t f = 0; f < frames; f += block.size() / 2) {
                EXPECT_TRUE(WaitUntil([&] { return out.MixBlock(block.data()); }));
                for (size_t i = 0; i < block.size() / 2; ++i)
                    bad += block[2 * i] != ref[2 * ((from + f + i) % n)] || block[2 * i + 1] != ref[2 * ((from + f + i) % n) + 1];
            }
            return bad;
        };
        if (bytes == &doubled) {
            EXPECT_EQ(differ(0, n + n / 2), 0u);
        } else {
            const size_t place = n - 44100 / 2;
            b->SetPosition(int32_t(place * 4));
            EXPECT_EQ(differ(place, 44100), 0u);
        }
        out.RemoveBuffer(b);
    }
}


// The length of a chain over a megabyte is asked while nothing past its
// first megabyte, save its last 64 KB, can be read: it is, not settled, what
// the last page tells when that page is the first link's stream (of a chain
// of one serial number, only its last link's length), else what has been
// decoded, and it is final once the pages are known and the links read.
// Before, the opening looked for the chain's links by bisection (which
// waited here).
TEST_F(Module, TheLengthOfALargeChainIsAnsweredWithoutWaitingForItsPages) {
    MadeFiles made;
    const std::string noise = made.ogg("long", "-r 44100 -c 2", "pinknoise vol 0.3", "-q 10 -s 2", 25);
    const struct {
        const char* what;
        std::string chain;
        int64_t early;  // the length answered before the pages are known
    } rows[] = {
        {"two serial numbers", made.ogg("short", "-r 44100 -c 2", "sine 660", "-s 1") + noise, 4096 * 4},
        {"one serial number", made.ogg("same", "-r 44100 -c 2", "sine 660", "-s 2") + noise, 25 * 44100 * 4},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string& chain = row.chain;
        ASSERT_GT(chain.size(), size_t{1} << 20);
        const std::vector<int16_t> ref = read_on(*OpenVorbisDecoder(*stream_of(chain)));
        GatedStream s(chain, 1 << 20, int64_t(chain.size()) - (1 << 16));
        std::atomic<bool> done{false};
        // Only a fault reaches the deadline: the gate then opens for the rest.
        std::thread watchdog([&] {
            if (!WaitUntil([&] { return done.load(); })) s.Open();
        });
        auto d = OpenVorbisDecoder(s);
        EXPECT_EQ(read_on(*d, 4096).size(), size_t(4096 * 2));
        EXPECT_FALSE(d->LengthSettled());
        EXPECT_EQ(d->TotalBytes(), row.early);
        EXPECT_FALSE(s.IsOpen()) << "the opening or the length waited for the pages";
        s.Open();
        done = true;
        watchdog.join();
        read_on(*d);
        EXPECT_TRUE(d->LengthSettled());
        EXPECT_EQ(d->TotalBytes(), int64_t(ref.size() * 2));
    }
}

// A place asked for while the stream is still being placed elsewhere (near
// the end of a file with a page lost, decoded forward meanwhile) is taken
// once that is done, and heard from there. Before, it was dropped.
TEST_F(Module, APlaceAskedWhileTheStreamIsBeingPlacedIsTaken) {
    MadeFiles made;
    const std::string ogg = made.ogg("noise", "-r 44100 -c 2", "pinknoise vol 0.3", "", 4);
    std::vector<size_t> at;
    for (size_t i = ogg.find("OggS"); i != std::string::npos; i = ogg.find("OggS", i + 1)) at.push_back(i);
    ASSERT_GE(at.size(), 8u);
    const size_t m = at.size() / 2;
    const std::string lost = ogg.substr(0, at[m]) + ogg.substr(at[m + 1]);
    const std::vector<int16_t> ref = made.oggdec(lost);
    const size_t n = ref.size() / 2, second = 44100 / 2;
    GatedStream s(lost, int64_t(at[m]), int64_t(lost.size()));
    s.Open();
    TOggStream stream(&s, true);
    s.Close();
    stream.Seek(int64_t(n - 44100 / 4) * 4, SeekOrigin::Beginning);
    ASSERT_TRUE(stream.Busy());
    stream.Seek(int64_t(second) * 4, SeekOrigin::Beginning);
    s.Open();
    std::vector<int16_t> got(441 * 2);
    int64_t bytes = 0;
    ASSERT_TRUE(WaitUntil([&] { return !stream.Busy() && (bytes = stream.Read(got.data(), int64_t(got.size() * 2))) > 0; }));
    got.resize(size_t(bytes) / 2);
    const auto from = ref.begin() + std::ptrdiff_t(second * 2);
    EXPECT_TRUE(got == std::vector<int16_t>(from, from + std::ptrdiff_t(got.size())));
}

// Places in Oggs whose pages break sequence (a page lost, spoilt or written
// twice, in the middle or at the end, once or several times) land where
// decoding from the start lands, every 0.1 s: a handle of its own starts
// at a page near the place, as many frames from the start as libvorbis
// counts for the packets before it. Before, each was decoded forward from
// the start.
TEST_F(Module, PlacesInDamagedOggsLandWhereDecodingFromTheStartLands) {
    MadeFiles made;
    const std::string ogg = made.ogg("noise", "-r 44100 -c 2", "pinknoise vol 0.3", "", 6);
    std::vector<size_t> at;
    for (size_t i = ogg.find("OggS"); i != std::string::npos; i = ogg.find("OggS", i + 1)) at.push_back(i);
    at.push_back(ogg.size());
    ASSERT_GE(at.size(), 12u);
    auto page = [&](size_t k) { return ogg.substr(at[k], at[k + 1] - at[k]); };
    auto without = [&](size_t k) { return ogg.substr(0, at[k]) + ogg.substr(at[k + 1]); };
    const size_t m = at.size() / 2, last = at.size() - 2;
    std::string spoilt = ogg;
    spoilt[at[m] + 100] ^= 0x21;
    const std::string kinds[] = {without(m), spoilt, ogg.substr(0, at[m + 1]) + page(m) + ogg.substr(at[m + 1]),
                                 ogg + page(last), without(3).substr(0, at[m]) + without(3).substr(at[m + 1])};
    for (const std::string& bytes : kinds) {
        SCOPED_TRACE(&bytes - kinds);
        const std::vector<int16_t> ref = read_on(*OpenVorbisDecoder(*stream_of(bytes)));
        for (size_t to = 44100; to + 441 < ref.size() / 2; to += 4410) {
            auto s = stream_of(bytes);
            auto d = OpenVorbisDecoder(*s);
            ASSERT_TRUE(d->Seek(int64_t(to * 4))) << to;
            const auto from = ref.begin() + std::ptrdiff_t(to * 2);
            ASSERT_TRUE(read_on(*d, 441) == std::vector<int16_t>(from, from + 441 * 2)) << to;
        }
    }
}

// Places deep in Oggs over a megabyte at 22,050 Hz mono and at 48 kHz, each
// with a page lost: they play in the device's layout, and the damaged link
// is started at a page near the place with the converter after it. Each
// lands on the sample that decoding the link from its start lands on (the
// converter's first frames aside, which start from silence); one frame off
// misses by far more on white noise.
TEST_F(Module, PlacesInConvertedDamagedOggsLandOnTheSampleDecodingFromTheStartLandsOn) {
    MadeFiles made;
    const struct {
        const char* layout;
        int seconds;
    } rows[] = {{"-r 22050 -c 1", 120}, {"-r 48000 -c 2", 30}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.layout);
        const std::string ogg = made.ogg(std::string("far") + std::to_string(&row - rows), row.layout,
                                         "whitenoise vol 0.3", "-q 10", row.seconds);
        std::vector<size_t> at;
        for (size_t i = ogg.find("OggS"); i != std::string::npos; i = ogg.find("OggS", i + 1)) at.push_back(i);
        const size_t k = at.size() / 3;
        const std::string lost = ogg.substr(0, at[k]) + ogg.substr(at[k + 1]);
        ASSERT_GT(lost.size(), size_t{1} << 20);
        const std::vector<int16_t> ref = read_on(*OpenVorbisDecoder(*stream_of(lost)));
        const size_t n = ref.size() / 2;
        for (const size_t to : {n * 3 / 4, n - 44100 - 1}) {
            auto s = stream_of(lost);
            auto d = OpenVorbisDecoder(*s);
            ASSERT_TRUE(d->Seek(int64_t(to * 4))) << to;
            const std::vector<int16_t> got = read_on(*d, 4410);
            ASSERT_EQ(got.size(), size_t(4410 * 2));
            auto missed = [&](size_t from) {
                size_t bad = 0;
                for (size_t i = 64 * 2; i < got.size(); ++i) bad += std::abs(got[i] - ref[from * 2 + i]) > 328;
                return bad;
            };
            EXPECT_EQ(missed(to), 0u) << to;
            EXPECT_GT(missed(to + 1), 1000u) << to;
        }
    }
}

// An Ogg over a megabyte whose first page is spoilt (oggdec refuses it too)
// is refused from its head: nothing past its first megabyte, save its last
// 64 KB, is read.
// Before, the whole file was read to look at its pages on the opening
// thread.
TEST_F(Module, ALargeOggWhoseFirstPageIsSpoiltIsRefusedFromItsFirstPages) {
    MadeFiles made;
    std::string spoilt = made.ogg("long", "-r 44100 -c 2", "pinknoise vol 0.3", "-q 10", 25);
    ASSERT_GT(spoilt.size(), size_t{1} << 20);
    spoilt[20] ^= 0x21;
    GatedStream s(spoilt, 1 << 20, int64_t(spoilt.size()) - (1 << 16));
    std::atomic<bool> done{false};
    // Only a fault reaches the deadline: the gate then opens for the rest.
    std::thread watchdog([&] {
        if (!WaitUntil([&] { return done.load(); })) s.Open();
    });
    EXPECT_THROW(OpenVorbisDecoder(s), Exception);
    EXPECT_FALSE(s.IsOpen()) << "the opening read past the first pages";
    done = true;
    watchdog.join();
}

// One rule for an Ogg whatever its size: a song of 10 s and one of about
// 5 MB, each behind 70 KB of other bytes (a tag with a picture), behind a
// first link that cannot be played (six channels), and the large one
// behind more than its head of other bytes, plays the song's samples as
// oggdec decodes the song alone, and knows its length once read. Before,
// the large files were refused where the small ones played.
TEST_F(Module, AnOggBehindOtherBytesOrAnUnplayableLinkPlaysWhateverItsSize) {
    MadeFiles made;
    std::mt19937 random(73);
    auto junk = [&](size_t n) {
        std::string j(n, '\0');
        for (char& c : j) c = char('a' + random() % 26);  // no capture pattern
        return j;
    };
    const std::string six = made.ogg("six", "-r 44100 -c 6", "sine 440", "-s 1");
    const struct {
        const char* what;
        int seconds;
    } songs[] = {{"10 s", 10}, {"about 5 MB", 100}};
    for (const auto& song : songs) {
        const std::string ogg = made.ogg(std::string("song") + std::to_string(song.seconds), "-r 44100 -c 2",
                                         "whitenoise vol 0.3", "-q 10 -s 2", song.seconds);
        const std::vector<int16_t> ref = made.oggdec(ogg);
        const bool large = ogg.size() > (size_t{4} << 20);
        ASSERT_EQ(large, song.seconds == 100) << ogg.size();
        std::vector<std::pair<const char*, std::string>> rows = {{"70 KB in front", junk(70 << 10) + ogg},
                                                                 {"an unplayable first link", six + ogg}};
        if (large) rows.push_back({"more than a megabyte in front", junk(1200 << 10) + ogg});
        for (const auto& [what, bytes] : rows) {
            SCOPED_TRACE(std::string(song.what) + ", " + what);
            auto s = stream_of(bytes);
            std::unique_ptr<PcmDecoder> d;
            try {
                d = OpenVorbisDecoder(*s);
            } catch (const Exception&) {
                ADD_FAILURE() << "refused";
                continue;
            }
            EXPECT_TRUE(read_on(*d) == ref);
            EXPECT_EQ(d->TotalBytes(), int64_t(ref.size() * 2));
        }
    }
}

// A place in a large damaged Ogg asked for while every shared thread a page
// check may take is held (its file's reading stopped) and 500 more checks
// wait is heard, its own file's check taken on the way, before any of the
// 500 has run. Before, places and checks were served first come, first
// served: the place waited behind all of them.
TEST_F(Module, APlaceIsHeardAheadOfQueuedPageChecks) {
    MadeFiles made;
    const std::string ogg = made.ogg("large", "-r 44100 -c 2", "whitenoise vol 0.3", "-q 10", 100);
    ASSERT_GT(ogg.size(), size_t{4} << 20);
    std::vector<size_t> at;
    for (size_t i = ogg.find("OggS"); i != std::string::npos; i = ogg.find("OggS", i + 1)) at.push_back(i);
    const size_t k = at.size() / 3;
    const std::string lost = ogg.substr(0, at[k]) + ogg.substr(at[k + 1]);
    const std::vector<int16_t> ref = made.oggdec(lost);
    // More than the shared threads that may run checks: past the file's
    // head, its reading waits for the gate.
    std::vector<std::unique_ptr<GatedStream>> gates;
    std::vector<std::unique_ptr<SharedBytesStream>> streams;
    std::vector<std::unique_ptr<PcmDecoder>> looks;
    struct OpenGates {
        std::vector<std::unique_ptr<GatedStream>>& gates;
        ~OpenGates() {
            for (auto& g : gates) g->Open();
        }
    } open_gates{gates};
    for (int i = 0; i < 4; ++i) {
        gates.push_back(std::make_unique<GatedStream>(ogg, 1 << 20, int64_t(ogg.size()) - (1 << 16)));
        looks.push_back(OpenVorbisDecoder(*gates.back()));
        looks.back()->LearnLength();
    }
    const size_t held = looks.size();
    for (int i = 0; i < 500; ++i) {
        streams.push_back(std::make_unique<SharedBytesStream>(ogg));
        looks.push_back(OpenVorbisDecoder(*streams.back()));
        looks.back()->LearnLength();
    }
    auto s = stream_of(lost);
    TOggStream stream(s.get(), true);
    const size_t to = ref.size() / 2 * 3 / 4;
    stream.Seek(int64_t(to) * 4, SeekOrigin::Beginning);
    std::vector<int16_t> got(441 * 2);
    int64_t bytes = 0;
    ASSERT_TRUE(WaitUntil([&] { return !stream.Busy() && (bytes = stream.Read(got.data(), int64_t(got.size() * 2))) > 0; }));
    EXPECT_EQ(std::count_if(looks.begin() + std::ptrdiff_t(held), looks.end(), [](auto& d) { return d->LengthSettled(); }), 0);
    got.resize(size_t(bytes) / 2);
    const auto from = ref.begin() + std::ptrdiff_t(to * 2);
    EXPECT_TRUE(got == std::vector<int16_t>(from, from + std::ptrdiff_t(got.size())));
    for (auto& g : gates) g->Open();
}

namespace {
// The bytes of a file; the first read from at on, short of the last 64 KB
// (made by the page check: the opening reads the file's head and its last
// page), marks where the check stood when the sound was let go, and the
// bytes read from there are counted.
class MarkingStream : public SharedBytesStream {
public:
    MarkingStream(const std::string& bytes, int64_t at) : SharedBytesStream(bytes), FAt(at) {}
    int64_t Read(void* buffer, int64_t count) override {
        const int64_t from = GetPosition();
        if (from >= FAt && from < GetSize() - (1 << 16) && !Marked.exchange(true)) Cancel();
        if (Marked) After += count;
        return SharedBytesStream::Read(buffer, count);
    }
    std::function<void()> Cancel;
    std::atomic<bool> Marked{false};
    std::atomic<int64_t> After{0};

private:
    const int64_t FAt;
};
}  // namespace

// A large Ogg let go while the look at its pages reads it: the look reads
// no more than the piece under way (64 KB) past that moment, so that the
// frame that frees, replaces or stops the sound waits for no more. Before,
// it read on to the end of its megabyte block.
TEST_F(Module, ALookAtThePagesStopsWithinAPieceOnceItsSoundIsLetGo) {
    MadeFiles made;
    const std::string ogg = made.ogg("large", "-r 44100 -c 2", "whitenoise vol 0.3", "-q 10", 100);
    ASSERT_GT(ogg.size(), size_t{4} << 20);
    MarkingStream s(ogg, (int64_t{5} << 20) / 4);
    std::unique_ptr<PcmDecoder> d = OpenVorbisDecoder(s);
    // The decoder itself, not d, which this thread resets once Marked is
    // seen (its freeing waits for the look that calls this).
    s.Cancel = [decoder = d.get()] { decoder->Cancel(); };
    d->LearnLength();
    ASSERT_TRUE(WaitUntil([&] { return s.Marked.load(); }));
    d.reset();  // waits for the look to end
    EXPECT_LE(s.After.load(), int64_t{1} << 16);
}
