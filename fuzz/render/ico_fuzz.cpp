// Icon and cursor files: the directory, then its first images and the bit
// counts their own headers give, and the image a pointer would take.
#include "fuzz/fuzz_support.h"
#include "render/dib_surface.h"
#include "render/ico.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream s = InputStream(data, size);
    Refusable([&] {
        const TIconDirectory dir = ReadIconDirectory(s);
        for (size_t i = 0; i < dir.Entries.size() && i < 4; ++i) {
            s.SetPosition(0);
            TDIBSurface d;
            Refusable([&] { LoadIcon(d, s, static_cast<int>(i)); });
            s.SetPosition(0);
            IconImageBitCount(s, dir.Entries[i]);
        }
        s.SetPosition(0);
        TDIBSurface cursor;
        LoadCursorIcon(cursor, s);
    });
    return 0;
}
