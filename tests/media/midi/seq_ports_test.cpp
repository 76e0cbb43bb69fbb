// Short messages leave for sequencer ports as the bytes a device receives:
// their lengths agree with mido's message table, and ALSA's own MIDI byte
// parser reads them back as the events the player meant.
#include "media/midi/seq_ports.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

TEST(SeqPorts, ShortMessagesHaveTheLengthsOfMidosTable) {
    std::ifstream golden(std::string(VORQ_TEST_DATA) + "/midi/message_lengths.txt");
    int checked = 0;
    for (std::string status_hex; golden >> status_hex;) {
        size_t length = 0;
        golden >> length;
        const uint32_t status = std::stoul(status_hex, nullptr, 16);
        // Data bytes with their top bit set are cut to seven bits.
        const std::vector<uint8_t> b = ShortMessageBytes(status | 0xC5u << 8 | 0x3Au << 16 | 0x77u << 24);
        ASSERT_EQ(b.size(), length) << status_hex;
        const uint8_t want[] = {static_cast<uint8_t>(status), 0x45, 0x3A};
        EXPECT_TRUE(std::equal(b.begin(), b.end(), want)) << status_hex;
        ++checked;
    }
    EXPECT_GT(checked, 100);
    // Running-status data without a status and SysEx are not short messages.
    EXPECT_TRUE(ShortMessageBytes(0x3C).empty());
    EXPECT_TRUE(ShortMessageBytes(0xF0).empty());
}

TEST(SeqPorts, AlsasParserReadsTheBytesAsTheMeantEvents) {
    snd_midi_event_t* parser = nullptr;
    ASSERT_GE(snd_midi_event_new(16, &parser), 0);
    snd_midi_event_no_status(parser, 1);
    const struct {
        uint32_t message;
        snd_seq_event_type_t type;
        int channel, a, b;  // note/param and velocity/value as the event carries them
    } cases[] = {
        {0x643C91, SND_SEQ_EVENT_NOTEON, 1, 0x3C, 0x64},
        {0x003C80, SND_SEQ_EVENT_NOTEOFF, 0, 0x3C, 0},
        {0x2040A2, SND_SEQ_EVENT_KEYPRESS, 2, 0x40, 0x20},
        {0x7F07BF, SND_SEQ_EVENT_CONTROLLER, 15, 7, 127},
        {0x0005C3, SND_SEQ_EVENT_PGMCHANGE, 3, 0, 5},
        {0x0055D4, SND_SEQ_EVENT_CHANPRESS, 4, 0, 0x55},
        {0x4000E5, SND_SEQ_EVENT_PITCHBEND, 5, 0, 0},  // centre: 0x2000 - 8192
        {0x7F7FE5, SND_SEQ_EVENT_PITCHBEND, 5, 0, 8191},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> b = ShortMessageBytes(c.message);
        snd_seq_event_t ev;
        snd_seq_ev_clear(&ev);
        snd_midi_event_reset_encode(parser);
        ASSERT_EQ(snd_midi_event_encode(parser, b.data(), static_cast<long>(b.size()), &ev), long(b.size()))
            << std::hex << c.message;
        EXPECT_EQ(ev.type, c.type) << std::hex << c.message;
        if (c.type == SND_SEQ_EVENT_NOTEON || c.type == SND_SEQ_EVENT_NOTEOFF || c.type == SND_SEQ_EVENT_KEYPRESS) {
            EXPECT_EQ(ev.data.note.channel, c.channel);
            EXPECT_EQ(ev.data.note.note, c.a);
            EXPECT_EQ(ev.data.note.velocity, c.b);
        } else {
            EXPECT_EQ(ev.data.control.channel, c.channel);
            EXPECT_EQ(static_cast<int>(ev.data.control.param), c.a);
            EXPECT_EQ(ev.data.control.value, c.b);
        }
    }
    snd_midi_event_free(parser);
}

}  // namespace
