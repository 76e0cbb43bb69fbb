// The standard MIDI file reader: a format 0 or 1 file with a ticks-per-
// quarter-note division becomes one flat list of events sorted by time,
// each with its time in milliseconds, which the MIDI player walks.
#pragma once
#include "platform/filesystem/stream.h"

#include <cstdint>
#include <span>
#include <vector>

// What an event is, for the player.
enum TMidiEventKind : uint8_t { MidiChannelKind = 0, MidiSysExKind = 1, MidiMetaKind = 2 };

// Class codes of events (the player relies on note on/off, control change,
// the GS reset and tempo; the reader on end of track).
enum TMidiEventClass : uint8_t {
    MidiOtherSysEx = 0,
    MidiNoteOn = 1,
    MidiNoteOff = 2,
    MidiKeyPressure = 3,
    MidiControlChange = 4,
    MidiProgramChange = 5,
    MidiChannelPressure = 6,
    MidiPitchBend = 7,
    MidiGsReset = 8,
    MidiTempo = 9,
    MidiTextFirst = 10,  // meta types 0x00 .. 0x07 are 10 .. 17
    MidiEndOfTrack = 18,
    MidiOtherMeta = 19,  // a meta type the player has no use for
    MidiTimeSignature = 20,
    MidiKeySignature = 21,
};

// Absolute tick, time in ms and delta ticks from the previous event of the
// same track.
struct TMidiStdData {
    int32_t Tick = 0;
    int32_t Time = 0;
    int32_t Delta = 0;
};

struct TMidiMsgEvent : TMidiStdData {
    int32_t Sequence = 0;  // order of reading across the whole file
    // Status byte first: a channel message with its data bytes (also when the
    // file used running status), a SysEx with its bytes as in the file, a meta
    // event as FF, type, data. The bytes live in the reader's pool.
    const uint8_t* Bytes = nullptr;
    int32_t Length = 0;
    uint8_t Kind = MidiChannelKind;
    uint8_t Class = MidiOtherSysEx;
    int32_t Track = 0;

    std::span<const uint8_t> Data() const { return {Bytes, static_cast<size_t>(Length)}; }
    // Byte 0 in bits 0-7, byte 1 in 8-15, byte 2 (when there is one) in 16-23.
    uint32_t GetShortMessage() const;
    // Microseconds per quarter note of a tempo event; -1 for any other event.
    int32_t GetTempo() const;
};

// The class code of an event from its bytes.
uint8_t MidiEventClass(std::span<const uint8_t> data);

class TMidiV {
public:
    TMidiV() = default;
    virtual ~TMidiV() = default;
    TMidiV(const TMidiV&) = delete;
    TMidiV& operator=(const TMidiV&) = delete;

    // Replaces the event list by the events of the file at the stream's
    // position. A stream that is not such a file (no header, a division of
    // 0 or in SMPTE frames) gives an empty list. A track that is cut short
    // (by its chunk, by the file's end or by a length that runs past
    // either) ends where its last whole event ends.
    virtual void LoadFromStream(TStream& stream);

    int32_t Format() const { return FFormat; }
    int32_t TrackCount() const { return FTrackCount; }
    int32_t Division() const { return FDivision; }
    int32_t EventCount() const { return static_cast<int32_t>(FEvents.size()); }
    const TMidiMsgEvent& Event(int32_t index) const { return FEvents[static_cast<size_t>(index)]; }
    const std::vector<TMidiMsgEvent>& Events() const { return FEvents; }
    // The time of the last event.
    int32_t LengthMs() const { return FLengthMs; }

protected:
    std::vector<TMidiMsgEvent> FEvents;

private:
    bool read_header(class FieldReader& r);
    void read_track(class FieldReader& r, int32_t track);
    void sort_events();
    void compute_times();

    int32_t FFormat = 0;
    int32_t FTrackCount = 0;
    int32_t FDivision = 0;
    int32_t FLengthMs = 0;
    int32_t FSequence = 0;
    uint8_t FRunningStatus = 0;
    std::vector<uint8_t> FPool;
    std::vector<uint32_t> FOffsets;  // of each event's bytes in the pool, while loading
    std::vector<uint8_t> FChunk;
};
