// Archive directories and the entries they describe, read strictly (game
// archives) and salvaging (a damaged save file, its entries checked against
// their checksums and, with the save file's names, looked for by them when
// its head, entry count or a name length is spoilt).
#include "engine/game_save.h"
#include "files/big_stream.h"
#include "files/vr_file_collection.h"
#include "fuzz/fuzz_support.h"

#include <cstdlib>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (const int mode : {0, 1, 2}) {
        TVrFileCollection c;
        auto source = std::make_unique<TWzBigMemoryStream>();
        if (size) source->Write(data, static_cast<int64_t>(size));
        source->SetPosition(0);
        c.Source = std::move(source);
        Refusable([&] {
            if (mode == 0) {
                c.ReadDirectory(*c.Source);
            } else {
                TVrSalvageReport report = c.SalvageDirectory(*c.Source, -1, mode == 2 ? &SaveEntryNames() : nullptr);
                c.CheckEntries(report);
            }
        });
        // The entries of an accepted directory lie inside the data and
        // unpack or are refused.
        for (int i = 0; i < c.Count() && i < 8; ++i) {
            TVrFile* e = c.GetEntry(i);
            if (!e || e->GetName() == kVrSentinelName) continue;
            if (e->Offset < 0 || e->Size < 0 || e->Offset + e->Size > static_cast<int64_t>(size)) std::abort();
            Refusable([&] {
                TMemoryStream out;
                c.LoadEntry(*e, out);
            });
        }
    }
    return 0;
}
