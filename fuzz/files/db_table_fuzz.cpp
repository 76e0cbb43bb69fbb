// Typed tables, game (kind 0) and status (kind 1) sets, and one table read
// alone; every cell of the current row is then written and read by name,
// as scripts do, so a column the rows have no room for shows.
#include "files/db_table.h"
#include "fuzz/fuzz_support.h"

namespace {
void TouchCells(TDBCustomTable& t) {
    if (!t.First()) return;
    for (int i = 0; i < t.Fields.Count(); ++i) {
        const std::string name = t.Fields.GetField(i)->Name;
        std::string text;
        t.GetStringByName(name, text);
        t.SetIntByName(name, 1);
        t.SetFloatByName(name, 2.5L);
        t.SetBoolByName(name, true);
        t.SetStringByName(name, text);
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (uint8_t kind : {uint8_t(0), uint8_t(1)}) {
        TMemoryStream s = InputStream(data, size);
        TDBManager m;
        Refusable([&] {
            m.LoadFromStream(s, kind);
            for (int i = 0; i < m.Count(); ++i) TouchCells(*m.GetTable(i));
            TMemoryStream out;
            m.SaveToStream(out, kind);
        });
    }
    TMemoryStream s = InputStream(data, size);
    TDBTable t("", 0);
    Refusable([&] {
        t.LoadFromStream(s);
        TouchCells(t);
    });
    return 0;
}
