// A message window's saved record: control part, rich-text state, message
// data, fields and the page states read within their length.
#include "fuzz/fuzz_support.h"
#include "fuzz/scene_fixture.h"
#include "objects/text/mes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TVorqBaseList& reg = FuzzRegistry();
    for (int32_t version : {130, 112}) {
        TMemoryStream s = InputStream(data, size);
        Refusable([&] {
            auto* m = new TVorqMes(&reg);
            m->LoadFromStream(s, version);
            TMemoryStream out;
            m->SaveToStream(out);
        });
        reg.ResetScene();
    }
    return 0;
}
