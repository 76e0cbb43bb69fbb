// Typed tables, game (kind 0) and status (kind 1) sets.
#include "files/db_table.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (uint8_t kind : {uint8_t(0), uint8_t(1)}) {
        TMemoryStream s = InputStream(data, size);
        TDBManager m;
        Refusable([&] {
            m.LoadFromStream(s, kind);
            TMemoryStream out;
            m.SaveToStream(out, kind);
        });
    }
    return 0;
}
