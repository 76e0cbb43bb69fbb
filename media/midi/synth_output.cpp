// The General MIDI synthesizer: FluidSynth with the sound font Debian
// installs, rendering into the sound device's mixing bus; then the
// system's sequencer ports.
#include "media/midi/midi_player.h"
#include "media/midi/seq_ports.h"

#include "platform/audio.h"

#include <fluidsynth.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
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

// Loading the font still takes a moment, so it is loaded once per process,
// on a thread of its own, from the first time a player lists its devices
// (at start-up): by the time a song plays it is normally there.
class SynthLoader {
public:
    void Start() {
        std::lock_guard g(lock_);
        if (loading_.valid()) return;
        loading_ = std::async(std::launch::async, [] {
                       auto s = std::make_shared<Synth>();
                       return s->Ok() ? s : nullptr;
                   }).share();
    }
    // Waits for the load; null when the font cannot be loaded.
    std::shared_ptr<Synth> Get() {
        Start();
        std::shared_future<std::shared_ptr<Synth>> f;
        {
            std::lock_guard g(lock_);
            f = loading_;
        }
        return f.get();
    }

private:
    std::mutex lock_;
    std::shared_future<std::shared_ptr<Synth>> loading_;
};

SynthLoader& synth_loader() {
    static SynthLoader loader;
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

// The synthesizer first (when its sound font is installed), then the
// system's sequencer ports as they were when the player started.
class SystemOutputs : public MidiOutputs {
public:
    SystemOutputs() : has_synth_(!MidiSoundFontPath().empty()), ports_(ListSeqPorts()) {
        if (has_synth_) synth_loader().Start();
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
        // One synthesizer serves every open of this player: the process's
        // own, unless another player renders it now.
        if (!synth_) {
            auto s = synth_loader().Get();
            if (s && s->Outputs > 0) s = std::make_shared<Synth>();
            if (!s || !s->Ok()) return nullptr;
            synth_ = std::move(s);
        }
        fluid_synth_system_reset(synth_->Get());
        return std::make_unique<SynthOut>(synth_, synth_bus ? synth_bus() : nullptr);
    }

private:
    bool has_synth_;
    std::vector<TSeqPort> ports_;
    std::shared_ptr<Synth> synth_;
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
