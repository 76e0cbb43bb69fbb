// BMP/DIB files: every pixel read and one written, then a depth change;
// and the same bytes through the surface loader, which sniffs the format.
#include "fuzz/fuzz_support.h"
#include "render/dib.h"
#include "render/dibx.h"
#include "render/tesk.h"
#include "tests/support/plain_dibx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        TMemoryStream s = InputStream(data, size);
        TDIB d;
        Refusable([&] {
            d.LoadFromStream(s);
            uint32_t sum = 0;
            for (int y = 0; y < d.Height(); ++y)
                for (int x = 0; x < d.Width(); ++x) sum += d.GetPixel(x, y);
            if (!d.Empty()) d.SetPixel(0, 0, sum);
            d.SetBitCount(24);
        });
    }
    {
        TMemoryStream s = InputStream(data, size);
        TPlainDIBX d(1, 1, 32);
        Refusable([&] { LoadSurfaceFromStream(d, &s, 0); });
    }
    return 0;
}
