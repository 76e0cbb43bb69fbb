// A stored film read, then every track's look-up and easing at a few frames.
#include "fuzz/fuzz_support.h"
#include "objects/base_list.h"
#include "objects/film/film_manager.h"
#include "objects/object_kinds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream s = InputStream(data, size);
    static const bool installed = (InstallObjectKinds(), true);
    (void)installed;
    // The registry outlives the film, whose tracks scrap their objects there.
    TVorqBaseList registry;
    TFilmManager film;
    Refusable([&] {
        film.LoadFromStream(s, "films\\a.vcm");
        for (int32_t t : {0, 1, film.Length() / 2, film.Length()}) {
            film.ActiveWipeAt(t);
            film.LayerParityAt(t);
            for (int k = 0; k < film.Count(); ++k) {
                TCustomFrameList* tr = film.GetTrack(k);
                // Film times wrap like the player's clock.
                const int32_t local = static_cast<int32_t>(uint32_t(t) - uint32_t(tr->AbsoluteStart()));
                tr->FrameIndexAt(local);
                tr->TweenInt(tr->image.x_kind, tr->image.pos_from.x, tr->image.pos_to.x, tr->length, local);
                tr->TweenFloat(tr->image.angle_kind, local, tr->image.angle_from, tr->image.angle_to, tr->length);
            }
        }
        // Played into a scene of its own, small screens only (a large one
        // only costs time here).
        if (int64_t(film.width) * film.height > (1 << 16)) return;
        film.SetTarget(&registry);
        film.Start();
        for (int32_t t : {0, 1, film.Length() / 2, film.Length() - 1, 0}) film.SetFrame(t);
    });
    return 0;
}
