// The General MIDI synthesizer: FluidSynth with the sound font Debian
// installs, rendering into the sound device's mixing bus; then the
// system's sequencer ports.
#include "media/midi/midi_player.h"
#include "media/midi/seq_ports.h"

#include "platform/system/audio.h"

#include <fluidsynth.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {
MixingBus* (*synth_bus)() = nullptr;

// The font's instruments are loud: at FluidSynth's gain a full GM song
// clips; this leaves room for the other sounds on the bus.
constexpr double kSynthGain = 0.4;

class Synth {
public:
    Synth() {
        settings_ = new_fluid_settings();
        fluid_settings_setnum(settings_, "synth.sample-rate", AudioFrequency);
        fluid_settings_setnum(settings_, "synth.gain", kSynthGain);
        fluid_settings_setint(settings_, "synth.threadsafe-api", 1);
        fluid_settings_setint(settings_, "synth.reverb.active", 1);
        // The General MIDI font is 148 MB, of which a song uses a few
        // instruments: their samples are read when a program selects them.
        fluid_settings_setint(settings_, "synth.dynamic-sample-loading", 1);
        synth_ = new_fluid_synth(settings_);
        const std::string font = MidiSoundFontPath();
        if (synth_ && !font.empty()) font_ok_ = fluid_synth_sfload(synth_, font.c_str(), 1) != FLUID_FAILED;
    }
    ~Synth() {
        if (synth_) delete_fluid_synth(synth_);
        if (settings_) delete_fluid_settings(settings_);
    }
    bool Ok() const { return synth_ && font_ok_; }
    fluid_synth_t* Get() const { return synth_; }
    // Outputs rendering this synthesizer now: two would each advance it.
    std::atomic<int32_t> Outputs{0};

private:
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    bool font_ok_ = false;
};

// One load of a synthesizer on a thread of its own. Whoever holds it looks
// whether it is done without ever waiting; the thread holds it too, so a
// load nobody wants any more ends (and frees its synthesizer) by itself.
class SynthLoad {
public:
    bool Done() const { return done_.load(std::memory_order_acquire); }
    // Null when the font cannot be loaded; asked once Done.
    const std::shared_ptr<Synth>& Result() const { return synth_; }
    void Finish(std::shared_ptr<Synth> s) {
        synth_ = std::move(s);
        done_.store(true, std::memory_order_release);
    }

private:
    std::atomic<bool> done_{false};
    std::shared_ptr<Synth> synth_;
};

// Loading the font takes a moment, so the process's synthesizer is loaded
// once, from the first time a player lists its devices (at start-up): by the
// time a song plays it is normally there. A player that finds it rendering
// for another gets one of its own, loaded the same way. Nothing waits for a
// load: one still running when the game is closed (a slow disk) must not
// keep the process alive, so the threads are left to end with it.
class SynthLoader {
public:
    SynthLoader() {
        // The synthesizer renders into our own bus and uses none of the
        // library's sound drivers. Made settings list their devices, which
        // would reach into the sound system from the load thread while the
        // main thread opens and closes the player's device.
        static const char* no_drivers[] = {nullptr};
        fluid_audio_driver_register(no_drivers);
    }
    std::shared_ptr<SynthLoad> Shared() {
        std::lock_guard g(lock_);
        if (!shared_) shared_ = start();
        return shared_;
    }
    std::shared_ptr<SynthLoad> Own() {
        std::lock_guard g(lock_);
        return start();
    }

private:
    static std::shared_ptr<SynthLoad> start() {
        auto load = std::make_shared<SynthLoad>();
        // The thread holds all it uses itself.
        std::thread([load]() mutable {
            auto s = std::make_shared<Synth>();
            if (!s->Ok()) s.reset();
            load->Finish(std::move(s));
            load.reset();
        }).detach();
        return load;
    }
    std::mutex lock_;
    std::shared_ptr<SynthLoad> shared_;
};

// Never destroyed: a player's timer thread may still ask it for a
// synthesizer while a process that ends through exit () runs its static
// destructors.
SynthLoader& synth_loader() {
    static SynthLoader& loader = *new SynthLoader;
    return loader;
}

class SynthOut : public MidiOut {
public:
    SynthOut(std::shared_ptr<Synth> synth, MixingBus* bus) : synth_(std::move(synth)), bus_(bus) {
        ++synth_->Outputs;
        if (bus_) {
            fluid_synth_t* s = synth_->Get();
            handle_ = bus_->AddSource([s, buf = std::vector<int16_t>()](int32_t* mix, size_t frames) mutable {
                buf.resize(frames * 2);
                fluid_synth_write_s16(s, static_cast<int>(frames), buf.data(), 0, 2, buf.data(), 1, 2);
                for (size_t i = 0; i < frames * 2; ++i) mix[i] += buf[i];
                return true;
            });
        }
    }
    ~SynthOut() override {
        if (bus_) bus_->RemoveSource(handle_);
        --synth_->Outputs;
    }
    void ShortMessage(uint32_t m) override {
        fluid_synth_t* s = synth_->Get();
        const int ch = m & 0x0F;
        const int d1 = (m >> 8) & 0x7F;
        const int d2 = (m >> 16) & 0x7F;
        switch ((m >> 4) & 0x0F) {
        case 0x8: fluid_synth_noteoff(s, ch, d1); break;
        case 0x9: d2 ? fluid_synth_noteon(s, ch, d1, d2) : fluid_synth_noteoff(s, ch, d1); break;
        case 0xA: fluid_synth_key_pressure(s, ch, d1, d2); break;
        case 0xB: fluid_synth_cc(s, ch, d1, d2); break;
        case 0xC: fluid_synth_program_change(s, ch, d1); break;
        case 0xD: fluid_synth_channel_pressure(s, ch, d1); break;
        case 0xE: fluid_synth_pitch_bend(s, ch, d1 | d2 << 7); break;
        default: break;
        }
    }
    void LongMessage(std::span<const uint8_t> bytes) override {
        // The synthesizer takes the bytes between F0 and the closing F7.
        if (bytes.size() < 2) return;
        size_t n = bytes.size() - 1;
        if (bytes.back() == 0xF7) --n;
        fluid_synth_sysex(synth_->Get(), reinterpret_cast<const char*>(bytes.data() + 1), static_cast<int>(n), nullptr,
                          nullptr, nullptr, 0);
    }
    void Reset() override { fluid_synth_system_reset(synth_->Get()); }

private:
    std::shared_ptr<Synth> synth_;
    MixingBus* bus_;
    int32_t handle_ = 0;
};

// The synthesizer of one player, shared with the outputs it opens (which
// may outlive the list). Used under the player's lock only.
struct PlayerSynth {
    std::shared_ptr<SynthLoad> Load;
    // The load is the process's synthesizer, which another player may be
    // rendering by the time it is there.
    bool Shared = true;
    std::shared_ptr<Synth> Chosen;

    bool Failed() const { return !Chosen && Load->Done() && !Load->Result(); }
    // The synthesizer once it is there (null until then, and when it cannot
    // be loaded); opens a synthesizer of this player's own when the
    // process's is rendering for another.
    std::shared_ptr<Synth> Take() {
        if (Chosen || !Load->Done()) return Chosen;
        const std::shared_ptr<Synth>& s = Load->Result();
        if (s && Shared && s->Outputs > 0) {
            Load = synth_loader().Own();
            Shared = false;
            return nullptr;
        }
        Chosen = s;
        return Chosen;
    }
};

// Outputs decide on the process's synthesizer from their players' timer
// threads: one at a time, so two never both find it free.
std::mutex& choose_lock() {
    static std::mutex& m = *new std::mutex;
    return m;
}

// The synthesizer first (when its sound font is installed), then the
// system's sequencer ports as they were when the player started.
class SystemOutputs : public MidiOutputs {
public:
    SystemOutputs() : has_synth_(!MidiSoundFontPath().empty()), ports_(ListSeqPorts()) {
        if (!has_synth_) return;
        synth_ = std::make_shared<PlayerSynth>();
        synth_->Load = synth_loader().Shared();
    }
    std::vector<std::string> Names() override {
        std::vector<std::string> names;
        if (has_synth_) names.push_back("FluidSynth GM");
        for (const TSeqPort& p : ports_) names.push_back(p.Name);
        return names;
    }
    std::unique_ptr<MidiOut> Open(int32_t device) override {
        const int32_t synths = has_synth_ ? 1 : 0;
        if (device == -1) device = 0;  // the mapper is the first device
        if (device < 0 || device >= synths + static_cast<int32_t>(ports_.size())) return nullptr;
        if (device >= synths) return OpenSeqPort(ports_[static_cast<size_t>(device - synths)]);
        if (synth_->Failed()) return nullptr;
        MixingBus* bus = synth_bus ? synth_bus() : nullptr;
        // One synthesizer serves every open of this player. While its font
        // still loads the output keeps what it is sent and the song waits.
        auto take = [synth = synth_, bus](std::unique_ptr<MidiOut>& out) {
            std::lock_guard g(choose_lock());
            if (synth->Failed()) return true;
            std::shared_ptr<Synth> s = synth->Take();
            if (!s) return false;
            fluid_synth_system_reset(s->Get());
            out = std::make_unique<SynthOut>(std::move(s), bus);
            return true;
        };
        if (synth_->Chosen) {
            std::unique_ptr<MidiOut> out;
            take(out);
            return out;
        }
        return std::make_unique<HeldMidiOut>(take);
    }

private:
    bool has_synth_;
    std::vector<TSeqPort> ports_;
    std::shared_ptr<PlayerSynth> synth_;
};
}  // namespace

std::string MidiSoundFontPath() {
    for (const char* p : {"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/default-GM.sf2"}) {
        std::error_code ec;
        if (std::filesystem::exists(p, ec)) return p;
    }
    return "";
}

void SetMidiSynthBus(MixingBus* (*bus)()) { synth_bus = bus; }

std::unique_ptr<MidiOutputs> SystemMidiOutputs() { return std::make_unique<SystemOutputs>(); }
