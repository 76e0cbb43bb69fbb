// What the sound items do without the module playing: the wave header they
// read, the loader of the companion module with its stream callbacks, and
// the mixer levels of wave volumes.
#include "media/audio/sound_items.h"
#include "media/base/sound_device.h"
#include "media/decode/pcm_decoder.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/display/message_box.h"
#include "platform/filesystem/stream.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {
std::vector<uint8_t> file_bytes(const std::string& name) {
    std::ifstream f(std::string(VORQ_TEST_DATA) + "/audio/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}
}  // namespace

TEST(WaveHeader, ReadsTheFormatAndRefusesDamage) {
    const auto wav = file_bytes("tone.wav");
    {
        TMemoryStream s;
        s.WriteBuffer(wav.data(), static_cast<int64_t>(wav.size()));
        const WaveHeader h = ReadWaveHeader(s);
        EXPECT_EQ(h.Format, MakePCMWaveFormat(44100, 16, 2));
        EXPECT_EQ(h.DataOffset, 44);
        EXPECT_EQ(h.DataBytes, 88200);
    }
    // Every prefix: a header cut short is refused, a data chunk cut short
    // holds what is there in whole frames.
    for (size_t n = 0; n < 200; ++n) {
        TMemoryStream s;
        s.WriteBuffer(wav.data(), static_cast<int64_t>(n));
        if (n < 44) {
            EXPECT_THROW(ReadWaveHeader(s), ECorruptData) << n;
        } else {
            const WaveHeader h = ReadWaveHeader(s);
            EXPECT_EQ(h.DataBytes, static_cast<int64_t>(n - 44) / 4 * 4) << n;
        }
    }
    // Every byte of the header replaced: either a header that fits the
    // file, or the message.
    for (size_t at = 0; at < 44; ++at)
        for (uint8_t v : {uint8_t{0}, uint8_t{0xFF}, uint8_t{0x7F}}) {
            auto bad = wav;
            bad[at] = v;
            TMemoryStream s;
            s.WriteBuffer(bad.data(), static_cast<int64_t>(bad.size()));
            try {
                const WaveHeader h = ReadWaveHeader(s);
                EXPECT_LE(h.DataOffset + h.DataBytes, static_cast<int64_t>(bad.size()));
                EXPECT_EQ(h.DataBytes % h.Format.nBlockAlign, 0);
            } catch (const ECorruptData& e) {
                EXPECT_EQ(e.Message().substr(0, Sjis(kSoundDataCorrupt).size()), Sjis(kSoundDataCorrupt));
            }
        }
}

TEST(CompanionBridge, LoaderChecksTheVersionAndCallbacksIgnoreNil) {
    const struct {
        bool present;
        int32_t version;
        bool ok;
    } cases[] = {{true, 108, true}, {true, 107, false}, {true, 109, false}, {false, 108, false}};
    for (auto c : cases) {
        const uint32_t before = MessageBoxesShown();
        EXPECT_EQ(LoadCompanionLibrary({[&] { return c.present; }, [&] { return c.version; }}), c.ok);
        EXPECT_EQ(MessageBoxesShown() - before, c.ok ? 0u : 1u);
    }
    EXPECT_TRUE(LoadCompanionLibrary());

    char buf[4];
    EXPECT_EQ(StreamGetSizeCallback(nullptr), 0);
    EXPECT_EQ(StreamReadCallback(nullptr, buf, 4), 0);
    EXPECT_EQ(StreamGetPositionCallback(nullptr), 0);
    EXPECT_EQ(StreamSeekCallback(nullptr, 3), 0);
    TMemoryStream s;
    s.WriteBuffer("abcdef", 6);
    EXPECT_EQ(StreamSeekCallback(&s, 4), 4);
    EXPECT_EQ(StreamReadCallback(&s, buf, 4), 2);
    EXPECT_EQ(StreamGetPositionCallback(&s), 6);
    EXPECT_EQ(StreamGetSizeCallback(&s), 6);
}

TEST(WaveLevel, VolumesMapOntoMixerLevels) {
    const struct {
        int32_t volume, level;
    } cases[] = {{0, 256}, {-5000, 0}, {-10000, 0}, {-2500, 128}, {500, 256}, {INT32_MIN, 0}, {INT32_MAX, 256}};
    for (auto c : cases) EXPECT_EQ(WaveLevelOf(c.volume), c.level) << c.volume;
}
