// Prepared-menu layout files, read as the menu reads them.
#include "fuzz/fuzz_support.h"
#include "objects/controls/prev_menu_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream s = InputStream(data, size);
    TContSelList layout;
    Refusable([&] { layout.LoadFromStream(s, "menu\\"); });
    return 0;
}
