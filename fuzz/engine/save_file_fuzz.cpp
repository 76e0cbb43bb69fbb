// save.dat as the player reads it at start and writes it at the next save
// (TSaveFile): the directory salvaged, every entry checked once, the slot
// captions, each whole entry loaded; then the next file built from it and
// read back, which must hold every whole entry unchanged and no damage.
#include "engine/game_save.h"
#include "engine/save_file.h"
#include "files/big_stream.h"
#include "files/save_stream.h"
#include "fuzz/fuzz_support.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

namespace {
std::unique_ptr<TWzBigMemoryStream> big_stream(const void* data, size_t size) {
    auto s = std::make_unique<TWzBigMemoryStream>();
    if (size) s->Write(data, static_cast<int64_t>(size));
    s->SetPosition(0);
    return s;
}

std::string bytes_of(TMemoryStream& m) {
    return std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.GetSize()));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TSaveFile save("");
    save.ReadImage(big_stream(data, size));
    std::map<std::string, std::string> whole;
    for (const auto& [slot, caption] : save.Captions()) {
        const std::string name = GameSaveEntryName(slot);
        if (save.State(name) != TSaveEntryState::Whole) std::abort();
        TMemoryStream m;
        save.Load(name, m);
        whole[name] = bytes_of(m);
    }
    if (save.State(kStatusEntryName) == TSaveEntryState::Whole) {
        TMemoryStream m;
        save.Load(kStatusEntryName, m);
        whole[kStatusEntryName] = bytes_of(m);
    }
    // A slot as a save writes its head.
    TMemoryStream added;
    WriteStreamInteger(added, static_cast<int32_t>(kGameSaveVersion));
    WriteStreamString(added, "new");
    WriteStreamString(added, "");
    WriteStreamInteger(added, 0);
    const std::string name = GameSaveEntryName(900);
    const TMemoryStream* content = &added;
    TWzBigMemoryStream image;
    save.BuildImage(&name, &content, 1, image);
    whole[name] = bytes_of(added);
    TSaveFile next("");
    next.ReadImage(big_stream(image.Inner().Memory(), static_cast<size_t>(image.Inner().GetSize())));
    if (next.Damaged()) std::abort();
    for (const auto& [entry, bytes] : whole) {
        TMemoryStream m;
        next.Load(entry, m);
        if (bytes_of(m) != bytes) std::abort();
    }
    return 0;
}
