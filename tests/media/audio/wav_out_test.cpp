#include "media/audio/wav_out.h"
#include "platform/filesystem/stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {
std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// A memory stream whose size promises more than it holds: a truncated file.
struct ShortStream : TMemoryStream {
    int64_t claimed = 0;
    int64_t GetSize() override { return claimed; }
};

struct Mixer {
    uint32_t now = 1000;
    TWavOut out;
    explicit Mixer(int32_t block_ms = 2)
        : out(block_ms, TWavOut::Options{AudioBackend::Manual, false, [this] { return now; }}) {
        EXPECT_TRUE(out.Open());
    }
};

std::unique_ptr<TMemoryStream> stream_of(const std::vector<uint8_t>& bytes) {
    auto s = std::make_unique<TMemoryStream>();
    s->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s->SetPosition(0);
    return s;
}

std::vector<int16_t> ramp_stereo(int frames, int start = 1) {
    std::vector<int16_t> v;
    for (int i = 0; i < frames; ++i) {
        v.push_back(static_cast<int16_t>(start + i));
        v.push_back(static_cast<int16_t>(-(start + i)));
    }
    return v;
}

std::vector<uint8_t> bytes_of(const std::vector<int16_t>& v) {
    std::vector<uint8_t> b(v.size() * 2);
    std::memcpy(b.data(), v.data(), b.size());
    return b;
}
}  // namespace

TEST(WavBlock, SizesAreEvenCountsOfWholeStereoFrames) {
    const struct {
        int32_t ms, bytes;
    } cases[] = {{500, 88200}, {100, 17640}, {2, 352}, {3, 528}, {1, 176}, {0, 176}};
    for (auto c : cases) {
        EXPECT_EQ(WavBlockBytes(c.ms), c.bytes) << c.ms;
        EXPECT_EQ(WavBlockBytes(c.ms) % 8, 0) << c.ms;
    }
}

// Every source layout widened, scaled and added with saturation, against
// tests/data/audio/make_mix_golden.py (audioop).
TEST(WavBuffer, MixesTheEightLayoutsAsAudioopDoes) {
    int cases = 0;
    for (int ch : {1, 2})
        for (int rate : {44100, 22050})
            for (int bits : {8, 16})
                for (int volume : {256, 128}) {
                    const std::string name = "mix_" + std::to_string(ch) + "ch_" + std::to_string(rate) + "_" +
                                             std::to_string(bits) + "bit_v" + std::to_string(volume) + ".bin";
                    const auto data = read_file(std::string(VORQ_TEST_DATA) + "/audio/" + name);
                    ASSERT_GT(data.size(), 4u) << name;
                    uint32_t n;
                    std::memcpy(&n, data.data(), 4);
                    std::vector<uint8_t> src(data.begin() + 4, data.begin() + 4 + n);
                    std::vector<int16_t> block(176), expected(176);
                    std::memcpy(block.data(), data.data() + 4 + n, 352);
                    std::memcpy(expected.data(), data.data() + 4 + n + 352, 352);

                    Mixer m;
                    auto stream = stream_of(src);
                    TWavBuffer* b = m.out.AddBuffer(MakePCMWaveFormat(rate, bits, ch), stream.get());
                    b->SetVolume(volume);
                    b->Play();
                    ASSERT_TRUE(b->MixInto(block.data(), 352)) << name;
                    EXPECT_EQ(block, expected) << name;
                    EXPECT_FALSE(b->IsEnd()) << name;  // just mixed: still being heard
                    ++cases;
                }
    EXPECT_EQ(cases, 16);
}

TEST(WavBuffer, SourcesThatCannotPlayEndWithoutSpinning) {
    // Unsupported layouts end at once, so an owner waiting for the end is
    // never left waiting on silence.
    const TWaveFormatEx unsupported[] = {MakePCMWaveFormat(48000, 16, 2), MakePCMWaveFormat(44100, 24, 2),
                                         MakePCMWaveFormat(11025, 8, 1), MakePCMWaveFormat(44100, 16, 6)};
    for (const auto& f : unsupported) {
        Mixer m;
        auto s = stream_of(std::vector<uint8_t>(4000, 1));
        TWavBuffer* b = m.out.AddBuffer(f, s.get());
        b->Play();
        std::vector<int16_t> block(176);
        EXPECT_FALSE(b->MixInto(block.data(), 352));
        EXPECT_TRUE(b->IsEnd());
    }
    // A stream that stops giving bytes before its stated size ends the
    // source, with auto-repeat too.
    for (bool repeat : {false, true}) {
        Mixer m;
        ShortStream s;
        const auto pcm = bytes_of(ramp_stereo(10));
        s.WriteBuffer(pcm.data(), static_cast<int64_t>(pcm.size()));
        s.claimed = 100000;
        TWavBuffer* b = m.out.AddBuffer(MakePCMWaveFormat(44100, 16, 2), &s);
        b->SetAutoRepeat(repeat);
        b->Play();
        std::vector<int16_t> block(176);
        EXPECT_TRUE(m.out.MixBlock(block.data()));
        EXPECT_EQ(block[19], -10);
        EXPECT_EQ(block[20], 0);
        EXPECT_FALSE(m.out.MixBlock(block.data()));
        m.now += 2 * 2 + 11;
        EXPECT_TRUE(b->IsEnd()) << repeat;
    }
}

TEST(WavBuffer, EndsAfterItsLastBlockHadTimeToBeHeard) {
    Mixer m(100);
    auto s = stream_of(bytes_of(ramp_stereo(100)));
    TWavBuffer* b = m.out.AddBuffer(MakePCMWaveFormat(44100, 16, 2), s.get());
    std::vector<int16_t> block(size_t(m.out.BlockBytes()) / 2);
    // Registered but never started: contributes nothing.
    EXPECT_FALSE(m.out.MixBlock(block.data()));
    b->Play();
    EXPECT_TRUE(m.out.MixBlock(block.data()));
    EXPECT_EQ(block[199], -100);
    EXPECT_EQ(block[200], 0);
    const struct {
        uint32_t after;
        bool end;
    } steps[] = {{0, false}, {210, false}, {211, true}};
    const uint32_t mixed = m.now;
    for (auto st : steps) {
        m.now = mixed + st.after;
        EXPECT_EQ(b->IsEnd(), st.end) << st.after;
    }
    // The audible position trails the read position by one block.
    m.now = mixed + 50;
    EXPECT_EQ(b->GetPosition(), 400);
    EXPECT_EQ(b->GetPlayPosition(), 400 - 17640 + 8820 < 0 ? 0 : 400 - 17640 + 8820);
    m.now = mixed + 201;
    EXPECT_EQ(b->GetPlayPosition(), 400);
}

TEST(WavBuffer, AutoRepeatWrapsInsideABlockWithoutAGapAndNeverEnds) {
    Mixer m;  // 88 frames a block
    auto s = stream_of(bytes_of(ramp_stereo(30)));
    TWavBuffer* b = m.out.AddBuffer(MakePCMWaveFormat(44100, 16, 2), s.get());
    b->SetAutoRepeat(true);
    b->Play();
    std::vector<int16_t> block(176);
    int frame = 0;
    for (int round = 0; round < 12; ++round) {
        ASSERT_TRUE(m.out.MixBlock(block.data())) << round;
        for (int i = 0; i < 88; ++i, ++frame) ASSERT_EQ(block[2 * i], frame % 30 + 1) << frame;
        m.now += 1000;
        EXPECT_FALSE(b->IsEnd());
    }
    // 30 frames fit a 2-ms block exactly once in a while; ending on the
    // stream's last byte must not stop a repeating source either.
    auto exact = stream_of(bytes_of(ramp_stereo(88)));
    TWavBuffer* e = m.out.AddBuffer(MakePCMWaveFormat(44100, 16, 2), exact.get());
    m.out.RemoveBuffer(b);
    e->SetAutoRepeat(true);
    e->Play();
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(m.out.MixBlock(block.data())) << round;
        EXPECT_EQ(block[0], 1);
        EXPECT_EQ(block[174], 88);
    }
}

TEST(WavOut, KeepsTwoBlocksQueuedAndTheBusPlaysThemInOrder) {
    Mixer m;
    auto s = stream_of(bytes_of(ramp_stereo(1000)));
    TWavBuffer* b = m.out.AddBuffer(MakePCMWaveFormat(44100, 16, 2), s.get());
    b->SetVolume(128);
    m.out.Fill();
    EXPECT_EQ(m.out.QueuedBlocks(), 0u);  // nothing plays
    b->Play();
    m.out.Fill();
    EXPECT_EQ(m.out.QueuedBlocks(), 2u);
    m.out.Fill();
    EXPECT_EQ(m.out.QueuedBlocks(), 2u);
    std::vector<int16_t> out(2 * 100);
    m.out.Device()->Bus().Mix(out.data(), 100);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(out[2 * i], (i + 1) >> 1) << i;
        ASSERT_EQ(out[2 * i + 1], (-(i + 1)) >> 1) << i;
    }
    // The first block is played: one new block takes its place.
    m.out.Fill();
    EXPECT_EQ(m.out.QueuedBlocks(), 2u);
    m.out.Device()->Bus().Mix(out.data(), 100);
    EXPECT_EQ(out[2 * 76], 177 >> 1);  // frames continue across the blocks
    b->Pause();
    EXPECT_TRUE(b->IsPaused());
    m.out.Close();
    EXPECT_TRUE(m.out.AddBuffer(MakePCMWaveFormat(44100, 16, 2), s.get())->IsEnd());
}
