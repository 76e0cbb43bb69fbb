// Scenario pages with every kind of command record.
#include "engine/page.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream s = InputStream(data, size);
    TPage page;
    Refusable([&] { page.LoadFromStream(s, "fuzz.vsb"); });
    return 0;
}
