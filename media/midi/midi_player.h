// The MIDI player: walks a parsed file's events on a timer thread of its
// own (a tick every 10 ms), sending each event that has become due to the
// open output device. It positions to any time with the channel state
// rebuilt, repeats the whole song on request, and scales controller values
// (the item's volume is a scale on channel volume).
#pragma once
#include "media/midi/midi_file.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

class MixingBus;

// One open MIDI output. Calls come from the player's timer thread and from
// the main thread, never at the same time (the player serialises them).
class MidiOut {
public:
    virtual ~MidiOut() = default;
    // Status in bits 0-7, data bytes in 8-15 and 16-23.
    virtual void ShortMessage(uint32_t message) = 0;
    // A whole SysEx message, status byte first.
    virtual void LongMessage(std::span<const uint8_t> bytes) = 0;
    // Silences every voice and returns the device to its power-on state.
    virtual void Reset() = 0;
    // False while the device is still being prepared: it takes messages
    // but sounds nothing yet, so the player holds its song's time.
    virtual bool Ready() { return true; }
};

// An output whose device is still being prepared elsewhere (the
// synthesizer's font loads on a thread of its own): it keeps what it is
// sent, in order, and hands it to the device once the device is there, so
// opening never waits for the preparation.
class HeldMidiOut : public MidiOut {
public:
    // Asked at each call until it returns true: false while the device is
    // still being prepared; true once it is settled, with the device put in
    // device, or left null when none can be had (the output is then silent).
    using Take = std::function<bool(std::unique_ptr<MidiOut>& device)>;
    explicit HeldMidiOut(Take take) : FTake(std::move(take)) {}
    void ShortMessage(uint32_t message) override;
    void LongMessage(std::span<const uint8_t> bytes) override;
    void Reset() override;
    bool Ready() override;

private:
    struct Held {
        enum { Short, Long, Reset } Kind;
        uint32_t Message = 0;
        std::vector<uint8_t> Bytes;
    };
    void send(const Held& h);
    Take FTake;
    std::unique_ptr<MidiOut> FDevice;
    std::vector<Held> FHeld;
};

// The output devices a player may open, in device-number order.
class MidiOutputs {
public:
    virtual ~MidiOutputs() = default;
    // Shift-JIS names.
    virtual std::vector<std::string> Names() = 0;
    // Device -1 is the mapper (the default device). Null when it cannot open.
    virtual std::unique_ptr<MidiOut> Open(int32_t device) = 0;
};

// The player's own devices: the General MIDI synthesizer rendering into the
// media sound device's bus (see SetMidiSynthBus), then the system's
// sequencer ports (media/midi/seq_ports.h).
std::unique_ptr<MidiOutputs> SystemMidiOutputs();
// Where the synthesizer renders: the bus of the sound device media play
// into; asked when a device opens. Null (or never set): it renders nowhere.
void SetMidiSynthBus(MixingBus* (*bus)());
// The synthesizer's sound font path ("" when none is installed).
std::string MidiSoundFontPath();

class TMidiPlayV : public TMidiV {
public:
    // timer_thread false: nothing ticks by itself; tests call TimerTick.
    explicit TMidiPlayV(std::unique_ptr<MidiOutputs> outputs = SystemMidiOutputs(), bool timer_thread = true);
    ~TMidiPlayV() override;

    // Stops, parses, and sets channel volume (controller 7) of every
    // channel to 127; the song starts at its beginning.
    void LoadFromStream(TStream& stream) override;

    bool Open(int32_t device);
    void Close();
    bool IsOpen() const { return FOut != nullptr; }

    // Positions at ms, replaying every event but notes up to there, and
    // starts ticking.
    void PlayFrom(int32_t ms);
    // Stops ticking and silences the notes; position and index stay.
    void Stop();
    bool IsPlaying() const { return FEnabled; }
    // Once a tick has failed; else never with auto-repeat, otherwise once
    // the last event is reached.
    bool IsEnd() const;

    // At the end, go on from the first event.
    bool AutoRepeat() const { return FAutoRepeat; }
    void SetAutoRepeat(bool on);
    int32_t Position() const { return FPosition; }
    int32_t CurrentIndex() const { return FIndex; }

    void SetControllerScale(int32_t controller, int32_t percent);
    // Universal real-time master volume, full.
    void SendMasterVolume();
    // The index of the first event at ms, or the one before the first event
    // after it; 0 when no event is at or after ms.
    int32_t FindEventByTime(int32_t ms) const;

    const std::vector<std::string>& DeviceNames() const { return FDeviceNames; }

    // One step of the timer: advances the position by the clock (at most
    // 1000 ms) and sends what is due.
    void TimerTick();
    // A tick that failed (the device raised an error) stopped the player;
    // the song then counts as ended until it is played again.
    bool Failed() const { return FFailed; }

private:
    void send_event(const TMidiMsgEvent& e);
    void send_scaled_controller(int32_t channel, int32_t controller);
    void short_message(uint32_t m);
    void long_message(std::span<const uint8_t> bytes);
    void all_notes_off();
    void stop_locked();
    void run();
    void tick_guarded();
    bool at_end() const;
    void wake_timer();

    std::unique_ptr<MidiOutputs> FOutputs;
    std::vector<std::string> FDeviceNames;
    std::unique_ptr<MidiOut> FOut;
    std::atomic<bool> FEnabled{false};
    std::atomic<bool> FAutoRepeat{false};
    // The tick found nothing left to send (end of a song without repeat):
    // the timer thread sleeps until it is played or set to repeat.
    std::atomic<bool> FAtEnd{false};
    std::atomic<bool> FFailed{false};
    std::atomic<int32_t> FIndex{0};
    std::atomic<int32_t> FPosition{0};
    uint32_t FPrevClock = 0;
    // The last tick found the output still being prepared: the song's time
    // starts again from the tick that finds it ready.
    bool FOutWaiting = false;
    std::array<std::array<int32_t, 128>, 16> FControllers{};
    std::array<std::array<int32_t, 128>, 16> FScales{};

    // Held while a tick runs; the main thread holds it to keep ticks out
    // while it changes the player, so output calls never overlap.
    std::recursive_mutex FTickLock;
    std::mutex FWakeMutex;
    std::condition_variable FWake;
    bool FTerminated = false;
    std::thread FThread;
};
