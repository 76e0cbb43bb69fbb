// Standard MIDI files, read and timed as the MIDI player loads them.
#include "fuzz/fuzz_support.h"
#include "media/midi/midi_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream s = InputStream(data, size);
    TMidiV m;
    Refusable([&] {
        m.LoadFromStream(s);
        // Every event's bytes are read, as the player sends them.
        uint32_t sum = 0;
        for (const auto& e : m.Events()) sum += e.GetShortMessage() + static_cast<uint32_t>(e.GetTempo());
        (void)sum;
    });
    return 0;
}
