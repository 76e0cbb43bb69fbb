// The built-in function table and dispatcher, the functions done here, and
// the system variables with a test host behind them.
#include "script/sys_funcs.h"

#include "files/number_text.h"
#include "script/param_collection.h"
#include "script/parser.h"
#include "script/system_vars.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <chrono>
#include <set>
#include <thread>

namespace {

struct Funcs : ::testing::Test {
    std::unique_ptr<TParamCollection> table = std::make_unique<TParamCollection>();
    void SetUp() override { Params = table.get(); }
    void TearDown() override {
        Params = nullptr;
        SetSystemVarHost(nullptr);
        for (auto f : {TSysFuncFamily::Text, TSysFuncFamily::Array, TSysFuncFamily::Table, TSysFuncFamily::System})
            TSysFuncMan::SetFamilyHandler(f, nullptr);
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
};

TEST(SysFuncTable, NamesCountsAndTypes) {
    std::set<std::string> names;
    for (const auto& f : SysFuncTable) {
        names.insert(f.name);
        EXPECT_GE(f.min_args, 0);
        EXPECT_TRUE(f.max_args == -1 || f.max_args >= f.min_args) << f.name;
        EXPECT_TRUE(f.result >= PT_INT && f.result <= PT_STR) << f.name;
    }
    EXPECT_EQ(names.size(), 140u);
    uint8_t i = 0;
    ASSERT_TRUE(FindSysFuncIndex("StrToFloatDef", i));
    EXPECT_EQ(i, 139);
    ASSERT_TRUE(FindSysFuncIndex("GetProp", i));
    EXPECT_EQ(i, 2);
    EXPECT_FALSE(FindSysFuncIndex("getprop", i));  // exact case
    EXPECT_EQ(SysFuncTable[21].max_args, -1);        // SetArray takes any number
    EXPECT_EQ(SysFuncTable[91].min_args, 0);         // DBInsert
}

TEST_F(Funcs, NumberFunctions) {
    EXPECT_EQ(eval("Int(-2.7)"), "-2");
    EXPECT_EQ(eval("Int(2.7)"), "2");
    EXPECT_EQ(eval("Not(TRUE)"), "FALSE");
    EXPECT_EQ(eval("Float(3)"), "3");
    EXPECT_EQ(eval("ArcTan2(1, 0) = @Pi / 2"), "(none)");  // an assignment to a literal
    EXPECT_EQ(eval("ArcTan2(1, 0) == @Pi / 2"), "TRUE");
    EXPECT_EQ(eval("ArcTan2(0, -1) == @Pi"), "TRUE");
    EXPECT_EQ(eval("Hypot(3, 4)"), "5");
    EXPECT_EQ(eval("Abs(-5) ++ Abs(-2147483647 - 1)"), "5-2147483648");
    EXPECT_EQ(eval("Fabs(0.0 - 1.5)"), "1.5");
    // A sign is "0 - x" with the integer type of the literal 0, as the
    // editor compiles it too: -1.5 reads as -1.
    EXPECT_EQ(eval("Fabs(-1.5)"), "1");
    EXPECT_EQ(eval("Min(3, 3)"), "3");
    EXPECT_EQ(eval("Max(-3, 2)"), "2");
    EXPECT_EQ(eval("Fmax(0.0 - 1.5, -2)"), "-1.5");
    EXPECT_EQ(eval("Fmin(0.0 - 1.5, -2)"), "-2");
    EXPECT_EQ(eval("Sin(0) + Cos(0)"), "1");
    EXPECT_EQ(eval("ArcSin(2)"), "(none)");  // no result: an invalid operation
    EXPECT_EQ(eval("Random(1) + Random(1) + Random(0)"), "0");
    EXPECT_EQ(eval("GetVarType(1) ++ GetVarType(1.5) ++ GetVarType(TRUE) ++ GetVarType(\"s\")"), "1234");
    EXPECT_EQ(eval("Int(1e30)"), "(none)");
}

TEST_F(Funcs, DateFunctions) {
    EXPECT_EQ(eval("GetWeek(EncodeDate(2000, 1, 1))"), "7");
    EXPECT_EQ(eval("GetWeekStr(EncodeDate(2000, 1, 1))"), "Saturday");
    EXPECT_EQ(eval("GetWeekJStr(EncodeDate(2000, 1, 1))"), Sjis("土"));
    EXPECT_EQ(eval("GetHour(0.75)"), "18");
    EXPECT_EQ(eval("EncodeDate(1899, 12, 30)"), "0");
    EXPECT_EQ(eval("EncodeTime(6, 0, 0)"), "0.25");
    EXPECT_EQ(eval("EncodeDate(2001, 2, 29)"), "(none)");
    EXPECT_EQ(eval("GetYear(36526.5) ++ GetMonth(36526.5) ++ GetDay(36526.5)"), "200011");
    EXPECT_EQ(eval("GetMin(EncodeTime(1, 2, 3)) ++ GetSec(EncodeTime(1, 2, 3))"), "23");
    EXPECT_EQ(eval("GetWeekStr(-700000)"), "Saturday");  // before year 1: wraps, never past the table
    auto* y = var("y", PT_INT);
    auto* m = var("m", PT_INT);
    auto* d = var("d", PT_STR);
    eval("DecodeDate(EncodeDate(2024, 2, 29) + 0.5, y, m, d)");
    EXPECT_EQ(y->GetAsInt(), 2024);
    EXPECT_EQ(m->GetAsInt(), 2);
    EXPECT_EQ(d->GetAsString(), "29");
    eval("DecodeTime(0.75, y, m, d)");
    EXPECT_EQ(y->GetAsInt(), 18);
    // A literal in a variable position takes no write, and the stored
    // expression keeps its literal.
    TVorqParser p;
    CompileExpression(p, "DecodeDate(0, 5, m, d)");
    p.Evaluate();
    EXPECT_EQ(p.Get(0)->operands[1]->GetAsInt(), 5);
    EXPECT_EQ(m->GetAsInt(), 12);
}

TEST_F(Funcs, FamiliesPlugIn) {
    auto* x = var("x", PT_INT);
    x->SetAsInt(9);
    EXPECT_EQ(eval("x = Length(\"abc\")"), "(none)");
    EXPECT_EQ(x->GetAsInt(), 9);  // not available: the evaluation ends
    // The error names the function.
    TParamCollectionItem dest;
    dest.SetType(PT_INT);
    TParamStr arg;
    TCustomParam* args[] = {&arg};
    try {
        SysFuncMan().CallFunction(dest, 5, args);
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Length" + Sjis(":この関数は使用できません"));
    }
    TSysFuncMan::SetFamilyHandler(TSysFuncFamily::Text, [](TSysFuncMan&, TParamCollectionItem& d, uint8_t index,
                                                          TSysFuncArgs a) {
        if (index == 5) d.SetAsInt(static_cast<int32_t>(a[0]->GetAsString().size()));
    });
    eval("x = Length(\"abcd\")");
    EXPECT_EQ(x->GetAsInt(), 4);
    SysFuncMan().CallFunction(dest, 140, {});  // beyond the table: nothing
    EXPECT_THROW(SysFuncMan().CallFunction(dest, 126, args), Exception);  // Max with one argument
}

TEST_F(Funcs, GetPropTakesThePropertyType) {
    TSysFuncMan::SetFamilyHandler(TSysFuncFamily::System, [](TSysFuncMan&, TParamCollectionItem& d, uint8_t index,
                                                            TSysFuncArgs) {
        if (index == 2) d.SetAsString("12");
    });
    EXPECT_EQ(eval("GetVarType(GetProp(\"o\", 3))"), "1");   // PR_LEFT is an integer
    EXPECT_EQ(eval("GetVarType(GetProp(\"o\", 0))"), "4");   // PR_NAME is text
    EXPECT_EQ(eval("GetProp(\"o\", 3) + 1"), "13");
    EXPECT_EQ(eval("GetProp(\"o\", 161)"), "(none)");        // GetPropの引数が違います
    EXPECT_EQ(eval("GetProp(\"o\", -1)"), "(none)");
}

// Engine state as the player shell and display objects will give it.
struct TestHost : TSystemVarHost {
    bool sound = false, wheel_down = true;
    uint32_t clock = 1000;
    TCustomParam* result = nullptr;
    TCustomParam* TopFrameResult() override { return result; }
    bool ReadBool(int i) override { return i == svSoundON ? sound : i == svWheelDown ? wheel_down : false; }
    void WriteBool(int i, bool v) override {
        if (i == svSoundON) sound = v;
    }
    int32_t ReadInt(int i) override { return i == svScrWidth ? 640 : i == svParamCount ? 2 : 0; }
    int32_t ArrayCount(int i) override { return i == svParamStr ? 2 : 0; }
    std::string ReadStrAt(int i, int32_t k) override { return i == svParamStr ? (k == 0 ? "first" : "second") : ""; }
    bool ReadBoolAt(int i, int32_t k) override { return i == svKeyPush && (k == 13 || (k == 256 && wheel_down)); }
    uint32_t GameClock() override { return clock; }
};

struct SysVars : Funcs {
    TestHost host;
    void SetUp() override {
        Funcs::SetUp();
        SetSystemVarHost(&host);
    }
};

TEST_F(SysVars, ArraysAndHostState) {
    EXPECT_EQ(eval("@KeyPush[13]"), "TRUE");
    EXPECT_EQ(eval("@KeyPush[256] == @WheelDown"), "TRUE");
    auto* keys = table->Find("@KeyPush");
    EXPECT_FALSE(keys->GetBoolAt(300));
    EXPECT_FALSE(keys->GetBoolAt(-1));
    EXPECT_FALSE(keys->GetAsBool());
    EXPECT_EQ(eval("@KeyPush[300]"), "(none)");  // the element reference is refused first
    EXPECT_EQ(eval("GetVarType(@KeyPush)"), "3");
    // An operand reads through a reference with its element index (0), so
    // the bare name in an expression reads element 0; the variable itself
    // read without index is empty.
    EXPECT_EQ(eval("@ParamStr[1] ++ \"|\" ++ @ParamStr ++ \"|\" ++ @ParamCount"), "second|first|2");
    EXPECT_EQ(table->Find("@ParamStr")->GetAsString(), "");
    EXPECT_EQ(table->Find("@ParamStr")->GetStrAt(2), "");
    EXPECT_EQ(table->Find("@KeyClick")->Count(), 258);
    EXPECT_EQ(table->Find("@ParamStr")->Count(), 2);
    EXPECT_EQ(eval("@ScrWidth"), "640");
    eval("@ScrWidth = 1");
    eval("@Pi = 1");
    EXPECT_EQ(eval("@ScrWidth"), "640");
    EXPECT_EQ(eval("@Pi > 3.14159"), "TRUE");
    EXPECT_EQ(eval("@1Sec * 86400 > 0.999999 & @1Sec * 86400 < 1.000001"), "1");
    EXPECT_EQ(eval("@1Hour * 24"), "1");
}

TEST_F(SysVars, WritesConvertThroughTheVariablesOwnType) {
    auto* sound = table->Find("@SoundON");
    sound->SetAsString("TRUE");  // read as an integer: 0
    EXPECT_FALSE(host.sound);
    sound->SetAsInt(1);
    EXPECT_TRUE(host.sound);
    sound->SetAsString("2");
    EXPECT_TRUE(host.sound);
    auto* delay = table->Find("@TextDelay");
    delay->SetAsString("x");  // not an integer: nothing stored
    EXPECT_EQ(table->text_delay, 50);
    eval("@TextDelay = 20");
    EXPECT_EQ(table->text_delay, 20);
    eval("@Cursor = \"hand\"");
    EXPECT_EQ(table->cursor_name, "hand");
    eval("@SelIndex = 4");
    EXPECT_EQ(eval("@SelIndex + 1"), "5");
    table->sel_str = "12";
    EXPECT_EQ(table->Find("@SelStr")->GetAsFloat(), 12);  // text read as an integer
    table->sel_str = "1.5";
    EXPECT_EQ(table->Find("@SelStr")->GetAsFloat(), 0);
    EXPECT_TRUE(table->Find("@SelStr")->GetAsBool());  // not empty
}

TEST_F(SysVars, ResultAndTemp) {
    auto* temp = table->Find("@Temp");
    EXPECT_EQ(temp->ParamType(), PT_NONE);
    EXPECT_EQ(temp->GetAsInt(), 0);
    EXPECT_EQ(temp->GetAsString(), "");
    auto* v = var("v", PT_INT);
    table->temp_name = "v";
    eval("@Temp = 5");
    EXPECT_EQ(v->GetAsInt(), 5);
    EXPECT_EQ(eval("GetVarType(@Temp)"), "1");
    table->temp_name = "@Temp";  // standing for itself must not recurse for ever
    EXPECT_EQ(temp->GetAsInt(), 0);
    EXPECT_EQ(temp->ParamType(), PT_NONE);
    EXPECT_EQ(eval("@Result + 1"), "1");
    TParamFloat r;
    r.SetAsFloat(2.5L);
    host.result = &r;
    EXPECT_EQ(eval("@Result + 1"), "3.5");
    eval("@Result = 7");
    EXPECT_EQ(r.GetAsFloat(), 7);
}

TEST_F(SysVars, DateReadOncePerGameClock) {
    std::string first = eval("@Year ++ \"/\" ++ @Month ++ \"/\" ++ @Day ++ \" \" ++ @Hour ++ \":\" ++ @Min ++ \":\" ++ @Sec");
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    // Same game clock value: the same instant, though a second has passed.
    EXPECT_EQ(eval("@Year ++ \"/\" ++ @Month ++ \"/\" ++ @Day ++ \" \" ++ @Hour ++ \":\" ++ @Min ++ \":\" ++ @Sec"), first);
    int week = std::stoi(eval("@Week"));
    EXPECT_TRUE(week >= 1 && week <= 7);
}

TEST_F(SysVars, NamesAndTypes) {
    EXPECT_STREQ(SystemVarName(32), "@1Hour");
    EXPECT_EQ(SystemVarType(30), PT_FLOAT);
    EXPECT_THROW(SystemVarName(49), Exception);
    EXPECT_THROW(TParamSystem(49), Exception);
}

}  // namespace
