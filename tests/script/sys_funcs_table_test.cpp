// The typed-table family through compiled expressions: tables and the
// current one, rows and cells, defaults when something is missing, key
// searches, copies between tables and tab-separated files.
#include "script/sys_funcs_table.h"

#include "script/param_collection.h"
#include "script/parser.h"
#include "shell/sys_func_families.h"
#include "files/db_table.h"
#include "files/vr_file_manager.h"

#include <gtest/gtest.h>

namespace {

struct Tables : ::testing::Test {
    std::unique_ptr<TParamCollection> table = std::make_unique<TParamCollection>();
    void SetUp() override {
        Params = table.get();
        InstallSysFuncFamilies();
        DBManager().Clear();
    }
    void TearDown() override {
        DBManager().Clear();
        Params = nullptr;
        TSysFuncMan::SetFamilyTable(nullptr);
    }
    TParamCollectionItem* var(const char* name, uint8_t type) {
        auto* e = table->AddVariable(type);
        e->SetName(name);
        return e;
    }
    // The value an expression leaves in r, as text.
    std::string eval(const std::string& expr) {
        if (!r) r = var("r", PT_STR);
        r->SetAsString("(unset)");
        TVorqParser p;
        CompileExpression(p, "r = " + expr);
        p.Evaluate();
        return r->GetAsString();
    }
    TParamCollectionItem* r = nullptr;

    void run_script(const std::vector<std::pair<std::string, std::string>>& steps) {
        for (const auto& [expr, want] : steps) EXPECT_EQ(eval(expr), want) << expr;
    }
};

TEST_F(Tables, MissingTablesRowsAndColumnsGiveDefaults) {
    run_script({
        {"DBRecordCount()", "-1"},
        {"DBRecordCount(\"none\")", "-1"},
        {"DBDeleteTable()", "FALSE"},
        {"DBGetActive()", ""},
        {"DBGetRecNo()", "-1"},
        {"DBAddField(\"a\", 1)", "FALSE"},
        {"DBInsert(1)", "FALSE"},
        {"DBClearRecord()", "FALSE"},
        {"DBCreateTable(\"T\", FALSE)", "TRUE"},
        {"DBCreateTable(\"t\", FALSE)", "FALSE"},  // names ignore case
        {"DBAddField(\"n\", 1)", "TRUE"},
        {"DBAddField(\"s\", 4, 10)", "TRUE"},
        {"DBAddField(\"bad\", 9)", "FALSE"},
        {"DBGetInt(\"n\")", "0"},  // no current row
        {"DBSetInt(\"n\", 5)", "FALSE"},
        {"DBDelete()", "FALSE"},
        {"DBInsert(1, \"x\", 99)", "TRUE"},  // the third value has no column
        {"DBGetInt(\"n\")", "1"},
        {"DBGetStr(\"S\")", "x"},
        {"DBGetStr(\"missing\")", ""},
        {"DBSetRecNo(-1)", "TRUE"},
        {"DBDelete()", "FALSE"},
        {"DBSetRecNo(1)", "FALSE"},
        {"DBRecordCount()", "1"},
        {"DBDirectGetInt(\"none\", 0, 0, FALSE, FALSE, \"n\", 42)", "42"},
        {"DBDeleteTable(\"T\")", "TRUE"},
        {"DBGetActive()", ""},
    });
}

TEST_F(Tables, RowsMoveSearchAndCopy) {
    auto* keys = var("keys", PT_STR);
    auto* vals = var("vals", PT_STR);
    auto* nums = var("nums", PT_INT);
    run_script({
        {"DBCreateTable(\"A\", FALSE)", "TRUE"},
        {"DBAddField(\"id\", 1)", "TRUE"},
        {"DBAddField(\"name\", 4, 8)", "TRUE"},
        {"DBInsert(1, \"one\")", "TRUE"},
        {"DBInsert(2, \"Two\")", "TRUE"},
        {"DBInsert(3, \"three\")", "TRUE"},
        {"DBGetRecNo()", "2"},
        {"DBFindFirst()", "TRUE"},
        {"DBFindPrior()", "FALSE"},
        {"DBFindNext()", "TRUE"},
        {"DBGetInt(\"id\")", "2"},
        {"DBFindLast()", "TRUE"},
        {"DBFindNext()", "FALSE"},
    });
    keys->SetAsString("name");
    vals->SetAsString("two");
    run_script({
        {"DBLocate(keys, vals)", "FALSE"},
        {"DBGetRecNo()", "2"},  // a failed search leaves the row
        {"DBLocate(keys, vals, TRUE)", "TRUE"},
        {"DBGetRecNo()", "1"},
        {"DBDirectGetStr(\"a\", keys, vals, TRUE, FALSE, \"id\", \"?\")", "2"},
        {"DBDirectSetInt(\"a\", keys, vals, TRUE, FALSE, \"id\", 20)", "TRUE"},
        {"DBGetInt(\"id\")", "20"},
    });
    keys->SetAsString("id");
    nums->SetAsInt(3);
    run_script({
        {"DBCopyTable(\"B\")", "FALSE"},  // the target must exist
        {"DBCreateTable(\"B\", FALSE)", "TRUE"},
        {"DBCreateTable(\"C\", FALSE)", "TRUE"},
        {"DBSetActive(\"A\")", "TRUE"},
        {"DBCopyTable(\"B\", keys, nums)", "TRUE"},
        {"DBRecordCount(\"B\")", "1"},
        {"DBCopyTable(\"C\")", "TRUE"},
        {"DBRecordCount(\"C\")", "3"},
        {"DBInsertTable(\"C\", keys, nums)", "TRUE"},
        {"DBRecordCount()", "4"},
        {"DBInsertTable(\"none\")", "FALSE"},
        {"DBCopy(\"C\")", "TRUE"},
        {"DBRecordCount(\"C\")", "4"},
        {"DBCreateTable(\"D\", TRUE)", "TRUE"},
        {"DBAddField(\"id\", 1)", "TRUE"},
        {"DBAddField(\"name\", 4, 9)", "TRUE"},  // same names and types, another width
        {"DBSetActive(\"A\")", "TRUE"},
        {"DBCopy(\"D\")", "FALSE"},
        {"DBClearRecord(\"C\")", "TRUE"},
        {"DBRecordCount(\"C\")", "0"},
        {"DBClearTable()", "FALSE"},  // no result: the bool temporary as made
        {"DBRecordCount(\"A\")", "-1"},
    });
}

TEST_F(Tables, SortAndTabSeparatedFiles) {
    CreateFileManager();
    FileManager->SetBaseFolder(VORQ_TEST_DATA "/tables");
    auto* cols = var("cols", PT_STR);
    auto* desc = var("desc", PT_BOOL);
    cols->SetAsString("score");
    desc->SetAsBool(true);
    run_script({
        {"DBLoadTsvFile(\"people.tsv\")", "FALSE"},  // no current table
        {"DBCreateTable(\"P\", FALSE)", "TRUE"},
        {"DBLoadTsvFile(\"missing.tsv\")", "FALSE"},
        {"DBLoadTsvFile(\"empty.tsv\")", "FALSE"},
        {"DBLoadTsvFile(\"PEOPLE.TSV\")", "TRUE"},
        {"DBRecordCount()", "3"},
        {"DBSort(cols, desc)", "TRUE"},
        {"DBFindFirst()", "TRUE"},
        {"DBGetStr(\"name\")", "bob"},
        {"DBGetFloat(\"score\")", "2.25"},
        {"DBFindLast()", "TRUE"},
        {"DBGetInt(\"id\")", "3"},
    });
    // A real read of a text cell that is no number fails the evaluation.
    EXPECT_EQ(eval("DBGetFloat(\"name\")"), "(unset)");
    FreeFileManager();
}

}  // namespace
