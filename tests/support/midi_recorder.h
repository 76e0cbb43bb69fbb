// A MIDI output that records what a player sends, and a writer of small
// songs whose ticks are milliseconds.
#pragma once
#include "media/midi/midi_player.h"

#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

// Every message the player sends, as text: "90 3c 64", "F0 .. F7", "reset".
struct Recording {
    std::vector<std::string> log;
};

inline std::string hex_bytes(std::span<const uint8_t> b) {
    std::string r;
    char t[4];
    for (uint8_t c : b) {
        std::snprintf(t, sizeof t, r.empty() ? "%02x" : " %02x", c);
        r += t;
    }
    return r;
}

class RecordingOut : public MidiOut {
public:
    explicit RecordingOut(Recording& r) : r_(r) {}
    void ShortMessage(uint32_t m) override {
        const uint8_t b[3] = {uint8_t(m), uint8_t(m >> 8), uint8_t(m >> 16)};
        r_.log.push_back(hex_bytes({b, (m & 0xF0) == 0xC0 || (m & 0xF0) == 0xD0 ? 2u : 3u}));
    }
    void LongMessage(std::span<const uint8_t> b) override { r_.log.push_back(hex_bytes(b)); }
    void Reset() override { r_.log.push_back("reset"); }

private:
    Recording& r_;
};

class RecordingOutputs : public MidiOutputs {
public:
    explicit RecordingOutputs(Recording& r) : r_(r) {}
    std::vector<std::string> Names() override { return {"recorder"}; }
    std::unique_ptr<MidiOut> Open(int32_t device) override {
        return device <= 0 ? std::make_unique<RecordingOut>(r_) : nullptr;
    }

private:
    Recording& r_;
};

inline std::string vlq(uint32_t n) {
    std::string r(1, static_cast<char>(n & 0x7F));
    while (n >>= 7) r.insert(r.begin(), static_cast<char>(0x80 | (n & 0x7F)));
    return r;
}

// Division 1000 at tempo 1000000: one tick is one millisecond.
inline std::string song(const std::vector<std::pair<uint32_t, std::string>>& events) {
    std::string t = vlq(0) + std::string("\xFF\x51\x03\x0F\x42\x40", 6);
    for (const auto& [delta, bytes] : events) t += vlq(delta) + bytes;
    const uint32_t n = static_cast<uint32_t>(t.size());
    std::string f = std::string("MThd\0\0\0\x06\0\0\0\x01\x03\xE8", 14) + "MTrk";
    for (int i = 3; i >= 0; --i) f += static_cast<char>(n >> (8 * i));
    return f + t;
}

inline const std::string kNoteOn = "\x90\x3C\x64", kNoteOff = std::string("\x80\x3C\x00", 3), kVolume = "\xB0\x07\x64",
                  kProgram = "\xC0\x05", kEnd = std::string("\xFF\x2F\x00", 3);
inline const std::string kGsReset = std::string("\xF0\x0A\x41\x10\x42\x12\x40\x00\x7F\x00\x41\xF7", 12);

