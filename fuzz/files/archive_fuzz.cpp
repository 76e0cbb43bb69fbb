// Archive directories and the entries they describe.
#include "files/big_stream.h"
#include "files/vr_file_collection.h"
#include "fuzz/fuzz_support.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TVrFileCollection c;
    auto source = std::make_unique<TWzBigMemoryStream>();
    if (size) source->Write(data, static_cast<int64_t>(size));
    source->SetPosition(0);
    c.Source = std::move(source);
    Refusable([&] { c.ReadDirectory(*c.Source); });
    // The entries of an accepted directory unpack or are refused.
    for (int i = 0; i < c.Count() && i < 8; ++i) {
        TVrFile* e = c.GetEntry(i);
        if (!e || e->GetName() == kVrSentinelName) continue;
        Refusable([&] {
            TMemoryStream out;
            c.LoadEntry(*e, out);
        });
    }
    return 0;
}
