#include "media/midi/midi_player.h"

#include "platform/system/clock.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace {
constexpr uint8_t kMasterVolume[] = {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x7F, 0xF7};
}

void HeldMidiOut::send(const Held& h) {
    if (!FDevice) return;
    switch (h.Kind) {
    case Held::Short: FDevice->ShortMessage(h.Message); break;
    case Held::Long: FDevice->LongMessage(h.Bytes); break;
    case Held::Reset: FDevice->Reset(); break;
    }
}

bool HeldMidiOut::Ready() {
    if (!FTake) return true;
    if (!FTake(FDevice)) return false;
    FTake = nullptr;
    // What came while the device was prepared goes first, in order.
    const std::vector<Held> held = std::exchange(FHeld, {});
    for (const Held& h : held) send(h);
    return true;
}

void HeldMidiOut::ShortMessage(uint32_t message) {
    if (!Ready()) FHeld.push_back({Held::Short, message, {}});
    else if (FDevice) FDevice->ShortMessage(message);
}

void HeldMidiOut::LongMessage(std::span<const uint8_t> bytes) {
    if (!Ready()) FHeld.push_back({Held::Long, 0, {bytes.begin(), bytes.end()}});
    else if (FDevice) FDevice->LongMessage(bytes);
}

void HeldMidiOut::Reset() {
    if (!Ready()) FHeld.push_back({Held::Reset, 0, {}});
    else if (FDevice) FDevice->Reset();
}

TMidiPlayV::TMidiPlayV(std::unique_ptr<MidiOutputs> outputs, bool timer_thread) : FOutputs(std::move(outputs)) {
    for (auto& ch : FScales) ch.fill(100);
    for (auto& ch : FControllers) ch[7] = 127;
    if (FOutputs) FDeviceNames = FOutputs->Names();
    if (timer_thread) FThread = std::thread([this] { run(); });
}

TMidiPlayV::~TMidiPlayV() {
    {
        std::lock_guard g(FWakeMutex);
        FTerminated = true;
    }
    FWake.notify_all();
    if (FThread.joinable()) FThread.join();
    Close();
}

void TMidiPlayV::run() {
    std::unique_lock lk(FWakeMutex);
    while (!FTerminated) {
        // Stopped, or at the end of a song without repeat, there is nothing
        // to tick: the thread sleeps until PlayFrom or SetAutoRepeat wakes it.
        if (!FEnabled || FAtEnd) {
            FWake.wait(lk);
            continue;
        }
        FWake.wait_for(lk, std::chrono::milliseconds(10));
        if (FTerminated) break;
        lk.unlock();
        tick_guarded();
        lk.lock();
    }
}

void TMidiPlayV::tick_guarded() {
    try {
        std::lock_guard g(FTickLock);
        if (FEnabled) TimerTick();
    } catch (...) {
        // A device that fails mid-song ends it rather than the program.
        FFailed = true;
        FEnabled = false;
    }
}

void TMidiPlayV::wake_timer() {
    // Taking the lock orders the change before the thread's next look.
    { std::lock_guard g(FWakeMutex); }
    FWake.notify_all();
}

bool TMidiPlayV::at_end() const {
    const int32_t last = EventCount() - 1;
    return last < 0 || FIndex > last || (FIndex == last && !FAutoRepeat);
}

void TMidiPlayV::SetAutoRepeat(bool on) {
    // Under the tick lock, so a tick cannot find the end just after this.
    std::lock_guard g(FTickLock);
    FAutoRepeat = on;
    if (on && FAtEnd.exchange(false)) wake_timer();
}

void TMidiPlayV::LoadFromStream(TStream& stream) {
    std::lock_guard g(FTickLock);
    stop_locked();
    TMidiV::LoadFromStream(stream);
    FFailed = false;
    for (auto& ch : FControllers) ch[7] = 127;
    // A new song starts at its beginning, never at the old song's index.
    FIndex = 0;
    FPosition = 0;
}

bool TMidiPlayV::Open(int32_t device) {
    std::lock_guard g(FTickLock);
    if (FOut || !FOutputs) return FOut != nullptr;
    FOut = FOutputs->Open(device);
    return FOut != nullptr;
}

void TMidiPlayV::Close() {
    std::lock_guard g(FTickLock);
    if (!FOut) return;
    FEnabled = false;
    FOut->Reset();
    FOut.reset();
}

bool TMidiPlayV::IsEnd() const {
    if (FFailed) return true;
    if (FAutoRepeat) return false;
    return FIndex >= EventCount() - 1;
}

void TMidiPlayV::short_message(uint32_t m) {
    if (FOut) FOut->ShortMessage(m);
}

void TMidiPlayV::long_message(std::span<const uint8_t> bytes) {
    if (FOut) FOut->LongMessage(bytes);
}

void TMidiPlayV::all_notes_off() {
    if (!FOut) return;
    for (uint32_t ch = 0; ch < 16; ++ch) short_message(0x7BB0u + ch);
}

void TMidiPlayV::send_scaled_controller(int32_t channel, int32_t controller) {
    // A scale above 100 could lift a value past the 7-bit range; the device
    // only ever gets 0..127.
    const int64_t v = int64_t(FControllers[channel][controller]) * FScales[channel][controller] / 100;
    const uint32_t value = static_cast<uint32_t>(std::clamp<int64_t>(v, 0, 127));
    short_message((0xB0u + static_cast<uint32_t>(channel)) | uint32_t(controller) << 8 | value << 16);
}

void TMidiPlayV::send_event(const TMidiMsgEvent& e) {
    if (e.Class == MidiControlChange && e.Length >= 3) {
        const int32_t channel = e.Bytes[0] & 0x0F;
        const int32_t controller = e.Bytes[1] & 0x7F;
        FControllers[channel][controller] = e.Bytes[2] & 0x7F;
        send_scaled_controller(channel, controller);
    } else if (e.Kind == MidiChannelKind) {
        short_message(e.GetShortMessage());
    } else if (e.Kind == MidiSysExKind) {
        long_message(e.Data());
    }
}

void TMidiPlayV::TimerTick() {
    const int32_t last = EventCount() - 1;
    if (last < 0) return;
    // The song waits for an output still being prepared, then plays whole
    // and in time from the moment it is ready rather than in a burst.
    if (FOut && !FOut->Ready()) {
        FOutWaiting = true;
        return;
    }
    if (FOutWaiting) {
        FOutWaiting = false;
        FPrevClock = TimeGetTime();
    }
    // At the last event without repeat the song has ended. With repeat the
    // tick goes on, so the repeat fires once the last event is due, however
    // long the rest before it.
    if (at_end()) {
        FAtEnd = true;
        return;
    }
    const uint32_t now = TimeGetTime();
    const uint32_t step = std::min<uint32_t>(1000, now - FPrevClock);
    FPosition = FPosition + static_cast<int32_t>(step);
    FPrevClock = now;
    while (FIndex <= last && FEvents[static_cast<size_t>(FIndex)].Time < FPosition) {
        if (FIndex < last) {
            send_event(FEvents[static_cast<size_t>(FIndex)]);
            FIndex = FIndex + 1;
        } else if (FAutoRepeat) {
            all_notes_off();
            FIndex = 0;
            FPosition = FEvents[0].Time;
        } else {
            break;
        }
    }
}

int32_t TMidiPlayV::FindEventByTime(int32_t ms) const {
    for (int32_t i = 0; i < EventCount(); ++i) {
        const int32_t t = FEvents[static_cast<size_t>(i)].Time;
        if (t == ms) return i;
        if (t > ms) return i == 0 ? 0 : i - 1;
    }
    return 0;
}

void TMidiPlayV::PlayFrom(int32_t ms) {
    std::lock_guard g(FTickLock);
    FEnabled = false;
    const int32_t target = FindEventByTime(ms);
    if (target != FIndex) {
        all_notes_off();
        if (target < FIndex) {
            FIndex = 0;
            FPosition = 0;
        }
        for (; FIndex < target; FIndex = FIndex + 1) {
            const TMidiMsgEvent& e = FEvents[static_cast<size_t>(FIndex)];
            FPosition = e.Time;
            if (e.Class != MidiNoteOn && e.Class != MidiNoteOff) send_event(e);
            // The device needs time to come back from a reset.
            if (e.Class == MidiGsReset) SleepMs(10);
        }
    }
    FPrevClock = TimeGetTime();
    FFailed = false;
    FAtEnd = false;
    FEnabled = true;
    wake_timer();
}

void TMidiPlayV::stop_locked() {
    if (!FEnabled) return;
    FEnabled = false;
    SleepMs(1);
    all_notes_off();
}

void TMidiPlayV::Stop() {
    std::lock_guard g(FTickLock);
    stop_locked();
}

void TMidiPlayV::SetControllerScale(int32_t controller, int32_t percent) {
    if (controller < 0 || controller > 127) return;
    for (int32_t ch = 0; ch < 16; ++ch) {
        std::lock_guard g(FTickLock);
        FScales[ch][controller] = percent;
        if (FEnabled) send_scaled_controller(ch, controller);
    }
}

void TMidiPlayV::SendMasterVolume() {
    std::lock_guard g(FTickLock);
    long_message(kMasterVolume);
}
