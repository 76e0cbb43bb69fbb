// Variable glyphs: values evaluated through the expression engine, shown
// again after a change, captured for a page and reused instead of the live
// value, and line breaks in values that are neither saved nor source items.
#include "script/param_collection.h"
#include "files/field_reader.h"
#include "tests/render/text/text_fixture.h"

#include <gtest/gtest.h>

using namespace texttest;

namespace {

struct Variables : ::testing::Test {
    TParamCollection table;
    std::unique_ptr<TWzWord> w = make_word();
    TWdPageList pages;
    void SetUp() override {
        Params = &table;
        w->ViewWidth = 120;
        w->PageHeight = 100;
    }
    void TearDown() override {
        pages.clear();
        Params = nullptr;
    }
    void set(const char* name, const std::string& value) {
        TParamCollectionItem* v = table.Find(name);
        if (!v) {
            v = table.AddVariable(PT_STR);
            v->SetName(name);
        }
        v->Value()->SetAsString(value);
    }
    std::string text() const {
        std::string out;
        for (int32_t i = 0; i < w->GlyphCount(); ++i) out += show(w->GlyphAt(i));
        return out;
    }
    void refresh() {
        w->RemoveVarGlyphs(0, -1);
        w->ExpandVars(0, -1);
    }
};

}  // namespace

TEST_F(Variables, ValuesAreEvaluatedAndShownAgainAfterAChange) {
    set("name", "AB");
    set("n", "3");
    compile(*w, "<B>[<VAR NAME=name>]</B><VAR NAME=\"n * 2 + 1\"><VAR NAME=\"  \"><VAR NAME=\"1 +\">");
    w->ExpandVars(0, -1);
    EXPECT_EQ(text(), "[AB]7");
    // Inserted characters carry the VAR glyph's style.
    EXPECT_EQ(w->GlyphAt(2)->GetStyle(), 1);
    set("name", "C");
    refresh();
    EXPECT_EQ(text(), "[C]7");
    // Expanding twice does not insert twice.
    w->ExpandVars(0, -1);
    EXPECT_EQ(text(), "[C]7");
    w->RemoveVarGlyphs(0, -1);
    EXPECT_EQ(text(), "[]");
    // The inserted glyphs gave their style references back.
    ASSERT_EQ(w->Decorations().Count(), 2);
    EXPECT_EQ(w->Decorations().At(0)->RefCount, 3);
    EXPECT_EQ(w->Decorations().At(1)->RefCount, 3);
}

TEST_F(Variables, LineBreaksInValuesAreNotSourceItemsNorSaved) {
    set("x", "a\rb\x02" "c");
    compile(*w, "<VAR NAME=x>d");
    w->ExpandVars(0, -1);
    EXPECT_EQ(text(), "a⏎bcd");  // control characters other than CR are dropped
    EXPECT_EQ(w->SourceIndexOfGlyph(w->GlyphAt(5)), 1);
    EXPECT_EQ(w->GlyphOfSource(1), 1);
    EXPECT_EQ(layout(*w, pages), "a⏎|bcd");
    TMemoryStream s;
    pages[0]->SaveDisplayState(s);
    // Page fields (4 + 4 + 4 + 1 + 4), the VAR glyph's one state for all it
    // inserted, and d's own.
    EXPECT_EQ(s.GetSize(), 17 + 4 + 4);
    s.SetPosition(0);
    FieldReader r(s, "bad");
    pages[0]->LoadDisplayState(r);
    EXPECT_EQ(r.Remaining(), 0);
}

TEST_F(Variables, CapturedValuesStandForTheLiveOnes) {
    set("x", "a\rb");
    set("y", "Y");
    compile(*w, "<VAR NAME=x><VAR NAME=y><VAR NAME=x>");
    w->ExpandVars(0, -1);
    LayoutPages(*w, pages, 0, -1);
    pages[0]->CaptureVarValues();
    EXPECT_EQ(pages[0]->CapturedValues, "x=a\x01" "b\r\ny=Y");
    w->CapturedValues = {"x=a\x01" "b", "y=Y"};
    set("x", "changed");
    refresh();
    EXPECT_EQ(text(), "a⏎bYa⏎b");
    // A name missing from a non-empty capture shows nothing.
    w->CapturedValues = {"z=1"};
    refresh();
    EXPECT_EQ(text(), "");
    w->Clear();
    EXPECT_TRUE(w->CapturedValues.empty());
}
