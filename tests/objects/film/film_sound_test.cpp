// Sound tracks of films played through real sound objects and media items
// into a device whose mix the test pulls: heard inside their span, silent
// outside it, paused with the film, scaled by the film's volume, repeated
// when shorter than their span, and restarted after a jump back.
#include "script/game_clock.h"
#include "media/audio/sound_items.h"
#include "media/base/media.h"
#include "media/base/media_managers.h"
#include "media/media_modules.h"
#include "objects/film/film_manager.h"
#include "objects/object_kinds.h"
#include "objects/media/sound.h"
#include "platform/system/audio.h"
#include "platform/system/clock.h"
#include "platform/filesystem/stream.h"
#include "tests/support/film_writer.h"
#include "tests/support/plain_dibx.h"

#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace {

std::string tone() { return std::string(VORQ_TEST_DATA) + "/audio/tone.wav"; }

class FilmSound : public ::testing::Test {
protected:
    std::unique_ptr<TVorqBaseList> reg;
    std::unique_ptr<AudioDevice> device = AudioDevice::Open(AudioBackend::Manual);
    std::unique_ptr<TFilmManager> film;

    void SetUp() override {
        SetSurfaceMaker([](int32_t w, int32_t h, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
            return std::make_unique<TPlainDIBX>(w, h, bits);
        });
        InstallObjectKinds();
        InstallMediaManagers();
        LibrarySoundCell = device.get();
        InitMedia(nullptr, nullptr, TPoint{}, 0, 0, 0, 0);
        GameClock = 0;
        reg = std::make_unique<TVorqBaseList>();
        reg->SurfaceBits = 32;
    }
    void TearDown() override {
        film.reset();
        reg.reset();
        FinalMedia();
        LibrarySoundCell = nullptr;
        SetSurfaceMaker(nullptr);
    }
    // A film of 300 frames whose only sound track plays the tone over
    // [start, start + length).
    TFilmManager& Play(int32_t start, int32_t length, int32_t film_length = 300) {
        TFilmWriter w;
        w.Header(64, 64, 0);
        w.TrackCount(2);
        w.Track(4, -1, length, start);
        w.Sound(tone(), 1000, 500, -10000, 10000);
        const int32_t box[16] = {};
        w.Track(2, -1, 1, film_length - 1);  // sets the film's length
        w.Box(box);
        film = std::make_unique<TFilmManager>();
        TMemoryStream s;
        s.WriteBuffer(w.Bytes().data(), static_cast<int64_t>(w.Bytes().size()));
        s.SetPosition(0);
        film->LoadFromStream(s, "a.vcm");
        film->SetTarget(reg.get());
        film->Start();
        return *film;
    }
    TVorqSound* Sound() {
        for (int32_t i = 0; i < reg->GetObjectCount(); ++i)
            if (auto* s = dynamic_cast<TVorqSound*>(reg->GetObjectAt(i))) return s;
        return nullptr;
    }
    // The loudest sample the device plays (the module decodes on its own
    // thread): until it reaches at_least, with only a hang guard; or, when
    // nothing should be heard, over 150 ms of real time.
    int32_t Loudest(int32_t at_least) {
        std::vector<int16_t> out(441 * 2);
        int32_t loudest = 0;
        const auto step = [&] {
            device->Bus().Mix(out.data(), 441);
            for (int16_t v : out) loudest = std::max<int32_t>(loudest, std::abs(v));
            reg->Update();
        };
        if (at_least > 0) {
            StepUntil([&] { return loudest >= at_least; }, step);
            return loudest;
        }
        const uint32_t start = TimeGetTime();
        while (TimeGetTime() - start < 150) {
            step();
            SleepMs(2);
        }
        return loudest;
    }
};

}  // namespace

TEST_F(FilmSound, HeardInItsSpanSilentOutsidePausedWithTheFilm) {
    TFilmManager& f = Play(10, 120);
    TVorqSound* s = Sound();
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(IsInternalName(s->GetName()));
    EXPECT_EQ(s->GetSource(), tone());
    // 2000 ms of track for a 500 ms sound: it repeats.
    EXPECT_TRUE(s->GetRepeat());
    EXPECT_TRUE(s->GetPaused());
    const struct {
        const char* what;
        std::function<void()> step;
        bool heard;
        int32_t volume, balance;
    } steps[] = {
        {"before its span", [&] { f.SetFrame(5); }, false, 1000, -10000},
        {"its first frame", [&] { f.SetFrame(10); }, true, 1000, -10000},
        // Half-way (u = 60 of 120): volume 1000 -> 500 and balance eased.
        {"half-way", [&] { f.SetFrame(70); }, true, 748, 84},
        {"film paused", [&] { f.SetPaused(true); }, false, 748, 84},
        {"film resumed", [&] { f.SetPaused(false); }, true, 748, 84},
        {"film volume halved", [&] { f.sound_volume_scale = 500; f.SetFrame(71); }, true, 372, 252},
        {"sound off", [&] { f.SetSoundOn(false); f.SetFrame(72); }, false, 370, 420},
        {"sound on", [&] { f.SetSoundOn(true); f.SetFrame(73); }, true, 368, 588},
        {"after its span", [&] { f.SetFrame(130); }, false, 368, 588},
        {"back into it", [&] { f.SetFrame(10); }, true, 500, -10000},
    };
    for (auto& st : steps) {
        SCOPED_TRACE(st.what);
        st.step();
        EXPECT_EQ(s->GetVolume(), st.volume);
        EXPECT_EQ(s->GetBalance(), st.balance);
        // The tone peaks at 16383; the louder channel keeps the volume's
        // attenuation in 1/100 dB, the balance only lowers the other one.
        const double want = 16383.0 * std::pow(10.0, SoundItemVolume(st.volume, false) / 2000.0);
        const int32_t loudest = Loudest(st.heard ? int32_t(want * 0.95 - 2) : 0);
        if (st.heard) EXPECT_NEAR(loudest, want, want * 0.05 + 2);
        else EXPECT_EQ(loudest, 0);
    }
}

TEST_F(FilmSound, RepeatAndTheEndOfTheFilm) {
    const struct {
        int32_t start, length, film_length;
        bool repeat;
    } cases[] = {
        {0, 120, 300, true},   // 2000 ms for 500 ms
        {0, 30, 300, false},   // 500 ms: exactly the sound
        {0, 24, 300, false},   // shorter than the sound
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.length);
        Play(c.start, c.length, c.film_length);
        ASSERT_NE(Sound(), nullptr);
        EXPECT_EQ(Sound()->GetRepeat(), c.repeat);
        film.reset();
        reg->Update();  // the scrapped sound goes
        EXPECT_EQ(Sound(), nullptr);
    }
    // A track that ends exactly at the film's end stops one frame before
    // the film's last frame.
    TFilmManager& f = Play(280, 20, 300);
    f.SetFrame(298);
    EXPECT_FALSE(Sound()->GetPaused());
    f.SetFrame(299);
    EXPECT_TRUE(Sound()->GetPaused());
}
