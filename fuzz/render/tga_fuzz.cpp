// TGA files, with and without their alpha channel.
#include "fuzz/fuzz_support.h"
#include "render/dib_surface.h"
#include "render/tga.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (bool alpha : {false, true}) {
        TMemoryStream s = InputStream(data, size);
        TDIBSurface d;
        Refusable([&] { LoadTGA(d, s, alpha); });
    }
    return 0;
}
