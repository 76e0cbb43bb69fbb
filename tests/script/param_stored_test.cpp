// Stored variables read back from damaged or hostile saves: references that
// lead back to themselves, and every prefix and replaced byte of a table.
#include "script/param_collection.h"

#include "engine/scenario_writer.h"
#include "script/system_vars.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "tests/support/file_bytes.h"
#include "tests/support/fixture_writers.h"

#include <gtest/gtest.h>

namespace {

struct Stored : ::testing::Test {
    std::unique_ptr<TParamCollection> table = std::make_unique<TParamCollection>();
    void SetUp() override { Params = table.get(); }
    void TearDown() override { Params = nullptr; }

    void load_status(const std::string& bytes) {
        TMemoryStream m = StreamOf(bytes);
        table->LoadStatusVariables(m);
    }
};

// One table entry as the save writes it: type code, name, value, and the
// kept, flag, frame and local fields.
std::string entry(uint8_t type, const std::string& name, const std::string& value) {
    return RecU8(type) + RecString(name) + value + RecU8(1) + RecU8(0) + RecU32(0) + RecU8(0);
}
std::string int_entry(const std::string& name, int32_t v) {
    return entry(PT_INT, name, RecU32(0) + RecU32(1) + RecU32(static_cast<uint32_t>(v)));
}
std::string ref_entry(const std::string& name, const std::string& target) {
    return entry(0, name, RecU32(0) + RecString(name) + RecString(target) + RecU8(0) + RecU32(0));
}
std::string table_of(const std::vector<std::string>& entries) {
    std::string out = RecU32(static_cast<uint32_t>(entries.size()));
    for (const auto& e : entries) out += e;
    return out;
}

TEST_F(Stored, ReferenceLoopsAreRefusedWhole) {
    struct Case {
        const char* what;
        std::vector<std::string> entries;
    };
    const Case loops[] = {
        {"itself", {ref_entry("a", "a")}},
        {"itself, by another case", {ref_entry("a", "A")}},
        {"a pair, target stored first", {ref_entry("b", "a"), ref_entry("a", "b")}},
        {"a pair, reference stored first", {int_entry("x", 1), ref_entry("a", "b"), ref_entry("b", "a")}},
        {"three", {ref_entry("a", "b"), ref_entry("b", "c"), ref_entry("c", "a")}},
    };
    for (const Case& c : loops) {
        SCOPED_TRACE(c.what);
        try {
            load_status(table_of(c.entries));
            ADD_FAILURE() << "loaded";
        } catch (const ECorruptData& e) {
            EXPECT_EQ(e.Message(), Sjis("セーブデータが壊れています") + " (reference target)");
        }
        // Nothing of the refused table stays behind.
        EXPECT_EQ(table->Count(), kSystemVarCount);
    }
}

TEST_F(Stored, ReferenceChainsWithoutLoopsReadThrough) {
    load_status(table_of({ref_entry("a", "b"), ref_entry("b", "c"), int_entry("c", 42), ref_entry("d", "c")}));
    for (const char* name : {"a", "b", "c", "d"}) {
        SCOPED_TRACE(name);
        ASSERT_NE(table->Find(name), nullptr);
        EXPECT_EQ(table->Find(name)->GetAsInt(), 42);
    }
}

TEST_F(Stored, ReferenceChainsAreBoundedInLength) {
    // c, then r(n-1) -> c, ..., r0 -> r1: each links as it is read. A chain
    // whose reading would recurse past a thousand references is refused.
    auto chain = [](int n) {
        std::vector<std::string> entries{int_entry("c", 42)};
        for (int k = n - 1; k >= 0; --k)
            entries.push_back(ref_entry("r" + std::to_string(k), k == n - 1 ? "c" : "r" + std::to_string(k + 1)));
        return table_of(entries);
    };
    load_status(chain(1001));
    EXPECT_EQ(table->Find("r0")->GetAsInt(), 42);
    table = std::make_unique<TParamCollection>();
    Params = table.get();
    EXPECT_THROW(load_status(chain(1002)), ECorruptData);
    EXPECT_EQ(table->Count(), kSystemVarCount);
}

TEST_F(Stored, RunningScriptsCannotCloseALoop) {
    // x -> y made first; y -> x would close the loop: refused as missing,
    // through Link and through SetReference alike.
    auto make_ref = [&](const char* name) {
        auto* e = table->AddVariable(0);
        e->SetName(name);
        return e->Reference();
    };
    TParamVar* x = make_ref("x");
    TParamVar* y = make_ref("y");
    auto* n = table->AddVariable(PT_INT);
    n->SetName("n");
    n->SetAsInt(5);
    x->SetName("y");
    x->Link(*table);
    EXPECT_EQ(x->Target(), table->Find("y"));
    const std::string missing = "\"x\"" + Sjis(" 変数がありません");
    y->SetName("x");
    try {
        y->Link(*table);
        ADD_FAILURE() << "a loop was made";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), missing);
    }
    EXPECT_EQ(y->Target(), nullptr);
    try {
        table->Find("y")->SetReference("x", {});
        ADD_FAILURE() << "a loop was made";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), missing);
    }
    EXPECT_EQ(y->Target(), nullptr);
    EXPECT_FALSE(y->LinkTo(table->Find("y")));  // itself
    // Without a target every access is harmless; a proper target links.
    EXPECT_EQ(x->GetAsInt(), 0);
    EXPECT_TRUE(y->LinkTo(n));
    EXPECT_EQ(x->GetAsInt(), 5);
}

TEST_F(Stored, FuzzFindingOfASelfReference) {
    // The first byte chose the status form in the fuzz target.
    const std::string bytes = ReadFileBytes(std::string(VORQ_TEST_DATA) + "/fuzz-findings/params-1.bin");
    ASSERT_EQ(bytes.size(), 37u);
    EXPECT_THROW(load_status(bytes.substr(1)), ECorruptData);
    EXPECT_EQ(table->Count(), kSystemVarCount);
}

// A game table holding every kind, arrays and references, and the fields
// after the entries.
std::string full_game_table() {
    TParamCollection source;
    Params = &source;
    auto add = [&](const char* name, uint8_t type) {
        auto* e = source.AddVariable(type);
        e->SetName(name);
        return e;
    };
    add("i", PT_INT)->SetAsInt(-7);
    add("f", PT_FLOAT)->SetAsFloat(2.5L);
    add("b", PT_BOOL)->SetAsBool(true);
    auto* s = add("s", PT_STR);
    int32_t dims[] = {2, 2};
    s->SetDims(dims);
    s->SetStrAt(3, Sjis("表示"));
    add("r", 0)->SetReference("s", std::vector<int32_t>{1, 1});
    source.text_delay = 70;
    source.cursor_name = "hand";
    source.temp_name = "i";
    TMemoryStream m;
    source.SaveGameVariables(m);
    Params = nullptr;
    return StreamBytes(m);
}

TEST_F(Stored, DamagedGameTablesLoadOrAreRefusedWhole) {
    const std::string full = full_game_table();
    {
        TMemoryStream m = StreamOf(full);
        table->LoadGameVariables(m, 130);
        EXPECT_EQ(m.Remaining(), 0);
        EXPECT_EQ(table->Find("r")->GetAsString(), Sjis("表示"));
        EXPECT_EQ(table->temp_name, "i");
    }
    auto load = [&](const std::string& bytes) {
        table = std::make_unique<TParamCollection>();
        Params = table.get();
        TMemoryStream m = StreamOf(bytes);
        table->LoadGameVariables(m, 130);
    };
    for (size_t n = 0; n < full.size(); ++n) {
        EXPECT_THROW(load(full.substr(0, n)), ECorruptData) << n;
    }
    for (size_t i = 0; i < full.size(); ++i) {
        for (char v : {'\x00', '\x01', '\x7F', '\xFF'}) {
            std::string bytes = full;
            bytes[i] = v;
            try {
                load(bytes);
            } catch (const ECorruptData&) {
                // Refused whole: no entry of it stays.
                EXPECT_EQ(table->Count(), kSystemVarCount) << i;
            } catch (const Exception&) {
                // A damaged name may break the naming rules.
            }
            // Whatever loaded reads without running away (a damaged element
            // index may be refused).
            for (int32_t k = 0; k < table->Count(); ++k) {
                try {
                    (void)table->Item(k)->GetAsString();
                } catch (const Exception&) {
                }
            }
        }
    }
}

}  // namespace
