// Project files.
#include "engine/project.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream s = InputStream(data, size);
    TProjectFileData read;
    Refusable([&] {
        if (!ReadProjectFile(s, read)) return;
        // What was read writes back in its own version's layout.
        TMemoryStream out;
        WriteProjectFile(out, read);
    });
    return 0;
}
