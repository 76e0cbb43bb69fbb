// A stored glyph list, then its variables expanded, its pages laid out and
// the first page rendered, revealed and drawn.
#include "script/param_collection.h"
#include "fuzz/fuzz_support.h"
#include "render/text/wz_word.h"
#include "tests/support/plain_dibx.h"

#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TParamCollection table;
    Params = &table;
    TMemoryStream s = InputStream(data, size);
    TWzWord w([](int32_t w, int32_t h, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
        return std::make_unique<TPlainDIBX>(w, h, bits);
    });
    TPlainDIBX target(64, 32, 32);
    w.Target = &target;
    w.ViewWidth = 64;
    w.PageHeight = 32;
    w.Delay = 0;
    Refusable([&] {
        w.LoadGlyphStream(s);
        w.ExpandVars(0, -1);
        TWdPageList pages;
        LayoutPages(w, pages, 0, -1);
        if (pages.empty()) return;
        TWdPage& page = *pages[0];
        page.Render(false);
        page.ResetTypewriter();
        std::string log;
        AdvanceTypewriter(page, 16, log);
        w.DrawPage(page);
    });
    Params = nullptr;
    return 0;
}
