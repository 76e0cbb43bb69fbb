// Game records of save.dat, read as a game load reads them (head, scene,
// backlog, interpreter with its resume page, variables, game tables) and
// then written again. No page can be found, so a record that names one is
// refused there. The same bytes are then read as the status record
// (status variables, read marks, status tables), as at start-up.
#include "engine/call_man.h"
#include "engine/game_save.h"
#include "script/param_collection.h"
#include "files/db_table.h"
#include "files/save_stream.h"
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
    {
        TMemoryStream s = InputStream(data, size);
        Refusable([&] {
            ReadStatusRecord(s);
            // A script then writes the status tables' cells by name.
            for (int i = 0; i < DBManager().Count(); ++i) {
                TDBTable* t = DBManager().GetTable(i);
                if (!t->First()) continue;
                for (int c = 0; c < t->Fields.Count(); ++c) t->SetIntByName(t->Fields.GetField(c)->Name, 1);
            }
        });
    }
    // Each input starts without the tables the last one loaded.
    DBManager().ClearGameTables();
    TMemoryStream none;
    WriteStreamInteger(none, 100);
    WriteStreamInteger(none, 0);
    none.SetPosition(0);
    DBManager().LoadFromStream(none, 1);
    FuzzRegistry().ResetScene();
    return 0;
}
