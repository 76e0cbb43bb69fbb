// Game records of save.dat, read as a game load reads them (head, scene,
// backlog, interpreter with its resume page, variables, game tables) and
// then written again. No page can be found, so a record that names one is
// refused there.
#include "engine/call_man.h"
#include "engine/game_save.h"
#include "script/param_collection.h"
#include "files/vr_file_manager.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/scene_fixture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TParamCollection* table = [] {
        if (!FileManager) CreateFileManager();
        VorqBaseList = &FuzzRegistry();
        return new TParamCollection();
    }();
    Params = table;
    {
        TCallMan cm;
        TMemoryStream s = InputStream(data, size);
        Refusable([&] {
            LoadGameRecord(s, cm);
            TMemoryStream out;
            WriteGameRecord(out, TGameSaveHead{}, cm);
        });
    }
    FuzzRegistry().ResetScene();
    return 0;
}
