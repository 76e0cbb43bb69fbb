// PNG pictures, through the layered-image reader and the surface loader.
#include "fuzz/fuzz_support.h"
#include "render/dibx.h"
#include "render/tesk.h"
#include "tests/support/plain_dibx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        TMemoryStream s = InputStream(data, size);
        TTeskFrameList list;
        Refusable([&] { list.LoadAnyFromStream(s, false); });
    }
    {
        TMemoryStream s = InputStream(data, size);
        TPlainDIBX d(1, 1, 16);
        Refusable([&] { LoadSurfaceFromStream(d, &s, 0); });
    }
    return 0;
}
