// MIDI output to the system's sequencer ports (hardware synthesizers,
// external instruments, software synthesizers that listen there). They are
// listed after the player's own synthesizer.
#pragma once
#include "media/midi/midi_player.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct TSeqPort {
    int Client = 0;
    int Port = 0;
    std::string Name;  // Shift-JIS, at most 31 bytes as device names are
};

// The ports that take MIDI from other programs, in client then port order;
// empty when the system has no sequencer.
std::vector<TSeqPort> ListSeqPorts();
// An output connected to the port; null when the sequencer or the port
// cannot be opened.
std::unique_ptr<MidiOut> OpenSeqPort(const TSeqPort& port);

// The bytes of a short message as a device receives them: the status and
// its one or two data bytes (none for system real-time messages).
std::vector<uint8_t> ShortMessageBytes(uint32_t message);
