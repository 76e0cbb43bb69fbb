// Stored variables: the status form and the game form at an old and the
// current version, each into a fresh table whose every entry is then read.
#include "script/param_collection.h"
#include "fuzz/fuzz_support.h"

#include <memory>

namespace {

void ReadEvery(const TParamCollection& table) {
    for (int32_t i = 0; i < table.Count(); ++i) {
        const TParamCollectionItem* e = table.Item(i);
        if (!e) continue;
        Refusable([&] {
            (void)e->GetAsString();
            (void)e->GetAsInt();
            if (e->Count() > 0) (void)e->GetStrAt(e->Count() - 1);
        });
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (int form = 0; form < 3; ++form) {
        TMemoryStream s = InputStream(data, size);
        auto table = std::make_unique<TParamCollection>();
        Params = table.get();
        Refusable([&] {
            if (form == 0) table->LoadStatusVariables(s);
            else table->LoadGameVariables(s, form == 1 ? 102 : 130);
        });
        ReadEvery(*table);
        Params = nullptr;
    }
    return 0;
}
