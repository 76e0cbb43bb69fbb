// The array family through compiled expressions, so that variable
// arguments are real references: shapes, joins and splits, moves, search,
// sort, and literals that must come out of a call unchanged.
#include "script/sys_funcs_array.h"

#include "script/param_collection.h"
#include "script/parser.h"
#include "shell/sys_func_families.h"
#include "platform/text/codepage.h"

#include <gtest/gtest.h>

namespace {

struct Arrays : ::testing::Test {
    std::unique_ptr<TParamCollection> table = std::make_unique<TParamCollection>();
    void SetUp() override {
        Params = table.get();
        InstallSysFuncFamilies();
    }
    void TearDown() override {
        Params = nullptr;
        TSysFuncMan::SetFamilyTable(nullptr);
    }
    TParamCollectionItem* var(const char* name, uint8_t type) {
        auto* e = table->AddVariable(type);
        e->SetName(name);
        return e;
    }
    std::string eval(std::string_view text) {
        TVorqParser p;
        CompileExpression(p, text);
        p.Evaluate();
        return p.Result() ? p.Result()->GetAsString() : "(none)";
    }
    static std::string items(const TParamCollectionItem* v) {
        std::string out;
        for (int32_t i = 0; i < v->Count(); ++i) out += (i ? "|" : "") + v->GetStrAt(i);
        return out;
    }
};

TEST_F(Arrays, ShapesAndSizes) {
    auto* a = var("a", PT_INT);
    auto* n = var("n", PT_INT);
    eval("SetArray(a, 3, 4)");
    const struct {
        const char* expr;
        int32_t want;
    } cases[] = {{"n = GetArraySize(a)", 12}, {"n = GetArraySize(a, 0)", 4}, {"n = GetArraySize(a, 1)", 3},
                 {"n = GetArraySize(a, 2)", 1}, {"n = GetArraySize(a, -1)", 1}};
    for (const auto& c : cases) {
        n->SetAsInt(-99);
        eval(c.expr);
        EXPECT_EQ(n->GetAsInt(), c.want) << c.expr;
    }
    EXPECT_EQ(a->Count(), 12);
    // A literal in a variable's place is an error, which ends the evaluation.
    n->SetAsInt(5);
    EXPECT_EQ(eval("n = SetArray(3, 2)"), "(none)");
    EXPECT_EQ(n->GetAsInt(), 5);
    eval("SetArray(a, 2)");
    eval("FillMem(a, 7)");
    EXPECT_EQ(items(a), "7|7");
}

TEST_F(Arrays, AddInsertDeleteMoveElements) {
    auto* a = var("a", PT_INT);
    auto* b = var("b", PT_INT);
    auto* n = var("n", PT_INT);
    auto reset = [&] {
        eval("SetArray(a, 2)");
        a->SetIntAt(0, 1);
        a->SetIntAt(1, 2);
        eval("SetArray(b, 3)");
        for (int i = 0; i < 3; ++i) b->SetIntAt(i, 10 + i);
    };
    const struct {
        const char* expr;
        int32_t count;
        const char* items;
    } cases[] = {
        {"n = AddArray(a, b)", 5, "1|2|10|11|12"},
        {"n = InsertArray(a, -5, b)", 5, "10|11|12|1|2"},
        {"n = InsertArray(a, 1, b)", 5, "1|10|11|12|2"},
        {"n = InsertArray(a, 99, b)", 5, "1|2|10|11|12"},
        {"n = InsertArray(a, 1, a)", 4, "1|1|2|2"},
        {"n = DeleteArray(a, 1, 10)", 1, "1"},
        {"n = DeleteArray(a, -3, 1)", 1, "2"},
        {"n = DeleteArray(a, 7, 1)", 1, "1"},
        {"n = AddArray(a, a)", 4, "1|2|1|2"},
    };
    for (const auto& c : cases) {
        reset();
        eval(c.expr);
        EXPECT_EQ(n->GetAsInt(), c.count) << c.expr;
        EXPECT_EQ(items(a), c.items) << c.expr;
    }
    // Two dimensions: refused, the count comes back and nothing moves.
    reset();
    eval("SetArray(a, 2, 2)");
    eval("n = AddArray(a, b)");
    EXPECT_EQ(n->GetAsInt(), 4);
    EXPECT_EQ(a->Count(), 4);
    // Deleting the last element is the element-count error.
    eval("SetArray(a, 1)");
    n->SetAsInt(-1);
    EXPECT_EQ(eval("n = DeleteArray(a, 0, 1)"), "(none)");
    EXPECT_EQ(n->GetAsInt(), -1);
}

TEST_F(Arrays, JoinSplitSearchSort) {
    auto* s = var("s", PT_STR);
    auto* t = var("t", PT_STR);
    auto* i = var("i", PT_INT);
    t->SetAsString("x\r\ny");
    eval("StringToArray(t, s)");
    EXPECT_EQ(items(s), "x|y");
    eval("t = ArrayToString(s)");
    EXPECT_EQ(t->GetAsString(), "x\r\ny");
    eval("t = ArrayToString(s, \",\")");
    EXPECT_EQ(t->GetAsString(), "x,y");
    eval("StringToArray(\"a,b,,c\", s, \",\")");
    EXPECT_EQ(items(s), "a|b||c");
    // A delimiter byte that is a trail byte does not split.
    const std::string hyo = Sjis("表");
    s->SetAsString("");
    t->SetAsString(hyo + "\\a");
    auto* d = var("d", PT_STR);
    d->SetAsString("\\");
    eval("StringToArray(t, s, d)");
    EXPECT_EQ(s->Count(), 2);
    EXPECT_EQ(s->GetStrAt(0), hyo);
    EXPECT_EQ(SplitScriptText("a\rb\n\nc\r\n", "\r\n"), (std::vector<std::string>{"a", "b", "", "c"}));

    eval("StringToArray(\"ab,AB\", s, \",\")");
    const struct {
        const char* expr;
        int32_t want;
    } finds[] = {{"i = IndexOfStr(s, \"AB\")", 1}, {"i = IndexOfStr(s, \"AB\", FALSE)", 0},
                 {"i = IndexOfStr(s, \"b\", TRUE, TRUE)", 0}, {"i = IndexOfStr(s, \"zz\")", -1},
                 {"i = IndexOfStr(s, \"B\", TRUE, TRUE)", 1}, {"i = IndexOfStr(s, \"B\", FALSE, TRUE)", 0},
                 {"i = IndexOfStr(s, \"abc\", FALSE, TRUE)", -1}, {"i = IndexOfStr(s, \"\")", -1},
                 {"i = IndexOfStr(s, \"\", TRUE, TRUE)", 0}};
    for (const auto& c : finds) {
        eval(c.expr);
        EXPECT_EQ(i->GetAsInt(), c.want) << c.expr;
    }
    eval("StringToArray(\"b,A,c\", s, \",\")");
    eval("SortStr(s)");
    EXPECT_EQ(items(s), "A|b|c");
    auto* n = var("n", PT_INT);
    eval("StringToArray(\"10,9,100\", n, \",\")");
    eval("SortStr(n)");  // as text
    EXPECT_EQ(items(n), "10|100|9");
}

// A partial search finds text only where a character starts, never in the
// second byte of a double-byte character; single-byte text is unchanged.
TEST_F(Arrays, PartialSearchMatchesOnlyAtCharacterStarts) {
    auto* s = var("s", PT_STR);
    auto* d = var("d", PT_STR);
    auto* i = var("i", PT_INT);
    const struct {
        const char *first, *second, *text;
        bool case_sensitive;
        int32_t want;
    } cases[] = {{"ヂ", "a", "a", true, 1},    {"表", "\\", "\\", true, 1}, {"ヂ", "xA", "a", false, 1},
                 {"ヂa", "a", "a", true, 0},  {"表\\", "x", "\\", true, 0}, {"ヂA", "x", "a", false, 0},
                 {"xyz", "y", "y", true, 0},  {"xYz", "y", "y", false, 0},   {"表示", "x", "示", true, 0}};
    for (const auto& c : cases) {
        eval("SetArray(s, 2)");
        s->SetStrAt(0, Sjis(c.first));
        s->SetStrAt(1, Sjis(c.second));
        d->SetAsString(Sjis(c.text));
        eval(c.case_sensitive ? "i = IndexOfStr(s, d, TRUE, TRUE)" : "i = IndexOfStr(s, d, FALSE, TRUE)");
        EXPECT_EQ(i->GetAsInt(), c.want) << c.first << " " << c.text;
    }
}

TEST_F(Arrays, CopiesConvertOrRefuse) {
    auto* f = var("f", PT_FLOAT);
    auto* s = var("s", PT_STR);
    auto* i = var("i", PT_INT);
    eval("StringToArray(\"1.5,2\", s, \",\")");
    eval("CopyArray(f, s)");
    EXPECT_EQ(f->Count(), 2);
    EXPECT_EQ(f->GetFloatAt(0), 1.5L);
    eval("SetArray(i, 2, 3)");
    eval("CopyArray(s, i)");
    EXPECT_EQ(s->DimCount(), 2);
    EXPECT_EQ(s->Count(), 6);
    i->SetAsInt(4);
    eval("CopyMem(i, s)");  // different kinds: refused
    EXPECT_EQ(items(i), "4");
    var("j", PT_INT);
    eval("SetArray(j, 3)");
    eval("FillMem(j, 4)");
    eval("CopyMem(i, j)");
    EXPECT_EQ(items(i), "4|4|4");
}

TEST_F(Arrays, LiteralsKeepTheirValue) {
    // An edited argument that is a literal leaves the compiled expression as
    // it was, so the next run sees the same text.
    const struct {
        const char* expr;
        const char* kept;
    } cases[] = {
        {"StringToArray(\"a,b\", \"keep\", \",\")", "keep"},
        {"SortStr(\"b\")", "b"},
        {"Delete(\"abc\", 1)", "abc"},
        {"Insert(\"x\", \"abc\", 1)", "abc"},
    };
    for (const auto& c : cases) {
        TVorqParser p;
        CompileExpression(p, c.expr);
        p.Evaluate();
        bool found = false;
        for (int32_t i = 0; i < p.Count(); ++i)
            for (const auto& o : p.Get(i)->operands) found = found || (o && o->GetAsString() == c.kept);
        EXPECT_TRUE(found) << c.expr;
    }
}

}  // namespace
