#include "media/midi/midi_player.h"

#include "platform/clock.h"

#include <algorithm>
#include <chrono>

namespace {
constexpr uint8_t kMasterVolume[] = {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x7F, 0xF7};
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
        FWake.wait_for(lk, std::chrono::milliseconds(10));
        if (FTerminated) break;
        if (!FEnabled) continue;
        lk.unlock();
        {
            std::lock_guard g(FTickLock);
            // Nothing may leave the timer thread: a song whose playing
            // raised stops at its end, as a medium that could not be played.
            try {
                if (FEnabled) TimerTick();
            } catch (...) {
                FEnabled = false;
                FIndex = std::max(EventCount() - 1, 0);
            }
        }
        lk.lock();
    }
}

void TMidiPlayV::LoadFromStream(TStream& stream) {
    std::lock_guard g(FTickLock);
    stop_locked();
    TMidiV::LoadFromStream(stream);
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
    if (AutoRepeat) return false;
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
    // At the last event without repeat the song has ended. With repeat the
    // tick goes on, so the repeat fires once the last event is due, however
    // long the rest before it.
    if (FIndex > last || (FIndex == last && !AutoRepeat)) return;
    const uint32_t now = TimeGetTime();
    const uint32_t step = std::min<uint32_t>(1000, now - FPrevClock);
    FPosition = FPosition + static_cast<int32_t>(step);
    FPrevClock = now;
    while (FIndex <= last && FEvents[static_cast<size_t>(FIndex)].Time < FPosition) {
        if (FIndex < last) {
            send_event(FEvents[static_cast<size_t>(FIndex)]);
            FIndex = FIndex + 1;
        } else if (AutoRepeat) {
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
    FEnabled = true;
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
