// Saved command state: the first byte picks the command kind, the rest is
// the state a game save keeps for the command that was running.
#include "engine/page.h"
#include "fuzz/fuzz_support.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static TPage* page = new TPage();
    const uint8_t opcode = static_cast<uint8_t>(data[0] % kOpcodeCount);
    std::unique_ptr<TCommand> command = page->CreateCommand(opcode);
    if (!command) return 0;
    TMemoryStream s = InputStream(data + 1, size - 1);
    Refusable([&] {
        command->LoadState(s);
        std::unique_ptr<TMemoryStream> out;
        command->SaveState(out);
    });
    return 0;
}
