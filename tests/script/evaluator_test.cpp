// The evaluator runs "t := a op b; x := t" as one step when nothing else
// reads t. Each such pair is checked against the same operations with a
// second reader of t, which keeps them apart: every operation, operand
// kind and destination kind must give the same value, type and errors.
#include "script/param_collection.h"
#include "script/parser.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Operand {
    const char* what;
    std::function<std::unique_ptr<TCustomParam>()> make;
};

std::unique_ptr<TCustomParam> literal(uint8_t type, const std::string& text) {
    auto p = CreateParam(type);
    p->SetAsString(text);
    return p;
}

void add_op(TVorqParser& p, uint8_t op, const std::string& dest, std::vector<std::unique_ptr<TCustomParam>> args) {
    TOpeData* o = p.Add();
    o->op = op;
    o->dest = dest;
    o->operands = std::move(args);
}

std::vector<std::unique_ptr<TCustomParam>> two(std::unique_ptr<TCustomParam> a, std::unique_ptr<TCustomParam> b) {
    std::vector<std::unique_ptr<TCustomParam>> v;
    v.push_back(std::move(a));
    v.push_back(std::move(b));
    return v;
}

std::vector<std::unique_ptr<TCustomParam>> one_var(const std::string& name) {
    std::vector<std::unique_ptr<TCustomParam>> v;
    v.push_back(std::make_unique<TParamVar>(name));
    return v;
}

std::string describe(const TCustomParam* p) {
    return p ? std::to_string(p->ParamType()) + ":" + p->GetAsString() : "(none)";
}

class Fused : public ::testing::Test {
protected:
    TParamCollection table;
    void SetUp() override { Params = &table; }
    void TearDown() override { Params = nullptr; }

    TParamCollectionItem* set_var(const char* name, uint8_t type, const std::string& text) {
        TParamCollectionItem* v = table.Find(name);
        if (!v || v->ParamType() != type) {
            if (v) table.Delete(v->GetIndex());
            v = table.AddVariable(type);
            v->SetName(name);
        }
        v->SetAsString(text);
        return v;
    }
};

}  // namespace

TEST_F(Fused, PairsMatchTheOperationsOneByOne) {
    const uint8_t ops[] = {ocPlus, ocMinus, ocMul,   ocDiv,    ocMod,    ocOr,      ocAnd,    ocXor,
                           ocShiftL, ocShiftR, ocEqual, ocBig, ocSmall, ocEBig, ocESmall, ocNEqual};
    // Operand kinds: variables of each type and literals of each type.
    const struct {
        const char* name;  // variable name, or null for a literal
        uint8_t type;
    } kinds[] = {{"vi", PT_INT}, {"vf", PT_FLOAT}, {"vb", PT_BOOL}, {"vs", PT_STR},
                 {nullptr, PT_INT}, {nullptr, PT_FLOAT}, {nullptr, PT_STR}};
    const std::pair<std::string, std::string> values[] = {
        {"7", "2"}, {"-7", "3"}, {"2147483647", "1"}, {"-2147483648", "-1"}, {"5", "0"},
        {"1.5", "-2.25"}, {"TRUE", "FALSE"}, {"abc", "12"}, {"65536", "65536"}};
    const uint8_t dest_types[] = {PT_INT, PT_FLOAT, PT_BOOL, PT_STR};
    int checked = 0;
    for (uint8_t op : ops)
        for (const auto& ka : kinds)
            for (const auto& kb : kinds)
                for (const auto& [va, vb] : values)
                    for (uint8_t dt : dest_types)
                        for (bool as_result : {false, true}) {
                            auto operand = [&](const auto& k, const std::string& v, const char* var) {
                                if (!k.name) return literal(k.type, v);
                                set_var(var, k.type, v);
                                return std::unique_ptr<TCustomParam>(std::make_unique<TParamVar>(var));
                            };
                            const std::string dest = as_result ? "____arg" : "x";
                            std::string outcome[2];
                            for (int apart = 0; apart < 2; ++apart) {
                                TVorqParser p;
                                add_op(p, op, "____1", two(operand(ka, va, "pa"), operand(kb, vb, "pb")));
                                // A second reader of the temporary keeps the pair apart.
                                if (apart) add_op(p, ocTo, "other", one_var("____1"));
                                add_op(p, ocTo, dest, one_var("____1"));
                                set_var("other", PT_STR, "");
                                TParamCollectionItem* x = set_var("x", dt, "99");
                                p.Evaluate();
                                outcome[apart] = describe(x->Value()) + " result " + describe(p.Result());
                            }
                            ASSERT_EQ(outcome[0], outcome[1])
                                << OpCodeName(op) << " " << int(ka.type) << (ka.name ? "var" : "lit") << "=" << va
                                << " " << int(kb.type) << (kb.name ? "var" : "lit") << "=" << vb << " into "
                                << int(dt) << (as_result ? " as result" : "");
                            ++checked;
                        }
    EXPECT_GT(checked, 10000);
}

// A table variable named like the temporary takes the operation's value,
// as the operations one by one would write it.
TEST_F(Fused, TemporaryNamedLikeAVariableIsThatVariable) {
    set_var("y", PT_INT, "41");
    TParamCollectionItem* named = set_var("____1", PT_STR, "");
    TVorqParser p;
    CompileExpression(p, "x = y + 1");
    TParamCollectionItem* x = set_var("x", PT_INT, "0");
    p.Evaluate();
    EXPECT_EQ(named->GetAsString(), "42");
    EXPECT_EQ(x->GetAsInt(), 42);
}

// The result of a fused pair is a value of its own: a later run does not
// change the value an earlier caller took, and the kind follows the
// operation each run.
TEST_F(Fused, ResultsAreFreshEachRun) {
    set_var("i", PT_INT, "3");
    TVorqParser cond;
    CompileExpression(cond, "i < 5");
    cond.Evaluate();
    std::unique_ptr<TCustomParam> first = cond.TakeResult();
    ASSERT_TRUE(first);
    set_var("i", PT_INT, "9");
    cond.Evaluate();
    ASSERT_TRUE(cond.Result());
    EXPECT_EQ(first->GetAsString(), "TRUE");
    EXPECT_EQ(cond.Result()->GetAsString(), "FALSE");
    cond.Result()->SetCount(4);  // a caller may reshape what it was given
    cond.Evaluate();
    EXPECT_EQ(cond.Result()->Count(), 1);

    TVorqParser sum;
    CompileExpression(sum, "i + 1");
    sum.Evaluate();
    EXPECT_EQ(describe(sum.Result()), "1:10");
    set_var("i", PT_FLOAT, "1.5");
    sum.Evaluate();
    EXPECT_EQ(describe(sum.Result()), "2:2.5");
    set_var("i", PT_INT, "1");
    sum.Evaluate();
    EXPECT_EQ(describe(sum.Result()), "1:2");
}
