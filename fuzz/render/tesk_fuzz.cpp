// Layered images, plain and scrambled, with their masks made.
#include "fuzz/fuzz_support.h"
#include "render/tesk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (uint32_t id : {0u, 5u}) {
        TMemoryStream s = InputStream(data, size);
        TTeskFrameList list(id);
        Refusable([&] {
            list.LoadFromStream(s, false);
            list.MakeMasks();
        });
    }
    return 0;
}
