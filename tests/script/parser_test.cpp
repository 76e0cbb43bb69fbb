// The expression compiler, the stored form of compiled expressions and
// evaluation. Hand-assembled byte fixtures check the compiler's output and
// feed the evaluator, so that the compiler is not its own oracle.
#include "script/parser.h"

#include "script/param_collection.h"
#include "script/sys_funcs.h"
#include "script/system_vars.h"
#include "files/extended.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Little-endian byte builder for fixtures.
struct Bytes {
    std::vector<uint8_t> b;
    Bytes& u8(uint8_t v) {
        b.push_back(v);
        return *this;
    }
    Bytes& i32(int32_t v) {
        for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * k)));
        return *this;
    }
    Bytes& str(std::string_view s) {
        i32(static_cast<int32_t>(s.size()));
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    Bytes& ext(long double v) {
        uint8_t e[10];
        StoreExtended(e, v);
        b.insert(b.end(), e, e + 10);
        return *this;
    }
    TMemoryStream stream() const {
        TMemoryStream m;
        m.WriteBuffer(b.data(), static_cast<int64_t>(b.size()));
        m.SetPosition(0);
        return m;
    }
};

std::vector<uint8_t> bytes_of(TMemoryStream& m) { return {m.Memory(), m.Memory() + m.GetSize()}; }

std::string error_of(std::string_view text) {
    TBuildVorqParser b;
    try {
        b.Parse(text);
        TMemoryStream m;
        b.SaveToStream(m);
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no error)";
}

// One line per compiled operation: "op dest <- a, b".
std::string listing(std::string_view text) {
    TBuildVorqParser b;
    b.Parse(text);
    std::string out;
    for (int32_t i = 0; i < b.Count(); ++i) {
        const TBuildOpeData* o = b.Get(i);
        out += std::string(OpCodeName(o->op)) + " " + o->dest + " <-";
        for (size_t k = 0; k < o->operands.size(); ++k) out += (k ? ", " : " ") + o->operands[k];
        out += "\n";
    }
    return out;
}

struct Expr : ::testing::Test {
    std::unique_ptr<TParamCollection> table = std::make_unique<TParamCollection>();
    void SetUp() override { Params = table.get(); }
    void TearDown() override {
        Params = nullptr;
        TSysFuncMan::SetFamilyHandler(TSysFuncFamily::System, nullptr);
    }
    TParamCollectionItem* var(const char* name, uint8_t type) {
        auto* e = table->AddVariable(type);
        e->SetName(name);
        return e;
    }
    // Compile, store, load and evaluate: the path a scenario's expression takes.
    std::unique_ptr<TCustomParam> eval(std::string_view text) {
        TVorqParser p;
        CompileExpression(p, text);
        p.Evaluate();
        return p.TakeResult();
    }
    std::string eval_str(std::string_view text) {
        auto r = eval(text);
        return r ? r->GetAsString() : "(none)";
    }
};

TEST(Compiler, Precedence) {
    EXPECT_EQ(listing("a + b * c"),
              "ocMul ____1 <- b, c\nocPlus ____2 <- a, ____1\nocTo ____arg <- ____2\n");
    EXPECT_EQ(listing("a - b - c"),
              "ocMinus ____1 <- a, b\nocMinus ____2 <- ____1, c\nocTo ____arg <- ____2\n");
    EXPECT_EQ(listing("a ++ b == c"),
              "ocEqual ____1 <- b, c\nocComboStr ____2 <- a, ____1\nocTo ____arg <- ____2\n");
    EXPECT_EQ(listing("x = y + 1"), "ocPlus ____1 <- y, 1\nocTo x <- ____1\n");
}

TEST(Compiler, SignsGroupsCallsAndIndexes) {
    EXPECT_EQ(listing("-a"), "ocMinus ____1 <- 0, a\nocTo ____arg <- ____1\n");
    EXPECT_EQ(listing("3 * -2"), "ocMinus ____1 <- 0, 2\nocMul ____2 <- 3, ____1\nocTo ____arg <- ____2\n");
    EXPECT_EQ(listing("a + + b"), "ocPlus ____1 <- a, b\nocTo ____arg <- ____1\n");
    // The group's copy into its temporary is folded away.
    EXPECT_EQ(listing("(a + b) * c"), "ocPlus ____2 <- a, b\nocMul ____3 <- ____2, c\nocTo ____arg <- ____3\n");
    EXPECT_EQ(listing("f(g(1), 2)"), "ocFunc ____1 <- g, 1\nocFunc ____2 <- f, ____1, 2\nocTo ____arg <- ____2\n");
    EXPECT_EQ(listing("f((a))"), "ocFunc ____1 <- f, a\nocTo ____arg <- ____1\n");
    EXPECT_EQ(listing("f()"), "ocFunc ____1 <- f\nocTo ____arg <- ____1\n");
    // Only copies between temporaries are folded; a group around a plain
    // name stays a copy.
    EXPECT_EQ(listing("f(((a) + (b)))"),
              "ocTo ____3 <- b\nocTo ____4 <- a\nocPlus ____5 <- ____4, ____3\nocFunc ____1 <- f, ____5\n"
              "ocTo ____arg <- ____1\n");
    EXPECT_EQ(listing("v[i + 1, 2] = 3"),
              "ocPlus ____3 <- i, 1\nocDimTo ____d_1 <- v, ____3, 2\nocTo ____d_1 <- 3\n");
    EXPECT_EQ(listing("x = y z"), "ocTo x <- y z\n");  // text between operators is one name
    EXPECT_EQ(listing("\"a\\\"b\\\\c\\nd\\x\""), "ocTo ____1 <- \"a\"b\\c\r\nd\\x\"\nocTo ____arg <- ____1\n");
    // A trail byte 0x5C ("表") is not a backslash, "ソ" (0x83 0x5C) neither.
    std::string sjis = Sjis("\"表ソ\"");
    EXPECT_EQ(listing(sjis), "ocTo ____1 <- " + sjis + "\nocTo ____arg <- ____1\n");
}

TEST(Compiler, SyntaxErrors) {
    const std::string syntax = Sjis("構文エラー");
    for (const char* bad : {"a +", "x =", "-", "a * * b", "= 1", "f(a", "a)(", "a[1", "+ [1]",
                            "*a", "f(a]", "()"})
        EXPECT_EQ(error_of(bad), syntax) << bad;
    EXPECT_EQ(error_of("a[]"), Sjis("配列の添え字が不正です"));
    EXPECT_EQ(error_of("Nope(1)"), "\"Nope\"" + Sjis(" 関数名がありません"));
    EXPECT_EQ(error_of("Max(1)"), "Max" + Sjis(" 引数の数が不正です"));
    EXPECT_EQ(error_of("Max(1, 2, 3)"), "Max" + Sjis(" 引数の数が不正です"));
    EXPECT_EQ(error_of("1(2)"), "\"1\"" + Sjis(" 関数名がありません"));  // a function name is never a literal
    // Too few arguments are found only when the stored form is written.
    TBuildVorqParser b;
    EXPECT_NO_THROW(b.Parse("Max(1)"));
}

TEST(Compiler, StripOuterParens) {
    EXPECT_EQ(StripOuterParens("((a) + (b))"), "(a) + (b)");
    EXPECT_EQ(StripOuterParens("(a) + (b)"), "(a) + (b)");
    EXPECT_EQ(StripOuterParens("((x))"), "x");
}

// The compiler's stored form, byte for byte.
TEST(Compiler, StoredFormFixture) {
    TBuildVorqParser b;
    b.Parse("x = y + 1");
    TMemoryStream m;
    b.SaveToStream(m);
    Bytes want;
    want.i32(2);
    want.u8(ocPlus).str("____1").i32(2).u8(0).str("y").u8(1).i32(1);
    want.u8(ocTo).str("x").i32(1).u8(0).str("____1");
    EXPECT_EQ(bytes_of(m), want.b);

    TBuildVorqParser c;
    c.Parse("Max(a, $10) ++ 1e5 ++ TRUE ++ true ++ \"s\"");
    TMemoryStream m2;
    c.SaveToStream(m2);
    Bytes w2;
    w2.i32(6);
    w2.u8(ocTo).str("____1").i32(1).u8(4).str("s");
    w2.u8(ocFunc).str("____2").i32(2).u8(127).u8(0).str("a").u8(1).i32(16);
    w2.u8(ocComboStr).str("____3").i32(2).u8(0).str("____2").u8(2).ext(1e5L);
    w2.u8(ocComboStr).str("____4").i32(2).u8(0).str("____3").u8(3).u8(1);
    w2.u8(ocComboStr).str("____5").i32(2).u8(0).str("____4").u8(0).str("true");
    w2.u8(ocComboStr).str("____6").i32(2).u8(0).str("____5").u8(0).str("____1");
    // (then the copy into ____arg)
    std::vector<uint8_t> got = bytes_of(m2);
    ASSERT_GT(got.size(), w2.b.size());
    got.resize(w2.b.size());
    w2.b[0] = 7;  // seven operations in all
    EXPECT_EQ(got, w2.b);
}

// An integer literal must be a value of the signed 32-bit range, hex as
// well as decimal; any other number text is stored as a real, and what no
// number rule reads is a variable's name.
TEST(Compiler, IntegerLiteralsKeepToTheSignedRange) {
    const struct {
        const char* literal;
        Bytes operand;
    } cases[] = {
        {"$7FFFFFFF", Bytes().u8(1).i32(INT32_MAX)},
        {"0x10", Bytes().u8(1).i32(16)},
        {"2147483647", Bytes().u8(1).i32(INT32_MAX)},
        {"2147483648", Bytes().u8(2).ext(2147483648.0L)},
        {"4294967295", Bytes().u8(2).ext(4294967295.0L)},
        {"$80000000", Bytes().u8(0).str("$80000000")},
        {"$FFFFFFFF", Bytes().u8(0).str("$FFFFFFFF")},
        {"0xFFFFFFFF", Bytes().u8(0).str("0xFFFFFFFF")},
    };
    for (const auto& c : cases) {
        TBuildVorqParser b;
        b.Parse(std::string("x = ") + c.literal);
        TMemoryStream m;
        b.SaveToStream(m);
        Bytes want;
        want.i32(1).u8(ocTo).str("x").i32(1);
        want.b.insert(want.b.end(), c.operand.b.begin(), c.operand.b.end());
        EXPECT_EQ(bytes_of(m), want.b) << c.literal;
    }
}

// Hand-made expressions run by the evaluator.
TEST_F(Expr, EvaluatesFixture) {
    var("x", PT_STR);
    Bytes f;
    f.i32(3);
    f.u8(ocComboStr).str("____1").i32(2).u8(4).str("ab").u8(2).ext(1.5L);
    f.u8(ocComboStr).str("____2").i32(2).u8(0).str("____1").u8(3).u8(1);
    f.u8(ocTo).str("____arg").i32(1).u8(0).str("____2");
    TMemoryStream m = f.stream();
    TVorqParser p;
    p.LoadFromStream(m);
    p.Evaluate();
    ASSERT_TRUE(p.Result());
    EXPECT_EQ(p.Result()->GetAsString(), "ab1.5TRUE");
    // And it writes back the same bytes.
    TMemoryStream out;
    p.SaveToStream(out);
    EXPECT_EQ(bytes_of(out), f.b);
}

TEST_F(Expr, CorruptStoredExpressions) {
    auto load = [](const Bytes& b) {
        TMemoryStream m = b.stream();
        TVorqParser p;
        p.LoadFromStream(m);
    };
    struct Case {
        const char* what;
        Bytes bytes;
        const char* field;  // named in the message
    };
    const Case cases[] = {
        {"unknown op", Bytes().i32(1).u8(21).str("x").i32(0), "operation"},
        {"unknown function", Bytes().i32(1).u8(ocFunc).str("x").i32(0).u8(140), "function"},
        {"Max without arguments", Bytes().i32(1).u8(ocFunc).str("x").i32(0).u8(126), "operand count"},
        {"one operand", Bytes().i32(1).u8(ocPlus).str("x").i32(1).u8(1).i32(1), "operand count"},
        {"no operand", Bytes().i32(1).u8(ocTo).str("x").i32(0), "operand count"},
        {"count beyond data", Bytes().i32(1000000), "operation count"},
        {"negative count", Bytes().i32(-1), "operation count"},
        {"operands beyond data", Bytes().i32(1).u8(ocTo).str("x").i32(50000), "operand count"},
        {"name beyond data", Bytes().i32(1).u8(ocTo).i32(500).u8('x').i32(0).i32(0), "destination"},
        {"short real", Bytes().i32(1).u8(ocTo).str("x").i32(1).u8(2).i32(0), "real operand"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            load(c.bytes);
            ADD_FAILURE() << "loaded";
        } catch (const ECorruptData& e) {
            EXPECT_EQ(e.Message(), Sjis("式のデータが壊れています") + " (" + c.field + ")");
        }
    }
}

TEST_F(Expr, ArithmeticAndTypes) {
    auto r = eval("1 + 2.5");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->ParamType(), PT_INT);
    EXPECT_EQ(r->GetAsInt(), 3);
    r = eval("2.5 + 1");
    EXPECT_EQ(r->ParamType(), PT_FLOAT);
    EXPECT_EQ(r->GetAsString(), "3.5");
    EXPECT_EQ(eval_str("\"ab\" + 1"), "1");
    EXPECT_EQ(eval_str("\"ab\" ++ 1"), "ab1");
    EXPECT_EQ(eval_str("7 % -2"), "1");
    EXPECT_EQ(eval_str("-7 / 2"), "-3");
    EXPECT_EQ(eval_str("1 << 33"), "2");
    EXPECT_EQ(eval_str("-1 >> 28"), "15");
    EXPECT_EQ(eval_str("2147483647 + 1"), "-2147483648");
    EXPECT_EQ(eval_str("65536 * 65536 + 5"), "5");
    EXPECT_EQ(eval_str("6 | 3"), "7");
    EXPECT_EQ(eval_str("6 & 3"), "2");
    EXPECT_EQ(eval_str("6 ^ 3"), "5");
    EXPECT_EQ(eval_str("1 + 2 ++ 3 & 7"), "1");  // ((1 + 2) ++ 3) & 7: 33 & 7
    EXPECT_EQ(eval_str("\"B\" > \"A\""), "TRUE");
    EXPECT_EQ(eval_str("\"a\" > \"B\""), "TRUE");
    EXPECT_EQ(eval_str("\"ab\" < \"abc\""), "TRUE");
    EXPECT_EQ(eval_str("TRUE > FALSE"), "TRUE");
    EXPECT_EQ(eval_str("2.5 >= 2.5"), "TRUE");
    EXPECT_EQ(eval_str("3 <> 3"), "FALSE");
    EXPECT_EQ(eval_str("1 / 3.0"), "0");  // integer domain chosen by the first operand
    EXPECT_EQ(eval_str("1.0 / 3"), "0.333333333333333");
}

TEST_F(Expr, ErrorsEndTheEvaluation) {
    auto* x = var("x", PT_INT);
    x->SetAsInt(5);
    EXPECT_FALSE(eval("x / 0"));
    EXPECT_FALSE(eval("x % 0"));
    var("m", PT_INT)->SetAsInt(INT32_MIN);
    EXPECT_FALSE(eval("m / -1"));
    EXPECT_FALSE(eval("m % -1"));
    EXPECT_EQ(eval_str("m / 1"), "-2147483648");
    EXPECT_FALSE(eval("1.5 / 0"));
    EXPECT_FALSE(eval("missing + 1"));
    EXPECT_FALSE(eval("a = 5"));  // no variable a: nothing happens
    EXPECT_EQ(table->Find("a"), nullptr);
    EXPECT_FALSE(eval("x = 7"));  // an assignment has no result
    EXPECT_EQ(x->GetAsInt(), 7);
    // Operations before the error keep their effect.
    EXPECT_FALSE(eval("x = x + 1 ++ Max(x / 0, 1)"));
    EXPECT_EQ(x->GetAsInt(), 7);
}

TEST_F(Expr, OperandsAreUnlinkedEvenWhenAnOperationFails) {
    var("x", PT_INT);
    TVorqParser p;
    CompileExpression(p, "x / 0");
    p.Evaluate();
    ASSERT_EQ(p.Count(), 2);
    const TParamVar* operand = p.Get(0)->operands[0]->AsVar();
    ASSERT_TRUE(operand);
    EXPECT_EQ(operand->Target(), nullptr);
}

TEST_F(Expr, ArraysAndReferences) {
    auto* a = var("a", PT_INT);
    int32_t dims[] = {3, 2};
    a->SetDims(dims);
    eval("a[2, 1] = 7");
    EXPECT_EQ(a->GetIntAt(5), 7);
    EXPECT_EQ(eval_str("a[2,1] * 2 + Max(3, 4)"), "18");
    EXPECT_FALSE(eval("a[3, 0]"));  // beyond the elements
    EXPECT_FALSE(eval("a[1]"));     // wrong number of indexes
    auto* i = var("i", PT_INT);
    i->SetAsInt(1);
    eval("a[i + 1, i] = a[2, 1] + 1");
    EXPECT_EQ(a->GetIntAt(5), 8);
    EXPECT_EQ(eval_str("GetVarType(a[0, 0]) ++ GetVarType(i)"), "11");
}

TEST_F(Expr, ResultCopyOfAnUntypedTemporaryReachesTheCaller) {
    TVorqParser p;
    CompileExpression(p, "@Temp");  // no alias: the copy into ____arg has no type
    try {
        p.Evaluate();
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "____arg" + Sjis(":不正な変数です"));
    }
    EXPECT_FALSE(p.Result());
}

// An expression evaluated from inside another (as Calc does) has
// temporaries of its own.
void calc_handler(TSysFuncMan&, TParamCollectionItem& dest, uint8_t, TSysFuncArgs args) {
    TVorqParser p;
    CompileExpression(p, args[0]->GetAsString());
    p.Evaluate();
    dest.SetAsString(p.Result() ? p.Result()->GetAsString() : "none");
}

TEST_F(Expr, NestedEvaluationKeepsItsOwnTemporaries) {
    TSysFuncMan::SetFamilyHandler(TSysFuncFamily::System, calc_handler);
    auto* x = var("x", PT_STR);
    eval("x = \"abc\" ++ Calc(\"1 + 1\")");
    EXPECT_EQ(x->GetAsString(), "abc2");
    EXPECT_EQ(eval_str("\"\" ++ Calc(\"____1\")"), "none");
    EXPECT_EQ(table->Count(), kSystemVarCount + 1);  // no temporary left in the table
}

// A function that evaluates the very expression that called it (once).
TVorqParser* g_reentered = nullptr;
int g_reentries = 0;
void reenter_handler(TSysFuncMan&, TParamCollectionItem& dest, uint8_t, TSysFuncArgs) {
    if (g_reentries++ == 0) {
        g_reentered->Evaluate();
        dest.SetAsString(g_reentered->Result() ? g_reentered->Result()->GetAsString() : "none");
    } else {
        dest.SetAsString("inner");
    }
}

TEST_F(Expr, ReenteredEvaluationKeepsItsOwnTemporaries) {
    TSysFuncMan::SetFamilyHandler(TSysFuncFamily::System, reenter_handler);
    TVorqParser p;
    CompileExpression(p, "\"<\" ++ Calc(1) ++ \">\"");
    g_reentered = &p;
    p.Evaluate();
    g_reentered = nullptr;
    ASSERT_TRUE(p.Result());
    EXPECT_EQ(p.Result()->GetAsString(), "<<inner>>");
}

TEST_F(Expr, FunctionsWithoutAFamilyRaise) {
    auto* x = var("x", PT_INT);
    x->SetAsInt(3);
    EXPECT_FALSE(eval("x = Length(\"abc\")"));
    EXPECT_EQ(x->GetAsInt(), 3);
}

TEST_F(Expr, RepeatedEvaluationAndAssign) {
    auto* i = var("i", PT_INT);
    TVorqParser p;
    CompileExpression(p, "i = i + 1");
    for (int k = 0; k < 10; ++k) p.Evaluate();
    EXPECT_EQ(i->GetAsInt(), 10);
    // The table changing between runs is seen (look-ups are cached per generation).
    table->Delete(i->GetIndex());
    auto* i2 = var("I", PT_FLOAT);
    p.Evaluate();
    EXPECT_EQ(i2->GetAsFloat(), 1.0L);
    TVorqParser copy;
    copy.Assign(p);
    copy.Evaluate();
    EXPECT_EQ(i2->GetAsFloat(), 2.0L);
    TMemoryStream a, c;
    p.SaveToStream(a);
    copy.SaveToStream(c);
    EXPECT_EQ(bytes_of(a), bytes_of(c));
}

TEST_F(Expr, LocalsInExpressions) {
    auto* g = var("n", PT_INT);
    g->SetAsInt(1);
    table->SetCurrentFrameId(1);
    auto* l = var("n", PT_INT);
    l->SetFrameId(1);
    l->SetLocal(true);
    l->SetAsInt(100);
    EXPECT_EQ(eval_str("n + 1"), "101");
    table->SetCurrentFrameId(2);
    EXPECT_EQ(eval_str("n + 1"), "2");
}

}  // namespace

// Cut anywhere, a stored expression is refused: the last literal of a page's
// last command must not load as whatever bytes were left.
TEST(StoredExpression, TruncatedIsRefused) {
    TVorqParser p;
    CompileExpression(p, "x = 123456 + Max(y, 7) ++ \"ab\"");
    TMemoryStream m;
    p.SaveToStream(m);
    for (int64_t cut = 0; cut < m.GetSize(); ++cut) {
        TMemoryStream t;
        t.WriteBuffer(m.Memory(), cut);
        t.SetPosition(0);
        TVorqParser q;
        EXPECT_THROW(q.LoadFromStream(t), ECorruptData) << cut;
    }
}

TEST(StoredExpression, DamagedBytesLoadOrAreRefused) {
    // Each byte replaced three ways: the expression loads (and then
    // evaluates or raises one of our errors) or is refused as corrupt.
    TParamCollection table;
    Params = &table;
    TVorqParser p;
    CompileExpression(p, "x = 123456 + Max(y, 7.5) ++ \"ab\" ++ TRUE");
    TMemoryStream m;
    p.SaveToStream(m);
    const std::string full(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.GetSize()));
    int loaded = 0;
    for (size_t i = 0; i < full.size(); ++i) {
        for (char v : {'\x00', '\x7F', '\xFF'}) {
            std::string bytes = full;
            bytes[i] = v;
            TMemoryStream t;
            t.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
            t.SetPosition(0);
            TVorqParser q;
            try {
                q.LoadFromStream(t);
            } catch (const ECorruptData&) {
                continue;
            }
            ++loaded;
            try {
                q.Evaluate();
            } catch (const Exception&) {
            }
        }
    }
    EXPECT_GT(loaded, 0);
    Params = nullptr;
}
