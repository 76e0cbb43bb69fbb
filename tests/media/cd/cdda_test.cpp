#include "media/cd/audio_mixer.h"
#include "media/cd/cdda_items.h"
#include "media/cd/card_cd_line.h"
#include "media/cd/cdp.h"
#include "platform/system/audio.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {
// Track lengths in sectors: 3 s, 5 s 40 frames, 1 s 10 frames, and 37
// frames (under one second: no last whole second to stop at).
const std::vector<int32_t> kSectors = {225, 415, 85, 37};

int16_t tone(int track, size_t i) {
    // A different saw per track and channel, so a sample tells where it came from.
    return static_cast<int16_t>((i % (200 + 37 * track)) * (track + 1) * 17 - (i & 1) * 3000);
}

// A BIN/CUE image of the tracks above, written once per test run.
struct Disc {
    // One folder per test process: the tests run in parallel processes.
    std::string dir = std::string(VORQ_BINARY_DIR) + "/cdda_test/" + std::to_string(getpid());
    std::string cue = dir + "/disc.cue";
    std::vector<int16_t> samples;  // the whole image, as the disc holds it
    std::vector<int32_t> first;    // first sector of each track
    Disc() {
        std::filesystem::create_directories(dir);
        std::ofstream c(cue);
        c << "FILE \"disc.bin\" BINARY\n";
        int32_t at = 0;
        for (size_t t = 0; t < kSectors.size(); ++t) {
            first.push_back(at);
            char line[96];
            std::snprintf(line, sizeof line, "  TRACK %02zu AUDIO\n    INDEX 01 %02d:%02d:%02d\n", t + 1, at / 75 / 60,
                          at / 75 % 60, at % 75);
            c << line;
            for (size_t i = 0; i < size_t(kSectors[t]) * 1176; ++i) samples.push_back(tone(int(t), i));
            at += kSectors[t];
        }
        std::ofstream(dir + "/disc.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(samples.data()), std::streamsize(samples.size() * 2));
    }
};

const Disc& disc() {
    static Disc d;
    return d;
}

std::unique_ptr<AudioDevice> device;
MixingBus* test_bus() { return &device->Bus(); }

// The machine's own sound cards are never touched by the tests.
TCardCdLines no_cards() { return {}; }

struct Fixture {
    Fixture() {
        SetCardCdLineSource(no_cards);
        // Our mixer's levels outlive a manager (they are the user's): each
        // test starts from full ones.
        TAudioMixer mixer;
        mixer.SetVolume(0, -1, 0, 65535, 65535);
        mixer.SetVolume(0, 0, 0, 65535, 65535);
        device = AudioDevice::Open(AudioBackend::Manual);
        TCDP::SetBus(test_bus);
        TCDP::SetLineGain(1, 1);
    }
    ~Fixture() {
        SetCardCdLineSource(nullptr);
        TCDP::SetBus(nullptr);
        TCDP::SetLineGain(1, 1);
    }
    // What the sound device receives until the play ends (or max_sectors).
    static std::vector<int16_t> drain(TCDP& cd, int32_t max_sectors = 10000) {
        std::vector<int16_t> out;
        std::vector<int16_t> block(588 * 2 * 40);
        for (int32_t n = 0; n < max_sectors / 40 + 1 && cd.GetState() == CDPlaying; ++n) {
            // The reader runs ahead of the device: wait until a whole block is
            // read (or the reader is done), however slow the machine is.
            const int64_t block_samples = 588 * 2 * 40;
            for (int waited = 0; waited < 10000; waited += 5) {
                const int64_t q = cd.QueuedSamples();
                if (q < 0 || q >= block_samples) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            device->Bus().Mix(block.data(), 588 * 40);
            out.insert(out.end(), block.begin(), block.end());
        }
        return out;
    }
};

std::vector<int16_t> image_range(int32_t from_sector, int32_t sectors) {
    const auto& s = disc().samples;
    return {s.begin() + from_sector * 1176, s.begin() + (from_sector + sectors) * 1176};
}
}  // namespace

TEST(CDPlayer, TrackCountAndLengthsAgreeWithCdInfo) {
    Fixture f;
    TCDP cd({disc().cue}, false);
    ASSERT_TRUE(cd.Open(0));
    EXPECT_EQ(cd.GetTrackCount(), 4);
    // cd-info lists each track's first sector and the lead-out.
    const std::string cmd = "cd-info --no-header --no-device-info --no-cddb --cue-file " + disc().cue + " 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string text;
    char buf[256];
    while (fgets(buf, sizeof buf, p)) text += buf;
    pclose(p);
    std::vector<int32_t> lsn;
    std::regex row(R"(\n\s*\d+: \d\d:\d\d:\d\d\s+(\d+) (audio|leadout))");
    for (std::sregex_iterator it(text.begin(), text.end(), row), end; it != end; ++it) lsn.push_back(std::stoi((*it)[1]));
    ASSERT_EQ(lsn.size(), 5u) << text;
    for (int32_t t = 1; t <= 4; ++t) EXPECT_EQ(cd.GetTrackLength(t), (lsn[t] - lsn[t - 1]) / 75) << t;
    EXPECT_EQ(cd.GetTrackLength(5), 0);
    cd.Close();
    EXPECT_EQ(cd.GetTrackCount(), 0);
    EXPECT_EQ(cd.GetState(), CDNotReady);
}

TEST(CDPlayer, ExtractedSamplesAreTheImageBytesToTheLastWholeSecond) {
    struct Case {
        int32_t track, seconds;
        int32_t from_sector, sectors;
    } cases[] = {
        {2, 0, 225, 4 * 75},       // 5 s 40 frames plays to 4 s
        {2, 2, 225 + 150, 2 * 75}, // from 2 s to 4 s
        {4, 0, 725, 37},           // under a second: played whole, never to a time before its start
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.track);
        Fixture f;
        TCDP cd({disc().cue}, false);
        ASSERT_TRUE(cd.Open(0));
        cd.PlayTrackAt(c.track, c.seconds);
        EXPECT_EQ(cd.GetState(), CDPlaying);
        std::vector<int16_t> got = Fixture::drain(cd);
        EXPECT_EQ(cd.GetState(), CDStopped);
        const std::vector<int16_t> want = image_range(c.from_sector, c.sectors);
        ASSERT_GE(got.size(), want.size());
        EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin()));
        EXPECT_TRUE(std::all_of(got.begin() + std::ptrdiff_t(want.size()), got.end(), [](int16_t v) { return v == 0; }));
    }
}

TEST(CDPlayer, CompletionPlaysTheNextEntryRepeatsOrRewinds) {
    struct Case {
        std::vector<std::string> list;
        bool repeat;
        int32_t state_after, track_after;
    } cases[] = {
        {{"3", "1"}, false, CDPlaying, 1},
        {{"3"}, true, CDPlaying, 3},
        {{"3"}, false, CDStopped, 3},
    };
    for (const auto& c : cases) {
        Fixture f;
        TCDP cd({disc().cue}, false);
        ASSERT_TRUE(cd.Open(0));
        cd.SetPlayList(c.list);
        cd.RepeatPlay = c.repeat;
        cd.PlayListEntry(0);
        Fixture::drain(cd);
        cd.Poll();
        EXPECT_EQ(cd.GetState(), c.state_after);
        EXPECT_EQ(cd.CurrentTrack(), c.track_after);
        EXPECT_EQ(cd.GetPositionSeconds(), 0);
    }
}

TEST(CDPlayer, LineGainScalesTheExtractedSamples) {
    Fixture f;
    TCDP cd({disc().cue}, false);
    ASSERT_TRUE(cd.Open(0));
    TCDP::SetLineGain(0.5, 0);
    cd.PlayTrackAt(3, 0);
    const std::vector<int16_t> got = Fixture::drain(cd);
    const std::vector<int16_t> want = image_range(640, 75);
    for (size_t i = 0; i < want.size(); i += 2) {
        ASSERT_EQ(got[i], int16_t((int64_t(want[i]) * 32768) >> 16)) << i;
        ASSERT_EQ(got[i + 1], 0) << i;
    }
}

TEST(CDPlayer, NoDrivesOpensNothing) {
    TCDP cd({}, false);
    EXPECT_FALSE(cd.Open(0));
    EXPECT_EQ(cd.GetState(), CDNotReady);
    cd.PlayTrackAt(1, 0);
    EXPECT_EQ(cd.GetPosition(), 0u);
}

TEST(CddaItem, PlaysItsTrackAndSecondItemTakesOver) {
    Fixture f;
    TCddaManager m(std::make_unique<TCDP>(std::vector<std::string>{disc().cue}, false));
    auto* a = static_cast<TCddaItem*>(m.Add("CD_1"));
    auto* b = static_cast<TCddaItem*>(m.Add("CD_2"));
    EXPECT_EQ(a->GetLength(), 3000);
    a->Play();
    EXPECT_TRUE(a->IsPlaying());
    EXPECT_EQ(m.DriveState(), 0);
    b->Play();
    EXPECT_EQ(m.Current(), b);
    EXPECT_TRUE(b->IsPlaying());
    EXPECT_FALSE(a->IsPlaying());
    EXPECT_FALSE(a->CheckEnd());
    EXPECT_EQ(a->GetPosition(), 0);
    EXPECT_EQ(b->GetLength(), 5000);
    b->Pause();
    EXPECT_TRUE(b->IsPaused());
    EXPECT_FALSE(b->IsPlaying());
}

TEST(CddaItem, BadNamesAndMissingTracksStaySilent) {
    struct Case {
        const char* name;
    } cases[] = {{"CD_9"}, {"CD_"}, {"CD_x1"}, {"CD_999"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        TCddaManager m(std::make_unique<TCDP>(std::vector<std::string>{disc().cue}, false));
        auto* before = static_cast<TCddaItem*>(m.Add("CD_2"));
        before->Play();
        before->Pause();
        auto* bad = m.Add(c.name);
        bad->Play();
        EXPECT_FALSE(bad->IsPlaying());
        EXPECT_FALSE(bad->CheckEnd());
        EXPECT_EQ(bad->GetLength(), 0);
        // The earlier item's track does not play in its place.
        EXPECT_NE(m.Player().GetState(), CDPlaying);
    }
}

// The track number is the number after "CD_", leading zeros and all; an
// item destroyed while paused leaves the player stopped and the bus free.
TEST(CddaItem, LeadingZerosNameTheTrackAndAPausedItemStopsWhenDestroyed) {
    for (const char* name : {"CD_0003", "CD_03", "CD_3", "CD_00000003"}) {
        SCOPED_TRACE(name);
        Fixture f;
        TCddaManager m(std::make_unique<TCDP>(std::vector<std::string>{disc().cue}, false));
        auto* item = static_cast<TCddaItem*>(m.Add(name));
        EXPECT_EQ(item->Track(), 3);
        item->Play();
        EXPECT_TRUE(item->IsPlaying());
        EXPECT_EQ(item->GetLength(), 1000);
        item->Pause();
        m.Remove(item);
        EXPECT_EQ(m.Current(), nullptr);
        EXPECT_NE(m.Player().GetState(), CDPlaying);
        EXPECT_EQ(device->Bus().SourceCount(), 0u);
    }
}

TEST(CddaItem, EndIsReportedAfterTheTrackWithoutRepeat) {
    Fixture f;
    TCddaManager m(std::make_unique<TCDP>(std::vector<std::string>{disc().cue}, false));
    TDMediaItem* item = m.Add("CD_3");
    item->Play();
    Fixture::drain(m.Player());
    m.Player().Poll();
    EXPECT_TRUE(item->CheckEnd());
}

TEST(CddaItem, VolumeScalesTheUsersLevelsAndKeepsTheirMute) {
    Fixture f;
    TCddaManager m(std::make_unique<TCDP>(std::vector<std::string>{disc().cue}, false));
    TAudioMixer& mixer = m.Mixer();
    mixer.SetVolume(0, 0, 0, 20000, 40000);  // the user's own levels
    TDMediaItem* item = m.Add("CD_1");
    item->Play();
    ASSERT_TRUE(m.LineFound());
    struct Case {
        int32_t volume, left, right;
    } cases[] = {{0, 40000, 20000}, {-2500, 20000, 10000}, {-5000, 0, 0}, {-8000, 0, 0}, {-1, 39992, 19996}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.volume);
        item->SetVolume(c.volume);
        EXPECT_EQ(item->GetVolume(), c.volume);
        TMixerLineValues v;
        ASSERT_TRUE(mixer.GetVolume(0, 0, v));
        EXPECT_EQ(v.Left, c.left);
        EXPECT_EQ(v.Right, c.right);
        EXPECT_EQ(v.Mute, 0);
    }
    // Leaving CD audio writes back exactly the levels found.
    m.RestoreMixerVolume();
    TMixerLineValues v;
    mixer.GetVolume(0, 0, v);
    EXPECT_EQ(v.Left, 40000);
    EXPECT_EQ(v.Right, 20000);
    mixer.SetVolume(0, 0, 0, 65535, 65535);
}

// A sound card's CD control as the card keeps it: in its own range of 0..31.
struct FakeCard {
    long Left = 0, Right = 0;
    int Mute = 0;
    bool Mono = false;
};
FakeCard fake_card;
class FakeCardLine : public TCardCdLine {
public:
    bool Get(TMixerLineValues& v) override {
        v.Left = static_cast<int32_t>(fake_card.Left * 65535 / 31);
        v.Right = static_cast<int32_t>((fake_card.Mono ? fake_card.Left : fake_card.Right) * 65535 / 31);
        v.Mute = fake_card.Mute;
        v.Stereo = !fake_card.Mono;
        return true;
    }
    bool Set(int32_t left, int32_t right, int32_t mute) override {
        fake_card.Left = (left * 31L + 32767) / 65535;
        if (!fake_card.Mono) fake_card.Right = (right * 31L + 32767) / 65535;
        if (mute != -1) fake_card.Mute = mute;
        return true;
    }
};
TCardCdLines one_fake_card() {
    TCardCdLines v;
    v.push_back(std::make_unique<FakeCardLine>());
    return v;
}

TEST(CddaItem, ACardsCdControlFollowsTheVolumeAndGetsItsLevelsBack) {
    Fixture f;
    SetCardCdLineSource(one_fake_card);
    struct Case {
        bool mono;
        long left, right;
        int mute;
        int32_t volume;
        long want_left, want_right;
    } cases[] = {
        {false, 31, 20, 0, 0, 31, 20},    {false, 31, 20, 0, -2500, 15, 10}, {false, 31, 20, 1, -5000, 0, 0},
        {false, 31, 20, 0, -8000, 0, 0},  {true, 24, 0, 0, -2500, 12, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.volume);
        fake_card = {c.left, c.right, c.mute, c.mono};
        {
            TCddaManager m(std::make_unique<TCDP>(std::vector<std::string>{disc().cue}, false));
            ASSERT_EQ(m.Mixer().DeviceCount(), 2);
            TDMediaItem* item = m.Add("CD_1");
            item->Play();
            item->SetVolume(c.volume);
            EXPECT_EQ(fake_card.Left, c.want_left);
            EXPECT_EQ(fake_card.Right, c.want_right);
            EXPECT_EQ(fake_card.Mute, c.mute);  // the user's mute stays
            // Our own line follows as before.
            m.Mixer().SetMixerId(0);
            TMixerLineValues v;
            ASSERT_TRUE(m.Mixer().GetVolume(0, 0, v));
            EXPECT_EQ(v.Left, static_cast<int32_t>(65535LL * (std::max(c.volume, -5000) + 5000) / 5000));
        }
        // The manager gone, the card has the user's levels back.
        EXPECT_EQ(fake_card.Left, c.left);
        EXPECT_EQ(fake_card.Right, c.right);
        EXPECT_EQ(fake_card.Mute, c.mute);
    }
}

// While the player is in the background a card's CD control is the user's:
// losing the focus writes the user's levels back, a level set meanwhile is
// read again on return (and kept at exit when the player leaves from the
// background).
TEST(CddaManager, FocusChangesHandTheCardsCdLevelsToTheUserAndBack) {
    Fixture f;
    SetCardCdLineSource(one_fake_card);
    fake_card = {31, 20, 0, false};
    {
        TCddaManager m(std::make_unique<TCDP>(std::vector<std::string>{disc().cue}, false));
        TDMediaItem* item = m.Add("CD_1");
        item->Play();
        item->SetVolume(-2500);
        struct Step {
            const char* what;
            void (TCddaManager::*call)();
            long user_left, user_right;  // set by the user before the step (-1: none)
            bool playing;
            long left, right;
        } steps[] = {
            {"leave", &TCddaManager::ApplicationDeactivate, -1, -1, false, 31, 20},
            {"return", &TCddaManager::ApplicationActivate, 10, 30, true, 5, 15},
            {"return again", &TCddaManager::ApplicationActivate, -1, -1, true, 5, 15},
            {"leave again", &TCddaManager::ApplicationDeactivate, -1, -1, false, 10, 30},
        };
        for (const Step& s : steps) {
            SCOPED_TRACE(s.what);
            if (s.user_left >= 0) fake_card.Left = s.user_left, fake_card.Right = s.user_right;
            (m.*s.call)();
            EXPECT_EQ(item->IsPlaying(), s.playing);
            EXPECT_EQ(fake_card.Left, s.left);
            EXPECT_EQ(fake_card.Right, s.right);
        }
        // A fade in the background does not reach the card.
        item->SetVolume(-1000);
        EXPECT_EQ(fake_card.Left, 10);
        fake_card.Left = fake_card.Right = 4;
    }
    EXPECT_EQ(fake_card.Left, 4);
    EXPECT_EQ(fake_card.Right, 4);
}

TEST(CddaItem, SoundOffFlagsAndSwitchingOnPlays) {
    Fixture f;
    TCddaManager m(std::make_unique<TCDP>(std::vector<std::string>{disc().cue}, false));
    TDMediaItem* item = m.Add("CD_2");
    m.SetActive(false);
    item->Play();
    EXPECT_FALSE(item->IsPlaying());
    m.SetActive(true);
    EXPECT_TRUE(item->IsPlaying());
}

TEST(CddaManager, PreferredDriveComesFromThePlayersSettings) {
    Fixture f;
    const std::string settings = disc().dir + "/registry.ini";
    const std::string other = disc().dir + "/missing.cue";
    struct Case {
        std::string value;
        int32_t drive_state;
    } cases[] = {{disc().cue, 1}, {other, -2}, {"Q", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        std::ofstream(settings) << "[Software\\CdTest]\nCDDrive=" << c.value << "\n";
        setenv("VORQ_REGISTRY_FILE", settings.c_str(), 1);
        MediaRegistryKey = "CdTest";
        // The preferred drive alone is tried when it is in the list (a
        // drive that is there but cannot open leaves none); an unknown one
        // lets every drive be tried.
        TCddaManager m(std::make_unique<TCDP>(std::vector<std::string>{other, disc().cue}, false));
        m.OpenDrive();
        EXPECT_EQ(m.DriveState(), c.drive_state);
        unsetenv("VORQ_REGISTRY_FILE");
        MediaRegistryKey.clear();
    }
}
