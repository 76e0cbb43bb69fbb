// Every object kind drawn at the geometry a script or a stored record can
// give it: the first byte picks the kind, the second its holder (the layer,
// a box or a wave), then each five bytes set one property (a byte picks it
// among positions, sizes, zooms, angles, offsets, clips and the like, of the
// kind or, past them, of its holder; four bytes give the value, little
// endian). One update and drawing pass follows.
#include "fuzz/fuzz_support.h"
#include "fuzz/scene_fixture.h"
#include "render/dibx.h"
#include "render/tesk_collection.h"
#include "tests/objects/kind_drawing.h"

using namespace kind_drawing;

namespace {
TVorqBaseList& registry() {
    static TVorqBaseList& reg = [] () -> TVorqBaseList& {
        TVorqBaseList& r = FuzzKindsRegistry();
        SetDisplayBitCount(32);
        static MemoryPictures pictures;
        AddPictures(pictures);
        TeskCollection = new TTeskCollection(&pictures);
        return r;
    }();
    return reg;
}
// Enough properties for every one of them and its holder's, and no more.
constexpr size_t kMaxSettings = 96;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    TVorqBaseList& reg = registry();
    reg.ResetScene();
    const std::vector<Setter>& setters = GeometrySetters();
    const Scene scene = MakeScene(reg, Kinds()[data[0] % Kinds().size()], Holder(data[1] % kHolders));
    Refusable([&] {
        size_t done = 0;
        for (size_t at = 2; at + 5 <= size && done < kMaxSettings; at += 5, ++done) {
            const size_t pick = data[at] % (2 * setters.size());
            const int32_t v = int32_t(uint32_t(data[at + 1]) | uint32_t(data[at + 2]) << 8 |
                                      uint32_t(data[at + 3]) << 16 | uint32_t(data[at + 4]) << 24);
            TVorqObject* target = pick < setters.size() ? scene.Object : scene.Holder;
            if (target) Apply(*target, setters[pick % setters.size()], v);
        }
        UpdateAndDraw(reg);
    });
    reg.ResetScene();
    return 0;
}
