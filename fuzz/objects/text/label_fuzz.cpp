// Stored label settings, then one short label measured and drawn with them.
#include "fuzz/fuzz_support.h"
#include "render/label_list.h"
#include "tests/support/plain_dibx.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto maker = [](int32_t w, int32_t h, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
        return std::make_unique<TPlainDIBX>(w, h, bits);
    };
    for (int32_t version : {122, 108}) {
        TMemoryStream s = InputStream(data, size);
        TWzLabelList list(maker);
        TPlainDIBX target(64, 32, 32);
        list.Target = &target;
        Refusable([&] {
            list.LoadFromStream(s, version);
            list.AddLabel()->SetText("Ab1");
            list.Measure();
            list.GetLabel(0)->Draw(2, 2);
        });
    }
    return 0;
}
