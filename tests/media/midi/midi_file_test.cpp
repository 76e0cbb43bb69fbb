#include "media/midi/midi_file.h"
#include "tests/support/file_bytes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {
const std::string kDir = std::string(VORQ_TEST_DATA) + "/midi/";

void load(TMidiV& m, const std::string& bytes) {
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    m.LoadFromStream(s);
}

std::string hex(std::span<const uint8_t> d) {
    std::string r;
    char b[3];
    for (uint8_t c : d) {
        std::snprintf(b, sizeof b, "%02x", c);
        r += b;
    }
    return r;
}

std::string vlq(uint32_t n) {
    std::string r(1, static_cast<char>(n & 0x7F));
    while (n >>= 7) r.insert(r.begin(), static_cast<char>(0x80 | (n & 0x7F)));
    return r;
}

std::string be(uint32_t v, int n) {
    std::string r;
    for (int i = n - 1; i >= 0; --i) r += static_cast<char>(v >> (8 * i));
    return r;
}

std::string smf(uint16_t division, const std::vector<std::string>& tracks, uint16_t declared = 0xFFFF) {
    std::string f = "MThd" + be(6, 4) + be(tracks.size() > 1, 2) +
                     be(declared == 0xFFFF ? tracks.size() : declared, 2) + be(division, 2);
    for (const auto& t : tracks) f += "MTrk" + be(static_cast<uint32_t>(t.size()), 4) + t;
    return f;
}

const std::string kEnd = std::string("\x00\xFF\x2F\x00", 4);

struct GoldenEvent {
    int32_t tick, time, track;
    int64_t exact_us;  // mido's tick2second
    std::string bytes;
};

std::vector<GoldenEvent> golden(const std::string& name) {
    std::ifstream in(kDir + name + ".events");
    std::vector<GoldenEvent> out;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream ls(line);
        GoldenEvent g;
        ls >> g.tick >> g.time >> g.track >> g.exact_us >> g.bytes;
        out.push_back(g);
    }
    return out;
}

const char* const kGoldenFiles[] = {"tempo", "running", "two_tracks", "random1", "random2", "sequencer", "drift"};
}  // namespace

// Files written by mido and hand-made bytes; ticks and bytes as mido and
// midicsv read them, times by the player's rule.
TEST(MidiFile, EventsTicksBytesAndTimesMatchTheGoldenLists) {
    for (const char* name : kGoldenFiles) {
        SCOPED_TRACE(name);
        TMidiV m;
        load(m, ReadFileBytes(kDir + name + ".mid"));
        const std::vector<GoldenEvent> want = golden(name);
        ASSERT_EQ(m.EventCount(), static_cast<int32_t>(want.size()));
        for (int32_t i = 0; i < m.EventCount(); ++i) {
            const TMidiMsgEvent& e = m.Event(i);
            EXPECT_EQ(e.Tick, want[i].tick) << i;
            EXPECT_EQ(e.Time, want[i].time) << i;
            EXPECT_EQ(e.Track, want[i].track) << i;
            EXPECT_EQ(hex(e.Data()), want[i].bytes) << i;
            EXPECT_EQ(e.Class, MidiEventClass(e.Data()));
        }
        EXPECT_EQ(m.LengthMs(), m.Event(m.EventCount() - 1).Time);
    }
}

// A sequencer's song goes on in running status after an empty text event,
// a marker and a SysEx; midicsv reads it whole, and so must the player.
TEST(MidiFile, RunningStatusOutlivesMetaAndSysExEvents) {
    TMidiV m;
    load(m, ReadFileBytes(kDir + "sequencer.mid"));
    ASSERT_EQ(m.EventCount(), static_cast<int32_t>(golden("sequencer").size()));
    int32_t notes = 0;
    for (const auto& e : m.Events()) notes += e.Class == MidiNoteOn || e.Class == MidiNoteOff;
    EXPECT_EQ(notes, 61);
    EXPECT_EQ(m.Event(m.EventCount() - 1).Class, MidiEndOfTrack);
    EXPECT_EQ(m.Event(m.EventCount() - 1).Track, 1);
}

// Every event's time is the exact time rounded once: within half a
// millisecond of mido's, however long the song (a note every tick would
// drift by 0.2 ms an event if the running sum were rounded).
TEST(MidiFile, EventTimesStayWithinHalfAMillisecondOfExact) {
    for (const char* name : kGoldenFiles) {
        SCOPED_TRACE(name);
        TMidiV m;
        load(m, ReadFileBytes(kDir + name + ".mid"));
        const std::vector<GoldenEvent> want = golden(name);
        ASSERT_EQ(m.EventCount(), static_cast<int32_t>(want.size()));
        for (int32_t i = 0; i < m.EventCount(); ++i)
            ASSERT_LE(std::abs(int64_t{m.Event(i).Time} * 1000 - want[i].exact_us), 501) << i;
    }
}

// The worked examples are exact against mido's tick2second.
TEST(MidiFile, TempoExamplesAreExact) {
    TMidiV m;
    load(m, ReadFileBytes(kDir + "tempo.mid"));
    ASSERT_EQ(m.EventCount(), 6);
    EXPECT_EQ(m.Division(), 480);
    const int32_t want[][2] = {{480, 500}, {960, 1000}, {1440, 1250}};
    for (auto [tick, ms] : want) {
        for (const auto& e : m.Events()) {
            if (e.Tick == tick) {
                EXPECT_EQ(e.Time, ms) << tick;
            }
        }
    }
    EXPECT_EQ(m.Event(0).GetTempo(), 500000);
    EXPECT_EQ(m.Event(2).GetTempo(), 250000);
    EXPECT_EQ(m.Event(1).GetTempo(), -1);
}

TEST(MidiFile, ClassesRunningStatusAndShortMessages) {
    TMidiV m;
    load(m, ReadFileBytes(kDir + "running.mid"));
    struct Want {
        uint8_t cls, kind;
        uint32_t short_msg;
        int32_t length;
    } want[] = {
        {MidiGsReset, MidiSysExKind, 0x1041F0, 11},
        {MidiNoteOn, MidiChannelKind, 0x643C90, 3},
        {MidiNoteOn, MidiChannelKind, 0x644090, 3},   // running status
        {MidiNoteOff, MidiChannelKind, 0x003C90, 3},  // velocity 0
        {MidiTextFirst + 1, MidiMetaKind, 0x0001FF, 202},
        {MidiControlChange, MidiChannelKind, 0x6407B0, 3},
        {MidiControlChange, MidiChannelKind, 0x400AB0, 3},
        {MidiProgramChange, MidiChannelKind, 0x05C1, 2},
        {MidiPitchBend, MidiChannelKind, 0x4000E2, 3},
        {MidiEndOfTrack, MidiMetaKind, 0x2FFF, 2},
    };
    ASSERT_EQ(m.EventCount(), static_cast<int32_t>(std::size(want)));
    for (int32_t i = 0; i < m.EventCount(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(m.Event(i).Class, want[i].cls);
        EXPECT_EQ(m.Event(i).Kind, want[i].kind);
        EXPECT_EQ(m.Event(i).GetShortMessage(), want[i].short_msg);
        EXPECT_EQ(m.Event(i).Length, want[i].length);
        EXPECT_EQ(m.Event(i).Sequence, i);
    }
}

TEST(MidiFile, SameTickEventsKeepTrackOrder) {
    TMidiV m;
    load(m, ReadFileBytes(kDir + "two_tracks.mid"));
    std::vector<std::pair<int32_t, int32_t>> order;
    for (const auto& e : m.Events()) order.push_back({e.Tick, e.Track});
    EXPECT_EQ(order, (std::vector<std::pair<int32_t, int32_t>>{{0, 0}, {100, 0}, {100, 0}, {100, 1}, {100, 1}}));
}

// Damaged or hostile files end or are refused: never a hang, a crash or an
// allocation sized by a stored number.
TEST(MidiFile, BadFilesAreRefusedOrEnded) {
    const std::string note = std::string("\x00\x90\x3C\x40", 4);
    struct Case {
        const char* what;
        std::string file;
        int32_t events;
    } cases[] = {
        {"no header", "RIFF" + smf(96, {note + kEnd}).substr(4), 0},
        {"division 0", smf(0, {note + kEnd}), 0},
        {"SMPTE division", smf(0xE728, {note + kEnd}), 0},
        {"huge meta length", smf(96, {note + std::string("\x00\xFF\x01", 3) + vlq(0x0FFFFFFF) + "abc"}), 1},
        {"huge SysEx length", smf(96, {note + std::string("\x00\xF0", 2) + vlq(0x0FFFFFFF) + "abc"}), 1},
        {"five-byte length", smf(96, {note + std::string("\x00\xFF\x01\x81\x81\x81\x81\x01", 8)}), 1},
        {"no end of track", smf(96, {note + note}), 2},
        {"data byte before any status", smf(96, {std::string("\x00\x3C\x40", 3) + kEnd}), 0},
        {"second track opens with data bytes", smf(96, {note + kEnd, std::string("\x00\x3E\x40", 3) + kEnd, note + kEnd}),
         4},
        {"chunk longer than the file", "MThd" + be(6, 4) + be(0, 2) + be(1, 2) + be(96, 2) + "MTrk" +
                                           be(0x7FFFFFFF, 4) + note + note, 2},
        {"track runs past its chunk", "MThd" + be(6, 4) + be(1, 2) + be(2, 2) + be(96, 2) + "MTrk" + be(6, 4) +
                                          note + note + kEnd, 1},
        {"more tracks declared than present", smf(96, {note + kEnd}, 60000), 2},
        {"foreign chunk skipped", "MThd" + be(6, 4) + be(0, 2) + be(1, 2) + be(96, 2) + "XFIH" + be(3, 4) +
                                      "abc" + "MTrk" + be(8, 4) + note + kEnd, 2},
        {"long header", "MThd" + be(8, 4) + be(0, 2) + be(1, 2) + be(96, 2) + "xx" + "MTrk" + be(8, 4) + note + kEnd,
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TMidiV m;
        load(m, c.file);
        EXPECT_EQ(m.EventCount(), c.events);
    }
}

TEST(MidiFile, EveryPrefixAndReplacedByteLoadsWithoutFault) {
    for (const char* name : {"running", "two_tracks", "random1"}) {
        const std::string f = ReadFileBytes(kDir + name + ".mid");
        TMidiV m;
        for (size_t n = 0; n < f.size(); ++n) {
            load(m, f.substr(0, n));
            ASSERT_LE(m.EventCount(), static_cast<int32_t>(n / 2));
        }
        if (f.size() > 1000) continue;  // prefixes only for the large file
        for (size_t i = 0; i < f.size(); ++i)
            for (uint8_t b : {0x00, 0x7F, 0x80, 0xF0, 0xFF}) {
                std::string d = f;
                d[i] = static_cast<char>(b);
                load(m, d);
                ASSERT_LE(m.EventCount(), static_cast<int32_t>(d.size() / 2));
                for (const auto& e : m.Events()) ASSERT_GE(e.Length, 1);
            }
    }
}
