#include "media/midi/midi_file.h"

#include "files/field_reader.h"
#include "platform/text/codepage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {
// The GS reset SysEx, recognised only whole.
constexpr uint8_t kGsReset[] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};

const std::string& corrupt_message() {
    static const std::string m = Sjis("MIDIデータが不正です");
    return m;
}

// Reads a track's bytes: big-endian numbers, variable-length quantities and
// raw runs, each checked against the end of the chunk.
class TMidiStream {
public:
    TMidiStream(const uint8_t* p, size_t n) : p_(p), end_(p + n) {}
    bool AtEnd() const { return p_ >= end_; }
    uint8_t Byte() {
        if (p_ >= end_) throw ECorruptData(corrupt_message());
        return *p_++;
    }
    void Back() { --p_; }
    // At most four bytes, as the file format allows, so the value fits 28 bits.
    uint32_t VarLen() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const uint8_t b = Byte();
            v = v << 7 | (b & 0x7Fu);
            if (!(b & 0x80)) return v;
        }
        throw ECorruptData(corrupt_message());
    }
    const uint8_t* Raw(uint32_t n) {
        if (n > static_cast<size_t>(end_ - p_)) throw ECorruptData(corrupt_message());
        const uint8_t* at = p_;
        p_ += n;
        return at;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

uint32_t big_endian(const uint8_t* b, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | b[i];
    return v;
}
}  // namespace

uint8_t MidiEventClass(std::span<const uint8_t> d) {
    if (d.empty()) return MidiOtherSysEx;
    const uint8_t status = d[0];
    if (status == 0xFF) {
        if (d.size() < 2) return MidiOtherMeta;
        const uint8_t type = d[1];
        if (type <= 0x07) return static_cast<uint8_t>(MidiTextFirst + type);
        switch (type) {
        case 0x2F: return MidiEndOfTrack;
        case 0x51: return MidiTempo;
        case 0x58: return MidiTimeSignature;
        case 0x59: return MidiKeySignature;
        default: return MidiOtherMeta;
        }
    }
    if (status == 0xF0 || status == 0xF7) {
        if (d.size() == sizeof kGsReset && std::memcmp(d.data(), kGsReset, sizeof kGsReset) == 0) return MidiGsReset;
        return MidiOtherSysEx;
    }
    switch (status >> 4) {
    case 0x8: return MidiNoteOff;
    case 0x9: return d.size() >= 3 && d[2] != 0 ? MidiNoteOn : MidiNoteOff;
    case 0xA: return MidiKeyPressure;
    case 0xB: return MidiControlChange;
    case 0xC: return MidiProgramChange;
    case 0xD: return MidiChannelPressure;
    case 0xE: return MidiPitchBend;
    }
    return MidiOtherSysEx;
}

uint32_t TMidiMsgEvent::GetShortMessage() const {
    uint32_t m = 0;
    if (Length >= 1) m |= Bytes[0];
    if (Length >= 2) m |= uint32_t(Bytes[1]) << 8;
    if (Length >= 3) m |= uint32_t(Bytes[2]) << 16;
    return m;
}

int32_t TMidiMsgEvent::GetTempo() const {
    // A tempo event too short to hold its three bytes is no tempo.
    if (Length < 5 || Bytes[0] != 0xFF || Bytes[1] != 0x51) return -1;
    return static_cast<int32_t>(big_endian(Bytes + 2, 3));
}

void TMidiV::LoadFromStream(TStream& stream) {
    FEvents.clear();
    FPool.clear();
    FOffsets.clear();
    FSequence = 0;
    FLengthMs = 0;
    FieldReader r(stream, corrupt_message());
    try {
        if (read_header(r))
            for (int32_t track = 0; track < FTrackCount && !r.AtEnd(); ++track) read_track(r, track);
    } catch (const ECorruptData&) {
        // A file cut inside its chunk framing keeps the tracks read whole.
    }
    for (size_t i = 0; i < FEvents.size(); ++i) FEvents[i].Bytes = FPool.data() + FOffsets[i];
    FOffsets.clear();
    sort_events();
    compute_times();
}

bool TMidiV::read_header(FieldReader& r) {
    FFormat = FTrackCount = FDivision = 0;
    if (r.Remaining() < 14 || r.Fixed(4, "header id") != "MThd") return false;
    uint8_t b[10];
    r.Bytes(b, sizeof b, "header");
    const uint32_t length = big_endian(b, 4);
    FFormat = static_cast<int32_t>(big_endian(b + 4, 2));
    FTrackCount = static_cast<int32_t>(big_endian(b + 6, 2));
    FDivision = static_cast<int32_t>(big_endian(b + 8, 2));
    // Times are computed from ticks per quarter note: a division of 0 would
    // divide by zero and SMPTE frames (high bit) are another unit; such a
    // file plays nothing.
    if (FDivision == 0 || (FDivision & 0x8000)) {
        FDivision = 0;
        return false;
    }
    if (length > 6) r.Skip(std::min<int64_t>(length - 6, r.Remaining()), "header rest");
    return true;
}

void TMidiV::read_track(FieldReader& r, int32_t track) {
    // Chunks of other kinds among the tracks are skipped by their length.
    uint32_t length = 0;
    for (;;) {
        if (r.Remaining() < 8) return;
        const std::string id = r.Fixed(4, "chunk id");
        uint8_t b[4];
        r.Bytes(b, 4, "chunk length");
        length = big_endian(b, 4);
        if (id == "MTrk") break;
        r.Skip(std::min<int64_t>(length, r.Remaining()), "chunk");
    }
    // A chunk claiming more than the file holds ends at the file's end.
    const size_t n = static_cast<size_t>(std::min<int64_t>(length, r.Remaining()));
    FChunk.resize(n);
    r.Bytes(FChunk.data(), n, "track");

    TMidiStream s(FChunk.data(), n);
    int32_t tick = 0;
    // Running status never crosses a track boundary: a track that opens
    // with data bytes has no status to lend them.
    FRunningStatus = 0;
    try {
        while (!s.AtEnd()) {
            const int32_t delta = static_cast<int32_t>(s.VarLen());
            uint8_t status = s.Byte();
            if (status < 0x80) {
                // Running status; with none yet the byte means nothing.
                if (FRunningStatus < 0x80) return;
                status = FRunningStatus;
                s.Back();
            }
            // Only channel messages set the running status: files written by
            // common sequencers go on with it across meta and SysEx events.
            if (status < 0xF0) FRunningStatus = status;
            const size_t start = FPool.size();
            uint8_t kind = MidiChannelKind;
            switch (status >> 4) {
            case 0x8: case 0x9: case 0xA: case 0xB: case 0xE: {
                const uint8_t* d = s.Raw(2);
                FPool.insert(FPool.end(), {status, d[0], d[1]});
                break;
            }
            case 0xC: case 0xD:
                FPool.insert(FPool.end(), {status, s.Byte()});
                break;
            default:
                if (status == 0xFF) {
                    kind = MidiMetaKind;
                    const uint8_t type = s.Byte();
                    const uint32_t len = s.VarLen();
                    const uint8_t* d = s.Raw(len);
                    FPool.push_back(0xFF);
                    FPool.push_back(type);
                    FPool.insert(FPool.end(), d, d + len);
                } else if (status == 0xF0 || status == 0xF7) {
                    kind = MidiSysExKind;
                    const uint32_t len = s.VarLen();
                    const uint8_t* d = s.Raw(len);
                    FPool.push_back(status);
                    FPool.insert(FPool.end(), d, d + len);
                } else {
                    // System common and real-time bytes have no place in a file.
                    return;
                }
            }
            // Ticks past 2^31 wrap like the stored 32-bit field.
            tick = static_cast<int32_t>(static_cast<uint32_t>(tick) + static_cast<uint32_t>(delta));
            TMidiMsgEvent e;
            e.Tick = tick;
            e.Delta = delta;
            e.Sequence = FSequence++;
            e.Length = static_cast<int32_t>(FPool.size() - start);
            e.Kind = kind;
            e.Class = MidiEventClass({FPool.data() + start, FPool.size() - start});
            e.Track = track;
            FOffsets.push_back(static_cast<uint32_t>(start));
            FEvents.push_back(e);
            if (e.Class == MidiEndOfTrack) return;
        }
    } catch (const ECorruptData&) {
        // The event cut by the chunk's end is dropped; the pool may keep its
        // bytes, which nothing points at.
    }
}

void TMidiV::sort_events() {
    // By tick, ties in reading order. Each track is normally a sorted run
    // already, so the runs are merged pairwise; a track whose ticks wrapped
    // falls back to a full sort.
    auto before = [](const TMidiMsgEvent& a, const TMidiMsgEvent& b) {
        return a.Tick != b.Tick ? a.Tick < b.Tick : a.Sequence < b.Sequence;
    };
    std::vector<size_t> runs;
    for (size_t i = 0; i < FEvents.size(); ++i) {
        if (i == 0 || FEvents[i].Track != FEvents[i - 1].Track) runs.push_back(i);
        else if (FEvents[i].Tick < FEvents[i - 1].Tick) {
            std::stable_sort(FEvents.begin(), FEvents.end(), before);
            return;
        }
    }
    runs.push_back(FEvents.size());
    while (runs.size() > 2) {
        std::vector<size_t> merged;
        for (size_t r = 0; r + 1 < runs.size(); r += 2) {
            merged.push_back(runs[r]);
            if (r + 2 < runs.size())
                std::inplace_merge(FEvents.begin() + static_cast<ptrdiff_t>(runs[r]),
                                   FEvents.begin() + static_cast<ptrdiff_t>(runs[r + 1]),
                                   FEvents.begin() + static_cast<ptrdiff_t>(runs[r + 2]), before);
        }
        merged.push_back(runs.back());
        runs = std::move(merged);
    }
}

namespace {
// n / d rounded to the nearest integer, halves to even (d > 0).
int64_t divide_rounded(int64_t n, int64_t d) {
    int64_t q = n / d;
    int64_t r = n % d;
    if (r < 0) {
        --q;
        r += d;
    }
    if (2 * r > d || (2 * r == d && (q & 1))) ++q;
    return q;
}
}  // namespace

void TMidiV::compute_times() {
    // The running time is kept exact, in microseconds times the division
    // (ticks times tempo), and each event's time is rounded to the
    // millisecond once: rounding the running sum at every event would make
    // long songs drift by seconds. Ticks are sorted, so the sum stays
    // within 2^33 ticks times a 24-bit tempo.
    const int64_t per_ms = int64_t{FDivision} * 1000;
    int64_t tempo = 500000;
    int64_t prev_tick = 0;
    int64_t exact = 0;
    for (TMidiMsgEvent& e : FEvents) {
        exact += (e.Tick - prev_tick) * tempo;
        prev_tick = e.Tick;
        e.Time = static_cast<int32_t>(std::clamp<int64_t>(divide_rounded(exact, per_ms), INT32_MIN, INT32_MAX));
        if (e.Class == MidiTempo) {
            const int32_t next = e.GetTempo();
            if (next != -1) tempo = next;
        }
        FLengthMs = e.Time;
    }
}
