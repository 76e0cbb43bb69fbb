// The variable table: names, scopes, frames, references and the game and
// status stored forms.
#include "script/param_collection.h"

#include "script/system_vars.h"
#include "files/save_stream.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"

#include <gtest/gtest.h>

namespace {

struct Table : ::testing::Test {
    std::unique_ptr<TParamCollection> table = std::make_unique<TParamCollection>();
    void SetUp() override { Params = table.get(); }
    void TearDown() override { Params = nullptr; }
    TParamCollectionItem* make(const char* name, uint8_t type, TParamScope scope = TParamScope::Global) {
        auto* e = table->AddVariable(type);
        e->SetName(name);
        if (scope == TParamScope::Status) e->SetKept(true);
        if (scope == TParamScope::AutoDestroy || scope == TParamScope::Local) e->SetFrameId(table->CurrentFrameId());
        if (scope == TParamScope::Local) e->SetLocal(true);
        return e;
    }
    // Makes the reference variable `item` stand for the variable `target`.
    void link(TParamCollectionItem* item, const char* target) {
        auto* v = const_cast<TParamVar*>(item->Value()->AsVar());
        v->SetName(target);
        v->Link(*table);
    }
};

TEST_F(Table, SystemVariablesComeFirst) {
    ASSERT_EQ(table->Count(), kSystemVarCount);
    EXPECT_EQ(table->Item(0)->GetName(), "@Result");
    EXPECT_EQ(table->Item(48)->GetName(), "@WheelUp");
    EXPECT_EQ(table->IndexOf("@keypush"), 35);
    EXPECT_TRUE(table->Item(30)->IsSystem());
}

TEST_F(Table, NameRules) {
    std::string tail = Sjis("：変数名が不正です");
    for (const char* bad : {"1abc", "a b", ""}) {
        auto* e = table->AddVariable(PT_INT);
        try {
            e->SetName(bad);
            ADD_FAILURE() << bad;
        } catch (const Exception& ex) {
            EXPECT_EQ(ex.Message(), "\"" + std::string(bad) + "\"" + tail);
        }
    }
    make("abc1", PT_INT);
    make(Sjis("変数").c_str(), PT_STR);
    EXPECT_NE(table->Find(Sjis("変数")), nullptr);
    EXPECT_NE(table->Find("ABC1"), nullptr);
}

TEST_F(Table, LocalOfCurrentFrameWins) {
    auto* global = make("A", PT_INT);
    table->SetCurrentFrameId(1);
    auto* local = make("A", PT_INT, TParamScope::Local);
    EXPECT_EQ(table->Find("a"), local);
    table->SetCurrentFrameId(2);  // a deeper call does not see it
    EXPECT_EQ(table->Find("a"), global);
    table->SetCurrentFrameId(1);
    EXPECT_EQ(table->FindInFrame("a", true), local);
    EXPECT_EQ(table->FindInFrame("a", false), global);
    table->DeleteFrame(1);
    table->SetCurrentFrameId(0);
    EXPECT_EQ(table->Find("a"), global);
    EXPECT_EQ(table->Count(), kSystemVarCount + 1);
}

TEST_F(Table, AutoDestroyNeverShadowsAGlobal) {
    auto* global = make("B", PT_INT);
    table->SetCurrentFrameId(1);
    auto* temp = make("B", PT_INT, TParamScope::AutoDestroy);
    EXPECT_EQ(table->Find("b"), global);            // the one named earliest
    EXPECT_EQ(table->FindInFrame("b", false), temp);  // the one named most recently
    table->DeleteFrame(1);
    EXPECT_EQ(table->FindInFrame("b", false), global);
}

TEST_F(Table, ResetKeepsSystemAndStatus) {
    make("g", PT_INT);
    make("st", PT_STR, TParamScope::Status);
    table->text_delay = 10;
    table->cursor_name = "hand";
    table->history_settings[3] = 4;
    table->Reset();
    EXPECT_EQ(table->Count(), kSystemVarCount + 1);
    EXPECT_NE(table->Find("st"), nullptr);
    EXPECT_EQ(table->Find("g"), nullptr);
    EXPECT_EQ(table->text_delay, 50);
    EXPECT_EQ(table->cursor_name, "");
    EXPECT_EQ(table->history_settings[3], 0);
}

TEST_F(Table, SetReference) {
    auto* arr = make("arr", PT_INT);
    int32_t dims[] = {3, 2};
    arr->SetDims(dims);
    arr->SetIntAt(5, 55);
    auto* ref = table->AddVariable(0);
    int32_t ok[] = {2, 1};
    ref->SetReference("arr", ok);
    EXPECT_EQ(ref->GetAsInt(), 55);
    EXPECT_EQ(ref->ParamType(), PT_INT);
    auto message = [&](std::vector<int32_t> idx) {
        try {
            ref->SetReference("arr", idx);
        } catch (const Exception& e) {
            return e.Message();
        }
        return std::string("(no error)");
    };
    EXPECT_EQ(message({3, 0}), "arr[3,0]\r\n" + Sjis("要素数を超えています"));
    EXPECT_EQ(message({1}), "arr[1]\r\n" + Sjis("添え字が不正です"));
    EXPECT_EQ(message({0, -1}), "arr[0,-1]\r\n" + Sjis("要素数を超えています"));  // no wrap into range
    EXPECT_EQ(message({0, 0}).substr(0, 1), "(");
}

TEST_F(Table, CopyValue) {
    auto* s = make("s", PT_STR);
    s->SetAsString("hello");
    auto copy = table->CopyValue("S");
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->GetAsString(), "hello");
    EXPECT_EQ(table->CopyValue("none"), nullptr);
    EXPECT_THROW(table->CopyValue("@Temp"), Exception);  // no alias: no storable type
}

TEST_F(Table, GameSaveRoundTrip) {
    auto* i = make("i", PT_INT);
    i->SetAsInt(-7);
    auto* f = make("f", PT_FLOAT);
    f->SetAsFloat(2.5L);
    auto* arr = make("arr", PT_STR);
    int32_t dims[] = {2};
    arr->SetDims(dims);
    arr->SetStrAt(1, "two");
    link(make("r", 0), "i");  // a reference variable to i
    make("keep", PT_BOOL, TParamScope::Status)->SetAsBool(true);
    table->text_delay = 70;
    table->sel_str = "sel";
    table->sel_index = 3;
    table->history_settings = {1, 2, 3, 4, 5, 6};
    table->temp_name = "i";

    TMemoryStream m;
    table->SaveGameVariables(m);
    // Reverse table order; the reference is stored as one (type 0), not
    // with the integer type of its target.
    m.SetPosition(0);
    EXPECT_EQ(ReadStreamInteger(m), 4);
    EXPECT_EQ(ReadStreamByte(m), 0);
    EXPECT_EQ(ReadStreamString(m), "r");

    auto other = std::make_unique<TParamCollection>();
    Params = other.get();
    other->AddVariable(PT_INT)->SetName("gone");
    m.SetPosition(0);
    other->LoadGameVariables(m, 130);
    EXPECT_EQ(m.Remaining(), 0);
    EXPECT_EQ(other->Find("gone"), nullptr);
    EXPECT_EQ(other->Item(kSystemVarCount)->GetName(), "r");
    EXPECT_EQ(other->Find("i")->GetAsInt(), -7);
    EXPECT_EQ(other->Find("f")->GetAsFloat(), 2.5L);
    EXPECT_EQ(other->Find("arr")->GetStrAt(1), "two");
    EXPECT_EQ(other->Find("keep"), nullptr);  // status variables are not in game saves
    // Written before its target, the reference is linked once all is read.
    EXPECT_EQ(other->Find("r")->GetAsInt(), -7);
    EXPECT_EQ(other->text_delay, 70);
    EXPECT_EQ(other->sel_str, "sel");
    EXPECT_EQ(other->history_settings[5], 6);
    EXPECT_EQ(other->temp_name, "i");

    // Old versions stop earlier.
    TMemoryStream old;
    WriteStreamInteger(old, 0);
    WriteStreamInteger(old, 33);
    WriteStreamString(old, "cur");
    old.SetPosition(0);
    other->LoadGameVariables(old, 102);
    EXPECT_EQ(other->text_delay, 33);
    EXPECT_EQ(other->cursor_name, "cur");
}

TEST_F(Table, StatusSaveRoundTrip) {
    make("g", PT_INT);
    make("st", PT_INT, TParamScope::Status)->SetAsInt(9);
    TMemoryStream m;
    table->SaveStatusVariables(m);
    auto other = std::make_unique<TParamCollection>();
    Params = other.get();
    m.SetPosition(0);
    other->LoadStatusVariables(m);
    EXPECT_EQ(other->Find("g"), nullptr);
    ASSERT_NE(other->Find("st"), nullptr);
    EXPECT_TRUE(other->Find("st")->Kept());
    EXPECT_EQ(other->Find("st")->GetAsInt(), 9);
}

// A reference whose untyped target is never written (a system variable
// here) used to keep the save loop waiting for ever.
TEST_F(Table, SaveEndsForAnUnwrittenTarget) {
    auto* r = make("r", 0);
    link(r, "@Temp");
    ASSERT_EQ(r->ParamType(), PT_NONE);
    make("x", PT_INT)->SetAsInt(1);
    make("novalue", 9);  // an unknown type code gives an entry without a value
    TMemoryStream m;
    table->SaveGameVariables(m);
    m.SetPosition(0);
    auto other = std::make_unique<TParamCollection>();
    Params = other.get();
    other->LoadGameVariables(m, 130);
    ASSERT_NE(other->Find("r"), nullptr);
    EXPECT_TRUE(other->Find("r")->IsReference());
    EXPECT_EQ(other->Find("x")->GetAsInt(), 1);
    EXPECT_EQ(other->Find("novalue"), nullptr);
}

TEST_F(Table, FreedTargetUnlinksReferences) {
    table->SetCurrentFrameId(1);
    make("loc", PT_INT, TParamScope::Local)->SetAsInt(3);
    auto* r = make("r", 0);
    link(r, "loc");
    EXPECT_EQ(r->GetAsInt(), 3);
    table->DeleteFrame(1);
    EXPECT_EQ(r->GetAsInt(), 0);  // unlinked, not dangling
    EXPECT_EQ(r->ParamType(), PT_NONE);
    auto* g = make("g", PT_STR);
    link(r, "g");
    table->Delete(g->GetIndex());
    EXPECT_EQ(r->Count(), 0);
}

TEST_F(Table, CorruptSaves) {
    auto load = [&](TMemoryStream& m) {
        m.SetPosition(0);
        table->LoadGameVariables(m, 130);
    };
    TMemoryStream huge;
    WriteStreamInteger(huge, 100000000);
    EXPECT_THROW(load(huge), ECorruptData);
    TMemoryStream bad_type;  // an entry of type 9 has no stored form
    WriteStreamInteger(bad_type, 1);
    WriteStreamByte(bad_type, 9);
    for (int k = 0; k < 20; ++k) WriteStreamByte(bad_type, 0);
    EXPECT_THROW(load(bad_type), ECorruptData);
    EXPECT_EQ(table->Count(), kSystemVarCount);  // the half-read entry is gone
    TMemoryStream truncated;
    WriteStreamInteger(truncated, 1);
    WriteStreamByte(truncated, PT_INT);
    WriteStreamString(truncated, "v");
    WriteStreamInteger(truncated, 0);
    WriteStreamInteger(truncated, 50);  // 50 elements, none present
    for (int k = 0; k < 7; ++k) WriteStreamByte(truncated, 0);
    EXPECT_THROW(load(truncated), ECorruptData);
}

}  // namespace
