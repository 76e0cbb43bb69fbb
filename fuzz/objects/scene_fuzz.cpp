// Scene records: both layers with their object trees as a game save keeps
// them, read under the current and an old version, then one update and
// one drawing pass over what was read.
#include "fuzz/fuzz_support.h"
#include "fuzz/scene_fixture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TVorqBaseList& reg = FuzzRegistry();
    for (int32_t version : {130, 104}) {
        reg.ResetScene();
        TMemoryStream s = InputStream(data, size);
        Refusable([&] {
            reg.GetBaseAt(0)->LoadFromStream(s, version);
            reg.GetBaseAt(1)->LoadFromStream(s, version);
        });
        Refusable([&] {
            reg.Update();
            reg.Draw();
        });
    }
    reg.ResetScene();
    return 0;
}
