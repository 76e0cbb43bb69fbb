// Sounds and videos found to cost gigabytes or overflow a length: sample
// rates outside the playable range are refused, lengths stay bounded, and
// a low rate that is playable decodes in pieces to the right length.
#include "media/decode/pcm_decoder.h"
#include "media/decode/video_decoder.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "tests/support/file_bytes.h"
#include "tests/support/run_command.h"

extern "C" {
#include <libavutil/mem.h>
}

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numbers>
#include <utility>

namespace {
std::vector<uint8_t> finding(const std::string& name) {
    const std::string s = ReadFileBytes(std::string(VORQ_TEST_DATA) + "/fuzz-findings/" + name);
    return {s.begin(), s.end()};
}

// A RIFF wave of stereo 16-bit samples at the given rate, each sample on
// both channels.
std::vector<uint8_t> wave(uint32_t rate, const std::vector<int16_t>& samples) {
    auto u32 = [](std::vector<uint8_t>& v, uint32_t x) {
        for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
    };
    const uint32_t data = uint32_t(samples.size() * 4);
    std::vector<uint8_t> v{'R', 'I', 'F', 'F'};
    u32(v, 36 + data);
    for (char c : std::string("WAVEfmt ")) v.push_back(uint8_t(c));
    u32(v, 16);
    u32(v, 1 | (2 << 16));  // PCM, stereo
    u32(v, rate);
    u32(v, rate * 4);
    u32(v, 4 | (16 << 16));  // block align 4, 16 bits
    for (char c : std::string("data")) v.push_back(uint8_t(c));
    u32(v, data);
    for (int16_t x : samples)
        for (int ch = 0; ch < 2; ++ch) {
            v.push_back(uint8_t(x));
            v.push_back(uint8_t(uint16_t(x) >> 8));
        }
    return v;
}

// sox's rough frequency of one channel (1 or 2) of 44100 Hz 16-bit stereo,
// over len seconds from at.
double sox_frequency(const std::vector<int16_t>& sound, int channel, double at, double len) {
    const std::string path = ::testing::TempDir() + "sox_freq_" + std::to_string(getpid()) + ".raw";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(sound.data()), std::streamsize(sound.size() * 2));
    const std::string out = RunCommand("sox -t raw -r 44100 -e signed -b 16 -c 2 '" + path + "' -n remix " +
                                       std::to_string(channel) + " trim " + std::to_string(at) + " " +
                                       std::to_string(len) + " stat 2>&1")
                                .Output;
    std::remove(path.c_str());
    const size_t k = out.find("Rough   frequency:");
    return k == std::string::npos ? -1 : std::atof(out.c_str() + k + 18);
}
}  // namespace

TEST(HostileMedia, RatesOutsideThePlayableRangeAreRefusedAndLengthsBounded) {
    for (const char* f : {"wma-low-rate.wma", "wma-low-rate-8bit.wma", "wma-low-rate-bigalign.wma", "wma-5644800hz.wma"})
        EXPECT_THROW(OpenMediaDecoder(finding(f)), ECorruptData) << f;
    // A duration of 29,000 years: the length is bounded, not overflowed.
    auto d = OpenMediaDecoder(finding("wma-huge-duration.wma"));
    EXPECT_EQ(d->TotalBytes(), (kMaxSoundMs * 441 + 5) / 10 * 4);
    // A video keeps its pictures and loses a sound track it cannot play.
    for (const char* f : {"video-low-rate-audio.avi", "video-high-rate-audio.avi"}) {
        VideoDecoder v(finding(f), true);
        int frames = 0;
        for (int i = 0; i < 1000; ++i) {
            const VideoDecoder::Step s = v.Advance();
            if (s == VideoDecoder::Step::End) break;
            frames += s == VideoDecoder::Step::Frame;
            EXPECT_TRUE(v.Sound().empty()) << f;
        }
        EXPECT_GT(frames, 0) << f;
    }
}

TEST(HostileMedia, TheLowestPlayableRateDecodesInPiecesToItsLength) {
    // Three seconds of a 50 Hz sine at 1000 Hz: 132,300 frames at 44.1 kHz.
    std::vector<int16_t> in(3000);
    for (size_t i = 0; i < in.size(); ++i) in[i] = int16_t(std::lround(8000 * std::sin(2 * std::numbers::pi * 50 * i / 1000.0)));
    auto d = OpenMediaDecoder(wave(kMinSampleRate, in));
    std::vector<int16_t> out;
    std::vector<int16_t> buf(4096 * 2);
    for (int64_t got; (got = d->Read(reinterpret_cast<uint8_t*>(buf.data()), int64_t(buf.size()) * 2)) > 0;)
        out.insert(out.end(), buf.begin(), buf.begin() + got / 2);
    EXPECT_NEAR(double(out.size() / 2), 132300, 64);
    // The same sine at the device's rate, both channels, away from the ends.
    double worst = 0;
    for (size_t i = 2000; i + 2000 < out.size() / 2; ++i)
        for (int ch = 0; ch < 2; ++ch)
            worst = std::max(worst, std::abs(out[2 * i + ch] - 8000 * std::sin(2 * std::numbers::pi * 50 * i / 44100.0)));
    EXPECT_LT(worst, 400);
}

// An Ogg whose second link's headers break off after its first page plays
// what its first holds (nothing: headers alone); a chained Ogg whose third
// link's codebooks are damaged plays its first two links. Under the
// sanitizers the run ends without a leak report.
TEST(HostileMedia, AnOggWhoseHeadersBreakOffPlaysTheLinksThatOpen) {
    const struct {
        const char* file;
        int64_t frames;
    } cases[] = {{"ogg-damaged-header-leak.ogg", 0}, {"ogg-chain-damaged-link.ogg", 2 * 6615}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto bytes = finding(c.file);
        TMemoryStream s;
        s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        auto d = OpenVorbisDecoder(s);
        std::vector<uint8_t> buf(1 << 16);
        int64_t heard = 0;
        for (int64_t got; (got = ReadOrWait(*d, buf.data(), int64_t(buf.size()))) > 0;) heard += got;
        EXPECT_EQ(heard, c.frames * d->Format().nBlockAlign);
        EXPECT_EQ(d->TotalBytes(), heard);
    }
}

// A wave of 34 bytes declares 1.9 GB of extra format data: refused without
// FFmpeg being given a block that size.
TEST(HostileMedia, AHugeDeclaredBlockIsNotAllocated) {
    EXPECT_THROW(OpenMediaDecoder(finding("wav-huge-extradata.wav")), ECorruptData);
    void* block = av_malloc(size_t{1} << 30);
    EXPECT_EQ(block, nullptr);
    av_free(block);
}

// MPEG audio in three parts of one second made by ffmpeg, stereo 440 Hz,
// mono 1000 Hz, stereo 1760 Hz, bare and as an MPEG-1 film's sound track:
// all of it plays, each part in both channels. A frame of another layout
// than the converter's once had a converter made for two channels read a
// plane that was not there; then such frames were dropped, the mono part
// with them. The fuzzer's own find of such a change decodes without harm.
TEST(HostileMedia, SoundThatChangesItsChannelsMidWayPlaysWhole) {
    if (const char* tool = MissingTool({"ffmpeg", "sox"})) GTEST_SKIP() << tool << " is not installed";
    auto d = OpenMediaDecoder(finding("mp1-channels-change.mp3"));
    std::vector<uint8_t> buf(8192);
    while (d->Read(buf.data(), int64_t(buf.size())) > 0) {
    }

    const std::string dir = ::testing::TempDir() + "channels_" + std::to_string(getpid());
    std::string make = "mkdir -p " + dir + " && cd " + dir;
    for (const char* part : {"a 440 2", "b 1000 1", "c 1760 2"})
        make += " && set -- " + std::string(part) +
                " && ffmpeg -v error -y -f lavfi -i sine=f=$2:d=1:r=44100 -ac $3 -c:a mp2 -f mp2 $1.mp2";
    make += " && cat a.mp2 b.mp2 c.mp2 >abc.mp2 && ffmpeg -v error -y -f lavfi -i testsrc2=size=64x48:rate=25:d=3 "
            "-i abc.mp2 -c:v mpeg1video -c:a copy -f mpeg abc.mpg"
            " && ffmpeg -v error -i abc.mp2 -ac 2 -ar 44100 -f s16le - | wc -c";
    const CommandOutcome made = RunCommand(make);
    ASSERT_EQ(made.Status, 0);
    const double frames = std::atof(made.Output.c_str()) / 4;  // ffmpeg's own decoding of the whole
    ASSERT_GT(frames, 3 * 44100);

    std::vector<int16_t> bare, film;
    const std::string mp2 = ReadNativeFileBytes(dir + "/abc.mp2");
    d = OpenMediaDecoder(std::vector<uint8_t>(mp2.begin(), mp2.end()));
    for (int64_t got; (got = d->Read(buf.data(), int64_t(buf.size()))) > 0;) {
        const auto* s = reinterpret_cast<const int16_t*>(buf.data());
        bare.insert(bare.end(), s, s + got / 2);
    }
    const std::string mpg = ReadNativeFileBytes(dir + "/abc.mpg");
    VideoDecoder v(std::vector<uint8_t>(mpg.begin(), mpg.end()), true);
    ASSERT_TRUE(v.DecodesAudio());
    for (int i = 0; i < 100000 && v.Advance() != VideoDecoder::Step::End; ++i) {
        film.insert(film.end(), v.Sound().begin(), v.Sound().end());
        v.TakeSound();
    }
    RunCommand("rm -rf " + dir);

    for (const auto& [name, sound] : {std::pair{"bare", &bare}, std::pair{"film", &film}}) {
        EXPECT_NEAR(double(sound->size() / 2), frames, 1152) << name;
        // The middle half of each part, one part being a third of the whole.
        const double part = frames / 3 / 44100, tone[3] = {440, 1000, 1760};
        for (int k = 0; k < 3; ++k)
            for (int ch = 1; ch <= 2; ++ch)
                EXPECT_NEAR(sox_frequency(*sound, ch, k * part + part / 4, part / 2), tone[k], tone[k] / 50)
                    << name << " part " << k << " channel " << ch;
    }
}

namespace {
// All a decoder gives from where it stands.
std::vector<uint8_t> read_all(PcmDecoder& d) {
    std::vector<uint8_t> all, buf(8192);
    for (int i = 0; i < 4096; ++i) {
        const int64_t got = ReadOrWait(d, buf.data(), int64_t(buf.size()));
        if (got <= 0) break;
        all.insert(all.end(), buf.begin(), buf.begin() + got);
    }
    return all;
}
}  // namespace

// Damaged Oggs on which libvorbisfile's seek, or the reading after it, made
// libogg move a block of negative size (pages out of place), searched the
// pages for ever (a stream that lets a seek pass its end), or made libvorbis
// divide by zero (sound pages, but headers the decoder cannot start from,
// which the first read reports). Never sought by the library, each is
// opened again and decoded forward, and gives from there what it gave the
// first time (the first two: nothing, no page of their sound being whole).
TEST(HostileMedia, ADamagedOggIsNeverSoughtByTheLibrary) {
    for (const char* f : {"ogg-seek-crash-min.ogg", "ogg-seek-crash-62k.ogg", "ogg-seek-after-damage.ogg",
                          "ogg-seek-past-end.ogg"}) {
        SCOPED_TRACE(f);
        const auto bytes = finding(f);
        TMemoryStream s;
        s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        auto d = OpenVorbisDecoder(s);
        const std::vector<uint8_t> first = read_all(*d);
        const int64_t align = d->Format().nBlockAlign;
        for (const int64_t to : {d->TotalBytes() / 2 / align * align, int64_t(first.size()) / 4 / align * align,
                                 int64_t{0}}) {
            const bool moved = d->Seek(to);
            EXPECT_EQ(moved, to < int64_t(first.size()) || to == 0) << to;
            if (moved) {
                EXPECT_TRUE(read_all(*d) == std::vector<uint8_t>(first.begin() + to, first.end())) << to;
            }
        }
    }
}
