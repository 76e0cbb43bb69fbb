// The backlog as a game save keeps it and the read marks of the status
// save, at the versions that change their layouts.
#include "fuzz/fuzz_support.h"
#include "objects/text/history.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (int32_t version : {130, 123, 112}) {
        TMemoryStream s = InputStream(data, size);
        TVorqNewHistory h;
        Refusable([&] {
            h.LoadFromStream(s, version);
            TMemoryStream out;
            h.SaveToStream(out);
        });
        TMemoryStream r = InputStream(data, size);
        TVorqReadList list;
        Refusable([&] {
            list.LoadFromStream(r, version);
            TMemoryStream out;
            list.SaveToStream(out);
        });
    }
    return 0;
}
