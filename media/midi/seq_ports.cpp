#include "media/midi/seq_ports.h"

#include "platform/text/codepage.h"

#include <alsa/asoundlib.h>

#include <mutex>

namespace {

// Without a sequencer device the library reports every failed open on
// standard error; the player simply lists no ports then.
void quiet(const char*, int, const char*, int, const char*, ...) {}

snd_seq_t* open_sequencer() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(quiet); });
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, 0) < 0) return nullptr;
    snd_seq_set_client_name(seq, "vorqplayer");
    return seq;
}

std::string device_name(const char* utf8) {
    std::string n = Utf8ToCp932(utf8 ? utf8 : "");
    if (n.size() <= 31) return n;
    // Cut before a double-byte character's lead byte, never inside one.
    size_t keep = 0;
    while (keep < n.size()) {
        const size_t width = IsDBCSLeadByte(n[keep]) && keep + 1 < n.size() ? 2 : 1;
        if (keep + width > 31) break;
        keep += width;
    }
    return n.substr(0, keep);
}

class SeqOut : public MidiOut {
public:
    SeqOut(snd_seq_t* seq, int port, snd_midi_event_t* parser) : seq_(seq), port_(port), parser_(parser) {}
    ~SeqOut() override {
        snd_midi_event_free(parser_);
        snd_seq_close(seq_);
    }
    void ShortMessage(uint32_t message) override {
        const std::vector<uint8_t> b = ShortMessageBytes(message);
        snd_seq_event_t ev;
        snd_seq_ev_clear(&ev);
        snd_midi_event_reset_encode(parser_);
        if (snd_midi_event_encode(parser_, b.data(), static_cast<long>(b.size()), &ev) <= 0 ||
            ev.type == SND_SEQ_EVENT_NONE)
            return;
        send(ev);
    }
    void LongMessage(std::span<const uint8_t> bytes) override {
        if (bytes.empty()) return;
        snd_seq_event_t ev;
        snd_seq_ev_clear(&ev);
        snd_seq_ev_set_sysex(&ev, static_cast<unsigned>(bytes.size()), const_cast<uint8_t*>(bytes.data()));
        send(ev);
    }
    void Reset() override {
        // Every voice off and every controller back, on every channel.
        for (uint32_t ch = 0; ch < 16; ++ch) {
            ShortMessage(0xB0 | ch | (123u << 8));
            ShortMessage(0xB0 | ch | (121u << 8));
        }
    }

private:
    void send(snd_seq_event_t& ev) {
        snd_seq_ev_set_source(&ev, port_);
        snd_seq_ev_set_subs(&ev);
        snd_seq_ev_set_direct(&ev);
        snd_seq_event_output_direct(seq_, &ev);
    }
    snd_seq_t* seq_;
    int port_;
    snd_midi_event_t* parser_;
};

}  // namespace

std::vector<uint8_t> ShortMessageBytes(uint32_t message) {
    const uint8_t status = message & 0xFF;
    const uint8_t d1 = (message >> 8) & 0x7F, d2 = (message >> 16) & 0x7F;
    if (status < 0x80) return {};
    if (status < 0xF0) {
        const uint8_t kind = status >> 4;
        if (kind == 0xC || kind == 0xD) return {status, d1};
        return {status, d1, d2};
    }
    switch (status) {
    case 0xF1: case 0xF3: return {status, d1};
    case 0xF2: return {status, d1, d2};
    case 0xF0: case 0xF7: return {};  // SysEx goes as a long message
    default: return {status};
    }
}

std::vector<TSeqPort> ListSeqPorts() {
    std::vector<TSeqPort> out;
    snd_seq_t* seq = open_sequencer();
    if (!seq) return out;
    const int self = snd_seq_client_id(seq);
    snd_seq_client_info_t* client;
    snd_seq_port_info_t* port;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(seq, client) >= 0) {
        const int id = snd_seq_client_info_get_client(client);
        if (id == self || id == SND_SEQ_CLIENT_SYSTEM) continue;
        snd_seq_port_info_set_client(port, id);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(seq, port) >= 0) {
            const unsigned caps = snd_seq_port_info_get_capability(port);
            const unsigned need = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
            if ((caps & need) != need || (caps & SND_SEQ_PORT_CAP_NO_EXPORT)) continue;
            if (!(snd_seq_port_info_get_type(port) & SND_SEQ_PORT_TYPE_MIDI_GENERIC)) continue;
            out.push_back({id, snd_seq_port_info_get_port(port), device_name(snd_seq_port_info_get_name(port))});
        }
    }
    snd_seq_close(seq);
    return out;
}

std::unique_ptr<MidiOut> OpenSeqPort(const TSeqPort& target) {
    snd_seq_t* seq = open_sequencer();
    if (!seq) return nullptr;
    const int port = snd_seq_create_simple_port(seq, "out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                                SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    snd_midi_event_t* parser = nullptr;
    if (port < 0 || snd_seq_connect_to(seq, port, target.Client, target.Port) < 0 ||
        snd_midi_event_new(16, &parser) < 0) {
        snd_seq_close(seq);
        return nullptr;
    }
    snd_midi_event_no_status(parser, 1);  // every message carries its own status
    return std::make_unique<SeqOut>(seq, port, parser);
}
