// Compiled expressions: loaded, then run against a fresh variable table.
#include "script/param_collection.h"
#include "script/parser.h"
#include "fuzz/fuzz_support.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream s = InputStream(data, size);
    auto table = std::make_unique<TParamCollection>();
    Params = table.get();
    TVorqParser p;
    Refusable([&] {
        p.LoadFromStream(s);
        p.Evaluate();
    });
    Params = nullptr;
    return 0;
}
