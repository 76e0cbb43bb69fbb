// Stored glyph lists: written field by field by the test writer, read by the
// player at every version, laid out like the same text compiled from tags;
// damaged lists are refused or load without fault.
#include "script/param_collection.h"
#include "script/parser.h"
#include "files/field_reader.h"
#include "platform/exception.h"
#include "tests/render/text/text_fixture.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/glyph_list_writer.h"

#include <gtest/gtest.h>

using namespace texttest;

namespace {

void load(TWzWord& w, const std::string& bytes) {
    TMemoryStream s = StreamOf(bytes);
    w.LoadGlyphStream(s);
}

std::string kinds_of(const TWzWord& w) {
    std::string out;
    for (int32_t i = 0; i < w.GlyphCount(); ++i) out += std::to_string(w.GlyphAt(i)->GetKind());
    return out;
}

// A message: bold red text, a line break, an indented run, an END event
// and an image, in the form of the given version.
std::string sample(int version) {
    TGlyphListWriter wr(version);
    StoredDecoration plain;
    StoredDecoration red;
    red.color = 0x0000FF;
    red.style = 1;
    red.size = 20;
    red.border_width = 2;
    red.font = "F";
    red.ruby = Sjis("よみ");
    red.shadow_width = 3;
    red.shadow_color = 0x00FF00;
    const uint32_t p = wr.AddDecoration(plain);
    const uint32_t r = wr.AddDecoration(red);
    wr.Text(Sjis("あい"), r, 30);
    wr.Return();
    wr.Align(waCenter);
    wr.Char('x', p, "link", 5);
    wr.Indent();
    wr.Text(Sjis("うえ"), p);
    wr.Undent();
    wr.Event("done", true);
    wr.Image("pic.png", waTop, "L", 7);
    wr.Return(true);
    return wr.Bytes();
}

}  // namespace

TEST(StoredGlyphList, EveryVersionReadsItsFields) {
    for (int version : {0, 99, 100, 101, 102, 103}) {
        SCOPED_TRACE(version);
        auto w = make_word();
        load(*w, sample(version));
        ASSERT_EQ(kinds_of(*w), "113214115693");
        const TWdGlyph* a = w->GlyphAt(0);
        EXPECT_EQ(a->GetCharCode(), 0x82A0);
        EXPECT_EQ(a->GetWait(), 30);
        EXPECT_EQ(a->GetColor(), 0x0000FFu);
        EXPECT_EQ(a->GetStyle(), 1);
        EXPECT_EQ(a->GetFontSize(), 20);
        EXPECT_EQ(a->GetFontName(), "F");
        EXPECT_EQ(a->GetRuby(), Sjis("よみ"));
        // Before 100 the border was a flag and there was no shadow.
        EXPECT_EQ(a->GetBorderWidth(), version < 100 ? 1 : 2);
        EXPECT_EQ(a->GetShadowWidth(), version < 100 ? 0 : 3);
        EXPECT_EQ(a->GetShadowColor(), version < 100 ? 0u : 0x00FF00u);
        const TWdGlyph* x = w->GlyphAt(4);
        EXPECT_EQ(x->GetCharCode(), 'x');
        EXPECT_EQ(x->GetLink(), "link");
        EXPECT_EQ(x->GetWait(), 5);
        EXPECT_EQ(w->GlyphAt(3)->GetAlign(), waCenter);
        const TWdGlyph* ev = w->GlyphAt(9);
        EXPECT_EQ(ev->GetValue(), "done");
        EXPECT_EQ(ev->GetWait(), 1);  // the END flag
        const TWdGlyph* img = w->GlyphAt(10);
        EXPECT_EQ(img->GetValue(), "pic.png");
        EXPECT_EQ(img->GetAlign(), waTop);
        EXPECT_EQ(img->GetLink(), "L");
        EXPECT_EQ(img->GetWait(), 7);
        EXPECT_TRUE(w->GlyphAt(11)->GetClear());
        // Records are counted from the glyphs, whatever was stored.
        ASSERT_EQ(w->Decorations().Count(), 2);
        EXPECT_EQ(w->Decorations().At(0)->RefCount, 3);
        EXPECT_EQ(w->Decorations().At(1)->RefCount, 2);
    }
}

TEST(StoredGlyphList, LaysOutLikeTheCompiledText) {
    auto stored = make_word();
    auto compiled = make_word();
    for (auto* w : {stored.get(), compiled.get()}) {
        w->ViewWidth = 48;
        w->PageHeight = 1000;
    }
    TGlyphListWriter wr(102);
    StoredDecoration plain, nobr;
    plain.border_width = -1;
    plain.shadow_width = -1;
    nobr = plain;
    nobr.no_break = 1;
    const uint32_t p = wr.AddDecoration(plain);
    const uint32_t n = wr.AddDecoration(nobr);
    wr.Text(Sjis("あいう"), p, 50);
    wr.Text(Sjis("えお"), n, 50);
    wr.Text(Sjis("「か。"), p, 50);
    wr.Return();
    wr.Text("ab cd", p, 50);
    load(*stored, wr.Bytes());
    compile(*compiled, "あいう<NOBR>えお</NOBR>「か。<BR>ab cd");
    TWdPageList a, b;
    EXPECT_EQ(layout(*stored, a), layout(*compiled, b));
    EXPECT_EQ(rows_of(a), "あいう|えお|「か。⏎|ab |cd");
}

TEST(StoredGlyphList, VariablesByNameAndByStoredExpression) {
    TParamCollection table;
    Params = &table;
    auto* v = table.AddVariable(PT_STR);
    v->SetName("name");
    v->Value()->SetAsString(Sjis("太郎"));

    TGlyphListWriter newer(102);
    const uint32_t d = newer.AddDecoration(StoredDecoration{});
    newer.Var(d, "  name ", 9, "ln");
    auto w = make_word();
    load(*w, newer.Bytes());
    EXPECT_EQ(w->GlyphAt(0)->GetValue(), "name");  // trimmed
    EXPECT_EQ(w->GlyphAt(0)->GetWait(), 9);
    EXPECT_EQ(w->GlyphAt(0)->GetLink(), "ln");
    w->ExpandVars(0, -1);
    ASSERT_EQ(w->GlyphCount(), 3);
    EXPECT_EQ(w->GlyphAt(1)->GetText() + w->GlyphAt(2)->GetText(), Sjis("太郎"));
    EXPECT_EQ(w->GlyphAt(1)->GetWait(), 9);

    // Before 102 the list held the compiled expression.
    TBuildVorqParser build;
    build.Parse("name ++ \"!\"");
    TMemoryStream expr;
    build.SaveToStream(expr);
    const std::string expr_bytes(reinterpret_cast<const char*>(expr.Memory()), static_cast<size_t>(expr.GetSize()));
    for (int version : {100, 101}) {
        TGlyphListWriter older(version);
        const uint32_t od = older.AddDecoration(StoredDecoration{});
        older.Var(od, "", 4, "k", expr_bytes);
        older.Char('z', od);
        auto o = make_word();
        load(*o, older.Bytes());
        ASSERT_EQ(kinds_of(*o), "71") << version;
        EXPECT_EQ(o->GlyphAt(0)->GetWait(), version >= 101 ? 4 : 0);
        o->ExpandVars(0, -1);
        std::string text;
        for (int32_t i = 1; i < o->GlyphCount(); ++i) text += o->GlyphAt(i)->GetText();
        EXPECT_EQ(text, Sjis("太郎!z")) << version;
    }
    Params = nullptr;
}

TEST(StoredGlyphList, AppendedListsIndexTheirOwnRecords) {
    auto w = make_word();
    TGlyphListWriter first(102);
    StoredDecoration big;
    big.size = 30;
    first.Text("a", first.AddDecoration(big));
    load(*w, first.Bytes());
    w->DecorationIndexBase = w->Decorations().Count();
    TGlyphListWriter second(102);
    StoredDecoration small;
    small.size = 8;
    second.Text("b", second.AddDecoration(small));
    load(*w, second.Bytes());
    EXPECT_EQ(w->GlyphAt(0)->GetFontSize(), 30);
    EXPECT_EQ(w->GlyphAt(1)->GetFontSize(), 8);
    w->Clear();
    EXPECT_EQ(w->DecorationIndexBase, 0);
    EXPECT_EQ(w->Decorations().Count(), 0);
}

TEST(StoredGlyphList, BadListsAreRefusedWhole) {
    StoredDecoration d;
    struct Case {
        const char* what;
        std::string bytes;
        const char* kinds;  // nullptr: refused
    };
    auto with = [&](auto fn) {
        TGlyphListWriter wr(102);
        wr.AddDecoration(d);
        fn(wr);
        return wr.Bytes();
    };
    std::string bad_tag = with([](TGlyphListWriter& wr) { wr.Char('a', 0); });
    bad_tag[7] = 'x';
    const Case cases[] = {
        {"unknown kind ends the list",
         with([](TGlyphListWriter& wr) {
             wr.Char('a', 0);
             wr.Raw(8, "\x05\x00\x00\x00");
             wr.Char('b', 0);
         }),
         "1"},
        {"kind taken modulo 128", with([](TGlyphListWriter& wr) { wr.Raw(0x83, std::string(1, '\0')); }), "3"},
        {"decoration index beyond the records", with([](TGlyphListWriter& wr) { wr.Char('a', 1); }), nullptr},
        {"bad version digits", bad_tag, nullptr},
        {"glyph count beyond the bytes", with([](TGlyphListWriter& wr) { wr.Char('a', 0); }).substr(0, 60), nullptr},
        {"empty", "", nullptr},
    };
    for (const Case& c : cases) {
        auto w = make_word();
        compile(*w, "q");  // what was there stays
        try {
            load(*w, c.bytes);
            ASSERT_NE(c.kinds, nullptr) << c.what;
            EXPECT_EQ(kinds_of(*w), std::string("1") + c.kinds) << c.what;
        } catch (const ECorruptData&) {
            EXPECT_EQ(c.kinds, nullptr) << c.what;
            EXPECT_EQ(kinds_of(*w), "1") << c.what;
            EXPECT_EQ(w->Decorations().Count(), 1) << c.what;
            EXPECT_EQ(w->Decorations().At(0)->RefCount, 1) << c.what;
        }
    }
    // A record whose stored count is wrong is counted afresh; unused ones go.
    TGlyphListWriter wr(102);
    StoredDecoration odd;
    odd.refs = 99;
    StoredDecoration unused;
    unused.size = 5;
    unused.refs = 4;
    wr.AddDecoration(odd);
    wr.AddDecoration(unused);
    wr.Text("ab", 0);
    auto w = make_word();
    load(*w, wr.Bytes());
    ASSERT_EQ(w->Decorations().Count(), 1);
    EXPECT_EQ(w->Decorations().At(0)->RefCount, 2);
    w->Clear();
}

TEST(StoredGlyphList, DamagedBytesLoadOrAreRefused) {
    TParamCollection table;
    Params = &table;
    for (int version : {0, 101, 102}) {
        const std::string good = sample(version);
        int refused = 0, loaded = 0;
        auto attempt = [&](const std::string& bytes) {
            auto w = make_word();
            w->ViewWidth = 60;
            w->PageHeight = 100;
            try {
                load(*w, bytes);
                ++loaded;
                // What loads must lay out and render.
                TWdPageList pages;
                LayoutPages(*w, pages, 0, -1);
                w->ExpandVars(0, -1);
            } catch (const Exception&) {
                ++refused;
            }
        };
        for (size_t n = 0; n < good.size(); ++n) attempt(good.substr(0, n));
        for (size_t i = 0; i < good.size(); ++i)
            for (int v : {-1, 0x00, 0x7F, 0x80, 0xFF}) {
                std::string b = good;
                b[i] = static_cast<char>(v < 0 ? ~b[i] : v);
                if (b[i] != good[i]) attempt(b);
            }
        EXPECT_GT(refused, 0) << version;
        EXPECT_GT(loaded, 0) << version;
    }
    Params = nullptr;
}

TEST(StoredGlyphList, CopiesTurnVariableGlyphsPlain) {
    TParamCollection table;
    Params = &table;
    auto* v = table.AddVariable(PT_STR);
    v->SetName("x");
    v->Value()->SetAsString("a\rb");
    auto src = make_word();
    compile(*src, "<VAR NAME=x><B>c</B>");
    src->ExpandVars(0, -1);
    Params = nullptr;
    ASSERT_EQ(kinds_of(*src), "71311");
    EXPECT_EQ(src->GlyphAt(2)->SourceItems(), 0);
    EXPECT_EQ(src->SourceIndexOfGlyph(src->GlyphAt(4)), 1);
    auto dst = make_word();
    dst->AppendGlyphsFrom(*src, 1, -1);
    ASSERT_EQ(kinds_of(*dst), "1311");
    for (int32_t i = 0; i < dst->GlyphCount(); ++i) EXPECT_EQ(dst->GlyphAt(i)->SourceItems(), 1);
    EXPECT_EQ(dst->GlyphAt(3)->GetStyle(), 1);
    EXPECT_EQ(dst->Decorations().Count(), 2);
}
