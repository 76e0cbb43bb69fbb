// The event queue as a game save keeps it, current and old layout.
#include "fuzz/fuzz_support.h"
#include "fuzz/scene_fixture.h"
#include "objects/timer_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TVorqBaseList& reg = FuzzRegistry();
    for (int32_t version : {130, 113}) {
        TMemoryStream s = InputStream(data, size);
        TTimerList q(&reg);
        Refusable([&] {
            q.LoadFromStream(s, version);
            TMemoryStream out;
            q.SaveToStream(out);
        });
    }
    return 0;
}
