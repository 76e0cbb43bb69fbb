// save.dat as the player reads it at start and writes it at the next save
// (TSaveFile): the directory salvaged, every entry checked once, the slot
// captions, each whole entry loaded; then the next file built from it and
// read back, which must hold every whole entry unchanged and no damage.
// The input is a count byte n, n bit positions (u32, little-endian) and a
// save.dat: the file is read as it is, then with those bits flipped, and
// an entry of the damaged file that loads, or that the next file carries,
// must hold what it held before the damage. An input that begins with the
// archive's tag "vf" (a kept finding) is a save.dat without damage.
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

// The content of every entry the file shows whole (the slots with their
// captions, the status).
std::map<std::string, std::string> whole_entries(TSaveFile& save) {
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
    return whole;
}

// An entry that holds other bytes than before the damage.
void check_unchanged(const std::map<std::string, std::string>& now, const std::map<std::string, std::string>& before) {
    for (const auto& [entry, bytes] : now)
        if (const auto at = before.find(entry); at != before.end() && at->second != bytes) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool plain = size >= 2 && data[0] == 'v' && data[1] == 'f';
    const size_t flips = plain ? 0 : data[0];
    const size_t head = plain ? 0 : 1 + flips * 4;
    if (size < head) return 0;
    const uint8_t* file = data + head;
    const size_t file_size = size - head;
    std::map<std::string, std::string> before;
    {
        TSaveFile original("");
        original.ReadImage(big_stream(file, file_size));
        before = whole_entries(original);
    }
    std::string damaged(reinterpret_cast<const char*>(file), file_size);
    for (size_t i = 0; i < flips && !damaged.empty(); ++i) {
        const uint8_t* p = data + 1 + i * 4;
        const uint32_t bit = static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
        const size_t at = (bit / 8) % damaged.size();
        damaged[at] = static_cast<char>(damaged[at] ^ (1 << (bit % 8)));
    }
    TSaveFile save("");
    save.ReadImage(big_stream(damaged.data(), damaged.size()));
    std::map<std::string, std::string> whole = whole_entries(save);
    check_unchanged(whole, before);
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
    before[name] = bytes_of(added);
    check_unchanged(whole_entries(next), before);
    return 0;
}
